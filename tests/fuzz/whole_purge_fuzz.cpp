// A whole purge over a machine built from the input: keys under the Enum, Services,
// Control\Class, DeviceClasses and MediumCache areas of CurrentControlSet,
// ControlSet001 and ControlSet003, with names up to the registry's 255 characters,
// value names up to 16,383, values of every type and odd sizes, strings without a
// NUL, deep trees, thousands of instances and medium-cache values, a few INF and
// driver files; then the command line with a token from the input, or the wizard's
// worker in working or expert mode on an entry the input chooses.
//
// Beside what the input builds, every machine carries another vendor's products,
// written last so that nothing generated can overwrite them: a service, a PCI card and
// its class key, interface and medium-cache entry, a USB keyboard, an INF and a
// driver file. Generated text never contains "foreign", so nothing generated can name
// them. Required: no fault, the run ends, the foreign items are all there afterwards,
// unchanged, their DACLs granting
// Everyone nothing new; and a run that names no family changes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/cleanup_worker.h"
#include "app/command_line_run.h"
#include "detect/card_models.h"
#include "detect/present_devices.h"
#include "detect/scans.h"
#include "fuzz_check.h"
#include "platform/memory/memory_machine.h"
#include "run/family_catalogue.h"
#include "run/run_context.h"

namespace {

using cvp::Root;

constexpr const char* kControlSets[] = {"SYSTEM\\CurrentControlSet", "SYSTEM\\ControlSet001",
                                        "SYSTEM\\ControlSet003"};
constexpr const char* kMedia = "{4d36e96c-e325-11ce-bfc1-08002be10318}";
constexpr const char* kCapture = "{65e8773d-8f56-11d0-a3b9-00a0c9223196}";

constexpr const char* kAreas[] = {
    "Enum\\PCI",
    "Enum\\USB",
    "Enum\\Stream",
    "Enum\\Root",
    "Enum",
    "Services",
    "Control\\Class\\{4d36e96c-e325-11ce-bfc1-08002be10318}",
    "Control\\Class\\{4d36e968-e325-11ce-bfc1-08002be10318}",
    "Control\\Class\\{6bdd1fc6-810f-11d0-bec7-08002be2092f}",
    "Control\\DeviceClasses\\{65e8773d-8f56-11d0-a3b9-00a0c9223196}",
    "Control\\DeviceClasses\\{6994ad05-93ef-11d0-a3cc-00a0c9223196}",
    "Control\\DeviceClasses\\{a799a800-a46d-11d0-a18c-00a02401dcd4}",
    "Control\\DeviceClasses\\{a799a801-a46d-11d0-a18c-00a02401dcd4}",
    "Control\\DeviceClasses\\{a799a802-a46d-11d0-a18c-00a02401dcd4}",
    "Control\\DeviceClasses\\{19689BF6-C384-48FD-AD51-90E58C79F70B}",
    "Control\\DeviceClasses\\{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
    "Control\\DeviceClasses\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}",
    "Control\\MediumCache",
    "Control",
};

// Pieces of the names and values the purger looks for, so that generated machines
// reach its walks and not only their misses.
constexpr const char* kFragments[] = {
    "VEN_109E&DEV_036E&SUBSYS_",
    "VEN_109E&DEV_0878&SUBSYS_",
    "VEN_14F1&DEV_8800&SUBSYS_",
    "VEN_14F1&DEV_8802&SUBSYS_",
    "VEN_14F1&DEV_8811&SUBSYS_",
    "VEN_10DE&DEV_0221&SUBSYS_",
    "&REV_11",
    "00000000",
    "018714F1",
    "Vid_0f6b&Pid_",
    "VID_0F6B&PID_",
    "Vid_1943&Pid_",
    "USB\\VID_0EB1&PID_7007",
    "##?#PCI#",
    "##?#STREAM#",
    "##?#USB#",
    "\\\\?\\PCI#",
    "\\\\?\\STREAM#",
    "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}",
    "#{a799a800-a46d-11d0-a18c-00a02401dcd4}",
    "{a19dc1e0-3b39-11d1-905f-0000c0cc16ba}-00000000-00000000",
    "{a19dc2e1-3b39-11d1-905f-0000c0cc16ba}-00000001-00000000",
    "{a19dc3e0-3b39-11d1-905f-0000c0cc16ba}-00000000-00000000",
    "a19dc1e1",
    "4&2f1e0d9c&0&28F0",
    "3&1&0",
    "5&",
    "NextParentID.",
    "ParentIdPrefix",
    "ClassGUID",
    "DeviceDesc",
    "HardwareID",
    "Driver",
    "Service",
    "InfSection",
    "InfPath",
    "DriverDesc",
    "NTMPDriver",
    "MatchingDeviceId",
    "SymbolicLink",
    "DeviceInstance",
    "BT848",
    "qx4ktunr",
    "Qx4kXbar",
    "VS23880",
    "VS88XBAR",
    "VSTUNE",
    "CX23880",
    "CXTUNE",
    "CVTUNER.PHILIPS",
    "CVXBAR.BOARDMUX",
    "cvtuner.philips",
    "VSTUNE.FM1216MK3",
    "VS88XBAR.CNXT.DV",
    "cx88xbar.VEN_14F1.BB",
    "CV606.Philips",
    "AudioSection",
    "vsbbvcap.sys",
    "Vistrel QX4100 XP Expert WDM",
    "Vistrel QX4100 XP WDM Video Capture",
    "Vistrel QD4100",
    "Vistrel QR4100",
    "Vistrel QR4100 MPEG Encoder",
    "nVidia WDM Video Capture",
    "Vistrel QU Stick II",
    "Vistrel QU Stick II Deluxe",
    "USB EMP Audio Device",
    "Vistrel RoamView",
    "WIS GO7007SB A/V Capture",
    "LifeView",
    "oem1.inf",
    "{4d36e96c-e325-11ce-bfc1-08002be10318}\\0000",
    "{4d36e96c-e325-11ce-bfc1-08002be10318}",
    "PCI\\VEN_109E&DEV_036E",
    "Root\\LEGACY_BT848\\0000",
};

constexpr const char* kInfFiles[] = {"C:\\windows\\inf\\oem1.inf", "C:\\windows\\inf\\oem2.inf",
                                     "C:\\windows\\inf\\oem3.pnf", "C:\\windows\\inf\\cvbt.inf"};
constexpr const char* kDriverFiles[] = {
    "C:\\windows\\system32\\drivers\\bt848.sys",   "C:\\windows\\system32\\drivers\\vs23880.sys",
    "C:\\windows\\system32\\drivers\\vsbbvcap.sys", "C:\\windows\\system32\\drivers\\emBDA.sys",
    "C:\\windows\\system32\\emProp.ax",            "C:\\windows\\twain_32\\Vistrel\\ds.ds"};

// The maker's sticks, by the USB IDs the scans know, with a device description each.
constexpr const char* kSticks[][2] = {
    {"Vid_eb1a&Pid_2800", "Vistrel QU Stick II"},
    {"Vid_eb1a&Pid_2820", "Vistrel QU Stick II"},
    {"Vid_0F6B&Pid_6023", "Vistrel QU Stick II Deluxe"},
    {"Vid_eb1a&Pid_2800&MI_01", "USB EMP Audio Device"},
    {"Vid_0eb1&Pid_7007", "WIS GO7007SB A/V Capture"},
    {"Vid_0eb1&Pid_6668", "Vistrel RoamView"},
    {"Vid_0eb1&Pid_7007", "USB Composite Device"},
};
constexpr const char* kCardDescriptions[] = {
    "Vistrel QX4100 XP WDM Video Capture", "Vistrel QX4100 XP WDM Audio Capture",
    "Vistrel QX4100 XP Expert WDM",        "Vistrel QD4100",
    "Vistrel QR4100",                      "Vistrel QR4100 MPEG Encoder",
    "nVidia WDM Video Capture"};
constexpr cvp::ProductFamily kCardFamilies[] = {cvp::FamilyBt878, cvp::FamilyCx88,
                                                cvp::FamilyCx88Dv, cvp::FamilyCx88Encoder,
                                                cvp::FamilyNvidia};
// Services the scans and the plans name.
constexpr const char* kServices[] = {
    "BT848",     "qx4ktunr",     "Qx4kXbar",     "VS23880",  "VS88XBAR",    "VSTUNE",
    "VSBB",      "VSBBXBAR",     "VSBBENC",      "CX23880",  "DCamUSBEMPIA", "emAudio",
    "FiltUSBEMPIA", "ScanUSBEMPIA", "RoamView", "RoamViewTunerLoader", "WisTunerLoader",
    "WISTechVIDCAP"};

constexpr const char* kTokens[] = {"878", "88X", "DV", "BB", "NV", "EM", "WIS", "wis", "", "878 "};

constexpr cvp::Dword kTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;
constexpr int kMaxOperations = 200;
constexpr int kMaxBulk = 2000;
// Thousands of instances make one execution take a good part of a second under the
// sanitizers: one machine in sixteen gets them, the rest a handful, so a short campaign
// still runs many machines.
constexpr int kMaxBulkTotal = 4000;

// Generated text must never name the foreign items: "foreign" in any case becomes
// "f0reign".
std::string Tame(std::string text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::size_t at = lower.find("foreign"); at != std::string::npos;
         at = lower.find("foreign", at + 1)) {
        text[at + 2] = '0';
    }
    return text;
}

