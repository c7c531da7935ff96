// The native side of the benchmark: the purger's command-line run and the read-only
// floor pass on the in-memory machine, loaded from a machine image.
//
//   benchmark_native run IMAGE_DIR TOKEN REPEAT
//       loads the image afresh for each repeat and times RunCommandLine alone
//   benchmark_native floor IMAGE_DIR REPEAT
//       loads the image once and times the read-only pass (it changes nothing)
//   benchmark_native profile IMAGE_DIR TOKEN
//       counts and times the seam calls of the floor pass and of the run, per
//       registry area (timing each call adds a little to both)
//   benchmark_native receipt IMAGE_DIR TOKEN REPEAT
//       on freshly loaded machines: the run's stages with no receipt, the run with its
//       receipt (RunCommandLine), and then "/restore" of that receipt
//   benchmark_native preview IMAGE_DIR TOKEN REPEAT
//       the offline preview: reads IMAGE_DIR/registry.reg as cvpurger-preview does
//       (timed apart), then times the preview on it REPEAT times (it changes nothing)
//
// Results are "name=value" lines on standard output. Times are wall-clock
// milliseconds; the machine's sleeps are recorded, not slept, so "sleeps_ms" is what a
// real run would pause. Heap figures count the bytes held through operator new: the
// peak above what was held when the timed part began, which is what the run (or the
// pass) itself needed beside the loaded machine.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "app/command_line_run.h"
#include "offline/offline_machine.h"
#include "platform/memory/memory_machine.h"
#include "preview/preview_run.h"
#include "read_only_pass.h"
#include "run/family_catalogue.h"
#include "seam_profile.h"

namespace {

std::size_t g_heapLive = 0;
std::size_t g_heapPeak = 0;

void* Allocate(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    g_heapLive += malloc_usable_size(block);
    g_heapPeak = std::max(g_heapPeak, g_heapLive);
    return block;
}

void Release(void* block) noexcept {
    if (block == nullptr) return;
    g_heapLive -= malloc_usable_size(block);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kLogPath = "C:\\cvpurger\\UnInstall.log";

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A "Vm..." line of /proc/self/status, in KiB.
long StatusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::atol(line.c_str() + prefix.size());
    }
    return -1;
}

