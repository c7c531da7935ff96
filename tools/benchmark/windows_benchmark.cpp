// The Windows side of the benchmark (a console program, run under Wine beside
// CVPurger.exe): the read-only floor pass over the real registry through the Win32
// seam, and a profiled command-line run that shows where a run's time goes.
//
//   cvp_benchmark.exe floor REPEAT      times the read-only pass (it changes nothing)
//   cvp_benchmark.exe floor-profile     the pass once more, each seam call timed
//   cvp_benchmark.exe profile TOKEN     RunCommandLine on the real calls, each seam
//                                       call timed per registry area (this purges)
//   cvp_benchmark.exe bare TOKEN        the run's stages with no receipt (this purges)
//   cvp_benchmark.exe run TOKEN         RunCommandLine, the run with its receipt
//   cvp_benchmark.exe restore           RunCommandLine "/restore"
//                                       (the last three time the call alone: ms=...)
//
// Results are "name=value" lines and tables on standard output. The memory figures
// are the process's own peak working set and peak private bytes.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line_run.h"
#include "platform/win32/win32_platform.h"
#include "read_only_pass.h"
#include "run/family_catalogue.h"
#include "seam_profile.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void PrintMemory() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        std::printf("peak_working_set_kib=%lu\npeak_private_kib=%lu\n",
                    static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024),
                    static_cast<unsigned long>(counters.PeakPagefileUsage / 1024));
    }
}

int Floor(int repeat) {
    cvp::Win32Platform win32;
    std::vector<double> passes;
    cvp::benchmark::PassCounts counts;
    for (int i = 0; i < repeat; ++i) {
        const Clock::time_point start = Clock::now();
        counts = cvp::benchmark::ReadOnlyPass(win32);
        passes.push_back(MillisecondsSince(start));
    }
    std::string all;
    for (double pass : passes) {
        char number[32];
        std::snprintf(number, sizeof number, "%s%.1f", all.empty() ? "" : ",", pass);
        all += number;
    }
    std::sort(passes.begin(), passes.end());
    std::printf("floor_ms=%.1f\nfloor_ms_all=%s\n", passes[passes.size() / 2], all.c_str());
    std::printf("keys=%ld\nvalues=%ld\nregistry_calls=%ld\n", counts.keys, counts.values,
                counts.registryCalls);
    PrintMemory();
    return 0;
}

int FloorProfile() {
    cvp::Win32Platform win32;
    cvp::Platform platform = win32.platform();
    cvp::benchmark::SeamProfile profile(platform, true);
    const Clock::time_point start = Clock::now();
    const cvp::benchmark::PassCounts counts =
        cvp::benchmark::ReadOnlyPass(profile.platform().registry);
    const double milliseconds = MillisecondsSince(start);
    std::printf("# floor pass, each call timed: %ld keys, %ld values\n", counts.keys,
                counts.values);
    profile.Print(stdout, milliseconds / 1000);
    return 0;
}

int Profile(const char* token) {
    cvp::Win32Platform win32;
    cvp::Platform platform = win32.platform();
    cvp::benchmark::SeamProfile profile(platform, true);
    cvp::RunState state;
    cvp::RunContext context{profile.platform(), state, nullptr};
    const Clock::time_point start = Clock::now();
    cvp::RunCommandLine(context, token);
    const double milliseconds = MillisecondsSince(start);
    std::printf("# run %s, each call timed: %d parent-ID prefixes, %d instance suffixes\n", token,
                state.parentIdPrefixCount, state.instanceSuffixCount);
    profile.Print(stdout, milliseconds / 1000);
    std::printf("run_ms=%.1f\n", milliseconds);
    PrintMemory();
    return 0;
}

// `bare` runs the stages with no receipt, else RunCommandLine runs `commandLine`.
int Timed(const char* commandLine, bool bare) {
    cvp::Win32Platform win32;
    cvp::Platform platform = win32.platform();
    cvp::RunState state;
    cvp::RunContext context{platform, state, nullptr};
    const Clock::time_point start = Clock::now();
    if (bare) {
        cvp::RunWithoutReceipt(context, cvp::FamilyFromToken(commandLine));
    } else {
        cvp::RunCommandLine(context, commandLine);
    }
    std::printf("ms=%.1f\n", MillisecondsSince(start));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    int status = 2;
    if (args.size() == 2 && args[0] == "floor") {
        status = Floor(std::max(1, std::atoi(args[1].c_str())));
    } else if (args.size() == 1 && args[0] == "floor-profile") {
        status = FloorProfile();
    } else if (args.size() == 2 && args[0] == "profile") {
        status = Profile(args[1].c_str());
    } else if (args.size() == 2 && (args[0] == "bare" || args[0] == "run")) {
        status = Timed(args[1].c_str(), args[0] == "bare");
    } else if (args.size() == 1 && args[0] == "restore") {
        status = Timed("/restore", false);
    } else {
        std::fprintf(stderr,
                     "usage: cvp_benchmark.exe floor REPEAT | floor-profile | profile TOKEN | "
                     "bare TOKEN | run TOKEN | restore\n");
    }
    std::fflush(stdout);
    return status;
}
