// Runs of the scenario images under faults. The seam between the purger and the
// in-memory machine is tapped: every call is counted, every deletion the run makes is
// recorded as a deletion point, and a run can be cut off after any call, as killing
// the process there would cut it off. What a run left is read back as the machine's
// registry and files, and its log as the items it names.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/command_line_run.h"
#include "app/stoppable_platform.h"
#include "platform/image/ascii_text.h"
#include "platform/image/machine_image.h"
#include "platform/image/registry_paths.h"
#include "platform/memory/memory_machine.h"
#include "platform/string_table.h"
#include "registry/primitives.h"
#include "run/family_catalogue.h"
#include "run/progress.h"
#include "scenario/change_list.h"
#include "scenario/traces.h"
#include "unit/key_security.h"
#include "unit/run_rig.h"
#include "unit/scenario_list.h"

namespace cvp::test {

namespace fs = std::filesystem;

// --- Scenario images ------------------------------------------------------------------

// The images of the maker's installed products beside other vendors'.
inline bool IsInstalledImage(const ImageRun& run) { return run.image.rfind("installed-", 0) == 0; }

// Those, and the PC with every family's files.
inline bool IsInstalledOrFilesImage(const ImageRun& run) {
    return IsInstalledImage(run) || run.image == "files-pc";
}

// The runs of those whose image has files (a drive_c folder).
inline bool HasFiles(const ImageRun& run) {
    return IsInstalledOrFilesImage(run) && fs::exists(run.folder / "drive_c");
}

// An image is read once per test program: reading it is most of what a fresh machine
// costs. Null with `error` set when it can't be read.
inline const MachineImage* CachedImage(const fs::path& folder, std::string* error) {
    static std::map<std::string, MachineImage> images;
    if (const auto found = images.find(folder.string()); found != images.end()) {
        return &found->second;
    }
    MachineImage image;
    if (!LoadMachineImage(folder.string(), &image, error)) return nullptr;
    return &images.emplace(folder.string(), std::move(image)).first->second;
}

// The identifiers a run's device-instance scan found (ParentIdPrefix values' and
// instance names' middle parts), lower-cased.
inline std::set<std::string> FoundIdentifiers(const RunState& state) {
    std::set<std::string> found;
    for (int i = 0; i < state.parentIdPrefixCount; ++i) {
        found.insert(LowerCopy(state.parentIdPrefixes[i]));
    }
    for (int i = 0; i < state.instanceSuffixCount; ++i) {
        found.insert(LowerCopy(state.instanceSuffixes[i]));
    }
    return found;
}

// One unattended run with a record of its own, as a new process starts with; the
// identifiers its device-instance scan found go to `identifiers` when given.
inline int RunToken(Platform platform, const std::string& token,
                    std::set<std::string>* identifiers = nullptr) {
    RunState state;
    RunContext context{platform, state, nullptr};
    const int result = RunCommandLine(context, token.c_str());
    if (identifiers != nullptr) *identifiers = FoundIdentifiers(state);
    return result;
}

// The first entry of the wizard's installed-driver list that names `family`; -1 for
// none.
inline int InstalledEntryOf(Platform& platform, ProductFamily family) {
    RunState list;
    RunContext scan{platform, list, nullptr};
    const int entries = ListEntries(scan, 1);
    for (int index = 0; index < entries; ++index) {
        RunState entry;
        FamilyFromListEntry(entry, list.installedDrivers[index]);
        if (entry.family == family) return index;
    }
    return -1;
}

// The wizard's run of `family` as a new process makes it: expert mode, on that entry.
// 1 when there is one.
inline int RunWizardFamily(Platform& platform, ProductFamily family,
                           std::set<std::string>* identifiers = nullptr) {
    const int index = InstalledEntryOf(platform, family);
    if (index < 0) return 0;
    RunState state;
    RunWizardOn(platform, state, 1, index);
    if (identifiers != nullptr) *identifiers = FoundIdentifiers(state);
    return 1;
}

// The same run of the token's family, on the machine as the wizard's worker sees it.
inline int RunWizardToken(Platform platform, const std::string& token,
                          std::set<std::string>* identifiers = nullptr) {
    StoppablePlatform worker(platform);
    Platform stoppable = worker.platform();
    return RunWizardFamily(stoppable, FamilyFromToken(token.c_str()), identifiers);
}

// How the runs of a test are made: unattended (RunToken) or by the wizard.
struct Runner {
    const char* name;
    int (*run)(Platform platform, const std::string& token, std::set<std::string>* identifiers);
};
inline constexpr Runner kUnattended{"unattended", RunToken};
inline constexpr Runner kWizard{"wizard", RunWizardToken};

// --- Names as the machine's dumps spell them, lower-cased for comparing ----------------

// "hkey_local_machine\system\x" for a key; HKEY_CLASSES_ROOT is HKLM\SOFTWARE\Classes.
inline std::string KeyName(Root root, std::string_view path) {
    const KeyLocation where = CanonicalKey(root, WithoutTrailingBackslash(path));
    return LowerCopy(std::string(RootName(where.root)) +
                     (where.path.empty() ? "" : "\\" + where.path));
}

// The key a DumpRegistry line names or holds a value of.
inline std::string DumpLineKey(const std::string& line) {
    return LowerCopy(line.substr(0, line.find(" \"")));
}

// "drive_c/windows/inf/oem1.inf" for "C:\windows\inf\oem1.inf", as DumpFiles writes it.
inline std::string FileName(std::string_view windowsPath) {
    std::string name = "drive_c" + LowerCopy(windowsPath.substr(2));
    std::replace(name.begin(), name.end(), '\\', '/');
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    return name;
}

inline std::string DumpLineFile(const std::string& line) { return FileName("C:" + line.substr(7)); }

// `name` is `ancestor` or lies below it.
inline bool Within(const std::string& name, const std::string& ancestor, char separator) {
    return name.size() >= ancestor.size() && name.compare(0, ancestor.size(), ancestor) == 0 &&
           (name.size() == ancestor.size() || name[ancestor.size()] == separator);
}

// The plan runs the same walks over each control set. For a name below ControlSet001
// or ControlSet003 (as KeyName spells it), the same name below CurrentControlSet;
// "" for any other name.
inline std::string CurrentControlSetTwin(const std::string& name) {
    for (const std::string set : {"controlset001", "controlset003"}) {
        const std::string prefix = "hkey_local_machine\\system\\" + set;
        if (Within(name, prefix, '\\')) {
            return "hkey_local_machine\\system\\currentcontrolset" + name.substr(prefix.size());
        }
    }
    return "";
}

// The name of the value a DumpRegistry line holds, with the dump's escapes undone; ""
// for a key's line.
inline std::string DumpValueName(const std::string& line) {
    scenario::ItemName name;
    return scenario::ParseListedLine(line, &name) ? name.value : "";
}

// How many cases a test samples: `byDefault`, or the number in the environment variable
// `name` when it is set, for a longer campaign (CVP_KILLS_PER_RUN=200). 0 is all.
inline size_t SampleSize(const char* name, size_t byDefault) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoul(text, nullptr, 10) : byDefault;
}