bool Load(const std::string& folder, cvp::MemoryMachine* machine, double* milliseconds) {
    const Clock::time_point start = Clock::now();
    cvp::MachineImage image;
    std::string error;
    if (!cvp::LoadMachineImage(folder, &image, &error) || !machine->Apply(image, &error)) {
        std::fprintf(stderr, "benchmark_native: %s\n", error.c_str());
        return false;
    }
    if (milliseconds != nullptr) *milliseconds = MillisecondsSince(start);
    return true;
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const size_t middle = samples.size() / 2;
    return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

std::string Join(const std::vector<double>& samples) {
    std::string text;
    for (double sample : samples) {
        char number[32];
        std::snprintf(number, sizeof number, "%s%.1f", text.empty() ? "" : ",", sample);
        text += number;
    }
    return text;
}

long LogLines(cvp::MemoryMachine& machine) {
    if (!machine.FileExists(kLogPath)) return 0;
    const std::string log = machine.FileContent(kLogPath);
    return static_cast<long>(std::count(log.begin(), log.end(), '\n'));
}

int Run(const std::string& image, const std::string& token, int repeat) {
    std::vector<double> runs;
    double loadMs = 0;
    double sleepsMs = 0;
    std::size_t heapPeak = 0;
    long rssBefore = 0;
    long logLines = 0;
    for (int i = 0; i < repeat; ++i) {
        cvp::MemoryMachine machine;
        if (!Load(image, &machine, &loadMs)) return 2;
        cvp::Platform platform = machine.platform();
        cvp::RunState state;
        cvp::RunContext context{platform, state, nullptr};
        rssBefore = StatusKib("VmRSS");
        const std::size_t heapAtStart = g_heapLive;
        g_heapPeak = g_heapLive;
        const Clock::time_point start = Clock::now();
        cvp::RunCommandLine(context, token.c_str());
        runs.push_back(MillisecondsSince(start));
        heapPeak = std::max(heapPeak, g_heapPeak - heapAtStart);
        const auto& sleeps = machine.sleeps();
        sleepsMs = std::accumulate(sleeps.begin(), sleeps.end(), 0.0);
        logLines = LogLines(machine);
    }
    std::printf("load_ms=%.1f\n", loadMs);
    std::printf("run_ms=%.1f\n", Median(runs));
    std::printf("run_ms_all=%s\n", Join(runs).c_str());
    std::printf("sleeps_ms=%.0f\n", sleepsMs);
    std::printf("log_lines=%ld\n", logLines);
    std::printf("rss_before_run_kib=%ld\n", rssBefore);
    std::printf("heap_peak_run_kib=%zu\n", heapPeak / 1024);
    std::printf("peak_rss_kib=%ld\n", StatusKib("VmHWM"));
    return 0;
}

int Floor(const std::string& image, int repeat) {
    cvp::MemoryMachine machine;
    double loadMs = 0;
    if (!Load(image, &machine, &loadMs)) return 2;
    std::vector<double> passes;
    cvp::benchmark::PassCounts counts;
    const std::size_t heapAtStart = g_heapLive;
    g_heapPeak = g_heapLive;
    for (int i = 0; i < repeat; ++i) {
        const Clock::time_point start = Clock::now();
        counts = cvp::benchmark::ReadOnlyPass(machine);
        passes.push_back(MillisecondsSince(start));
    }
    std::printf("load_ms=%.1f\n", loadMs);
    std::printf("floor_ms=%.1f\n", Median(passes));
    std::printf("floor_ms_all=%s\n", Join(passes).c_str());
    std::printf("keys=%ld\nvalues=%ld\nregistry_calls=%ld\n", counts.keys, counts.values,
                counts.registryCalls);
    std::printf("heap_peak_floor_kib=%zu\n", (g_heapPeak - heapAtStart) / 1024);
    std::printf("peak_rss_kib=%ld\n", StatusKib("VmHWM"));
    return 0;
}

int Profile(const std::string& image, const std::string& token) {
    cvp::MemoryMachine machine;
    if (!Load(image, &machine, nullptr)) return 2;
    cvp::Platform platform = machine.platform();

    cvp::benchmark::SeamProfile floorProfile(platform, true);
    Clock::time_point start = Clock::now();
    const cvp::benchmark::PassCounts before =
        cvp::benchmark::ReadOnlyPass(floorProfile.platform().registry);
    const double floorMs = MillisecondsSince(start);
    std::printf("# floor pass, each call timed: %ld keys, %ld values\n", before.keys,
                before.values);
    floorProfile.Print(stdout, floorMs / 1000);

    cvp::benchmark::SeamProfile runProfile(platform, true);
    runProfile.SetHeapProbe([] { return g_heapLive; });
    cvp::RunState state;
    cvp::RunContext context{runProfile.platform(), state, nullptr};
    start = Clock::now();
    cvp::RunCommandLine(context, token.c_str());
    const double runMs = MillisecondsSince(start);
    const cvp::benchmark::PassCounts after = cvp::benchmark::ReadOnlyPass(machine);
    std::printf(
        "# run %s, each call timed: %ld log lines; %ld keys and %ld values of the walked areas "
        "removed; "
        "%d parent-ID prefixes and %d instance suffixes recorded\n",
        token.c_str(), LogLines(machine), before.keys - after.keys, before.values - after.values,
        state.parentIdPrefixCount, state.instanceSuffixCount);
    runProfile.Print(stdout, runMs / 1000);
    std::printf("registry_calls_floor=%ld\nregistry_calls_run=%ld\n", floorProfile.RegistryCalls(),
                runProfile.RegistryCalls());
    return 0;
}

// Milliseconds RunCommandLine takes for `commandLine` on `machine`.
double TimedCommandLine(cvp::MemoryMachine& machine, const std::string& commandLine) {
    cvp::Platform platform = machine.platform();
    cvp::RunState state;
    cvp::RunContext context{platform, state, nullptr};
    const Clock::time_point start = Clock::now();
    cvp::RunCommandLine(context, commandLine.c_str());
    return MillisecondsSince(start);
}

// The bytes of the receipts on a machine.
std::size_t ReceiptBytes(const cvp::MemoryMachine& machine) {
    std::size_t bytes = 0;
    for (const std::string& line : machine.DumpFiles()) {
        if (line.rfind("drive_c/windows/CVPurger/", 0) != 0 || line.back() == '/') continue;
        std::string path = "C:" + line.substr(7);
        std::replace(path.begin(), path.end(), '/', '\\');
        bytes += machine.FileContent(path).size();
    }
    return bytes;
}

int Receipt(const std::string& image, const std::string& token, int repeat) {
    std::vector<double> bare;
    std::vector<double> withReceipt;
    std::vector<double> restore;
    std::size_t receiptBytes = 0;
    // One machine at a time, so that both runs meet the same heap.
    for (int i = 0; i < repeat; ++i) {
        {
            cvp::MemoryMachine plain;
            if (!Load(image, &plain, nullptr)) return 2;
            cvp::Platform platform = plain.platform();
            cvp::RunState state;
            cvp::RunContext context{platform, state, nullptr};
            const Clock::time_point start = Clock::now();
            cvp::RunWithoutReceipt(context, cvp::FamilyFromToken(token.c_str()));
            bare.push_back(MillisecondsSince(start));
        }
        cvp::MemoryMachine machine;
        if (!Load(image, &machine, nullptr)) return 2;
        withReceipt.push_back(TimedCommandLine(machine, token));
        receiptBytes = ReceiptBytes(machine);
        restore.push_back(TimedCommandLine(machine, "/restore"));
    }
    std::printf("bare_ms=%.1f\nbare_ms_all=%s\n", Median(bare), Join(bare).c_str());
    std::printf("receipt_ms=%.1f\nreceipt_ms_all=%s\n", Median(withReceipt),
                Join(withReceipt).c_str());
    std::printf("restore_ms=%.1f\nrestore_ms_all=%s\n", Median(restore), Join(restore).c_str());
    std::printf("receipt_kib=%zu\n", receiptBytes / 1024);
    return 0;
}

int Preview(const std::string& image, const std::string& token, int repeat) {
    cvp::OfflineMachine machine;
    const std::string file = image + "/registry.reg";
    std::ifstream in(file, std::ios::binary);
    std::string error;
    Clock::time_point start = Clock::now();
    if (!in || !machine.ReadExport(file, in, &error)) {
        std::fprintf(stderr, "benchmark_native: %s\n", error.c_str());
        return 2;
    }
    const double loadMs = MillisecondsSince(start);
    const long rssLoaded = StatusKib("VmRSS");
    std::vector<double> previews;
    std::string text;
    const std::size_t heapAtStart = g_heapLive;
    g_heapPeak = g_heapLive;
    for (int i = 0; i < repeat; ++i) {
        start = Clock::now();
        cvp::PreviewRun(machine.platform(), token.c_str(), &text);
        previews.push_back(MillisecondsSince(start));
    }
    std::printf("offline_load_ms=%.1f\n", loadMs);
    std::printf("preview_ms=%.1f\n", Median(previews));
    std::printf("preview_ms_all=%s\n", Join(previews).c_str());
    std::printf("preview_lines=%ld\n",
                static_cast<long>(std::count(text.begin(), text.end(), '\n')));
    std::printf("rss_loaded_kib=%ld\n", rssLoaded);
    std::printf("heap_peak_preview_kib=%zu\n", (g_heapPeak - heapAtStart) / 1024);
    std::printf("peak_rss_kib=%ld\n", StatusKib("VmHWM"));
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: benchmark_native run IMAGE_DIR TOKEN REPEAT\n"
                 "       benchmark_native floor IMAGE_DIR REPEAT\n"
                 "       benchmark_native profile IMAGE_DIR TOKEN\n"
                 "       benchmark_native receipt IMAGE_DIR TOKEN REPEAT\n"
                 "       benchmark_native preview IMAGE_DIR TOKEN REPEAT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // glibc raises its mmap threshold once a large block is freed, so the rounds after
    // the first machine is freed would meet another heap than the first ones (runs
    // twice as fast at scale 1). A fixed threshold gives every round the same.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "run")
        return Run(args[1], args[2], std::max(1, std::atoi(args[3].c_str())));
    if (args.size() == 3 && args[0] == "floor")
        return Floor(args[1], std::max(1, std::atoi(args[2].c_str())));
    if (args.size() == 3 && args[0] == "profile") return Profile(args[1], args[2]);
    if (args.size() == 4 && args[0] == "receipt")
        return Receipt(args[1], args[2], std::max(1, std::atoi(args[3].c_str())));
    if (args.size() == 4 && args[0] == "preview")
        return Preview(args[1], args[2], std::max(1, std::atoi(args[3].c_str())));
    return Usage();
}
