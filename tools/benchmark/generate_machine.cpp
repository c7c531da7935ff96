// Writes the benchmark's busy machine: a machine image folder whose registry.reg (a
// version-5 regedit export, ANSI, CRLF) holds three control sets full of other vendors'
// services, devices, driver classes, device interfaces and medium-cache entries, a
// large HKLM\SOFTWARE\Classes\CLSID, and the traces of several QR4100 encoder cards
// (family 5, token "BB") in every control set.
//
//   benchmark_machine OUT_DIR [SCALE]
//
// SCALE (default 1) multiplies every count, the cards included, so that scale 2 is a
// machine twice as busy with the same mix. The content follows from the item numbers
// alone (no clock, no random seed), so two runs write the same bytes. A summary of
// what was written, keys per area, goes to standard output.
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// --- Deterministic numbers ------------------------------------------------------------

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// The number of item `index` of kind `kind`, for a purpose `salt`: the same item gives
// the same number at every scale and in every control set.
std::uint64_t Hash(std::uint64_t kind, std::uint64_t index, std::uint64_t salt = 0) {
    return Mix(Mix(kind * 0x100000001b3ULL + salt) ^ index);
}

unsigned Pick(std::uint64_t hash, unsigned count) { return static_cast<unsigned>(hash % count); }

#if defined(__GNUC__)
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif
std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

std::string Hex8(std::uint64_t hash) { return Format("%08x", static_cast<unsigned>(hash)); }

std::string Guid(std::uint64_t hash, bool upper) {
    const std::uint64_t more = Mix(hash);
    return Format(upper ? "{%08X-%04X-%04X-%04X-%012llX}" : "{%08x-%04x-%04x-%04x-%012llx}",
                  static_cast<unsigned>(hash >> 32), static_cast<unsigned>(hash & 0xFFFF),
                  static_cast<unsigned>((hash >> 16) & 0xFFFF),
                  static_cast<unsigned>(more & 0xFFFF),
                  static_cast<unsigned long long>((more >> 16) & 0xFFFFFFFFFFFFULL));
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// --- The export writer ----------------------------------------------------------------

// Writes keys and values in regedit's version-5 syntax and counts what it wrote, per
// area. Names are kept unique per parent (without regard to case, as the registry
// compares them), so a rare clash of two generated names drops the second key.
class RegWriter {
  public:
    RegWriter() { text_ = "Windows Registry Editor Version 5.00\r\n"; }

    // Starts a key below HKEY_LOCAL_MACHINE. False (and nothing written) when the key
    // was written already; its values would then go to the earlier key.
    // Parents not written yet are written first, without values, so that the counts
    // hold every key the import creates.
    bool Key(const std::string& path, const std::string& area, bool family = false) {
        for (size_t slash = path.find('\\'); slash != std::string::npos;
             slash = path.find('\\', slash + 1)) {
            if (written_.insert(Lower(path.substr(0, slash))).second) {
                Header(path.substr(0, slash), area, false);
            }
        }
        if (!written_.insert(Lower(path)).second) {
            open_ = false;
            return false;
        }
        Header(path, area, family);
        open_ = true;
        return true;
    }

    void Sz(const std::string& name, const std::string& text) {
        Value(name, "\"" + Escape(text) + "\"");
    }
    void Dword(const std::string& name, unsigned value) {
        Value(name, Format("dword:%08x", value));
    }
    void ExpandSz(const std::string& name, const std::string& text) {
        Value(name, "hex(2):" + HexBytes(text + std::string(1, '\0')));
    }
    void MultiSz(const std::string& name, const std::vector<std::string>& texts) {
        std::string bytes;
        for (const std::string& text : texts) bytes += text + std::string(1, '\0');
        bytes += std::string(1, '\0');
        Value(name, "hex(7):" + HexBytes(bytes));
    }
    void Binary(const std::string& name, std::uint64_t hash, unsigned size) {
        std::string bytes;
        for (unsigned i = 0; i < size; ++i) {
            bytes.push_back(static_cast<char>(Mix(hash + i) & 0xFF));
        }
        Value(name, "hex:" + HexBytes(bytes));
    }

    // The export, ending as regedit ends one: with an empty line.
    std::string text() const { return text_ + "\r\n"; }
    long keys() const { return keys_; }
    long values() const { return values_; }
    long familyKeys() const { return familyKeys_; }
    const std::map<std::string, long>& keysByArea() const { return keysByArea_; }

  private:
    void Header(const std::string& path, const std::string& area, bool family) {
        text_ += "\r\n[HKEY_LOCAL_MACHINE\\" + path + "]\r\n";
        ++keys_;
        ++keysByArea_[area];
        if (family) ++familyKeys_;
    }

    void Value(const std::string& name, const std::string& data) {
        if (!open_) return;
        text_ +=
            (name.empty() ? std::string("@") : "\"" + Escape(name) + "\"") + "=" + data + "\r\n";
        ++values_;
    }

    static std::string Escape(const std::string& text) {
        std::string out;
        for (char c : text) {
            if (c == '\\' || c == '"') out.push_back('\\');
            out.push_back(c);
        }
        return out;
    }

    static std::string HexBytes(const std::string& bytes) {
        std::string out;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i != 0) out.push_back(',');
            out += Format("%02x", static_cast<unsigned>(static_cast<unsigned char>(bytes[i])));
        }
        return out;
    }

    std::string text_;
    std::set<std::string> written_;
    bool open_ = false;
    long keys_ = 0;
    long values_ = 0;
    long familyKeys_ = 0;
    std::map<std::string, long> keysByArea_;
};

// --- What the machine holds -----------------------------------------------------------

// Item kinds: each numbers its own items.
enum Kind : std::uint64_t {
    kService = 1,
    kPciDevice,
    kUsbDevice,
    kStreamDevice,
    kHidDevice,
    kUsbStorDevice,
    kVolume,
    kAcpiDevice,
    kEnumValue,
    kClassInstance,
    kInterface,
    kMediumEntry,
    kMediumSet,
    kMediaKey,
    kClsid,
    kMisc,
    kCard,
};

constexpr const char* kMediaClass = "{4D36E96C-E325-11CE-BFC1-08002BE10318}";