// At most `most` of `items` (all for 0), spread evenly from the first to the last, in
// order.
template <typename T>
std::vector<T> EvenlySpread(const std::vector<T>& items, size_t most) {
    if (most == 0 || items.size() <= most) return items;
    std::vector<T> picked;
    for (size_t i = 0; i < most; ++i) {
        picked.push_back(items[most == 1 ? 0 : i * (items.size() - 1) / (most - 1)]);
    }
    return picked;
}

// --- What a machine holds ---------------------------------------------------------------

struct MachineView {
    std::vector<std::string> registry;  // DumpRegistry of HKEY_LOCAL_MACHINE
    std::vector<std::string> files;     // DumpFiles
};

// The program's own folder, with the runs' receipts, is not part of the view.
inline MachineView ViewOf(const MemoryMachine& machine) {
    std::vector<std::string> files = machine.DumpFiles();
    std::erase_if(files, scenario::IsProgramStateLine);
    return {machine.DumpRegistry({"HKEY_LOCAL_MACHINE"}), std::move(files)};
}

// The lines of `lines` that `other` lacks.
inline std::vector<std::string> LinesNotIn(const std::vector<std::string>& lines,
                                           const std::vector<std::string>& other) {
    const std::unordered_set<std::string> present(other.begin(), other.end());
    std::vector<std::string> missing;
    for (const std::string& line : lines) {
        if (present.count(line) == 0) missing.push_back(line);
    }
    return missing;
}

inline std::string Joined(const std::vector<std::string>& lines, size_t most = 12) {
    std::string text;
    for (size_t i = 0; i < lines.size() && i < most; ++i) text += "\n  " + lines[i];
    if (lines.size() > most) text += "\n  ... " + std::to_string(lines.size() - most) + " more";
    return text;
}

// A failure that says what `lines` are and lists them, when there are any.
inline void ExpectNone(const std::vector<std::string>& lines, const std::string& what) {
    EXPECT_TRUE(lines.empty()) << what << ":" << Joined(lines);
}

