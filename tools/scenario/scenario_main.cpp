// Runs a scenario on the in-memory machine and writes what the Wine harness writes
// for the real executable, so that the two can be compared file by file:
//
//   scenario run IMAGE_DIR TOKEN OUT_DIR [VERSION]
//       on the machine playing Windows VERSION (win2k, winxp, win7, as winecfg names
//       them; XP without one):
//       OUT_DIR/UnInstall.log      the log of the run
//       OUT_DIR/registry.changes   keys and values removed ("-") or added ("+")
//       OUT_DIR/files.changes      files and directories removed or added
//       OUT_DIR/restored.changes   registry and files after "/restore" against before
//                                  the run
//       OUT_DIR/restored-again.changes   after a second "/restore" against the first
//   scenario registry-changes BEFORE_DIR AFTER_DIR OUT_FILE
//       the same change list from the regedit exports (*.reg) taken under Wine
//   scenario file-changes BEFORE AFTER OUT_FILE
//       the same change list from two file listings, one path a line
//   scenario preview IMAGE_DIR TOKEN OUT_DIR [VERSION]
//       OUT_DIR/UnInstall.preview.txt   the preview of TOKEN (CVPurger.exe /preview);
//       fails when the preview changed the machine in any way but writing that file
//   scenario preview-check BEFORE SIDE TOKEN RESULT_DIR
//       holds RESULT_DIR/UnInstall.preview.txt against the run that followed it
//       (RESULT_DIR/UnInstall.log, registry.changes, files.changes): the same log lines,
//       the same items. BEFORE is the image (SIDE memory) or the folder of the regedit
//       exports taken before the run (SIDE wine: Wine's device removal may fall short of
//       Windows', which the preview follows)
//   scenario check IMAGE_DIR TOKEN RESULT_DIR
//       checks RESULT_DIR/registry.changes and files.changes, from either side,
//       against IMAGE_DIR/traces.txt: nothing but the family's items removed, nothing
//       added but the log, every listed trace gone
//   scenario list IMAGE_DIR
//       the image's registry and files as the in-memory machine holds them
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line_run.h"
#include "platform/image/windows_versions.h"
#include "platform/memory/memory_machine.h"
#include "preview/preview_run.h"
#include "scenario/change_list.h"
#include "scenario/preview_check.h"
#include "scenario/traces.h"

namespace {

using cvp::MemoryMachine;

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    *bytes = content.str();
    return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

bool LoadImage(const std::string& folder, MemoryMachine* machine) {
    cvp::MachineImage image;
    std::string error;
    if (!cvp::LoadMachineImage(folder, &image, &error) || !machine->Apply(image, &error)) {
        std::cerr << "scenario: " << error << "\n";
        return false;
    }
    return true;
}

// A process's run of the command line, with a record of its own.
void RunOn(MemoryMachine& machine, const std::string& commandLine) {
    cvp::Platform platform = machine.platform();
    cvp::RunState state;
    cvp::RunContext context{platform, state, nullptr};
    cvp::RunCommandLine(context, commandLine.c_str());
}

std::vector<std::string> Both(std::vector<std::string> lines,
                              const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

// The compared registry areas and the files, one line each.
std::vector<std::string> Lines(const MemoryMachine& machine) {
    return Both(machine.DumpRegistry(cvp::scenario::kComparedSubtrees), machine.DumpFiles());
}

// The image on a machine playing Windows `versionName` (XP when empty).
bool LoadImageAs(const std::string& folder, const std::string& versionName,
                 MemoryMachine* machine) {
    if (!LoadImage(folder, machine)) return false;
    if (versionName.empty()) return true;
    cvp::OsVersion version;
    if (!cvp::WindowsVersionNamed(versionName, &version)) {
        std::cerr << "scenario: no Windows version named " << versionName << "\n";
        return false;
    }
    machine->SetOsVersion(version);
    return true;
}

int Run(const std::string& imageDir, const std::string& token, const std::string& outDir,
        const std::string& versionName) {
    MemoryMachine machine;
    if (!LoadImageAs(imageDir, versionName, &machine)) return 2;
    const auto registryBefore = machine.DumpRegistry(cvp::scenario::kComparedSubtrees);
    const auto filesBefore = machine.DumpFiles();

    RunOn(machine, token);

    const std::string log = machine.FileExists(cvp::scenario::kLogPath)
                                ? machine.FileContent(cvp::scenario::kLogPath)
                                : std::string();
    bool written = WriteWholeFile(outDir + "/UnInstall.log", log) &&
                   WriteWholeFile(outDir + "/registry.changes",
                                  cvp::scenario::ChangeList(
                                      registryBefore,
                                      machine.DumpRegistry(cvp::scenario::kComparedSubtrees))) &&
                   WriteWholeFile(outDir + "/files.changes",
                                  cvp::scenario::ChangeList(filesBefore, machine.DumpFiles()));

    // The receipt puts back all the run took; a second restore changes nothing.
    RunOn(machine, "/restore");
    const std::vector<std::string> restored = Lines(machine);
    RunOn(machine, "/restore");
    written =
        written &&
        WriteWholeFile(outDir + "/restored.changes",
                       cvp::scenario::ChangeList(Both(registryBefore, filesBefore), restored)) &&
        WriteWholeFile(outDir + "/restored-again.changes",
                       cvp::scenario::ChangeList(restored, Lines(machine)));
    return written ? 0 : 2;
}

// Loads every regedit export in `folder`, in name order.
bool LoadExports(const std::string& folder, MemoryMachine* machine) {
    std::vector<std::filesystem::path> exports;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".reg") exports.push_back(entry.path());
    }
    if (error) {
        std::cerr << "scenario: cannot list " << folder << "\n";
        return false;
    }
    std::sort(exports.begin(), exports.end());
    cvp::MachineImage image;
    for (const auto& path : exports) {
        std::string bytes;
        std::string message;
        if (!ReadWholeFile(path.string(), &bytes) ||
            !cvp::ReadRegistryExport(path.string(), bytes, &image.registry, &message)) {
            std::cerr << "scenario: "
                      << (message.empty() ? "cannot read " + path.string() : message) << "\n";
            return false;
        }
    }
    std::string message;
    if (!machine->Apply(image, &message)) {
        std::cerr << "scenario: " << message << "\n";
        return false;
    }
    return true;
}