// Driver setup classes of an XP machine; the media class is weighted by hand below.
constexpr const char* kSetupClasses[] = {
    "{4D36E965-E325-11CE-BFC1-08002BE10318}", "{4D36E967-E325-11CE-BFC1-08002BE10318}",
    "{4D36E968-E325-11CE-BFC1-08002BE10318}", "{4D36E969-E325-11CE-BFC1-08002BE10318}",
    "{4D36E96A-E325-11CE-BFC1-08002BE10318}", "{4D36E96B-E325-11CE-BFC1-08002BE10318}",
    "{4D36E96D-E325-11CE-BFC1-08002BE10318}", "{4D36E96E-E325-11CE-BFC1-08002BE10318}",
    "{4D36E96F-E325-11CE-BFC1-08002BE10318}", "{4D36E971-E325-11CE-BFC1-08002BE10318}",
    "{4D36E972-E325-11CE-BFC1-08002BE10318}", "{4D36E973-E325-11CE-BFC1-08002BE10318}",
    "{4D36E974-E325-11CE-BFC1-08002BE10318}", "{4D36E975-E325-11CE-BFC1-08002BE10318}",
    "{4D36E977-E325-11CE-BFC1-08002BE10318}", "{4D36E978-E325-11CE-BFC1-08002BE10318}",
    "{4D36E979-E325-11CE-BFC1-08002BE10318}", "{4D36E97B-E325-11CE-BFC1-08002BE10318}",
    "{4D36E97D-E325-11CE-BFC1-08002BE10318}", "{4D36E97E-E325-11CE-BFC1-08002BE10318}",
    "{36FC9E60-C465-11CF-8056-444553540000}", "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}",
    "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}", "{50127DC3-0F36-415E-A6CC-4CB3BE910B65}",
    "{71A27CDD-812A-11D0-BEC7-08002BE2092F}", "{6BDD1FC1-810F-11D0-BEC7-08002BE2092F}",
    "{6BDD1FC5-810F-11D0-BEC7-08002BE2092F}", "{72631E54-78A4-11D0-BCF7-00AA00B7B32A}",
    "{D45B1C18-C8FA-11D1-9F77-0000F805F530}", "{E0CBF06C-CD8B-4647-BB8A-263B43F0F974}",
};

// Interface classes (kernel-streaming categories first), with how many interfaces each
// holds per control set at scale 1. The family's classes are among them.
struct InterfaceClass {
    const char* guid;
    unsigned interfaces;
    const char* bus;      // the bus their devices sit on
    const char* refs[3];  // reference strings, each a subkey of an interface key
};