inline std::vector<std::string> Both(std::vector<std::string> lines,
                                     const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

// The descriptions of the present PCI and USB devices.
inline std::vector<std::string> PresentDevices(Devices& devices) {
    std::vector<std::string> descriptions;
    for (const char* enumerator : {"PCI", "USB"}) {
        const std::unique_ptr<DeviceSet> set = devices.OpenPresentDevices(enumerator);
        for (Dword index = 0; set && set->EnumMember(index); ++index) {
            char description[kTextSize] = {};
            if (set->ReadProperty(index, kPropertyDeviceDesc, description, kTextSize - 1)) {
                descriptions.emplace_back(description);
            }
        }
    }
    return descriptions;
}

// --- The log ----------------------------------------------------------------------------

// What one log line names: a key or a value ("PATH NAME") below a root, a file, or a
// device by the name the run looked for.
struct LoggedItem {
    enum class Kind { Registry, File, Device };
    Kind kind = Kind::Device;
    Root root = Root::LocalMachine;
    std::string text;
};

// The captions a line may begin with: the stages', and the device stage's empty one
// of an unattended run.
inline std::vector<std::string> StageCaptions(System& system) {
    std::vector<std::string> captions = {""};
    for (unsigned id : {IDS_STAGE_DEVICES, IDS_STAGE_INF_FILES, IDS_STAGE_DRIVER_FILES,
                        IDS_STAGE_OTHER_FILES, IDS_STAGE_REGISTRY}) {
        char caption[kTextSize] = {};
        if (system.LoadText(id, caption, kTextSize) > 0) captions.emplace_back(caption);
    }
    return captions;
}

// A line without its caption and the blank after it.
inline LoggedItem ReadLogLine(const std::string& line, const std::vector<std::string>& captions) {
    size_t start = 0;
    for (const std::string& caption : captions) {
        if (line.compare(0, caption.size() + 1, caption + " ") == 0) {
            start = std::max(start, caption.size() + 1);
        }
    }
    LoggedItem item;
    item.text = line.substr(start);
    for (const auto& [hive, root] : {std::pair{"HKEY_LOCAL_MACHINE\\", Root::LocalMachine},
                                     std::pair{"HKEY_CLASSES_ROOT\\", Root::ClassesRoot}}) {
        if (item.text.rfind(hive, 0) == 0) {
            return {LoggedItem::Kind::Registry, root, item.text.substr(std::strlen(hive))};
        }
    }
    if (item.text.size() > 2 && EqualsNoCase(item.text.substr(0, 3), "C:\\")) {
        item.kind = LoggedItem::Kind::File;
    }
    return item;
}

inline std::vector<LoggedItem> LoggedItems(RunRig& rig) {
    const std::vector<std::string> captions = StageCaptions(rig.machine);
    std::vector<LoggedItem> items;
    for (const std::string& line : rig.LogLines()) items.push_back(ReadLogLine(line, captions));
    return items;
}

inline int CountContaining(const std::vector<std::string>& descriptions, const std::string& name) {
    return static_cast<int>(
        std::count_if(descriptions.begin(), descriptions.end(),
                      [&](const std::string& d) { return d.find(name) != std::string::npos; }));
}

// Whether a logged key, value or file is on the machine. A value is logged as "PATH
// NAME", and either may hold blanks.
inline bool OnMachine(const MemoryMachine& machine, const LoggedItem& item) {
    if (item.kind == LoggedItem::Kind::File) return machine.FileExists(item.text);
    if (item.kind != LoggedItem::Kind::Registry) return false;
    bool present = machine.KeyExists(item.root, item.text);
    for (size_t blank = item.text.find(' '); !present && blank != std::string::npos;
         blank = item.text.find(' ', blank + 1)) {
        present =
            machine.ValueExists(item.root, item.text.substr(0, blank), item.text.substr(blank + 1));
    }
    return present;
}

// The log's items that name something still on the machine: a key, a value, a file, or
// a device name logged more often than devices of that name went away since
// `devicesBefore` was taken.
inline std::vector<std::string> LoggedButThere(RunRig& rig,
                                               const std::vector<std::string>& devicesBefore) {
    const std::vector<std::string> devicesAfter = PresentDevices(rig.machine);
    std::map<std::string, int> deviceLines;
    std::vector<std::string> there;
    for (const LoggedItem& item : LoggedItems(rig)) {
        const bool present =
            item.kind == LoggedItem::Kind::Device
                ? ++deviceLines[item.text] > CountContaining(devicesBefore, item.text) -
                                                 CountContaining(devicesAfter, item.text)
                : OnMachine(rig.machine, item);
        if (present) there.push_back(item.text);
    }
    return there;
}

// --- The tapped seam --------------------------------------------------------------------

// One deletion a run made.
struct DeletionPoint {
    enum class Kind { Key, Value, File, Directory, Device, Unregistration };

    DeletionPoint(Kind kind, Root root, std::string path, std::string value = "",
                  std::string description = "")
        : kind(kind),
          root(root),
          path(std::move(path)),
          value(std::move(value)),
          description(std::move(description)) {}

    Kind kind = Kind::Key;
    Root root = Root::LocalMachine;
    // The key, file or directory as the run named it, the device's instance ID
    // ("PCI\VEN_...\4&..."), or the command line.
    std::string path;
    std::string value;        // a value's name
    std::string description;  // a device's description
    // What it took from the registry: the DumpRegistry lines of HKEY_LOCAL_MACHINE. A
    // value's line is found once the run is over (LearnCleanRun).
    std::vector<std::string> footprint;
    std::string logged;  // the log line that reported it, without CR LF; "" for none
    size_t call = 0;     // the seam call that made it
    // The call that began its removal: a file's or folder's is the change of its
    // attributes before it, when there was one since the last removal (the receipt's
    // reads and writes come between).
    size_t began = 0;
};

inline const char* KindName(DeletionPoint::Kind kind) {
    constexpr const char* kNames[] = {"key",       "value",  "file",
                                      "directory", "device", "unregistration"};
    return kNames[static_cast<int>(kind)];
}

inline std::string Describe(const DeletionPoint& point) {
    return std::string(KindName(point.kind)) + " " + point.path +
           (point.value.empty() ? "" : " \"" + point.value + "\"");
}

// Read for the administrators, everything for the system, protected from what its
// parent passes on, as Windows keeps a control set's Enum key.
constexpr const char* kClosedToAdministrators = "D:P(A;CI;KR;;;BA)(A;CI;KA;;;SY)";

// Where a device removal and an unregistration change the registry.
inline const std::string kCurrentControlSet = "SYSTEM\\CurrentControlSet";
inline const std::string kClassIds = "SOFTWARE\\Classes\\CLSID";

// A take-over's Grant: the call that replaced a key's DACL, the key (KeyName), and the
// DACL it wrote.
struct Grant {
    size_t call = 0;
    std::string key;
    std::string dacl;
};

// The machine as the purger sees it, one call at a time. A kill after call N lets
// calls 1 to N through and refuses every later one without touching the machine,
// handles opened before included: the machine stays exactly as the kill left it, and
// no destructor (a take-over's Release) can put anything back.
class SeamTap : public Registry, public Files, public Devices, public Processes, public System {
  public:
    explicit SeamTap(MemoryMachine& machine) : machine_(machine) {}

    Platform platform() { return Platform{*this, *this, *this, *this, *this}; }
    void KillAfter(size_t calls) { limit_ = calls; }
    // The kill as a power cut: what a file opened through the tap was given and not yet
    // flushed is lost with it. Without it a killed process's writes stay, as they do in
    // the system's cache (the log's lines are never flushed).
    void CutPowerAtKill() { powerCut_ = true; }
    bool losesUnflushedWrites() const { return powerCut_; }
    bool killed() const { return calls_ > limit_; }
    void RecordDeletions() { recording_ = true; }
    size_t calls() const { return calls_; }
    const std::vector<DeletionPoint>& deletions() const { return deletions_; }

    // `action` runs when call `call` begins: what another thread does while it runs.
    void AtCall(size_t call, std::function<void()> action) {
        actionCall_ = call;
        action_ = std::move(action);
    }

    // Counts a call; false once the run has been killed.
    bool Pass() {
        if (++calls_ == limit_ + 1) takenOverAtKill_ = takenOver_;
        if (calls_ == actionCall_ && action_) action_();
        return calls_ <= limit_;
    }
    // The keys whose DACL a take-over had replaced, and neither put back nor deleted,
    // when the run was killed: empty unless it was killed between a Grant and its
    // Release.
    const std::set<std::string>& takenOverAtKill() const { return takenOverAtKill_; }
    // Each take-over's Grant.
    const std::vector<Grant>& grants() const { return grants_; }

    bool recording() const { return recording_; }

    // A deletion the machine answered with success; a device is named by the instance
    // key it took.
    void Record(DeletionPoint point) {
        if (!recording_) return;
        if (point.kind == DeletionPoint::Kind::Device) point.path = InstanceId(point.footprint);
        point.call = calls_;
        const size_t lastRemoval = deletions_.empty() ? 0 : deletions_.back().call;
        const bool prepared = (point.kind == DeletionPoint::Kind::File ||
                               point.kind == DeletionPoint::Kind::Directory) &&
                              attributesSetAt_ > lastRemoval && attributesSetOn_ == point.path;
        point.began = prepared ? attributesSetAt_ : calls_;
        deletions_.push_back(std::move(point));
        awaitingLog_ = true;
    }
    // The registry below `subtree` while recording.
    std::vector<std::string> RegistryNow(Root root, const std::string& subtree) const {
        if (!recording_) return {};
        const std::string path(WithoutTrailingBackslash(subtree));
        return machine_.DumpRegistry({RootName(root) + (path.empty() ? "" : "\\" + path)});
    }
    // The lines of `before`, the registry below `subtree`, that the call since took.
    std::vector<std::string> Took(const std::vector<std::string>& before,
                                  const std::string& subtree) const {
        return recording_ ? LinesNotIn(before, RegistryNow(Root::LocalMachine, subtree))
                          : std::vector<std::string>();
    }

    // --- Registry ---
    Long OpenKey(Root root, const char* path, Dword access,
                 std::unique_ptr<RegistryKey>* key) override;
    Long CreateKey(Root root, const char* path, Dword access, std::unique_ptr<RegistryKey>* key,
                   Dword* disposition) override;
    Long DeleteTree(Root root, const char* path) override {
        if (!Pass()) return kErrorAccessDenied;
        DeletionPoint point(DeletionPoint::Kind::Key, root, path);
        point.footprint = RegistryNow(root, path);
        const Long result = machine_.DeleteTree(root, path);
        if (result != kErrorSuccess) return result;
        std::erase_if(takenOver_, [&](const std::string& key) {
            return Within(key, KeyName(root, path), '\\');
        });
        Record(std::move(point));
        return result;
    }
    // A take-over reads a key's DACL, writes its own (the Grant) and writes the one it
    // read back (the Release).
    Long ReadKeyDacl(const char* objectName, std::string* sddl) override {
        if (!Pass()) return kErrorAccessDenied;
        const Long result = machine_.ReadKeyDacl(objectName, sddl);
        if (result == kErrorSuccess && sddl != nullptr)
            daclsRead_[ObjectKeyName(objectName)] = *sddl;
        return result;
    }
    Long ReadKeyLink(Root root, const char* path, std::string* target) override {
        return Pass() ? machine_.ReadKeyLink(root, path, target) : kErrorAccessDenied;
    }
    Long WriteKeyDacl(const char* objectName, Dword securityInformation,
                      const char* sddl) override {
        if (!Pass()) return kErrorAccessDenied;
        const Long result = machine_.WriteKeyDacl(objectName, securityInformation, sddl);
        if (result == kErrorSuccess && sddl != nullptr)
            NoteDaclWritten(ObjectKeyName(objectName), sddl);
        return result;
    }
    // A DACL written to `key` (named as KeyName spells it) by name or through its handle:
    // the one last read puts it back, any other is a Grant.
    void NoteDaclWritten(const std::string& key, const std::string& sddl) {
        if (const auto read = daclsRead_.find(key);
            read != daclsRead_.end() && read->second == sddl) {
            takenOver_.erase(key);
        } else {
            grants_.push_back({calls_, key, sddl});
            takenOver_.insert(key);
        }
    }

    // --- Files ---
    unsigned WindowsDirectory(char* buffer, unsigned size) override {
        return Pass() ? machine_.WindowsDirectory(buffer, size) : 0;
    }
    unsigned SystemDirectory(char* buffer, unsigned size) override {
        return Pass() ? machine_.SystemDirectory(buffer, size) : 0;
    }
    std::unique_ptr<FileSearch> FindFirst(const char* pattern, FindData* data) override;
    Dword GetAttributes(const char* path) override {
        return Pass() ? machine_.GetAttributes(path) : kInvalidAttributes;
    }
    bool SetAttributes(const char* path, Dword attributes) override {
        if (!Pass()) return false;
        attributesSetAt_ = calls_;
        attributesSetOn_ = path == nullptr ? "" : path;
        return machine_.SetAttributes(path, attributes);
    }
    bool DeleteFileAt(const char* path) override {
        if (!Pass() || !machine_.DeleteFileAt(path)) return false;
        Record({DeletionPoint::Kind::File, Root::LocalMachine, path});
        return true;
    }
    bool OpenForDelete(const char* path) override { return Pass() && machine_.OpenForDelete(path); }
    bool RemoveDirectoryAt(const char* path) override {
        if (!Pass() || !machine_.RemoveDirectoryAt(path)) return false;
        Record({DeletionPoint::Kind::Directory, Root::LocalMachine, path});
        return true;
    }
    bool CreateDirectoryAt(const char* path, const char* sddl) override {
        return Pass() && machine_.CreateDirectoryAt(path, sddl);
    }
    Long ReadFileSecurity(const char* path, std::string* sddl) override {
        return Pass() ? machine_.ReadFileSecurity(path, sddl) : kErrorAccessDenied;
    }
    Dword ReadProfileString(const char* section, const char* key, const char* defaultValue,
                            char* buffer, Dword size, const char* file) override {
        if (Pass())
            return machine_.ReadProfileString(section, key, defaultValue, buffer, size, file);
        if (buffer != nullptr && size > 0) buffer[0] = '\0';
        return 0;
    }
    std::unique_ptr<OpenedFile> OpenFileAt(const char* path, Dword access, Dword share,
                                           Dword disposition, Dword flags) override;
    Dword FullPath(const char* path, char* buffer, Dword size) override {
        return Pass() ? machine_.FullPath(path, buffer, size) : 0;
    }
    // The first line written to the log after a deletion, before the next one, reports
    // that deletion.
    void NoteLogLine(const char* data, Dword size) {
        if (!awaitingLog_ || data == nullptr) return;
        std::string line(data, size);
        line.erase(line.find_last_not_of("\r\n") + 1);
        deletions_.back().logged = line;
        awaitingLog_ = false;
    }
    bool WriteFileFlushed(const char* path, const char* data, Dword size) override {
        return Pass() && machine_.WriteFileFlushed(path, data, size);
    }
    bool ReadWholeFile(const char* path, std::string* content) override {
        return Pass() && machine_.ReadWholeFile(path, content);
    }

    // --- Devices ---
    std::unique_ptr<DeviceSet> OpenPresentDevices(const char* enumerator) override;
    Dword RescanDevices() override { return Pass() ? machine_.RescanDevices() : kConfigRetFailure; }
    // Recorded as the deletion of the published INF it takes.
    bool UninstallOemInf(const char* infFileName, Dword flags) override {
        if (!Pass() || !machine_.UninstallOemInf(infFileName, flags)) return false;
        char windows[kTextSize];
        machine_.WindowsDirectory(windows, kTextSize);
        Record({DeletionPoint::Kind::File, Root::LocalMachine,
                std::string(windows) + "\\inf\\" + infFileName});
        return true;
    }

    // --- Processes ---
    std::unique_ptr<Process> Start(const char* commandLine, const char* currentDirectory) override;

    // --- System ---
    void Sleep(Dword milliseconds) override {
        if (Pass()) machine_.Sleep(milliseconds);
    }
    int LoadText(unsigned id, char* buffer, int size) override {
        if (Pass()) return machine_.LoadText(id, buffer, size);
        if (buffer != nullptr && size > 0) buffer[0] = '\0';
        return 0;
    }
    int UserCountryCode(char* buffer, int size) override {
        return Pass() ? machine_.UserCountryCode(buffer, size) : 0;
    }
    bool ReadOsVersion(OsVersion* version) override {
        return Pass() && machine_.ReadOsVersion(version);
    }
    void ReadLocalTime(LocalTime* time) override {
        if (Pass()) machine_.ReadLocalTime(time);
    }
    // Not counted: a run asks for it as it sets up, and it cannot fail or change anything.
    Dword AnsiCodePage() override { return machine_.AnsiCodePage(); }
    bool ProcessUser(std::string* sid) override { return Pass() && machine_.ProcessUser(sid); }
    bool ReadPciConfig(Dword bus, Dword device, Dword reg, Dword* value) override {
        return Pass() && machine_.ReadPciConfig(bus, device, reg, value);
    }
    bool QueryWow64(bool* wow64) override { return Pass() && machine_.QueryWow64(wow64); }
    bool CheckAdministratorsMembership(bool* member) override {
        return Pass() && machine_.CheckAdministratorsMembership(member);
    }

  private:
    // A key as the security API names it ("MACHINE\SYSTEM\...") as KeyName spells it.
    static std::string ObjectKeyName(std::string_view objectName) {
        for (const auto& [prefix, root] : {std::pair{"MACHINE\\", Root::LocalMachine},
                                           std::pair{"CLASSES_ROOT\\", Root::ClassesRoot}}) {
            if (EqualsNoCase(objectName.substr(0, std::strlen(prefix)), prefix)) {
                return KeyName(root, objectName.substr(std::strlen(prefix)));
            }
        }
        return LowerCopy(objectName);
    }

    // "BUS\DEVICE\INSTANCE" of the one instance key among a removal's lines.
    static std::string InstanceId(const std::vector<std::string>& footprint) {
        const std::string enumKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
        for (const std::string& line : footprint) {
            if (line.find(" \"") != std::string::npos ||
                !EqualsNoCase(line.substr(0, enumKey.size()), enumKey)) {
                continue;
            }
            const std::string id = line.substr(enumKey.size());
            if (std::count(id.begin(), id.end(), '\\') == 2) return id;
        }
        return "";
    }

    MemoryMachine& machine_;
    size_t calls_ = 0;
    bool powerCut_ = false;
    size_t limit_ = std::numeric_limits<size_t>::max();
    size_t actionCall_ = 0;
    std::function<void()> action_;
    bool recording_ = false;
    bool awaitingLog_ = false;    // the last recorded deletion has no log line yet
    size_t attributesSetAt_ = 0;  // the last SetAttributes call, and its path
    std::string attributesSetOn_;
    std::map<std::string, std::string> daclsRead_;  // the last DACL read of each key
    std::set<std::string> takenOver_;
    std::set<std::string> takenOverAtKill_;
    std::vector<Grant> grants_;
    std::vector<DeletionPoint> deletions_;
};

namespace tapped {

class Key final : public RegistryKey {
  public:
    Key(SeamTap& tap, std::unique_ptr<RegistryKey> key, Root root, std::string path)
        : tap_(tap), key_(std::move(key)), root_(root), path_(std::move(path)) {}

    Long EnumKey(Dword index, char* name, Dword* nameSize) override {
        return tap_.Pass() ? key_->EnumKey(index, name, nameSize) : kErrorAccessDenied;
    }
    Long EnumValue(Dword index, char* name, Dword* nameSize, Dword* type, unsigned char* data,
                   Dword* dataSize) override {
        return tap_.Pass() ? key_->EnumValue(index, name, nameSize, type, data, dataSize)
                           : kErrorAccessDenied;
    }
    Long QueryValue(const char* name, Dword* type, unsigned char* data, Dword* dataSize) override {
        return tap_.Pass() ? key_->QueryValue(name, type, data, dataSize) : kErrorAccessDenied;
    }
    Long QuerySubkeyCount(Dword* count) override {
        return tap_.Pass() ? key_->QuerySubkeyCount(count) : kErrorAccessDenied;
    }
    Long DeleteValue(const char* name) override {
        if (!tap_.Pass()) return kErrorAccessDenied;
        const Long result = key_->DeleteValue(name);
        if (result == kErrorSuccess) {
            tap_.Record({DeletionPoint::Kind::Value, root_, path_, name == nullptr ? "" : name});
        }
        return result;
    }
    Long SetValue(const char* name, Dword type, const unsigned char* data, Dword size) override {
        return tap_.Pass() ? key_->SetValue(name, type, data, size) : kErrorAccessDenied;
    }
    Long SetSecurity(Dword securityInformation, const char* sddl) override {
        if (!tap_.Pass()) return kErrorAccessDenied;
        const Long result = key_->SetSecurity(securityInformation, sddl);
        if (result == kErrorSuccess && sddl != nullptr)
            tap_.NoteDaclWritten(KeyName(root_, path_), sddl);
        return result;
    }

  private:
    SeamTap& tap_;
    std::unique_ptr<RegistryKey> key_;
    Root root_;
    std::string path_;
};

class Search final : public FileSearch {
  public:
    Search(SeamTap& tap, std::unique_ptr<FileSearch> search)
        : tap_(tap), search_(std::move(search)) {}
    bool Next(FindData* data) override { return tap_.Pass() && search_->Next(data); }

  private:
    SeamTap& tap_;
    std::unique_ptr<FileSearch> search_;
};

class DeviceMembers final : public DeviceSet {
  public:
    DeviceMembers(SeamTap& tap, std::unique_ptr<DeviceSet> set) : tap_(tap), set_(std::move(set)) {}

    bool EnumMember(Dword index) override { return tap_.Pass() && set_->EnumMember(index); }
    bool ReadProperty(Dword index, Dword property, char* buffer, Dword size) override {
        return tap_.Pass() && set_->ReadProperty(index, property, buffer, size);
    }
    bool ReadInstanceId(Dword index, char* buffer, Dword size) override {
        return tap_.Pass() && set_->ReadInstanceId(index, buffer, size);
    }
    bool RemoveMember(Dword index) override {
        if (!tap_.Pass()) return false;
        if (!tap_.recording()) return set_->RemoveMember(index);
        char description[kTextSize] = {};
        set_->ReadProperty(index, kPropertyDeviceDesc, description, kTextSize - 1);
        DeletionPoint point(DeletionPoint::Kind::Device, Root::LocalMachine, "", "", description);
        const std::vector<std::string> before =
            tap_.RegistryNow(Root::LocalMachine, kCurrentControlSet);
        if (!set_->RemoveMember(index)) return false;
        point.footprint = tap_.Took(before, kCurrentControlSet);
        tap_.Record(std::move(point));
        return true;
    }

  private:
    SeamTap& tap_;
    std::unique_ptr<DeviceSet> set_;
};

class File final : public OpenedFile {
  public:
    File(SeamTap& tap, std::unique_ptr<OpenedFile> file, bool log)
        : tap_(tap), file_(std::move(file)), log_(log) {}
    bool ReadInformation(FileInformation* information) override {
        return tap_.Pass() && file_->ReadInformation(information);
    }
    Dword FinalPath(char* buffer, Dword size) override {
        return tap_.Pass() ? file_->FinalPath(buffer, size) : 0;
    }
    ~File() override {
        if (!tap_.killed()) WriteHeld();
    }
    bool Write(const char* data, Dword size) override {
        if (!tap_.Pass()) return false;
        if (tap_.losesUnflushedWrites()) {
            held_.append(data, size);
        } else if (!file_->Write(data, size)) {
            return false;
        }
        if (log_) tap_.NoteLogLine(data, size);
        return true;
    }
    bool Flush() override { return tap_.Pass() && WriteHeld() && file_->Flush(); }

  private:
    // What the system's cache holds until a flush or the close.
    bool WriteHeld() {
        const std::string held = std::move(held_);
        held_.clear();
        return held.empty() || file_->Write(held.data(), static_cast<Dword>(held.size()));
    }

    SeamTap& tap_;
    std::unique_ptr<OpenedFile> file_;
    bool log_;          // UnInstall.log
    std::string held_;  // written since the last flush, when the power may be cut
};

class Started final : public Process {
  public:
    Started(SeamTap& tap, std::unique_ptr<Process> process)
        : tap_(tap), process_(std::move(process)) {}
    bool Wait(Dword milliseconds) override { return tap_.Pass() && process_->Wait(milliseconds); }

  private:
    SeamTap& tap_;
    std::unique_ptr<Process> process_;
};

}  // namespace tapped

inline Long SeamTap::OpenKey(Root root, const char* path, Dword access,
                             std::unique_ptr<RegistryKey>* key) {
    if (!Pass()) {
        if (key != nullptr) key->reset();
        return kErrorAccessDenied;
    }
    std::unique_ptr<RegistryKey> opened;
    const Long result = machine_.OpenKey(root, path, access, &opened);
    if (key != nullptr) {
        key->reset(opened ? new tapped::Key(*this, std::move(opened), root, path) : nullptr);
    }
    return result;
}

inline Long SeamTap::CreateKey(Root root, const char* path, Dword access,
                               std::unique_ptr<RegistryKey>* key, Dword* disposition) {
    if (!Pass()) {
        if (key != nullptr) key->reset();
        return kErrorAccessDenied;
    }
    std::unique_ptr<RegistryKey> opened;
    const Long result = machine_.CreateKey(root, path, access, &opened, disposition);
    if (key != nullptr) {
        key->reset(opened ? new tapped::Key(*this, std::move(opened), root, path) : nullptr);
    }
    return result;
}

inline std::unique_ptr<FileSearch> SeamTap::FindFirst(const char* pattern, FindData* data) {
    if (!Pass()) return nullptr;
    std::unique_ptr<FileSearch> search = machine_.FindFirst(pattern, data);
    if (!search) return nullptr;
    return std::make_unique<tapped::Search>(*this, std::move(search));
}

inline std::unique_ptr<OpenedFile> SeamTap::OpenFileAt(const char* path, Dword access, Dword share,
                                                       Dword disposition, Dword flags) {
    if (!Pass()) return nullptr;
    std::unique_ptr<OpenedFile> file = machine_.OpenFileAt(path, access, share, disposition, flags);
    if (!file) return nullptr;
    const bool log = path != nullptr && std::strcmp(path, kLogFileName) == 0;
    return std::make_unique<tapped::File>(*this, std::move(file), log);
}

inline std::unique_ptr<DeviceSet> SeamTap::OpenPresentDevices(const char* enumerator) {
    if (!Pass()) return nullptr;
    std::unique_ptr<DeviceSet> set = machine_.OpenPresentDevices(enumerator);
    if (!set) return nullptr;
    return std::make_unique<tapped::DeviceMembers>(*this, std::move(set));
}

inline std::unique_ptr<Process> SeamTap::Start(const char* commandLine,
                                               const char* currentDirectory) {
    if (!Pass()) return nullptr;
    DeletionPoint point(DeletionPoint::Kind::Unregistration, Root::LocalMachine, commandLine);
    const std::vector<std::string> before = RegistryNow(Root::LocalMachine, kClassIds);
    std::unique_ptr<Process> process = machine_.Start(commandLine, currentDirectory);
    if (!process) return nullptr;
    point.footprint = Took(before, kClassIds);
    Record(std::move(point));
    return std::make_unique<tapped::Started>(*this, std::move(process));
}

// --- The clean run --------------------------------------------------------------------

// What a test does to every fresh machine of an image before a run, named for the
// cache of clean runs; nothing by default.
struct Preparation {
    std::string name;
    std::function<void(MemoryMachine&)> apply;
};

// One clean run of an image and token, and what it is measured against.
struct CleanRun {
    const MachineImage* image = nullptr;
    Preparation preparation;
    bool usbFamily = false;
    MachineView before;  // the fresh image
    MachineView after;
    MachineView twice;  // after a second clean run
    KeyDacls dacls;     // the fresh image's
    KeyDacls daclsAfter;
    std::vector<std::string> devices;      // present before the run
    size_t calls = 0;                      // seam calls the run made
    std::vector<Grant> grants;             // each take-over's Grant
    std::vector<DeletionPoint> deletions;  // with `withDeletions` only
    std::vector<std::string> log;
    std::set<std::string> valueKeys;    // keys (KeyName) it removed values of and kept
    std::set<std::string> identifiers;  // what its device-instance scan found
};

// A machine as the clean run found it.
inline testing::AssertionResult LoadFresh(const CleanRun& clean, MemoryMachine* machine) {
    std::string error;
    if (!machine->Apply(*clean.image, &error)) return testing::AssertionFailure() << error;
    if (clean.preparation.apply) clean.preparation.apply(*machine);
    return testing::AssertionSuccess();
}

// Learnt once per test program, made by `runner`; null, with a failure added, when the
// image can't be loaded or the runner finds nothing of the token's family to run.
inline const CleanRun* LearnCleanRun(const ImageRun& run, bool withDeletions,
                                     const Preparation& preparation = {},
                                     const Runner& runner = kUnattended) {
    static std::map<std::string, CleanRun> learnt;
    const std::string name = run.image + " " + run.token + " " + runner.name +
                             (withDeletions ? " deletions " : " ") + preparation.name;
    if (const auto found = learnt.find(name); found != learnt.end()) return &found->second;
    CleanRun clean;
    std::string error;
    clean.image = CachedImage(run.folder, &error);
    clean.preparation = preparation;
    RunRig rig;
    if (clean.image == nullptr || !LoadFresh(clean, &rig.machine)) {
        ADD_FAILURE() << run.image << ": " << error;
        return nullptr;
    }
    clean.usbFamily = IsUsbFamily(FamilyFromToken(run.token.c_str()));
    clean.before = ViewOf(rig.machine);
    clean.dacls = ReadKeyDacls(rig.machine);
    clean.devices = PresentDevices(rig.machine);
    SeamTap tap(rig.machine);
    if (withDeletions) tap.RecordDeletions();
    if (runner.run(tap.platform(), run.token, &clean.identifiers) != 1) {
        ADD_FAILURE() << run.token << " names no family the " << runner.name << " run finds";
        return nullptr;
    }
    clean.after = ViewOf(rig.machine);
    clean.daclsAfter = ReadKeyDacls(rig.machine);
    clean.calls = tap.calls();
    clean.grants = tap.grants();
    clean.deletions = tap.deletions();
    // A value's line: among the value lines the run took, the one of its key and name.
    std::multimap<std::string, std::string> takenValues;
    const std::unordered_set<std::string> kept(clean.after.registry.begin(),
                                               clean.after.registry.end());
    for (std::string& line : LinesNotIn(clean.before.registry, clean.after.registry)) {
        if (line.find(" \"") == std::string::npos) continue;
        const std::string key = line.substr(0, line.find(" \""));
        if (kept.count(key) != 0) clean.valueKeys.insert(LowerCopy(key));
        takenValues.emplace(DumpLineKey(line), std::move(line));
    }
    for (DeletionPoint& point : clean.deletions) {
        if (point.kind != DeletionPoint::Kind::Value) continue;
        const auto [first, last] = takenValues.equal_range(KeyName(point.root, point.path));
        for (auto line = first; line != last; ++line) {
            if (EqualsNoCase(DumpValueName(line->second), point.value)) {
                point.footprint.push_back(line->second);
            }
        }
    }
    clean.log = rig.LogLines();
    runner.run(rig.platform, run.token, nullptr);
    clean.twice = ViewOf(rig.machine);
    return &learnt.emplace(name, std::move(clean)).first->second;
}

// Whether the fresh image holds the file or folder: the run makes one of its own, the
// file that keeps its device identifiers until the registry step is done.
inline bool OnFreshMachine(const CleanRun& clean, const DeletionPoint& point) {
    const std::string name = FileName(point.path);
    return std::any_of(clean.before.files.begin(), clean.before.files.end(),
                       [&](const std::string& line) { return DumpLineFile(line) == name; });
}

// --- DACL entries -------------------------------------------------------------------------

// Whether every entry `now` lacks of `was` is one `was` inherited from what `original`
// passes on to subkeys, and every entry it has beyond `was` one it inherited from what
// `replacement` passes on: the DACL a key below another gets when the other's DACL
// `original` is replaced by `replacement`.
inline bool InheritsReplacement(const std::string& was, const std::string& now,
                                const std::string& original, const std::string& replacement) {
    Dacl before;
    Dacl after;
    Dacl from;
    Dacl to;
    if (!ParseDaclSddl(was, &before) || !ParseDaclSddl(now, &after) ||
        !ParseDaclSddl(original, &from) || !ParseDaclSddl(replacement, &to)) {
        return false;
    }
    const auto inheritedFrom = [](const Dacl& parent, const Ace& ace) {
        return (ace.flags & kAceInherited) != 0 &&
               std::any_of(parent.aces.begin(), parent.aces.end(), [&](const Ace& entry) {
                   return (entry.flags & kAceContainerInherit) != 0 && entry.deny == ace.deny &&
                          entry.mask == ace.mask && entry.sid == ace.sid;
               });
    };
    return std::all_of(
               before.aces.begin(), before.aces.end(),
               [&](const Ace& ace) { return HasEntry(after, ace) || inheritedFrom(from, ace); }) &&
           std::all_of(after.aces.begin(), after.aces.end(), [&](const Ace& ace) {
               return HasEntry(before, ace) || inheritedFrom(to, ace);
           });
}

// --- The purger's known limits --------------------------------------------------------------

// Four ways a run that was stopped or hit a fault leaves something that no later run
// removes. They are the purger's known limits, left as they are for now; the tests
// name each exactly, computed from the run at hand, and count how often it was used.
enum class KnownLimit {
    // A run stopped between a value key's take-over (Grant) and its Release leaves the
    // key with the Grant's DACL, full control for the administrators (its subkeys are
    // not touched). The purger keeps no note of the DACL it replaced, and a later run
    // finds the key open to it and deletes the remaining values without a take-over, so
    // nothing puts the original back.
    TakeOverDaclLeft,
    // The registry step finds a device's NextParentID values in a control set's Enum
    // key and its medium-cache values by the identifiers the device-instance scan reads
    // from CurrentControlSet's instance keys (instance names, ParentIdPrefix). Device
    // removal and the Enum walks delete those keys first, so a value the run did not get
    // to is one no later run finds.
    IdentifiersLost,
    // A device whose removal failed loses its Enum instance keys to the registry step
    // all the same: a later run no longer sees the device, and its driver key below
    // Control\Class and its interface keys below Control\DeviceClasses, which only
    // device removal takes, stay.
    FailedDeviceKeysLeft,
    // A file found only through what the same run removes (a PNF through its INF, a
    // driver file or INF through the detection flags read from the devices' registry
    // traces): when it is locked, the run still removes what points to it, and a later
    // run does not find it.
    LockedFileLeft,
};
inline constexpr size_t kKnownLimits = 4;

inline const char* KnownLimitName(KnownLimit limit) {
    constexpr const char* kNames[] = {"F1 take-over DACL left", "F2 identifiers lost",
                                      "F3 failed device's keys left", "F4 locked file left"};
    return kNames[static_cast<size_t>(limit)];
}

// The property name of a limit: "limit_f2_identifiers_lost".
inline std::string KnownLimitProperty(KnownLimit limit) {
    std::string name = "limit_" + LowerCopy(KnownLimitName(limit));
    name.erase(std::remove(name.begin(), name.end(), '\''), name.end());
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

// What one rerun may leave, or hold changed, where a clean run ends otherwise, by the
// known limits that apply to it; each counts what it excused.
class KnownLimits {
  public:
    explicit KnownLimits(const CleanRun& clean) : clean_(clean) {}

    // The identifiers the clean run's device-instance scan found and a rerun's did not.
    void AllowIdentifiersLost(const std::set<std::string>& rerunFound) {
        std::set_difference(clean_.identifiers.begin(), clean_.identifiers.end(),
                            rerunFound.begin(), rerunFound.end(),
                            std::back_inserter(lostIdentifiers_));
    }
    // The value keys a stopped run had taken over, with the DACL each Grant wrote.
    void AllowTakeOversLeft(const SeamTap& stopped) {
        for (const std::string& key : stopped.takenOverAtKill()) {
            if (clean_.valueKeys.count(key) == 0) continue;
            for (const Grant& grant : stopped.grants()) {
                if (grant.key == key) takenOver_[key] = grant.dacl;  // the last counts
            }
        }
    }
    // The one deletion a fault refused: a device whose removal failed leaves what the
    // clean run's removal of it took; a locked file or folder leaves itself.
    void AllowWhatFailedLeaves(const DeletionPoint& refused) {
        if (refused.kind == DeletionPoint::Kind::Device) {
            failedDevice_.insert(refused.footprint.begin(), refused.footprint.end());
        } else if (refused.kind == DeletionPoint::Kind::File ||
                   refused.kind == DeletionPoint::Kind::Directory) {
            lockedFiles_.insert(FileName(refused.path));
        }
    }

    bool ExcusesRegistryLine(const std::string& line) {
        if (failedDevice_.count(line) != 0) return Used(KnownLimit::FailedDeviceKeysLeft);
        return FoundByALostIdentifier(line) && Used(KnownLimit::IdentifiersLost);
    }
    bool ExcusesFileLine(const std::string& line) {
        return lockedFiles_.count(DumpLineFile(line)) != 0 && Used(KnownLimit::LockedFileLeft);
    }
    // A key's DACL `now`, where a clean run leaves another: the value key itself with
    // exactly its Grant's DACL (which reaches no key below it).
    bool ExcusesDacl(const std::string& key, const std::string& now) {
        const auto taken = takenOver_.find(LowerCopy(key));
        return taken != takenOver_.end() && now == taken->second &&
               Used(KnownLimit::TakeOverDaclLeft);
    }

    // Items excused, by limit.
    const std::array<int, kKnownLimits>& used() const { return used_; }

  private:
    bool Used(KnownLimit limit) {
        ++used_[static_cast<size_t>(limit)];
        return true;
    }

    // A value the clean run removes: a NextParentID value of a control set's Enum key or
    // a value of a medium-cache entry, whose name holds a lost identifier.
    bool FoundByALostIdentifier(const std::string& line) const {
        const size_t quote = line.find(" \"");
        if (quote == std::string::npos ||
            std::find(clean_.before.registry.begin(), clean_.before.registry.end(), line) ==
                clean_.before.registry.end()) {
            return false;
        }
        const std::string key = DumpLineKey(line);
        const std::string value = LowerCopy(DumpValueName(line));
        const bool enumValue = value.rfind("nextparentid.", 0) == 0 && InControlSet(key, "enum");
        const bool cacheValue =
            InControlSet(key.substr(0, key.rfind('\\')), "control\\mediumcache");
        return (enumValue || cacheValue) &&
               std::any_of(
                   lostIdentifiers_.begin(), lostIdentifiers_.end(),
                   [&](const std::string& id) { return value.find(id) != std::string::npos; });
    }

    // Whether `key` is `area` (lower case) of one of the control sets the plan cleans.
    static bool InControlSet(const std::string& key, const std::string& area) {
        return std::any_of(
            std::begin(ControlSetRoots), std::end(ControlSetRoots),
            [&](const char* root) { return key == KeyName(Root::LocalMachine, root + area); });
    }

    const CleanRun& clean_;
    std::vector<std::string> lostIdentifiers_;
    std::map<std::string, std::string> takenOver_;  // KeyName -> the DACL its Grant wrote
    std::unordered_set<std::string> failedDevice_;  // the lines its removal took
    std::set<std::string> lockedFiles_;             // as FileName spells them
    std::array<int, kKnownLimits> used_{};
};

// The known limits' use over the reruns of one test: how many reruns each excused
// something in, and how many items. Report() records them as properties and prints
// them in one line, for the figures of a campaign.
class KnownLimitTally {
  public:
    void Add(const KnownLimits& limits) {
        ++reruns_;
        for (size_t i = 0; i < kKnownLimits; ++i) {
            if (limits.used()[i] > 0) ++rerunsUsing_[i];
            items_[i] += limits.used()[i];
        }
    }

    void Report() const {
        testing::Test::RecordProperty("reruns", reruns_);
        std::string line = "[  LIMITS  ] " + std::to_string(reruns_) + " reruns";
        for (size_t i = 0; i < kKnownLimits; ++i) {
            const auto limit = static_cast<KnownLimit>(i);
            testing::Test::RecordProperty(KnownLimitProperty(limit) + "_reruns", rerunsUsing_[i]);
            testing::Test::RecordProperty(KnownLimitProperty(limit) + "_items", items_[i]);
            line += "; " + std::string(KnownLimitName(limit)) + ": " +
                    std::to_string(rerunsUsing_[i]) + " (" + std::to_string(items_[i]) + " items)";
        }
        std::printf("%s\n", line.c_str());
    }

  private:
    int reruns_ = 0;
    std::array<int, kKnownLimits> rerunsUsing_{};
    std::array<int, kKnownLimits> items_{};
};

// Runs `token` again on `rig`'s machine, as a restarted process would, and lets `limits`
// excuse the values found through identifiers the rerun's scan no longer finds.
inline int RunAgain(RunRig& rig, const std::string& token, KnownLimits* limits) {
    std::set<std::string> found;
    const int result = RunToken(rig.platform, token, &found);
    limits->AllowIdentifiersLost(found);
    return result;
}

// What a clean run leaves, but `forGood` and what `limits` excuse, less what a second
// clean run removes at the most (a second run of some families takes another vendor's
// device: traces.txt's "again" items), each key with every DACL entry a clean run leaves
// it but where `limits` excuse its DACL; and no log line naming something still there.
inline void ExpectEndsAsCleanRunEnds(RunRig& rig, const CleanRun& clean, const std::string& after,
                                     KnownLimits& limits,
                                     const std::vector<std::string>& forGood = {}) {
    const MachineView view = ViewOf(rig.machine);
    std::vector<std::string> left;
    for (const std::string& line :
         LinesNotIn(LinesNotIn(view.registry, clean.after.registry), forGood)) {
        if (!limits.ExcusesRegistryLine(line)) left.push_back(line);
    }
    for (const std::string& line : LinesNotIn(view.files, clean.after.files)) {
        if (!limits.ExcusesFileLine(line)) left.push_back(line);
    }
    ExpectNone(left, "left for good: " + after + " does not find it again");
    ExpectNone(Both(LinesNotIn(LinesNotIn(clean.after.registry, view.registry),
                               LinesNotIn(clean.after.registry, clean.twice.registry)),
                    LinesNotIn(clean.after.files, view.files)),
               "removed by " + after + ", though even a second clean run keeps it");
    ExpectNone(LoggedButThere(rig, clean.devices), "logged, but still there");
    std::vector<std::string> stripped;
    for (const auto& [key, sddl] : ReadKeyDacls(rig.machine)) {
        const auto cleanDacl = clean.daclsAfter.find(key);
        if (cleanDacl != clean.daclsAfter.end() && Weakens(cleanDacl->second, sddl) &&
            !limits.ExcusesDacl(key, sddl)) {
            stripped.push_back(key + "  " + cleanDacl->second + " -> " + sddl);
        }
    }
    ExpectNone(stripped, "DACL without entries a clean run leaves it, after " + after);
}

inline void ExpectNoKeyOpened(const KeySecuritySweep& sweep, const MemoryMachine& machine,
                              const std::string& when) {
    const std::vector<OpenedKey> opened = sweep.OpenedSince(machine);
    EXPECT_TRUE(opened.empty()) << "open to everyone " << when << ":" << Describe(opened);
}

}  // namespace cvp::test