// A key name: no backslash, not empty, at most 255 characters.
std::string KeyName(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '#');
    name.erase(std::remove(name.begin(), name.end(), '\0'), name.end());
    if (name.empty()) name = "_";
    if (name.size() > kMaxKeyName) name.resize(kMaxKeyName);
    return Tame(name);
}

class Generator {
public:
    explicit Generator(FuzzedDataProvider& input) : input_(input) {}

    std::string Text(std::size_t longest) {
        switch (input_.ConsumeIntegralInRange(0, 5)) {
            case 0:
            case 1: return input_.PickValueInArray(kFragments);
            case 2:
                return std::string(input_.PickValueInArray(kFragments)) +
                       input_.ConsumeRandomLengthString(40) +
                       input_.PickValueInArray(kFragments);
            case 3: return input_.ConsumeRandomLengthString(64);
            case 4: {
                // The longest names: a run of one character, up to the limit.
                const std::size_t length = input_.ConsumeIntegralInRange<std::size_t>(1, longest);
                return std::string(length, static_cast<char>(input_.ConsumeIntegralInRange(33, 126)));
            }
            default:
                return std::string(input_.PickValueInArray(kFragments)) +
                       std::string(input_.ConsumeIntegralInRange<std::size_t>(0, 300),
                                   static_cast<char>(input_.ConsumeIntegralInRange(48, 90)));
        }
    }

