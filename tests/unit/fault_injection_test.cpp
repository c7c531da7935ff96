// A fault at any one deletion never leaves a machine worse or open.
//
// Each image of an installed product (and, for files, the PC with every family's files)
// runs once cleanly for each of its tokens in scenarios.txt; the tapped seam records every
// deletion that run makes (each key, value, file, folder and device). Then, for each
// deletion in turn, a fresh machine has that one made to fail: a key that refuses the
// administrators and can't be taken over, or one whose subtree holds a protected
// subkey, so that its deletion stops halfway; a guarded value; a locked file or
// folder; a device whose removal fails. The run must
//   - remove nothing a clean run keeps, and everything it removes, in every stage, but
//     what lies below the failed item or holds it, and what the run finds only through
//     it (the device identifiers the scan reads from a key it can't open);
//   - leave the failed item, log every other item the clean run logs unless it is
//     still there, and log nothing that is still there;
//   - leave no key open to everyone that was not before (key_security.h);
// and a rerun with the fault lifted must end where a clean run ends (or, where a second
// clean run removes more, as traces.txt's "again" items say, where two clean runs end),
// every key keeping each DACL entry a clean run leaves it, but for the purger's known
// limits (fault_rig.h), each computed from the fault at hand: the values found through
// identifiers the first run took away, a failed device's keys, a locked file.
//
// The sample: a deletion below ControlSet001 or ControlSet003 whose twin below
// CurrentControlSet the run makes too is faulted at the twin only, and of the rest at
// most FaultsPerKind() of each kind, spread evenly over the run (every one with
// CVP_FAULTS_PER_KIND=0).
//
// Faults of the whole run follow: regsvr32 that can't start or never ends, an
// unwritable log, a control set the machine does not have.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "unit/fault_rig.h"
#include "unit/key_security.h"