int RegistryChanges(const std::string& before, const std::string& after,
                    const std::string& outFile) {
    MemoryMachine beforeMachine;
    MemoryMachine afterMachine;
    if (!LoadExports(before, &beforeMachine) || !LoadExports(after, &afterMachine)) return 2;
    const std::string changes =
        cvp::scenario::ChangeList(beforeMachine.DumpRegistry(cvp::scenario::kComparedSubtrees),
                                  afterMachine.DumpRegistry(cvp::scenario::kComparedSubtrees));
    return WriteWholeFile(outFile, changes) ? 0 : 2;
}

bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
    std::ifstream in(path);
    if (!in) {
        std::cerr << "scenario: cannot read " << path << "\n";
        return false;
    }
    for (std::string line; std::getline(in, line);) lines->push_back(line);
    return true;
}

int FileChanges(const std::string& before, const std::string& after, const std::string& outFile) {
    std::vector<std::string> was;
    std::vector<std::string> is;
    if (!ReadLines(before, &was) || !ReadLines(after, &is)) return 2;
    return WriteWholeFile(outFile, cvp::scenario::ChangeList(was, is)) ? 0 : 2;
}

int Check(const std::string& imageDir, const std::string& token, const std::string& resultDir) {
    const cvp::scenario::Traces traces =
        cvp::scenario::ReadTraces(imageDir + "/" + cvp::scenario::kTracesFile);
    for (const std::string& error : traces.errors) std::cerr << "scenario: " << error << "\n";
    std::vector<std::string> changes;
    if (!traces.errors.empty() || !ReadLines(resultDir + "/registry.changes", &changes) ||
        !ReadLines(resultDir + "/files.changes", &changes)) {
        return 2;
    }
    const std::vector<std::string> faults =
        cvp::scenario::CheckChanges(traces, token, changes, cvp::scenario::RunOf::First);
    for (const std::string& fault : faults) {
        std::cerr << "scenario: " << resultDir << ": " << token << ": " << fault << "\n";
    }
    return faults.empty() ? 0 : 1;
}

int List(const std::string& imageDir) {
    MemoryMachine machine;
    if (!LoadImage(imageDir, &machine)) return 2;
    for (const std::string& line : machine.DumpRegistry(cvp::scenario::kComparedSubtrees)) {
        std::cout << line << "\n";
    }
    for (const std::string& line : machine.DumpFiles()) std::cout << line << "\n";
    return 0;
}