    std::string KeyPath() {
        std::string path = std::string(input_.PickValueInArray(kControlSets)) + "\\" +
                           input_.PickValueInArray(kAreas);
        const int depth = input_.ConsumeIntegralInRange(1, input_.ConsumeBool() ? 3 : 40);
        for (int i = 0; i < depth; ++i) path += "\\" + KeyName(Text(kMaxKeyName));
        return path;
    }

    std::string ValueData(cvp::Dword type) {
        std::string data;
        switch (input_.ConsumeIntegralInRange(0, 4)) {
            case 0: data = Tame(Text(300)); break;  // a string without its NUL
            case 1: data = Tame(Text(300)) + std::string(1, '\0'); break;
            case 2: data = Tame(Text(300)) + std::string(2, '\0'); break;
            case 3: data = input_.ConsumeRandomLengthString(64); break;  // odd sizes
            default:
                // Now and then a value larger than any buffer the purger reads with.
                data.assign(input_.ConsumeIntegralInRange<std::size_t>(
                                0, input_.ConsumeIntegralInRange(0, 15) == 0 ? 70000 : 600),
                            'A');
                break;
        }
        if (type == 7 && input_.ConsumeBool()) {
            data = Tame(Text(100)) + std::string(1, '\0') + Tame(Text(100)) + std::string(2, '\0');
        }
        return Tame(data);
    }

    void Value(cvp::MemoryMachine& machine, const std::string& key) {
        const cvp::Dword type = input_.ConsumeBool() ? input_.PickValueInArray(kTypes)
                                                     : input_.ConsumeIntegral<cvp::Dword>();
        std::string name = Tame(Text(kMaxValueName));
        name = name.substr(0, name.find('\0'));
        if (name.size() > kMaxValueName) name.resize(kMaxValueName);
        machine.SetValue(Root::LocalMachine, key, name, type, ValueData(type));
    }