namespace cvp::test {
namespace {

using Kind = DeletionPoint::Kind;

// --- The machine's faults this suite adds ------------------------------------------------

TEST(MemoryFaults, DenyKeyTakeoverLeavesTheAdministratorsNoWayIn) {
    MemoryMachine machine;
    machine.CreateKey(Root::LocalMachine, "SYSTEM\\Held\\Sub");
    machine.DenyKeyTakeover(Root::LocalMachine, "system\\held");
    std::unique_ptr<RegistryKey> key;
    std::string sddl;
    EXPECT_EQ(machine.OpenKey(Root::LocalMachine, "SYSTEM\\Held", kKeyRead, &key),
              kErrorAccessDenied);
    EXPECT_EQ(machine.ReadKeyDacl("MACHINE\\SYSTEM\\Held", &sddl), kErrorAccessDenied);
    EXPECT_EQ(machine.WriteKeyDacl("MACHINE\\SYSTEM\\Held", kDaclSecurityInformation,
                                   "D:(A;OICI;GA;;;WD)"),
              kErrorAccessDenied);
    EXPECT_EQ(machine.DeleteTree(Root::LocalMachine, "SYSTEM\\Held"), kErrorAccessDenied);
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\Held"), "D:(D;;KA;;;WD)");
    // Its subkeys are the administrators' own.
    EXPECT_EQ(machine.WriteKeyDacl("MACHINE\\SYSTEM\\Held\\Sub", kDaclSecurityInformation,
                                   "D:(A;;KA;;;BA)"),
              kErrorSuccess);

    // Lifted, the key is the administrators' again, and its DACL still its own.
    machine.ClearFaults();
    EXPECT_EQ(machine.ReadKeyDacl("MACHINE\\SYSTEM\\Held", &sddl), kErrorSuccess);
    EXPECT_EQ(sddl, "D:(D;;KA;;;WD)");
    EXPECT_EQ(
        machine.WriteKeyDacl("MACHINE\\SYSTEM\\Held", kDaclSecurityInformation, "D:(A;;KA;;;BA)"),
        kErrorSuccess);
    EXPECT_EQ(machine.DeleteTree(Root::LocalMachine, "SYSTEM\\Held"), kErrorSuccess);
}

TEST(MemoryFaults, FailValueDeletionRefusesThatValueOfThatKeyOnly) {
    MemoryMachine machine;
    machine.SetString(Root::LocalMachine, "SYSTEM\\Enum", "Guarded", "x");
    machine.SetString(Root::LocalMachine, "SYSTEM\\Enum", "Other", "y");
    machine.SetString(Root::LocalMachine, "SYSTEM\\Twin", "Guarded", "z");
    machine.FailValueDeletion(Root::LocalMachine, "SYSTEM\\Enum", "guarded");
    const auto remove = [&](const char* path, const char* name) {
        std::unique_ptr<RegistryKey> key;
        EXPECT_EQ(machine.OpenKey(Root::LocalMachine, path, kKeyAllAccess, &key), kErrorSuccess);
        return key ? key->DeleteValue(name) : kErrorInvalidHandle;
    };
    EXPECT_EQ(remove("SYSTEM\\Enum", "GUARDED"), kErrorAccessDenied);
    EXPECT_EQ(remove("SYSTEM\\Enum", "Other"), kErrorSuccess);
    EXPECT_EQ(remove("SYSTEM\\Twin", "Guarded"), kErrorSuccess);
    EXPECT_TRUE(machine.ValueExists(Root::LocalMachine, "SYSTEM\\Enum", "Guarded"));

    // The fault belongs to the key: one made again after a deletion is a new key.
    ASSERT_EQ(machine.DeleteTree(Root::LocalMachine, "SYSTEM\\Enum"), kErrorSuccess);
    machine.SetString(Root::LocalMachine, "SYSTEM\\Enum", "Guarded", "x");
    EXPECT_EQ(remove("SYSTEM\\Enum", "Guarded"), kErrorSuccess);
}

TEST(MemoryFaults, ClearFaultsLiftsLocksRemovalsProcessesAndGuards) {
    MemoryMachine machine;
    machine.AddFile("C:\\windows\\held.sys", "");
    machine.LockFile("C:\\windows\\held.sys");
    machine.SetString(Root::LocalMachine, "SYSTEM\\CurrentControlSet\\Enum\\PCI\\D\\1", "ClassGUID",
                      kMediaClassGuid);
    machine.FailDeviceRemoval("PCI\\D\\1");
    machine.FailProcessStart();
    machine.SetString(Root::LocalMachine, "SYSTEM\\Enum", "Guarded", "x");
    machine.FailValueDeletion(Root::LocalMachine, "SYSTEM\\Enum", "Guarded");
    EXPECT_FALSE(machine.DeleteFileAt("C:\\windows\\held.sys"));
    EXPECT_FALSE(machine.OpenPresentDevices("PCI")->RemoveMember(0));
    EXPECT_EQ(machine.Start("C:\\windows\\system32\\regsvr32.exe -u -s x.ax", nullptr), nullptr);

    machine.ClearFaults();
    machine.HangProcesses();
    machine.ClearFaults();
    EXPECT_TRUE(machine.DeleteFileAt("C:\\windows\\held.sys"));
    EXPECT_TRUE(machine.OpenPresentDevices("PCI")->RemoveMember(0));
    const std::unique_ptr<Process> process =
        machine.Start("C:\\windows\\system32\\regsvr32.exe -u -s x.ax", nullptr);
    ASSERT_NE(process, nullptr);
    EXPECT_TRUE(process->Wait(0));
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(machine.OpenKey(Root::LocalMachine, "SYSTEM\\Enum", kKeyAllAccess, &key),
              kErrorSuccess);
    EXPECT_EQ(key->DeleteValue("Guarded"), kErrorSuccess);
}

// --- The known limits excuse exactly what they name -----------------------------------------

constexpr Root kMachine = Root::LocalMachine;

// Values named after the identifiers 1a2b3c4d and 0a0b0c0d: two the registry step finds
// through 1a2b3c4d, one through 0a0b0c0d, and four it does not find through either
// (another name, a key that is neither Enum nor a medium-cache entry, another
// identifier).
void AddValuesNamedAfterIdentifiers(MemoryMachine& machine) {
    machine.SetString(kMachine, "SYSTEM\\ControlSet001\\Enum", "NextParentID.1a2b3c4d.5", "x");
    machine.SetString(kMachine, "SYSTEM\\ControlSet003\\Control\\MediumCache\\{c}-0-0",
                      "\\\\?\\STREAM#TUNER#5&1a2b3c4d&0&0#{a}", "x");
    machine.SetString(kMachine, "SYSTEM\\CurrentControlSet\\Enum", "NextParentID.0a0b0c0d.1", "x");
    machine.SetString(kMachine, "SYSTEM\\CurrentControlSet\\Enum", "Other.1a2b3c4d", "x");
    machine.SetString(kMachine, "SYSTEM\\CurrentControlSet\\Control", "NextParentID.1a2b3c4d.5",
                      "x");
    machine.SetString(kMachine, "SYSTEM\\CurrentControlSet\\Control\\MediumCache",
                      "\\\\?\\STREAM#TUNER#5&1a2b3c4d&0&0#{a}", "x");
    machine.SetString(kMachine, "SYSTEM\\CurrentControlSet\\Enum", "NextParentID.77777777.1", "x");
}

// The names of the values among `registry` that `limits` excuse.
std::vector<std::string> Excused(KnownLimits& limits, const std::vector<std::string>& registry) {
    std::vector<std::string> excused;
    for (const std::string& line : registry) {
        if (limits.ExcusesRegistryLine(line)) excused.push_back(DumpValueName(line));
    }
    return excused;
}

TEST(FaultLimits, LostIdentifiersExcuseTheValuesFoundThroughThemOnly) {
    MemoryMachine machine;
    AddValuesNamedAfterIdentifiers(machine);
    CleanRun clean;
    clean.before = ViewOf(machine);  // a clean run removes every value
    clean.identifiers = {"0a0b0c0d", "1a2b3c4d"};
    KnownLimits limits(clean);
    limits.AllowIdentifiersLost({"0a0b0c0d"});  // all a rerun still finds

    EXPECT_EQ(Excused(limits, clean.before.registry),
              (std::vector<std::string>{"NextParentID.1a2b3c4d.5",
                                        "\\\\?\\STREAM#TUNER#5&1a2b3c4d&0&0#{a}"}));
    EXPECT_EQ(limits.used()[static_cast<size_t>(KnownLimit::IdentifiersLost)], 2);
    // Not a value the machine did not hold before the clean run.
    EXPECT_FALSE(limits.ExcusesRegistryLine(
        "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Enum \"NextParentID.1a2b3c4d.9\" = sz:\"x\""));
    // Nothing when the rerun finds every identifier again.
    KnownLimits found(clean);
    found.AllowIdentifiersLost(clean.identifiers);
    EXPECT_TRUE(Excused(found, clean.before.registry).empty());
}

// Closed as Windows keeps a control set's Enum key: protected, administrators may only
// read it.
TEST(FaultLimits, ATakeOverLeftExcusesItsValueKeyWithTheGrantsDaclAndNothingBelowIt) {
    const auto closedKey = [](RunRig& rig) {
        rig.machine.SetString(kMachine, "SYSTEM\\Closed", "Value", "x");
        rig.machine.CreateKey(kMachine, "SYSTEM\\Closed\\Sub");
        rig.machine.CreateKey(kMachine, "SYSTEM\\Other");
        rig.machine.SetKeyDacl(kMachine, "SYSTEM\\Closed", "D:P(A;CI;KR;;;BA)(A;CI;KA;;;SY)");
    };
    CleanRun clean;
    RunRig cleanRig;
    closedKey(cleanRig);
    ASSERT_EQ(TakeOverAndDeleteValue(cleanRig.context, kMachine, "SYSTEM\\Closed", "Value"), 1);
    clean.daclsAfter = ReadKeyDacls(cleanRig.machine);
    clean.valueKeys = {"hkey_local_machine\\system\\closed"};

    RunRig rig;
    closedKey(rig);
    SeamTap tap(rig.machine);
    // The plain deletion's OpenKey; the Grant's ReadKeyDacl, OpenKey and SetSecurity.
    tap.KillAfter(4);
    Platform platform = tap.platform();
    RunContext context{platform, rig.state, nullptr};
    TakeOverAndDeleteValue(context, kMachine, "SYSTEM\\Closed", "Value");
    ASSERT_EQ(tap.grants().size(), 1u);
    const std::string granted = tap.grants()[0].dacl;
    EXPECT_EQ(rig.machine.KeyDacl(kMachine, "SYSTEM\\Closed"), granted);
    const std::string sub = "HKEY_LOCAL_MACHINE\\SYSTEM\\Closed\\Sub";
    EXPECT_EQ(rig.machine.KeyDacl(kMachine, "SYSTEM\\Closed\\Sub"), clean.daclsAfter.at(sub));

    KnownLimits limits(clean);
    limits.AllowTakeOversLeft(tap);
    EXPECT_TRUE(limits.ExcusesDacl("HKEY_LOCAL_MACHINE\\SYSTEM\\Closed", granted));
    EXPECT_EQ(limits.used()[static_cast<size_t>(KnownLimit::TakeOverDaclLeft)], 1);
    // Another DACL, a key below it, another key: not excused.
    EXPECT_FALSE(limits.ExcusesDacl("HKEY_LOCAL_MACHINE\\SYSTEM\\Closed", "D:(A;OICI;GA;;;WD)"));
    EXPECT_FALSE(limits.ExcusesDacl(sub, granted));
    EXPECT_FALSE(limits.ExcusesDacl("HKEY_LOCAL_MACHINE\\SYSTEM\\Other", granted));
    // A key the clean run removes no value of, taken over all the same: not excused.
    clean.valueKeys.clear();
    KnownLimits keyOnly(clean);
    keyOnly.AllowTakeOversLeft(tap);
    EXPECT_FALSE(keyOnly.ExcusesDacl("HKEY_LOCAL_MACHINE\\SYSTEM\\Closed", granted));
}

TEST(FaultLimits, AFailedDeletionExcusesADevicesFootprintOrALockedFileItself) {
    const CleanRun clean;
    DeletionPoint device(DeletionPoint::Kind::Device, kMachine, "PCI\\VEN_1\\4&0");
    device.footprint = {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\{c}\\0001"};
    const DeletionPoint file(DeletionPoint::Kind::File, kMachine, "C:\\windows\\inf\\oem1.PNF");
    const DeletionPoint value(DeletionPoint::Kind::Value, kMachine, "SYSTEM\\Enum", "V");
    KnownLimits limits(clean);
    limits.AllowWhatFailedLeaves(device);
    limits.AllowWhatFailedLeaves(file);
    limits.AllowWhatFailedLeaves(value);

    EXPECT_TRUE(limits.ExcusesRegistryLine(device.footprint[0]));
    EXPECT_FALSE(limits.ExcusesRegistryLine(device.footprint[0] + "\\Settings"));
    EXPECT_FALSE(limits.ExcusesRegistryLine("HKEY_LOCAL_MACHINE\\SYSTEM\\Enum \"V\" = sz:\"x\""));
    EXPECT_TRUE(limits.ExcusesFileLine("drive_c/windows/inf/oem1.PNF"));
    EXPECT_FALSE(limits.ExcusesFileLine("drive_c/windows/inf/oem1.inf"));
    EXPECT_EQ(limits.used()[static_cast<size_t>(KnownLimit::FailedDeviceKeysLeft)], 1);
    EXPECT_EQ(limits.used()[static_cast<size_t>(KnownLimit::LockedFileLeft)], 1);
}

// --- What the device-instance scan reads -------------------------------------------------

// The middle part of an instance name or ParentIdPrefix: "7&1a2b3c4d&0" gives 1a2b3c4d.
std::string MiddlePart(const std::string& text) {
    const size_t first = text.find('&');
    if (first == std::string::npos) return "";
    return LowerCopy(text.substr(first + 1, text.find('&', first + 1) - first - 1));
}

// The text of a REG_SZ value from its DumpRegistry line; "" for any other line.
std::string StringData(const std::string& line) {
    constexpr std::string_view kText = "\" = sz:\"";
    const size_t data = line.rfind(kText);
    if (data == std::string::npos || line.back() != '"') return "";
    const size_t start = data + kText.size();
    return line.substr(start, line.size() - start - 1);
}

// The scan takes the identifiers that name a device's Enum values and medium-cache
// entries from the scanned bus (CurrentControlSet\Enum\PCI or \USB): the middle parts
// of each instance's name and ParentIdPrefix. A key it can't read hides some: a device
// key ends the scan, hiding its own devices' and every later device's; an instance key
// hides its ParentIdPrefix.
std::vector<std::string> HiddenIdentifiers(const CleanRun& clean, const std::string& deniedKey) {
    const std::string bus =
        KeyName(Root::LocalMachine, std::string("SYSTEM\\CurrentControlSet\\Enum\\") +
                                        (clean.usbFamily ? "USB" : "PCI"));
    if (deniedKey.empty() || !(Within(deniedKey, bus, '\\') || Within(bus, deniedKey, '\\'))) {
        return {};
    }
    // Below the bus: "" (the bus or a key above it), "device" or "device\instance".
    const std::string denied =
        deniedKey.size() > bus.size() ? deniedKey.substr(bus.size() + 1) : "";
    const bool deniedDevice = !denied.empty() && denied.find('\\') == std::string::npos;
    std::vector<std::string> hidden;
    for (const std::string& line : clean.before.registry) {
        const std::string key = DumpLineKey(line);
        const std::string instance = Within(key, bus, '\\') ? key.substr(bus.size()) : "";
        if (std::count(instance.begin(), instance.end(), '\\') != 2)
            continue;  // "\device\instance"
        const size_t slash = instance.rfind('\\');
        const bool scanEnded =
            denied.empty() || (deniedDevice && instance.substr(1, slash - 1) >= denied);
        const std::string value = DumpValueName(line);
        if (value.empty() && scanEnded) {
            hidden.push_back(MiddlePart(instance.substr(slash + 1)));
        } else if (EqualsNoCase(value, "ParentIdPrefix") &&
                   (scanEnded || instance.substr(1) == denied)) {
            hidden.push_back(MiddlePart(StringData(line)));
        }
    }
    hidden.erase(std::remove(hidden.begin(), hidden.end(), ""), hidden.end());
    return hidden;
}

// --- What a failed deletion may leave behind -------------------------------------------

// The failed item with everything below it; what the clean run deleted whole around it
// (a key or folder that holds it can't go while it stays); and the values named by
// device identifiers the scan could not read.
class Leftovers {
  public:
    Leftovers(const CleanRun& clean, const std::vector<const DeletionPoint*>& failed,
              std::vector<std::string> hiddenIdentifiers)
        : identifiers_(std::move(hiddenIdentifiers)) {
        std::vector<std::string> anchors;
        for (const DeletionPoint* point : failed) {
            if (point->kind == Kind::Key) keys_.push_back(KeyName(point->root, point->path));
            if (point->kind == Kind::File || point->kind == Kind::Directory) {
                AddFoldersHolding(clean, FileName(point->path));
            }
            for (const std::string& line : point->footprint) {
                lines_.insert(line);
                anchors.push_back(DumpLineKey(line));
            }
        }
        for (const DeletionPoint& point : clean.deletions) {
            if (point.kind != Kind::Key) continue;
            const std::string key = KeyName(point.root, point.path);
            if (std::any_of(anchors.begin(), anchors.end(),
                            [&](const std::string& anchor) { return Within(anchor, key, '\\'); })) {
                keys_.push_back(key);
            }
        }
    }

    bool Excuses(const std::string& registryLine) const {
        if (lines_.count(registryLine) != 0) return true;
        const std::string key = DumpLineKey(registryLine);
        if (std::any_of(keys_.begin(), keys_.end(),
                        [&](const std::string& kept) { return Within(key, kept, '\\'); })) {
            return true;
        }
        const std::string valueName = LowerCopy(DumpValueName(registryLine));
        return !valueName.empty() &&
               std::any_of(identifiers_.begin(), identifiers_.end(), [&](const std::string& id) {
                   return valueName.find(id) != std::string::npos;
               });
    }
    bool ExcusesFile(const std::string& fileLine) const {
        return files_.count(DumpLineFile(fileLine)) != 0;
    }

  private:
    void AddFoldersHolding(const CleanRun& clean, const std::string& file) {
        files_.insert(file);
        for (const DeletionPoint& point : clean.deletions) {
            if (point.kind == Kind::Directory && Within(file, FileName(point.path), '/')) {
                files_.insert(FileName(point.path));
            }
        }
    }

    std::vector<std::string> keys_;
    std::unordered_set<std::string> lines_;
    std::set<std::string> files_;
    std::vector<std::string> identifiers_;
};

// --- Faults at one deletion -------------------------------------------------------------

enum class Variant {
    Refused,          // the item itself refuses: a denied key no take-over reaches, a
                      // guarded value, a locked file or folder, a failing removal
    ProtectedSubkey,  // a key whose last subkey (one added, for a key without) has a
                      // protected DACL that denies everyone: it is read and matched,
                      // taken over, and its deletion stops halfway
};

struct InjectedFault {
    std::string what;
    std::string deniedKey;  // KeyName of the key whose DACL refuses, "" for none
    std::vector<std::pair<std::string, std::string>> dacls;  // HKLM paths, DACLs to put back
};

// The last direct subkey the key had when the clean run deleted it, in the order the
// registry enumerates it, below HKEY_LOCAL_MACHINE; "" for none.
std::string LastSubkey(const DeletionPoint& point) {
    const std::string key = KeyName(point.root, point.path);
    std::string last;
    for (const std::string& line : point.footprint) {
        const std::string name = DumpLineKey(line);
        if (line.find(" \"") == std::string::npos && name.size() > key.size() &&
            name.find('\\', key.size() + 1) == std::string::npos) {
            last = line.substr(std::strlen("HKEY_LOCAL_MACHINE\\"));
        }
    }
    return last;
}

// Denies the key: `path` below HKEY_LOCAL_MACHINE.
void Deny(MemoryMachine& machine, const std::string& path, bool protectedDacl,
          InjectedFault* fault) {
    fault->deniedKey = KeyName(Root::LocalMachine, path);
    fault->dacls.emplace_back(path, machine.KeyDacl(Root::LocalMachine, path));
    if (protectedDacl) {
        machine.SetKeyDacl(Root::LocalMachine, path, "D:P(D;;KA;;;WD)");
    } else {
        machine.DenyKeyTakeover(Root::LocalMachine, path);
    }
}

InjectedFault Inject(MemoryMachine& machine, const DeletionPoint& point, Variant variant) {
    InjectedFault fault{Describe(point), "", {}};
    switch (point.kind) {
        case Kind::Key:
            if (variant == Variant::ProtectedSubkey) {
                std::string subkey = LastSubkey(point);
                if (subkey.empty()) {
                    subkey = CanonicalKey(point.root, WithoutTrailingBackslash(point.path)).path +
                             "\\Held";
                    machine.CreateKey(Root::LocalMachine, subkey);
                }
                fault.what += ", protected subkey " + subkey;
                Deny(machine, subkey, true, &fault);
            } else {
                Deny(machine, CanonicalKey(point.root, WithoutTrailingBackslash(point.path)).path,
                     false, &fault);
            }
            break;
        case Kind::Value:
            machine.FailValueDeletion(point.root, point.path, point.value);
            break;
        case Kind::File:
        case Kind::Directory:
            machine.LockFile(point.path);
            break;
        case Kind::Device:
            machine.FailDeviceRemoval(point.path);
            break;
        case Kind::Unregistration:
            break;  // regsvr32 fails for the whole run, below
    }
    return fault;
}

void Lift(MemoryMachine& machine, const InjectedFault& fault) {
    machine.ClearFaults();
    for (const auto& [path, dacl] : fault.dacls) machine.SetKeyDacl(Root::LocalMachine, path, dacl);
}

bool StillThere(const MemoryMachine& machine, const CleanRun& clean, const DeletionPoint& point) {
    switch (point.kind) {
        case Kind::Key:
            return machine.KeyExists(point.root, point.path);
        case Kind::Value:
            return machine.ValueExists(point.root, point.path, point.value);
        // A lock set before the run keeps the run's own file from being made at all:
        // then nothing is there to stay.
        case Kind::File:
        case Kind::Directory:
            return machine.FileExists(point.path) || !OnFreshMachine(clean, point);
        // The registry stage takes the Enum keys of a device that would not go, and a
        // module whose unregistration failed is deleted all the same.
        case Kind::Device:
        case Kind::Unregistration:
            return true;
    }
    return true;
}

std::map<std::string, int> Counted(const std::vector<std::string>& lines) {
    std::map<std::string, int> counts;
    for (const std::string& line : lines) ++counts[line];
    return counts;
}

// A registry item that went without a line of its own, with a logged key holding it.
bool LoggedWithAKeyHoldingIt(const LoggedItem& item, const std::vector<LoggedItem>& logged) {
    if (item.kind != LoggedItem::Kind::Registry) return false;
    const std::string name = KeyName(item.root, item.text);
    return std::any_of(logged.begin(), logged.end(), [&](const LoggedItem& other) {
        return other.kind == LoggedItem::Kind::Registry &&
               Within(name, KeyName(other.root, other.text), '\\');
    });
}

// Every line of the clean log is written again, but those of the failed deletions; a
// key, value or file may instead still be there (judged against the leftovers) or
// have gone with a logged key holding it. A device line comes exactly as often.
void ExpectLoggedAsCleanRunLogs(RunRig& rig, const CleanRun& clean,
                                const std::vector<const DeletionPoint*>& failed) {
    std::map<std::string, int> expected = Counted(clean.log);
    for (const DeletionPoint* point : failed) {
        if (!point->logged.empty()) --expected[point->logged];
    }
    const std::vector<std::string> lines = rig.LogLines();
    const std::map<std::string, int> written = Counted(lines);
    const std::vector<LoggedItem> logged = LoggedItems(rig);
    const std::vector<std::string> captions = StageCaptions(rig.machine);
    for (const auto& [line, count] : expected) {
        const auto found = written.find(line);
        const int times = found == written.end() ? 0 : found->second;
        const LoggedItem item = ReadLogLine(line, captions);
        if (item.kind == LoggedItem::Kind::Device) {
            EXPECT_EQ(times, count) << "device line: " << line;
        } else if (times < count) {
            EXPECT_TRUE(OnMachine(rig.machine, item) || LoggedWithAKeyHoldingIt(item, logged))
                << "removed but not logged: " << line;
        }
    }
}

// What a run with `failed` failing left, against the clean run's end.
void ExpectContained(RunRig& rig, const CleanRun& clean,
                     const std::vector<const DeletionPoint*>& failed, const Leftovers& leftovers) {
    const MachineView view = ViewOf(rig.machine);
    ExpectNone(Both(LinesNotIn(clean.after.registry, view.registry),
                    LinesNotIn(clean.after.files, view.files)),
               "removed, though a clean run keeps it");
    std::vector<std::string> left;
    for (const std::string& line : LinesNotIn(view.registry, clean.after.registry)) {
        if (!leftovers.Excuses(line)) left.push_back(line);
    }
    for (const std::string& line : LinesNotIn(view.files, clean.after.files)) {
        if (!leftovers.ExcusesFile(line)) left.push_back(line);
    }
    ExpectNone(left,
               "left, though it neither lies below the failed item nor holds it, nor was found "
               "through it");
    for (const DeletionPoint* point : failed) {
        EXPECT_TRUE(StillThere(rig.machine, clean, *point))
            << "the failed item went: " << Describe(*point);
    }
    ExpectNone(LoggedButThere(rig, clean.devices), "logged, but still there");
    ExpectLoggedAsCleanRunLogs(rig, clean, failed);
}

// --- One fault at each deletion point ----------------------------------------------------

// A run with the fault `inject` puts on a fresh machine, held to the clean run: only
// what the `failed` deletions leave may stay, and no key may be left open. Then a rerun
// with the fault lifted, held to the clean run's end but for `forGood` and the known
// limits: the identifiers the first run took away, and what the one deletion the fault
// `refused` (null for a fault of the whole run) leaves for good.
void RunFaultedThenLifted(const ImageRun& run, const CleanRun& clean,
                          const std::function<InjectedFault(MemoryMachine&)>& inject,
                          const std::vector<const DeletionPoint*>& failed,
                          const DeletionPoint* refused, KnownLimitTally* tally,
                          const std::vector<std::string>& forGood = {}) {
    RunRig rig;
    ASSERT_TRUE(LoadFresh(clean, &rig.machine));
    const InjectedFault fault = inject(rig.machine);
    SCOPED_TRACE(fault.what);
    const KeySecuritySweep sweep(clean.dacls);

    ASSERT_EQ(RunToken(rig.platform, run.token), 1);
    ExpectContained(rig, clean, failed,
                    Leftovers(clean, failed, HiddenIdentifiers(clean, fault.deniedKey)));
    ExpectNoKeyOpened(sweep, rig.machine, "after the fault");

    Lift(rig.machine, fault);
    KnownLimits limits(clean);
    if (refused != nullptr) limits.AllowWhatFailedLeaves(*refused);
    ASSERT_EQ(RunAgain(rig, run.token, &limits), 1);
    ExpectEndsAsCleanRunEnds(rig, clean, "a rerun without the fault", limits, forGood);
    ExpectNoKeyOpened(sweep, rig.machine, "after the rerun");
    tally->Add(limits);
}

void RunWithFault(const ImageRun& run, const CleanRun& clean, const DeletionPoint& point,
                  Variant variant, KnownLimitTally* tally) {
    RunFaultedThenLifted(
        run, clean, [&](MemoryMachine& machine) { return Inject(machine, point, variant); },
        {&point}, &point, tally);
}

// A deletion below ControlSet001 or ControlSet003 whose twin below CurrentControlSet
// (the same kind, the same path below the control set) the run made too: the same walk
// over the same names, so the sample faults it once, at the twin.
bool HasTwinInCurrentControlSet(const CleanRun& clean, const DeletionPoint& point) {
    const std::string twin = CurrentControlSetTwin(KeyName(point.root, point.path));
    return !twin.empty() && std::any_of(clean.deletions.begin(), clean.deletions.end(),
                                        [&](const DeletionPoint& other) {
                                            return other.kind == point.kind &&
                                                   EqualsNoCase(other.value, point.value) &&
                                                   KeyName(other.root, other.path) == twin;
                                        });
}

// Deletions of one kind faulted per image and token, at the most: all the files and
// devices the runs delete, and a sample of their many keys and values. A campaign sets
// CVP_FAULTS_PER_KIND=0 to fault every one.
size_t FaultsPerKind() { return SampleSize("CVP_FAULTS_PER_KIND", 8); }

class FaultAtEachDeletion : public testing::TestWithParam<ImageRun> {
  protected:
    // Makes deletions of the clean run of one of `kinds` fail, one at a time, a key's in
    // both ways. Twins in the later control sets are left out, and of the rest at most
    // FaultsPerKind(), spread evenly over the run.
    void FaultEach(std::initializer_list<Kind> kinds) {
        const CleanRun* clean = LearnCleanRun(GetParam(), true);
        ASSERT_NE(clean, nullptr);
        std::vector<const DeletionPoint*> points;
        int twins = 0;
        for (const DeletionPoint& point : clean->deletions) {
            if (std::find(kinds.begin(), kinds.end(), point.kind) == kinds.end()) continue;
            if (HasTwinInCurrentControlSet(*clean, point)) {
                ++twins;
            } else {
                points.push_back(&point);
            }
        }
        int faults = 0;
        KnownLimitTally tally;
        for (const DeletionPoint* point : EvenlySpread(points, FaultsPerKind())) {
            RunWithFault(GetParam(), *clean, *point, Variant::Refused, &tally);
            ++faults;
            if (point->kind == Kind::Key) {
                RunWithFault(GetParam(), *clean, *point, Variant::ProtectedSubkey, &tally);
                ++faults;
            }
            if (HasFatalFailure()) return;
        }
        RecordProperty("deletions", static_cast<int>(points.size()) + twins);
        RecordProperty("twins", twins);
        RecordProperty("faults", faults);
        tally.Report();
        if (faults == 0) GTEST_SKIP() << "the clean run makes no such deletion";
    }
};

TEST_P(FaultAtEachDeletion, KeyDeniedOrStoppedHalfwayByAProtectedSubkey) { FaultEach({Kind::Key}); }

TEST_P(FaultAtEachDeletion, ValueGuarded) { FaultEach({Kind::Value}); }

TEST_P(FaultAtEachDeletion, DeviceRemovalFailing) { FaultEach({Kind::Device}); }

INSTANTIATE_TEST_SUITE_P(Installed, FaultAtEachDeletion,
                         testing::ValuesIn(ScenarioRuns(IsInstalledImage)), ImageRunName);

class FaultAtEachFileDeletion : public FaultAtEachDeletion {};

TEST_P(FaultAtEachFileDeletion, FileOrFolderLocked) { FaultEach({Kind::File, Kind::Directory}); }

INSTANTIATE_TEST_SUITE_P(WithFiles, FaultAtEachFileDeletion,
                         testing::ValuesIn(ScenarioRuns(HasFiles)), ImageRunName);

// --- Faults of the whole run ---------------------------------------------------------------

std::vector<const DeletionPoint*> Unregistrations(const CleanRun& clean) {
    std::vector<const DeletionPoint*> unregistrations;
    for (const DeletionPoint& point : clean.deletions) {
        if (point.kind == Kind::Unregistration) unregistrations.push_back(&point);
    }
    return unregistrations;
}

// The file deletions of the modules the clean run unregistered.
std::vector<const DeletionPoint*> ModuleDeletions(const CleanRun& clean) {
    std::vector<const DeletionPoint*> modules;
    for (const DeletionPoint& point : clean.deletions) {
        for (const DeletionPoint* unregistration : Unregistrations(clean)) {
            if (point.kind == Kind::File &&
                unregistration->path.find(point.path) != std::string::npos) {
                modules.push_back(&point);
            }
        }
    }
    return modules;
}

class WholeRunFault : public testing::TestWithParam<ImageRun> {
  protected:
    void SetUp() override {
        clean_ = LearnCleanRun(GetParam(), true);
        ASSERT_NE(clean_, nullptr);
    }
    int Run(RunRig& rig) { return RunToken(rig.platform, GetParam().token); }

    const CleanRun* clean_ = nullptr;
};

// regsvr32 fails, for every module.
//  - It can't be started at all. Each module is deleted all the same, as the stage
//    means to ("still deleted if possible"), so the COM registrations that only the
//    module's own DllUnregisterServer would remove stay for good: a rerun finds no
//    module to unregister. Those registrations, and nothing else, may stay.
//  - It hangs: the stage stops waiting, and the module it holds can't be deleted, in
//    the second file pass neither, whose regsvr32 hangs too. Everything else goes; a
//    rerun once regsvr32 works again deletes the modules.
TEST_P(WholeRunFault, Regsvr32CannotStartOrHangs) {
    const std::vector<const DeletionPoint*> unregistrations = Unregistrations(*clean_);
    if (unregistrations.empty()) GTEST_SKIP() << "the clean run unregisters no module";
    std::vector<std::string> registrations;
    for (const DeletionPoint* point : unregistrations) {
        registrations = Both(registrations, point->footprint);
    }
    KnownLimitTally tally;
    RunFaultedThenLifted(
        GetParam(), *clean_,
        [](MemoryMachine& machine) {
            machine.FailProcessStart();
            return InjectedFault{"regsvr32 can't start", "", {}};
        },
        unregistrations, nullptr, &tally, registrations);
    RunFaultedThenLifted(
        GetParam(), *clean_,
        [](MemoryMachine& machine) {
            machine.HangProcesses();
            return InjectedFault{"regsvr32 hangs", "", {}};
        },
        ModuleDeletions(*clean_), nullptr, &tally);
    tally.Report();
}

// UnInstall.log can't be written: locked by another program (no log is made), or an
// earlier run's log that is read-only (it stays as it was). Every line is lost, and the
// run removes all that a clean run removes.
TEST_P(WholeRunFault, LogUnwritable) {
    const std::vector<std::string> log = {"drive_c/cvpurger/UnInstall.log"};
    const std::string earlier = " an earlier run\r\n";
    const KeySecuritySweep sweep(clean_->dacls);
    for (const bool locked : {true, false}) {
        SCOPED_TRACE(locked ? "log locked" : "log read-only");
        RunRig rig;
        ASSERT_TRUE(LoadFresh(*clean_, &rig.machine));
        if (locked) {
            rig.machine.LockFile(kLogPath);
        } else {
            rig.machine.AddFile(kLogPath, earlier, kAttrReadOnly);
        }
        ASSERT_EQ(Run(rig), 1);
        const MachineView view = ViewOf(rig.machine);
        EXPECT_EQ(view.registry, clean_->after.registry);
        EXPECT_EQ(LinesNotIn(view.files, log), LinesNotIn(clean_->after.files, log));
        EXPECT_EQ(rig.machine.FileExists(kLogPath), !locked);
        EXPECT_EQ(rig.machine.FileContent(kLogPath), locked ? "" : earlier);
        ExpectNoKeyOpened(sweep, rig.machine, "after the run");
    }
}

// A machine without ControlSet001 or without ControlSet003, as a fresh Wine prefix has
// neither: the run removes, from the control sets there are, all that a clean run
// removes there.
TEST_P(WholeRunFault, ControlSetMissing) {
    int missing = 0;
    for (const char* controlSet : {"SYSTEM\\ControlSet001", "SYSTEM\\ControlSet003"}) {
        SCOPED_TRACE(controlSet);
        RunRig rig;
        ASSERT_TRUE(LoadFresh(*clean_, &rig.machine));
        if (!rig.machine.KeyExists(Root::LocalMachine, controlSet)) continue;  // none to take
        ++missing;
        ASSERT_EQ(rig.machine.DeleteTree(Root::LocalMachine, controlSet), kErrorSuccess);
        const KeySecuritySweep sweep(ReadKeyDacls(rig.machine));
        ASSERT_EQ(Run(rig), 1);
        std::vector<std::string> expected;
        for (const std::string& line : clean_->after.registry) {
            if (!Within(DumpLineKey(line), KeyName(Root::LocalMachine, controlSet), '\\')) {
                expected.push_back(line);
            }
        }
        const MachineView view = ViewOf(rig.machine);
        ExpectNone(LinesNotIn(view.registry, expected), "left, though a clean run removes it");
        ExpectNone(LinesNotIn(expected, view.registry), "removed, though a clean run keeps it");
        EXPECT_EQ(view.files, clean_->after.files);
        ExpectNone(LoggedButThere(rig, clean_->devices), "logged, but still there");
        ExpectNoKeyOpened(sweep, rig.machine, "after the run");
    }
    RecordProperty("faults", missing);
    if (missing == 0) GTEST_SKIP() << "the image has neither control set";
}

INSTANTIATE_TEST_SUITE_P(Images, WholeRunFault,
                         testing::ValuesIn(ScenarioRuns(IsInstalledOrFilesImage)), ImageRunName);

}  // namespace
}  // namespace cvp::test