// Everything a preview must leave as it was: keys and values, files, key DACLs.
std::vector<std::string> Snapshot(const MemoryMachine& machine) {
    std::vector<std::string> lines = machine.DumpRegistry({"HKEY_LOCAL_MACHINE"});
    for (const std::string& line : machine.DumpFiles()) lines.push_back(line);
    for (const auto& [key, dacl] : machine.DumpKeyDacls({"HKEY_LOCAL_MACHINE"})) {
        lines.push_back(key + " " + dacl);
    }
    return lines;
}

int Preview(const std::string& imageDir, const std::string& token, const std::string& outDir,
            const std::string& versionName) {
    MemoryMachine machine;
    if (!LoadImageAs(imageDir, versionName, &machine)) return 2;
    const std::string previewFile = std::string("C:\\cvpurger\\") + cvp::kPreviewFileName;
    const std::vector<std::string> before = Snapshot(machine);
    cvp::WritePreviewFile(machine.platform(), token.c_str());
    std::vector<std::string> after = Snapshot(machine);
    std::erase(after, "drive_c/cvpurger/" + std::string(cvp::kPreviewFileName));
    if (after != before) {
        std::cerr << "scenario: the preview of " << token << " changed the machine:\n"
                  << cvp::scenario::ChangeList(before, after);
        return 1;
    }
    const std::string preview =
        machine.FileExists(previewFile) ? machine.FileContent(previewFile) : std::string();
    return WriteWholeFile(outDir + "/" + cvp::kPreviewFileName, preview) ? 0 : 2;
}

int PreviewCheck(const std::string& before, const std::string& side, const std::string& token,
                 const std::string& resultDir) {
    MemoryMachine machine;
    if (side != "memory" && side != "wine") return 2;
    if (!(side == "wine" ? LoadExports(before, &machine) : LoadImage(before, &machine))) return 2;
    std::string preview;
    std::string log;
    std::vector<std::string> changes;
    if (!ReadWholeFile(resultDir + "/" + cvp::kPreviewFileName, &preview) ||
        !ReadWholeFile(resultDir + "/UnInstall.log", &log) ||
        !ReadLines(resultDir + "/registry.changes", &changes) ||
        !ReadLines(resultDir + "/files.changes", &changes)) {
        std::cerr << "scenario: " << resultDir
                  << ": a preview, a log and change lists are needed\n";
        return 2;
    }
    const cvp::scenario::PreviewAllowance allowance =
        cvp::scenario::AllowanceOf(machine.platform(), preview, side == "wine");
    const std::vector<std::string> faults =
        cvp::scenario::CheckPreview(token, preview, log, changes, allowance);
    for (const std::string& fault : faults) {
        std::cerr << "scenario: " << resultDir << ": preview: " << fault << "\n";
    }
    return faults.empty() ? 0 : 1;
}

int Usage() {
    std::cerr << "usage: scenario run IMAGE_DIR TOKEN OUT_DIR [VERSION]\n"
                 "       scenario registry-changes BEFORE_DIR AFTER_DIR OUT_FILE\n"
                 "       scenario file-changes BEFORE AFTER OUT_FILE\n"
                 "       scenario preview IMAGE_DIR TOKEN OUT_DIR [VERSION]\n"
                 "       scenario preview-check BEFORE memory|wine TOKEN RESULT_DIR\n"
                 "       scenario check IMAGE_DIR TOKEN RESULT_DIR\n"
                 "       scenario list IMAGE_DIR\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if ((args.size() == 4 || args.size() == 5) && args[0] == "run") {
        return Run(args[1], args[2], args[3], args.size() == 5 ? args[4] : "");
    }
    if (args.size() == 4 && args[0] == "registry-changes") {
        return RegistryChanges(args[1], args[2], args[3]);
    }
    if (args.size() == 4 && args[0] == "file-changes") {
        return FileChanges(args[1], args[2], args[3]);
    }
    if (args.size() == 4 && args[0] == "check") return Check(args[1], args[2], args[3]);
    if ((args.size() == 4 || args.size() == 5) && args[0] == "preview") {
        return Preview(args[1], args[2], args[3], args.size() == 5 ? args[4] : "");
    }
    if (args.size() == 5 && args[0] == "preview-check") {
        return PreviewCheck(args[1], args[2], args[3], args[4]);
    }
    if (args.size() == 2 && args[0] == "list") return List(args[1]);
    return Usage();
}