    // A device with many instances, each with the values the scans read.
    void Instances(cvp::MemoryMachine& machine) {
        const std::string device = std::string(input_.PickValueInArray(kControlSets)) + "\\" +
                                   (input_.ConsumeBool() ? "Enum\\PCI\\" : "Enum\\USB\\") +
                                   KeyName(Text(kMaxKeyName));
        const std::string description = Tame(Text(80));
        const std::string prefix = Tame(Text(40));
        const int count = Bulk();
        for (int i = 0; i < count; ++i) {
            const std::string key = device + "\\" + std::to_string(i) + "&" + KeyName(prefix);
            machine.SetString(Root::LocalMachine, key, "DeviceDesc", description);
            machine.SetString(Root::LocalMachine, key, "ClassGUID", kMedia);
            machine.SetString(Root::LocalMachine, key, "ParentIdPrefix",
                              std::to_string(i) + "&" + prefix.substr(0, prefix.find('\0')));
        }
    }

    // A medium-cache entry shared by many devices.
    void MediumCache(cvp::MemoryMachine& machine) {
        const std::string entry = std::string(input_.PickValueInArray(kControlSets)) +
                                  "\\Control\\MediumCache\\" + KeyName(Text(kMaxKeyName));
        const std::string stem = Tame(Text(120));
        const int count = Bulk();
        for (int i = 0; i < count; ++i) {
            machine.SetValue(Root::LocalMachine, entry, stem + "#" + std::to_string(i), 3,
                             std::string(12, static_cast<char>(i)));
        }
    }

    // One of the maker's devices as Plug and Play leaves it: a PCI card on a row of
    // its family's card models (or another subsystem), or a stick; with its instance
    // values and its driver's class key. Most go in CurrentControlSet, which the
    // scans read.
    void MakersDevice(cvp::MemoryMachine& machine) {
        const std::string set = input_.ConsumeIntegralInRange(0, 3) != 0
                                    ? kControlSets[0]
                                    : input_.PickValueInArray(kControlSets);
        std::string enumerator;
        std::string device;
        std::string description;
        if (input_.ConsumeBool()) {
            const cvp::ProductFamily family = input_.PickValueInArray(kCardFamilies);
            const auto rows = cvp::CardModelGroup(family);
            cvp::CardModel model = {0x109E, 0x036E, 0x0001, 0x1AF4};
            if (!rows.empty()) {
                model = rows[input_.ConsumeIntegralInRange<std::size_t>(0, rows.size() - 1)];
            }
            if (input_.ConsumeIntegralInRange(0, 3) == 0) model.subsystemVendor = input_.ConsumeIntegral<std::uint16_t>();
            char name[80];
            std::snprintf(name, sizeof name, "VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X",
                          unsigned{model.chipVendor}, unsigned{model.chipDevice},
                          unsigned{model.subsystemId}, unsigned{model.subsystemVendor},
                          unsigned{input_.ConsumeIntegral<std::uint8_t>()});
            enumerator = "PCI";
            device = name;
            description = input_.PickValueInArray(kCardDescriptions);
        } else {
            const auto& stick = kSticks[input_.ConsumeIntegralInRange<std::size_t>(
                0, sizeof kSticks / sizeof kSticks[0] - 1)];
            enumerator = "USB";
            device = stick[0];
            description = stick[1];
        }
        if (input_.ConsumeIntegralInRange(0, 7) == 0) description = Tame(Text(80));
        const std::string instance = KeyName(Text(60));
        const std::string key = set + "\\Enum\\" + enumerator + "\\" + device + "\\" + instance;
        const std::string driver = std::string(kMedia) + "\\" +
                                   std::to_string(input_.ConsumeIntegralInRange(0, 12) + 10000).substr(1);
        machine.SetString(Root::LocalMachine, key, "DeviceDesc", description);
        machine.SetString(Root::LocalMachine, key, "ClassGUID", kMedia);
        machine.SetValue(Root::LocalMachine, key, "HardwareID", 7,
                         enumerator + "\\" + device + std::string(1, '\0') + enumerator + "\\" +
                             device.substr(0, 17) + std::string(2, '\0'));
        machine.SetString(Root::LocalMachine, key, "Driver", driver);
        if (input_.ConsumeBool()) {
            machine.SetString(Root::LocalMachine, key, "ParentIdPrefix", Tame(Text(30)));
        }
        const std::string classKey = set + "\\Control\\Class\\" + driver;
        machine.SetString(Root::LocalMachine, classKey, "DriverDesc", description);
        machine.SetString(Root::LocalMachine, classKey, "InfSection", Tame(Text(40)));
        machine.SetString(Root::LocalMachine, classKey, "InfPath", "oem1.inf");
    }