constexpr InterfaceClass kInterfaceClasses[] = {
    {"{6994ad04-93ef-11d0-a3cc-00a0c9223196}", 550, "PCI", {"#Wave", "#Topology", nullptr}},
    {"{65e8773d-8f56-11d0-a3b9-00a0c9223196}", 330, "PCI", {"#Wave", "#Global", nullptr}},
    {"{65e8773e-8f56-11d0-a3b9-00a0c9223196}", 300, "PCI", {"#Wave", nullptr, nullptr}},
    {"{6994ad05-93ef-11d0-a3cc-00a0c9223196}", 140, "USB", {"#GLOBAL", nullptr, nullptr}},
    {"{a799a800-a46d-11d0-a18c-00a02401dcd4}", 40, "STREAM", {"#", nullptr, nullptr}},
    {"{a799a801-a46d-11d0-a18c-00a02401dcd4}", 40, "STREAM", {"#", nullptr, nullptr}},
    {"{a799a802-a46d-11d0-a18c-00a02401dcd4}", 40, "STREAM", {"#", nullptr, nullptr}},
    {"{d6c50671-72c1-11d2-9755-0000f8004788}", 200, "USB", {"#Wave", nullptr, nullptr}},
    {"{fbf6f530-07b9-11d2-a71e-0000f8004788}", 200, "USB", {"#Wave", nullptr, nullptr}},
    {"{dda54a40-1e4c-11d1-a050-405705c10000}", 95, "PCI", {"#Topology", nullptr, nullptr}},
    {"{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 560, "USB", {"#", nullptr, nullptr}},
    {"{f18a0e88-c30c-11d0-8815-00a0c906bed8}", 45, "USB", {"#", nullptr, nullptr}},
    {"{4d1e55b2-f16f-11cf-88cb-001111000030}", 400, "HID", {"#", nullptr, nullptr}},
    {"{884b96c3-56ef-11d1-bc8c-00a0c91405dd}", 70, "HID", {"#", nullptr, nullptr}},
    {"{378de44c-56ef-11d1-bc8c-00a0c91405dd}", 70, "HID", {"#", nullptr, nullptr}},
    {"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", 165, "USBSTOR", {"#", nullptr, nullptr}},
    {"{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}", 250, "STORAGE", {"#", nullptr, nullptr}},
    {"{53f5630a-b6bf-11d0-94f2-00a0c91efb8b}", 45, "STORAGE", {"#", nullptr, nullptr}},
    {"{ad498944-762f-11d0-8dcb-00c04fc3358c}", 95, "PCI", {"#", nullptr, nullptr}},
    {"{cac88484-7515-4c03-82e6-71a87abac361}", 85, "PCI", {"#", nullptr, nullptr}},
    {"{1ca05180-a699-450a-9a0c-de4fbe3ddd89}", 60, "DISPLAY", {"#", nullptr, nullptr}},
};

// Other interface classes: a vendor GUID each, a handful of interfaces.
constexpr unsigned kSmallInterfaceClasses = 150;
constexpr unsigned kSmallClassInterfaces = 7;

struct Vendor {
    unsigned id;
    const char* name;
};

constexpr Vendor kPciVendors[] = {
    {0x8086, "Intel"},   {0x10DE, "NVIDIA"},   {0x1002, "ATI"},      {0x10EC, "Realtek"},
    {0x1106, "VIA"},     {0x1102, "Creative"}, {0x1039, "SiS"},      {0x104C, "Texas Instruments"},
    {0x1131, "Philips"}, {0x11AB, "Marvell"},  {0x14E4, "Broadcom"}, {0x1274, "Ensoniq"},
};

constexpr const char* kServiceStems[] = {"hcw", "ati", "nv",  "rtl", "via", "ct",  "sis",
                                         "ali", "ial", "mx",  "ps",  "wd",  "sym", "av",
                                         "mc",  "es",  "yam", "sb",  "ks",  "usb"};
constexpr const char* kServiceCores[] = {"stor", "net", "aud",  "vid", "bus",  "fltr", "tune",
                                         "xbar", "cap", "snd",  "ide", "scsi", "ser",  "par",
                                         "kbd",  "mou", "disk", "hub", "port", "wdm"};

// The QR4100 card: both PCI functions share the subsystem pair; its rows of the card
// model table give the subsystem IDs (vendor 1F3C).
constexpr unsigned kCardSubsystems[] = {0x6630, 0x6638, 0x663B, 0x663C, 0x6635, 0x6632,
                                        0x6631, 0x6637, 0x663D, 0x6634, 0x6633, 0x6639,
                                        0x663A, 0x663E, 0x6636, 0x663F};
constexpr const char* kCardServices[] = {
    "VSBB",     "VSBBTUNE", "VSBBXBAR", "VSBBENC", "VSPVRVIDEO", "VSPVRBAR", "VSPVRTUNER",
    "VSPVRENC", "VSTUNE",   "CX23880",  "CX88ENC", "CXAVXBAR",   "CXTUNE"};
constexpr const char* kCardClassDrivers[] = {"vsbbvcap.sys", "vsbbxbar.sys", "vsbbtune.sys",
                                             "vsbbenc.sys"};
constexpr const char* kCardMediumCategories[] = {"a19dc3e0", "a19dc3e1", "a19dc3e3", "a19dc3e4"};

constexpr const char* kCapture = "{65e8773d-8f56-11d0-a3b9-00a0c9223196}";
constexpr const char* kVideo = "{6994ad05-93ef-11d0-a3cc-00a0c9223196}";
constexpr const char* kTuner = "{a799a800-a46d-11d0-a18c-00a02401dcd4}";
constexpr const char* kCrossbar = "{a799a801-a46d-11d0-a18c-00a02401dcd4}";
constexpr const char* kTvAudio = "{a799a802-a46d-11d0-a18c-00a02401dcd4}";
constexpr const char* kEncoder1 = "{19689BF6-C384-48FD-AD51-90E58C79F70B}";
constexpr const char* kEncoder2 = "{7A5DE1D3-01A1-452C-B481-4FA2B96271E8}";

// Counts per full control set at scale 1.
constexpr unsigned kServices = 430;
constexpr unsigned kPciDevices = 110;
constexpr unsigned kSameChipBoards = 6;  // other makers' CX2388x and Bt878 boards
constexpr unsigned kUsbDevices = 1250;
constexpr unsigned kStreamDevices = 25;
constexpr unsigned kHidDevices = 800;
constexpr unsigned kUsbStorDevices = 350;
constexpr unsigned kVolumes = 250;
constexpr unsigned kAcpiDevices = 100;
constexpr unsigned kEnumValues = 250;
constexpr unsigned kMediaInstances = 220;
constexpr unsigned kOtherClassInstances = 1400;
constexpr unsigned kMediumEntries = 1923;  // 5,000 over the three control sets
constexpr unsigned kMediumSets = 300;
constexpr unsigned kMediaCategories = 110;
constexpr unsigned kMediaInterfaces = 50;
constexpr unsigned kMediaSets = 30;
constexpr unsigned kMiscControlKeys = 900;
constexpr unsigned kClsids = 4600;
constexpr unsigned kCards = 2;

struct ControlSet {
    const char* name;  // "CurrentControlSet"
    unsigned percent;  // share of the foreign items it holds
    bool current;      // holds the volatile "Control" keys of running devices
};

constexpr ControlSet kControlSets[] = {
    {"CurrentControlSet", 100, true},
    {"ControlSet001", 100, false},
    {"ControlSet003", 60, false},  // an older, smaller copy
};

class MachineWriter {
  public:
    MachineWriter(RegWriter& out, unsigned scale) : out_(out), scale_(scale) {}

    void Write() {
        for (const ControlSet& set : kControlSets) WriteControlSet(set);
        WriteClsids();
    }

  private:
    // --- Helpers ---

    bool Holds(const ControlSet& set, Kind kind, unsigned index) const {
        return set.percent >= 100 || Pick(Hash(kind, index, 99), 100) < set.percent;
    }

    unsigned Count(unsigned perScaleOne) const { return perScaleOne * scale_; }

    static std::string ServiceName(unsigned index) {
        const std::uint64_t h = Hash(kService, index);
        return Format("%s%s%u", kServiceStems[Pick(h, 20)], kServiceCores[Pick(h >> 8, 20)], index);
    }

    struct PciDevice {
        std::string name;      // VEN_8086&DEV_24C5&SUBSYS_...&REV_01
        std::string instance;  // first instance
        unsigned instances;
        std::string description;
        std::string service;
    };

    static PciDevice Pci(unsigned index) {
        const std::uint64_t h = Hash(kPciDevice, index);
        const Vendor& vendor = kPciVendors[Pick(h, std::size(kPciVendors))];
        PciDevice device;
        device.name = Format("VEN_%04X&DEV_%04X&SUBSYS_%08X&REV_%02X", vendor.id,
                             static_cast<unsigned>((h >> 8) & 0xFFFF),
                             static_cast<unsigned>(Mix(h) & 0xFFFFFFFF),
                             static_cast<unsigned>((h >> 24) & 0xFF));
        device.instance = "3&" + Hex8(Mix(h + 1)) + "&0&" + Format("%02X", Pick(h >> 32, 256));
        device.instances = 1 + (Pick(h >> 40, 3) == 0) + (Pick(h >> 44, 7) == 0);
        device.description =
            Format("%s PCI Device %04X", vendor.name, static_cast<unsigned>((h >> 8) & 0xFFFF));
        device.service = ServiceName(Pick(h >> 48, kServices));
        return device;
    }

    static std::string UsbName(unsigned index) {
        const std::uint64_t h = Hash(kUsbDevice, index);
        std::string name = Format("Vid_%04x&Pid_%04x", static_cast<unsigned>(h & 0xFFFF),
                                  static_cast<unsigned>((h >> 16) & 0xFFFF));
        if (Pick(h >> 32, 10) < 3) name += Format("&MI_%02x", Pick(h >> 36, 3));
        return name;
    }

    // A link name: "##?#BUS#DEVICE#INSTANCE#{class}", unique per class and index.
    static std::string LinkName(const std::string& bus, const std::string& device,
                                const std::string& instance, const std::string& classGuid) {
        return "##?#" + bus + "#" + device + "#" + instance + "#" + classGuid;
    }

    void Instance(const std::string& path, const std::string& area, const ControlSet& set,
                  std::uint64_t h, const std::string& description, const std::string& hardwareId,
                  const std::string& classGuid, const std::string& service, bool family = false) {
        out_.Key(path, area, family);
        out_.Sz("DeviceDesc", description);
        out_.MultiSz("HardwareID", {hardwareId, hardwareId.substr(0, hardwareId.rfind('&'))});
        out_.MultiSz("CompatibleIDs", {"PCI\\CC_0480", "PCI\\CC_04"});
        out_.Sz("ClassGUID", classGuid);
        out_.Sz("Driver", Lower(classGuid) + Format("\\%04u", Pick(h, 60)));
        out_.Sz("Mfg", description.substr(0, description.find(' ')));
        out_.Sz("Service", service);
        out_.Dword("ConfigFlags", 0);
        out_.Dword("Capabilities", 0x00000080);
        if (Pick(h >> 8, 2) == 0) out_.Sz("ParentIdPrefix", "4&" + Hex8(Mix(h + 7)) + "&0");
        out_.Key(path + "\\Device Parameters", area, family);
        if (Pick(h >> 12, 3) == 0) {
            out_.Key(path + "\\LogConf", area, family);
            out_.Binary("BasicConfigVector", h, 24);
        }
        if (set.current && Pick(h >> 16, 10) < 6) {
            out_.Key(path + "\\Control", area, family);
            out_.Sz("ActiveService", service);
        }
    }

    // --- Control set ---

    void WriteControlSet(const ControlSet& set) {
        const std::string cs = std::string("SYSTEM\\") + set.name + "\\";
        WriteServices(set, cs);
        WriteEnum(set, cs);
        WriteClasses(set, cs);
        WriteInterfaces(set, cs);
        WriteMediumCache(set, cs);
        WriteMedia(set, cs);
        WriteMiscControl(set, cs);
        for (unsigned card = 0; card < Count(kCards); ++card) WriteCard(set, cs, card);
        WriteCardServices(cs);
    }

    void WriteServices(const ControlSet& set, const std::string& cs) {
        for (unsigned i = 0; i < Count(kServices); ++i) {
            if (!Holds(set, kService, i)) continue;
            const std::uint64_t h = Hash(kService, i, 1);
            const std::string name = ServiceName(i);
            const std::string path = cs + "Services\\" + name;
            out_.Key(path, "Services");
            const bool driver = Pick(h, 10) < 7;
            out_.Dword("Type", driver ? 1 : 16);
            // Demand or disabled only: Wine's services.exe would try to start the others.
            out_.Dword("Start", Pick(h >> 4, 5) == 0 ? 4 : 3);
            out_.Dword("ErrorControl", 1);
            out_.ExpandSz("ImagePath", driver ? "system32\\DRIVERS\\" + name + ".sys"
                                              : "%SystemRoot%\\system32\\" + name + ".exe");
            out_.Sz("DisplayName", name + (driver ? " Driver" : " Service"));
            if (Pick(h >> 8, 3) == 0) out_.Sz("Group", "Extended Base");
            if (Pick(h >> 12, 10) < 4) {
                out_.Key(path + "\\Enum", "Services");
                out_.Sz("0", "PCI\\" + Pci(Pick(h >> 16, Count(kPciDevices))).name);
                out_.Dword("Count", 1);
                out_.Dword("NextInstance", 1);
            }
            if (Pick(h >> 20, 2) == 0) {
                out_.Key(path + "\\Security", "Services");
                out_.Binary("Security", h, 20);
            }
            if (Pick(h >> 24, 4) == 0) {
                out_.Key(path + "\\Parameters", "Services");
                out_.Dword("BufferSize", 4096);
                out_.Sz("Description", name);
            }
        }
    }

    void WriteEnum(const ControlSet& set, const std::string& cs) {
        const std::string enumPath = cs + "Enum";
        out_.Key(enumPath, "Enum");
        for (unsigned i = 0; i < Count(kEnumValues); ++i) {
            if (!Holds(set, kEnumValue, i)) continue;
            const std::uint64_t h = Hash(kEnumValue, i);
            out_.Dword(Format("NextParentID.%s.%u", Hex8(h).c_str(), 1 + Pick(h >> 32, 3)),
                       1 + Pick(h >> 40, 5));
        }
        // The cards' NextParentID values sit among the others.
        for (unsigned card = 0; card < Count(kCards); ++card) {
            const Card c = MakeCard(card);
            out_.Dword("NextParentID." + c.prefix.substr(2, 8) + ".1", 2);
            out_.Dword("NextParentID." + c.encoderPrefix.substr(2, 8) + ".1", 1);
        }
        WritePci(set, enumPath + "\\PCI\\");
        WriteUsb(set, enumPath + "\\USB\\");
        WriteStream(set, enumPath + "\\Stream\\");
        WriteOtherEnum(set, enumPath + "\\");
    }

    void WritePci(const ControlSet& set, const std::string& bus) {
        for (unsigned i = 0; i < Count(kPciDevices); ++i) {
            if (!Holds(set, kPciDevice, i)) continue;
            const PciDevice device = Pci(i);
            const std::uint64_t h = Hash(kPciDevice, i, 2);
            const std::string classGuid = kSetupClasses[Pick(h, std::size(kSetupClasses))];
            out_.Key(bus + device.name, "Enum\\PCI");
            for (unsigned n = 0; n < device.instances; ++n) {
                const std::string instance =
                    n == 0 ? device.instance : "3&" + Hex8(Mix(h + n)) + "&0&" + Format("%02X", n);
                Instance(bus + device.name + "\\" + instance, "Enum\\PCI", set, Mix(h + n),
                         device.description, "PCI\\" + device.name, classGuid, device.service);
            }
        }
        // Other makers' boards on the card's chips: they must survive the purge.
        for (unsigned i = 0; i < Count(kSameChipBoards); ++i) {
            const std::uint64_t h = Hash(kPciDevice, 100000 + i);
            const bool bt878 = i % 3 == 2;
            const std::string name =
                bt878 ? Format("VEN_109E&DEV_036E&SUBSYS_%04X0070&REV_11", 0x1300 + i)
                      : Format("VEN_14F1&DEV_8800&SUBSYS_%04X0070&REV_05", 0xD600 + i);
            out_.Key(bus + name, "Enum\\PCI");
            Instance(bus + name + "\\4&" + Hex8(h) + "&0&" + Format("%02XF0", 0x50 + i),
                     "Enum\\PCI", set, h,
                     bt878 ? "Contoso Bt878 Video Capture" : "Fabrikam CX2388x Video Capture",
                     "PCI\\" + name, kMediaClass, bt878 ? "ctbt848" : "fbcx88");
        }
    }

    void WriteUsb(const ControlSet& set, const std::string& bus) {
        for (unsigned i = 0; i < Count(kUsbDevices); ++i) {
            if (!Holds(set, kUsbDevice, i)) continue;
            const std::uint64_t h = Hash(kUsbDevice, i, 2);
            const std::string name = UsbName(i);
            out_.Key(bus + name, "Enum\\USB");
            const unsigned instances = 1 + (Pick(h, 4) == 0);
            for (unsigned n = 0; n < instances; ++n) {
                const std::uint64_t hi = Mix(h + n);
                const std::string path = bus + name + "\\" + "5&" + Hex8(hi) + "&0&" +
                                         Format("%u", 1 + Pick(hi >> 32, 8));
                out_.Key(path, "Enum\\USB");
                out_.Sz("DeviceDesc", "USB Device " + name);
                out_.MultiSz("HardwareID", {"USB\\" + name + "&Rev_0100", "USB\\" + name});
                out_.MultiSz("CompatibleIDs", {"USB\\Class_03&SubClass_01", "USB\\Class_03"});
                out_.Sz("ClassGUID", kSetupClasses[20 + Pick(hi >> 8, 3)]);
                out_.Sz("Driver", Format("{36fc9e60-c465-11cf-8056-444553540000}\\%04u",
                                         Pick(hi >> 12, 200)));
                out_.Sz("Mfg", "(Standard USB Host Controller)");
                out_.Sz("Service", Pick(hi >> 16, 2) == 0 ? "usbhub" : "HidUsb");
                out_.Dword("ConfigFlags", 0);
                out_.Sz("LocationInformation", "USB Device");
                if (Pick(hi >> 20, 10) < 3) out_.Sz("ParentIdPrefix", "6&" + Hex8(Mix(hi)) + "&0");
                out_.Key(path + "\\Device Parameters", "Enum\\USB");
                out_.Sz("SymbolicName", "\\??\\USB#" + name + "#5&" + Hex8(hi) +
                                            "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
                if (set.current && Pick(hi >> 24, 10) < 3) {
                    out_.Key(path + "\\Control", "Enum\\USB");
                    out_.Sz("ActiveService", "usbhub");
                }
            }
        }
    }

    void WriteStream(const ControlSet& set, const std::string& bus) {
        for (unsigned i = 0; i < Count(kStreamDevices); ++i) {
            if (!Holds(set, kStreamDevice, i)) continue;
            const std::uint64_t h = Hash(kStreamDevice, i);
            const std::string name = Format("%s%s.std%u", kServiceStems[Pick(h, 20)],
                                            kServiceCores[Pick(h >> 8, 20)], i);
            Instance(bus + name + "\\4&" + Hex8(h) + "&0&0", "Enum\\Stream", set, h,
                     "Stream Device " + name, "Stream\\" + name, kMediaClass, ServiceName(i));
        }
    }

    void WriteOtherEnum(const ControlSet& set, const std::string& enumPath) {
        struct Bus {
            const char* name;
            Kind kind;
            unsigned count;
            const char* classGuid;
        };
        const Bus buses[] = {
            {"HID", kHidDevice, kHidDevices, "{745A17A0-74D3-11D0-B6FE-00A0C90F57DA}"},
            {"USBSTOR", kUsbStorDevice, kUsbStorDevices, "{4D36E967-E325-11CE-BFC1-08002BE10318}"},
            {"STORAGE\\Volume", kVolume, kVolumes, "{71A27CDD-812A-11D0-BEC7-08002BE2092F}"},
            {"ACPI", kAcpiDevice, kAcpiDevices, "{4D36E97D-E325-11CE-BFC1-08002BE10318}"},
        };
        for (const Bus& bus : buses) {
            for (unsigned i = 0; i < Count(bus.count); ++i) {
                if (!Holds(set, bus.kind, i)) continue;
                const std::uint64_t h = Hash(bus.kind, i);
                const std::string device = Format("Dev_%s%u", Hex8(h).c_str(), i);
                const std::string path =
                    enumPath + bus.name + "\\" + device + "\\7&" + Hex8(Mix(h)) + "&0&0000";
                Instance(path, "Enum (other buses)", set, h, std::string(bus.name) + " Device",
                         std::string(bus.name) + "\\" + device, bus.classGuid, "disk");
            }
        }
        // Legacy drivers: Root\LEGACY_<service>\0000.
        for (unsigned i = 0; i < Count(kServices); ++i) {
            if (!Holds(set, kService, i) || Pick(Hash(kService, i, 3), 10) >= 6) continue;
            std::string upper = ServiceName(i);
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            const std::string path = enumPath + "Root\\LEGACY_" + upper + "\\0000";
            out_.Key(path, "Enum (other buses)");
            out_.Sz("Service", ServiceName(i));
            out_.Dword("Legacy", 1);
            out_.Sz("ClassGUID", "{8ECC055D-047F-11D1-A537-0000F8753ED1}");
            if (set.current) {
                out_.Key(path + "\\Control", "Enum (other buses)");
                out_.Dword("NewlyCreated", 0);
            }
        }
    }

    void ClassKey(const std::string& path, const std::string& area, const char* description) {
        out_.Key(path, area);
        out_.Sz("", description);
        out_.Sz("Class", description);
        out_.Sz("Icon", "-1");
    }

    void ClassInstance(const std::string& path, std::uint64_t h, const std::string& description,
                       const std::string& driver, bool family = false) {
        const std::string area = "Control\\Class";
        out_.Key(path, area, family);
        out_.Sz("DriverDesc", description);
        out_.Sz("ProviderName", description.substr(0, description.find(' ')));
        out_.Sz("DriverDate",
                Format("%u-%u-200%u", 1 + Pick(h, 12), 1 + Pick(h >> 4, 28), Pick(h >> 8, 8)));
        out_.Sz("DriverVersion", Format("5.%u.%u.0", Pick(h >> 12, 10), Pick(h >> 16, 3000)));
        out_.Sz("InfPath", Format("oem%u.inf", Pick(h >> 20, 90)));
        out_.Sz("InfSection", Format("%s.NT", description.c_str()));
        out_.Sz("MatchingDeviceId", Format("pci\\ven_%04x", Pick(h >> 24, 0xFFFF)));
        if (!driver.empty()) {
            out_.Sz("DevLoader", "*ntkern");
            out_.Sz("NTMPDriver", driver);
        }
    }

    void WriteClasses(const ControlSet& set, const std::string& cs) {
        const std::string classes = cs + "Control\\Class\\";
        const std::string area = "Control\\Class";
        ClassKey(classes + kMediaClass, area, "MEDIA");
        for (unsigned i = 0; i < Count(kMediaInstances); ++i) {
            if (!Holds(set, kClassInstance, i)) continue;
            const std::uint64_t h = Hash(kClassInstance, i);
            const std::string path = classes + kMediaClass + Format("\\%04u", i);
            ClassInstance(
                path, h, Format("Media Device %u", i),
                Format("%s%s.sys", kServiceStems[Pick(h, 20)], kServiceCores[Pick(h >> 8, 20)]));
            if (Pick(h >> 28, 10) < 4) {
                // An audio driver's wave, mixer and aux entries.
                for (const char* kind : {"wave", "mixer", "aux"}) {
                    out_.Key(path + "\\Drivers\\" + kind + "\\wdmaud.drv", area);
                    out_.Sz("Driver", "wdmaud.drv");
                    out_.Sz("Description", Format("Media Device %u", i));
                }
            } else if (Pick(h >> 28, 10) < 6) {
                out_.Key(path + "\\Settings", area);
                out_.Dword("Mode", Pick(h, 4));
            }
        }
        for (const char* guid : kSetupClasses) ClassKey(classes + guid, area, "Device");
        for (unsigned i = 0; i < Count(kOtherClassInstances); ++i) {
            const unsigned index = 1000000 + i;
            if (!Holds(set, kClassInstance, index)) continue;
            const std::uint64_t h = Hash(kClassInstance, index);
            const std::string path =
                classes + kSetupClasses[Pick(h, std::size(kSetupClasses))] + Format("\\%04u", i);
            ClassInstance(path, h, Format("Device %u", i), "");
            if (Pick(h >> 28, 10) < 2) {
                out_.Key(path + "\\Settings", area);
                out_.Dword("Mode", Pick(h, 4));
            }
        }
    }

    void Interface(const std::string& classPath, const std::string& link,
                   const std::string& instanceId, const char* const* refs, const ControlSet& set,
                   std::uint64_t h, bool family = false) {
        const std::string area = "Control\\DeviceClasses";
        const std::string path = classPath + link;
        if (!out_.Key(path, area, family)) return;
        out_.Sz("DeviceInstance", instanceId);
        for (int r = 0; r < 3 && refs[r] != nullptr; ++r) {
            out_.Key(path + "\\" + refs[r], area, family);
            out_.Sz("SymbolicLink", "\\\\?\\" + link.substr(4) + "\\" + (refs[r] + 1));
            if (Pick(h >> (8 + r), 10) < 6) {
                out_.Key(path + "\\" + refs[r] + "\\Device Parameters", area, family);
                out_.Sz("FriendlyName", "Capture " + instanceId.substr(0, 20));
                out_.Sz("CLSID", "{17CCA71B-ECD7-11D0-B908-00A0C9223196}");
            }
            if (set.current && Pick(h >> (16 + r), 10) < 5) {
                out_.Key(path + "\\" + refs[r] + "\\Control", area, family);
                out_.Dword("Linked", 1);
            }
        }
    }

    void WriteInterfaces(const ControlSet& set, const std::string& cs) {
        const std::string classes = cs + "Control\\DeviceClasses\\";
        for (unsigned c = 0; c < std::size(kInterfaceClasses) + kSmallInterfaceClasses; ++c) {
            const bool big = c < std::size(kInterfaceClasses);
            const std::string guid =
                big ? kInterfaceClasses[c].guid : Guid(Hash(kInterface, c, 5), false);
            const char* bus = big ? kInterfaceClasses[c].bus : "PCI";
            static const char* const kPlainRefs[3] = {"#", nullptr, nullptr};
            const char* const* refs = big ? kInterfaceClasses[c].refs : kPlainRefs;
            const unsigned count =
                Count(big ? kInterfaceClasses[c].interfaces : kSmallClassInterfaces);
            const std::string classPath = classes + guid + "\\";
            out_.Key(classes + guid, "Control\\DeviceClasses");
            for (unsigned i = 0; i < count; ++i) {
                const unsigned index = c * 100000 + i;
                if (!Holds(set, kInterface, index)) continue;
                const std::uint64_t h = Hash(kInterface, index);
                std::string device;
                if (std::string(bus) == "PCI") {
                    device = Pci(Pick(h, Count(kPciDevices))).name;
                } else if (std::string(bus) == "USB") {
                    device = UsbName(Pick(h, Count(kUsbDevices)));
                } else {
                    device = Format("Dev_%s", Hex8(Mix(h)).c_str());
                }
                const std::string instance =
                    "5&" + Hex8(h) + "&0&" + Format("%u", Pick(h >> 40, 16));
                Interface(classPath, LinkName(bus, device, instance, guid),
                          std::string(bus) + "\\" + device + "\\" + instance, refs, set, h);
            }
        }
        // The other makers' same-chip boards have their capture interfaces too.
        for (unsigned i = 0; i < Count(kSameChipBoards); ++i) {
            const std::uint64_t h = Hash(kPciDevice, 100000 + i);
            const bool bt878 = i % 3 == 2;
            const std::string name =
                bt878 ? Format("VEN_109E&DEV_036E&SUBSYS_%04X0070&REV_11", 0x1300 + i)
                      : Format("VEN_14F1&DEV_8800&SUBSYS_%04X0070&REV_05", 0xD600 + i);
            const std::string instance = "4&" + Hex8(h) + "&0&" + Format("%02XF0", 0x50 + i);
            static const char* const kGlobal[3] = {"#GLOBAL", nullptr, nullptr};
            for (const char* guid : {kCapture, kVideo, kTvAudio}) {
                Interface(classes + guid + "\\", LinkName("PCI", name, instance, guid),
                          "PCI\\" + name + "\\" + instance, kGlobal, set, h);
            }
        }
    }

    void WriteMediumCache(const ControlSet& set, const std::string& cs) {
        const std::string cache = cs + "Control\\MediumCache\\";
        out_.Key(cs + "Control\\MediumCache", "Control\\MediumCache");
        for (unsigned i = 0; i < Count(kMediumEntries); ++i) {
            if (!Holds(set, kMediumEntry, i)) continue;
            const std::uint64_t h = Hash(kMediumEntry, i);
            const std::string medium = Guid(Hash(kMediumSet, Pick(h, Count(kMediumSets))), false);
            if (!out_.Key(cache + medium + Format("-%08x-00000000", i), "Control\\MediumCache")) {
                continue;
            }
            const unsigned values = 1 + Pick(h >> 16, 4);
            for (unsigned v = 0; v < values; ++v) {
                const std::uint64_t hv = Mix(h + v);
                out_.Dword("\\\\?\\" +
                               Lower(LinkName("pci", Pci(Pick(hv, Count(kPciDevices))).name,
                                              "4&" + Hex8(hv) + "&0&0",
                                              kInterfaceClasses[Pick(hv >> 32, 3)].guid))
                                   .substr(4) +
                               "\\global",
                           Pick(hv >> 40, 2));
            }
        }
    }

    void WriteMedia(const ControlSet& set, const std::string& cs) {
        struct Area {
            const char* name;
            unsigned count;
        };
        for (const Area& area :
             {Area{"MediaCategories", kMediaCategories}, Area{"MediaInterfaces", kMediaInterfaces},
              Area{"MediaSets", kMediaSets}}) {
            const std::string label = std::string("Control\\") + area.name;
            out_.Key(cs + label, "Control\\Media*");
            for (unsigned i = 0; i < Count(area.count); ++i) {
                const unsigned index = area.count * 1000 + i;
                if (!Holds(set, kMediaKey, index)) continue;
                const std::uint64_t h = Hash(kMediaKey, index);
                out_.Key(cs + label + "\\" + Guid(h, true), "Control\\Media*");
                out_.Sz("Name", Format("Media %s %u", area.name, i));
                out_.Dword("Display", 1);
            }
        }
    }

    void WriteMiscControl(const ControlSet& set, const std::string& cs) {
        for (unsigned i = 0; i < Count(kMiscControlKeys); ++i) {
            if (!Holds(set, kMisc, i)) continue;
            const std::uint64_t h = Hash(kMisc, i);
            out_.Key(cs + Format("Control\\Session Manager\\Settings%u\\Item%u", i / 20, i),
                     "Control (not walked)");
            out_.Dword("Value", static_cast<unsigned>(h & 0xFFFF));
        }
    }

    // --- The family's traces ---

    struct Card {
        std::string device;    // VEN_14F1&DEV_8800&SUBSYS_66301F3C&REV_05
        std::string encoder;   // the DEV_8802 function
        std::string instance;  // 4&xxxxxxxx&0&40F0
        std::string encoderInstance;
        std::string prefix;  // ParentIdPrefix of the video function: 5&xxxxxxxx&0
        std::string encoderPrefix;
        std::string tuner;  // vsbbtune.vsntsc or vsbbtune.vspal
    };

    static Card MakeCard(unsigned card) {
        const std::uint64_t h = Hash(kCard, card);
        const unsigned subsystem = kCardSubsystems[card % std::size(kCardSubsystems)];
        Card c;
        c.device = Format("VEN_14F1&DEV_8800&SUBSYS_%04X1F3C&REV_05", subsystem);
        c.encoder = Format("VEN_14F1&DEV_8802&SUBSYS_%04X1F3C&REV_05", subsystem);
        c.instance = "4&" + Hex8(h) + Format("&0&%02XF0", 0x20 + card % 0xC0);
        c.encoderInstance = "4&" + Hex8(h) + Format("&0&%02XF2", 0x20 + card % 0xC0);
        c.prefix = "5&" + Hex8(Mix(h + 1)) + "&0";
        c.encoderPrefix = "5&" + Hex8(Mix(h + 2)) + "&0";
        c.tuner = card % 2 == 0 ? "vsbbtune.vsntsc" : "vsbbtune.vspal";
        return c;
    }

    void WriteCard(const ControlSet& set, const std::string& cs, unsigned card) {
        const Card c = MakeCard(card);
        const std::uint64_t h = Hash(kCard, card, 1);

        // Enum\PCI: the two functions, and their NextParentID values under Enum.
        const std::string pci = cs + "Enum\\PCI\\";
        for (int function = 0; function < 2; ++function) {
            const std::string& device = function == 0 ? c.device : c.encoder;
            const std::string& instance = function == 0 ? c.instance : c.encoderInstance;
            const std::string path = pci + device + "\\" + instance;
            out_.Key(pci + device, "Enum\\PCI", true);
            out_.Key(path, "Enum\\PCI", true);
            out_.Sz("DeviceDesc", function == 0 ? "Vistrel QR4100" : "Vistrel QR4100 MPEG Encoder");
            out_.MultiSz("HardwareID", {"PCI\\" + device, "PCI\\" + device.substr(0, 34)});
            out_.Sz("ClassGUID", kMediaClass);
            out_.Sz("Driver", Format("{4d36e96c-e325-11ce-bfc1-08002be10318}\\%04u",
                                     Count(kMediaInstances) + card * 4 + function * 3));
            out_.Sz("Mfg", "Vistrel");
            out_.Sz("Service", function == 0 ? "VSBB" : "VSBBENC");
            out_.Sz("ParentIdPrefix", function == 0 ? c.prefix : c.encoderPrefix);
            out_.Dword("ConfigFlags", 0);
            out_.Key(path + "\\Device Parameters", "Enum\\PCI", true);
            out_.Key(path + "\\LogConf", "Enum\\PCI", true);
            out_.Binary("BasicConfigVector", h + function, 24);
            if (set.current) {
                out_.Key(path + "\\Control", "Enum\\PCI", true);
                out_.Sz("ActiveService", function == 0 ? "VSBB" : "VSBBENC");
            }
        }
        // Enum\Stream: the crossbar and tuner software devices of the card.
        const std::string stream = cs + "Enum\\Stream\\";
        const std::pair<std::string, std::string> streams[] = {{"vsbbxbar.vscnxt", c.prefix + "&0"},
                                                               {c.tuner, c.prefix + "&1"}};
        for (const auto& [name, instance] : streams) {
            const std::string path = stream + name + "\\" + instance;
            out_.Key(stream + name, "Enum\\Stream", true);
            out_.Key(path, "Enum\\Stream", true);
            out_.Sz("DeviceDesc",
                    name == "vsbbxbar.vscnxt" ? "Vistrel QR4100 Crossbar" : "Vistrel QR4100 Tuner");
            out_.MultiSz("HardwareID", {"Stream\\" + name});
            out_.Sz("ClassGUID", kMediaClass);
            out_.Sz("Service", name == "vsbbxbar.vscnxt" ? "VSBBXBAR" : "VSBBTUNE");
            out_.Key(path + "\\Device Parameters", "Enum\\Stream", true);
            if (set.current) out_.Key(path + "\\Control", "Enum\\Stream", true);
        }

        // Control\Class: the media-class driver keys of the card's drivers.
        const std::string media = cs + "Control\\Class\\" + kMediaClass + "\\";
        for (unsigned j = 0; j < std::size(kCardClassDrivers); ++j) {
            ClassInstance(media + Format("%04u", Count(kMediaInstances) + card * 4 + j), Mix(h + j),
                          "Vistrel QR4100", kCardClassDrivers[j], true);
        }

        // Control\DeviceClasses: capture, video and TV-audio interfaces of the video
        // function, capture and encoder interfaces of the encoder function, tuner and
        // crossbar interfaces of the software devices.
        const std::string classes = cs + "Control\\DeviceClasses\\";
        static const char* const kGlobal[3] = {"#GLOBAL", nullptr, nullptr};
        static const char* const kPlain[3] = {"#", nullptr, nullptr};
        struct Link {
            const char* guid;
            const char* bus;
            std::string device;
            std::string instance;
        };
        const Link links[] = {
            {kCapture, "PCI", c.device, c.instance},
            {kVideo, "PCI", c.device, c.instance},
            {kTvAudio, "PCI", c.device, c.instance},
            {kCapture, "PCI", c.encoder, c.encoderInstance},
            {kEncoder1, "PCI", c.encoder, c.encoderInstance},
            {kEncoder2, "PCI", c.encoder, c.encoderInstance},
            {kCrossbar, "STREAM", "vsbbxbar.vscnxt", c.prefix + "&0"},
            {kTuner, "STREAM", c.tuner, c.prefix + "&1"},
        };
        for (const Link& link : links) {
            out_.Key(classes + link.guid, "Control\\DeviceClasses");
            Interface(classes + link.guid + "\\",
                      LinkName(link.bus, link.device, link.instance, link.guid),
                      std::string(link.bus) + "\\" + link.device + "\\" + link.instance,
                      std::string(link.bus) == "PCI" ? kGlobal : kPlain, set, Mix(h + 11), true);
        }

        // Control\MediumCache: the card's mediums, named after its interfaces; one in
        // four is shared with another device, whose value must survive.
        const std::string cache = cs + "Control\\MediumCache\\";
        for (unsigned m = 0; m < std::size(kCardMediumCategories); ++m) {
            const std::string entry = cache + "{" + kCardMediumCategories[m] +
                                      "-3b39-11d1-905f-0000c0cc16ba}" +
                                      Format("-%08x-00000000", card);
            out_.Key(entry, "Control\\MediumCache", true);
            out_.Dword(
                Lower("\\\\?\\stream#" + c.tuner + "#" + c.prefix + "&1#" + kTuner + "\\global"),
                0);
            out_.Dword(
                Lower("\\\\?\\pci#" + c.device + "#" + c.instance + "#" + kCapture + "\\global"),
                1);
            if (m == 0) {
                out_.Dword(Lower("\\\\?\\pci#" + Pci(card).name + "#4&" + Hex8(h) + "&0&0#" +
                                 kCapture + "\\global"),
                           1);
            }
        }
    }

    void WriteCardServices(const std::string& cs) {
        for (const char* name : kCardServices) {
            const std::string path = cs + "Services\\" + name;
            out_.Key(path, "Services", true);
            out_.Dword("Type", 1);
            out_.Dword("Start", 3);
            out_.Dword("ErrorControl", 1);
            out_.ExpandSz("ImagePath", std::string("system32\\DRIVERS\\") + name + ".sys");
            out_.Sz("DisplayName", std::string("Vistrel QR4100 ") + name);
            out_.Key(path + "\\Enum", "Services", true);
            out_.Dword("Count", 0);
            out_.Key(path + "\\Security", "Services", true);
            out_.Binary("Security", Hash(kCard, 0, 7), 20);
        }
    }

    // --- HKLM\SOFTWARE\Classes\CLSID ---

    void WriteClsids() {
        const std::string clsid = "SOFTWARE\\Classes\\CLSID\\";
        const std::string area = "SOFTWARE\\Classes\\CLSID";
        for (unsigned i = 0; i < Count(kClsids); ++i) {
            const std::uint64_t h = Hash(kClsid, i);
            const std::string path = clsid + Guid(h, true);
            if (!out_.Key(path, area)) continue;
            out_.Sz("", Format("Component %u", i));
            out_.Key(path + "\\InprocServer32", area);
            out_.Sz("", Format("C:\\WINDOWS\\system32\\%s%s.dll", kServiceStems[Pick(h, 20)],
                               kServiceCores[Pick(h >> 8, 20)]));
            out_.Sz("ThreadingModel", Pick(h >> 16, 2) == 0 ? "Both" : "Apartment");
            if (Pick(h >> 20, 10) < 3) {
                out_.Key(path + "\\ProgID", area);
                out_.Sz("", Format("Component.Object.%u", i));
            }
            if (Pick(h >> 24, 10) < 2) {
                out_.Key(path + "\\Implemented Categories\\" + Guid(Mix(h), true), area);
            }
            if (Pick(h >> 28, 20) == 0) {
                // A DirectShow filter category with its filters.
                for (unsigned f = 0; f < 4; ++f) {
                    out_.Key(path + "\\Instance\\" + Guid(Mix(h + f), true), area);
                    out_.Sz("FriendlyName", Format("Filter %u.%u", i, f));
                    out_.Binary("FilterData", h + f, 48);
                }
            }
        }
    }

    RegWriter& out_;
    unsigned scale_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: benchmark_machine OUT_DIR [SCALE]\n";
        return 2;
    }
    const std::string outDir = argv[1];
    const int scale = argc == 3 ? std::atoi(argv[2]) : 1;
    if (scale < 1 || scale > 64) {
        std::cerr << "benchmark_machine: SCALE must be 1 to 64\n";
        return 2;
    }
    RegWriter writer;
    MachineWriter(writer, static_cast<unsigned>(scale)).Write();

    std::error_code error;
    std::filesystem::create_directories(outDir, error);
    std::ofstream out(outDir + "/registry.reg", std::ios::binary | std::ios::trunc);
    out << writer.text();
    if (!out) {
        std::cerr << "benchmark_machine: cannot write " << outDir << "/registry.reg\n";
        return 2;
    }
    std::cout << "scale " << scale << ": " << writer.keys() << " keys, " << writer.values()
              << " values, " << writer.familyKeys() << " keys of the QR4100 family (BB), "
              << writer.text().size() << " bytes\n";
    for (const auto& [area, keys] : writer.keysByArea()) {
        std::cout << "  " << area << ": " << keys << " keys\n";
    }
    return 0;
}