    void MakersService(cvp::MemoryMachine& machine) {
        const std::string key = std::string(input_.PickValueInArray(kControlSets)) +
                                "\\Services\\" + input_.PickValueInArray(kServices);
        machine.SetString(Root::LocalMachine, key, "DisplayName",
                          input_.ConsumeBool() ? "Vistrel QU Stick II Deluxe" : Tame(Text(60)));
        machine.SetValue(Root::LocalMachine, key, "Start", 4, std::string("\3\0\0\0", 4));
    }

    void Build(cvp::MemoryMachine& machine) {
        std::string lastKey = std::string(kControlSets[0]) + "\\Enum";
        for (int op = 0; op < kMaxOperations && input_.remaining_bytes() > 0; ++op) {
            switch (input_.ConsumeIntegralInRange(0, 11)) {
                case 0:
                case 1:
                    lastKey = KeyPath();
                    machine.CreateKey(Root::LocalMachine, lastKey);
                    break;
                case 2:
                case 3:
                case 4: Value(machine, lastKey); break;
                case 5: Instances(machine); break;
                case 6: MediumCache(machine); break;
                case 7:
                    machine.AddFile(input_.PickValueInArray(kInfFiles),
                                    Tame(input_.ConsumeRandomLengthString(2000)));
                    break;
                case 8:
                    machine.AddFile(input_.PickValueInArray(kDriverFiles),
                                    input_.ConsumeRandomLengthString(16),
                                    input_.ConsumeIntegralInRange<cvp::Dword>(0, 0x27));
                    break;
                case 9: MakersDevice(machine); break;
                case 10: MakersService(machine); break;
                default:
                    machine.SetPciConfig(input_.ConsumeIntegralInRange<cvp::Dword>(0, 2),
                                         input_.ConsumeIntegralInRange<cvp::Dword>(0, 31),
                                         input_.ConsumeBool() ? 0 : 0x2c,
                                         input_.ConsumeIntegral<cvp::Dword>());
                    break;
            }
        }
    }

private:
    int Bulk() {
        int count = input_.ConsumeIntegralInRange(0, 15) == 0
                        ? input_.ConsumeIntegralInRange(100, kMaxBulk)
                        : input_.ConsumeIntegralInRange(1, 20);
        count = std::min(count, bulkLeft_);
        bulkLeft_ -= count;
        return count;
    }

    FuzzedDataProvider& input_;
    int bulkLeft_ = kMaxBulkTotal;
};

// Another vendor's products, in every control set the generator writes.
struct Foreign {
    std::vector<std::string> keys;
    std::vector<std::string> files;
};

Foreign AddForeignProducts(cvp::MemoryMachine& machine) {
    Foreign foreign;
    const std::string pciDevice = "VEN_1AF4&DEV_1000&SUBSYS_F0E1F0E1&REV_01";
    const std::string instance = "3&Foreign&0&08";
    for (const char* set : kControlSets) {
        const std::string root = set;
        const std::string service = root + "\\Services\\ForeignTunerSvc";
        machine.SetString(Root::LocalMachine, service, "ImagePath",
                          "system32\\drivers\\foreign.sys");
        machine.SetString(Root::LocalMachine, service, "DisplayName", "Foreign Tuner");

        const std::string card = root + "\\Enum\\PCI\\" + pciDevice + "\\" + instance;
        machine.SetString(Root::LocalMachine, card, "DeviceDesc", "Foreign Capture");
        machine.SetString(Root::LocalMachine, card, "ClassGUID", kMedia);
        machine.SetValue(Root::LocalMachine, card, "HardwareID", 7,
                         "PCI\\" + pciDevice + std::string(2, '\0'));
        machine.SetString(Root::LocalMachine, card, "Driver", std::string(kMedia) + "\\Foreign0");
        machine.SetString(Root::LocalMachine, card, "Service", "ForeignTunerSvc");

        const std::string classKey = root + "\\Control\\Class\\" + kMedia + "\\Foreign0";
        machine.SetString(Root::LocalMachine, classKey, "DriverDesc", "Foreign Capture");
        machine.SetString(Root::LocalMachine, classKey, "InfSection", "Foreign.Section");
        machine.SetString(Root::LocalMachine, classKey, "NTMPDriver", "foreign.sys");
        machine.SetString(Root::LocalMachine, classKey, "InfPath", "oemforeign.inf");

        const std::string link = "##?#PCI#" + pciDevice + "#" + instance + "#" + kCapture;
        const std::string interfaceKey =
            root + "\\Control\\DeviceClasses\\" + kCapture + "\\" + link;
        machine.SetString(Root::LocalMachine, interfaceKey, "DeviceInstance",
                          "PCI\\" + pciDevice + "\\" + instance);

        const std::string cache =
            root + "\\Control\\MediumCache\\{f0e1f0e1-0000-0000-0000-00000000f0e1}-00000000-00000000";
        machine.SetValue(Root::LocalMachine, cache,
                         "\\\\?\\PCI#" + pciDevice + "#" + instance + "#" + kCapture, 3,
                         std::string(12, '\1'));

        const std::string keyboard = root + "\\Enum\\USB\\Vid_1af4&Pid_f0e1\\Foreign5";
        machine.SetString(Root::LocalMachine, keyboard, "DeviceDesc", "Foreign USB Keyboard");
        machine.SetString(Root::LocalMachine, keyboard, "ClassGUID",
                          "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}");

        for (const std::string& key : {service, card, classKey, interfaceKey, cache, keyboard}) {
            foreign.keys.push_back(key);
        }
    }
    machine.AddFile("C:\\windows\\inf\\oemforeign.inf",
                    "[Version]\r\nProvider=Foreign Corp\r\n[Manufacturer]\r\nForeign=Models\r\n");
    machine.AddFile("C:\\windows\\system32\\drivers\\foreign.sys", "MZ");
    foreign.files = {"C:\\windows\\inf\\oemforeign.inf",
                     "C:\\windows\\system32\\drivers\\foreign.sys"};
    return foreign;
}

struct Snapshot {
    std::vector<std::string> keyDumps;
    std::vector<std::string> dacls;
    std::vector<std::string> contents;
};

Snapshot Take(const cvp::MemoryMachine& machine, const Foreign& foreign) {
    Snapshot snapshot;
    for (const std::string& key : foreign.keys) {
        std::string dump;
        if (machine.KeyExists(Root::LocalMachine, key)) {
            for (const std::string& line : machine.DumpRegistry({"HKEY_LOCAL_MACHINE\\" + key}))
                dump += line + "\n";
            snapshot.dacls.push_back(machine.KeyDacl(Root::LocalMachine, key));
        } else {
            dump = "<gone> " + key;
            snapshot.dacls.push_back("<gone>");
        }
        snapshot.keyDumps.push_back(dump);
    }
    for (const std::string& file : foreign.files) {
        snapshot.contents.push_back(machine.FileExists(file) ? machine.FileContent(file)
                                                             : "<gone> " + file);
    }
    return snapshot;
}

// Entries that allow Everyone something: a take-over that is not put back leaves one.
void CheckForeignKept(const Snapshot& before, const Snapshot& after, const Foreign& foreign) {
    for (std::size_t i = 0; i < foreign.keys.size(); ++i) {
        if (before.keyDumps[i] != after.keyDumps[i]) {
            std::fprintf(stderr, "foreign key removed or changed: %s\n", foreign.keys[i].c_str());
        }
        FUZZ_CHECK(before.keyDumps[i] == after.keyDumps[i], "a foreign key was removed or changed");
        // A foreign key's DACL stays exactly as it was: no entry for Everyone, nor any
        // inherited one passed down by a take-over put back on an ancestor.
        if (before.dacls[i] != after.dacls[i]) {
            std::fprintf(stderr, "DACL of %s\n  before %s\n  after  %s\n", foreign.keys[i].c_str(),
                         before.dacls[i].c_str(), after.dacls[i].c_str());
        }
        FUZZ_CHECK(before.dacls[i] == after.dacls[i], "a foreign key's DACL changed");
    }
    for (std::size_t i = 0; i < foreign.files.size(); ++i) {
        if (before.contents[i] != after.contents[i]) {
            std::fprintf(stderr, "foreign file removed or changed: %s\n", foreign.files[i].c_str());
        }
        FUZZ_CHECK(before.contents[i] == after.contents[i], "a foreign file was removed or changed");
    }
}

// The progress page as the worker drives it: the bar stays within 0..100 and every
// text is a terminated string.
class CheckingView : public cvp::ProgressView {
public:
    void ShowPath(const char* text) override { FUZZ_CHECK(std::strlen(text) < 100000, "path"); }
    void SetBarPosition(int position) override {
        FUZZ_CHECK(position >= 0 && position <= 100, "the bar left 0..100");
    }
    void ShowCaption(const char* text) override {
        FUZZ_CHECK(std::strlen(text) < 100000, "caption");
    }
};

const std::vector<std::string> kEverything = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                              "HKEY_USERS", "HKEY_CLASSES_ROOT"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int mode = input.ConsumeIntegralInRange(0, 2);  // command line, working, expert
    // Mostly a token of the catalogue (some of which name no family), now and then any
    // text; mostly an entry of the list the page shows, now and then one past it.
    std::string token = input.ConsumeIntegralInRange(0, 7) != 0
                            ? input.PickValueInArray(kTokens)
                            : input.ConsumeRandomLengthString(8);
    token = token.substr(0, token.find('\0'));
    const int pick = input.ConsumeIntegralInRange(0, 255);

    cvp::MemoryMachine machine;
    Generator(input).Build(machine);
    const Foreign foreign = AddForeignProducts(machine);

    cvp::Platform platform = machine.platform();
    cvp::RunState state;
    CheckingView view;
    cvp::RunContext context{platform, state, mode == 0 ? nullptr : &view};
    cvp::RunContext scan{platform, state, nullptr};

    // The page's scans read but never remove: what they leave is the baseline.
    if (mode == 1) {
        cvp::ScanInstalledDrivers(scan);
        state.installedDriverCount = 0;
        state.presentDeviceCount = 0;
        cvp::EnumeratePresentDevices(scan);
    } else if (mode == 2) {
        state.expertMode = 1;
        cvp::ScanInstalledDrivers(scan);
    }
    // Whether the run names a family is known before it starts: the command line's
    // token, or the family of the entry the wizard would pass on. Only a run that names
    // none is held to changing nothing, which needs the whole machine dumped (the
    // costly part of an execution).
    if (mode != 0) {
        const int listed = mode == 1 ? state.presentDeviceCount : state.installedDriverCount;
        state.selectedIndex = pick < 224 ? pick % std::max(listed, 1) : pick - 225;
        cvp::FamilyFromListEntry(state, cvp::ChosenEntry(state));
    }
    const bool namedFamily = mode == 0 ? cvp::FamilyFromToken(token.c_str()) != cvp::FamilyNone
                                       : state.family != cvp::FamilyNone;
    std::vector<std::string> registryBefore;
    std::vector<std::string> filesBefore;
    if (!namedFamily) {
        registryBefore = machine.DumpRegistry(kEverything);
        filesBefore = machine.DumpFiles();
    }
    const Snapshot before = Take(machine, foreign);

    if (mode == 0) {
        FUZZ_CHECK((cvp::RunCommandLine(context, token.c_str()) == 1) == namedFamily,
                   "the command line's answer disagrees with its token");
    } else {
        if (namedFamily) {
            cvp::SetFamilyHardwareIds(state, state.family, state.expertMode,
                                      state.commandLineRun);
            cvp::ScanDeviceInstances(scan, state.primaryHardwareId);
        }
        cvp::RunCleanupWorker(context);
    }

    CheckForeignKept(before, Take(machine, foreign), foreign);
    if (!namedFamily) {
        FUZZ_CHECK(machine.DumpRegistry(kEverything) == registryBefore,
                   "a run that named no family changed the registry");
        FUZZ_CHECK(machine.DumpFiles() == filesBefore,
                   "a run that named no family changed the files");
    }
    return 0;
}
