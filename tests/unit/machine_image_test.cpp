// Machine images: the regedit export reader, key DACLs in SDDL, and image folders
// with their manifest.
#include "platform/image/machine_image.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/image/sddl.h"
#include "platform/memory/memory_machine.h"

namespace cvp {
namespace {

namespace fs = std::filesystem;

// UTF-16LE with a BOM, as regedit /E writes; `wide` code units are placed where the
// text has a '~'.
std::string Utf16Export(const std::string& latin1, const std::vector<unsigned>& wide = {}) {
    std::string bytes = "\xFF\xFE";
    size_t next = 0;
    for (char c : latin1) {
        const unsigned unit =
            (c == '~' && next < wide.size()) ? wide[next++] : static_cast<unsigned char>(c);
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<RegistryEdit> Read(const std::string& bytes) {
    std::vector<RegistryEdit> edits;
    std::string error;
    EXPECT_TRUE(ReadRegistryExport("t.reg", bytes, &edits, &error)) << error;
    return edits;
}

const std::string kV5 = "Windows Registry Editor Version 5.00\r\n\r\n";

// --- The export reader --------------------------------------------------------------

TEST(RegistryExport, ReadsAUtf16ExportWithContinuedHexLines) {
    const std::string text = kV5 +
                             "[HKEY_LOCAL_MACHINE\\SYSTEM\\Enum\\PCI\\VEN_1]\r\n"
                             "\"HardwareID\"=hex(7):50,00,43,00,49,00,00,00,\\\r\n"
                             "  41,00,00,00,00,00\r\n"
                             "\"Path\"=hex(2):25,00,77,00,2d,4e,00,00\r\n"
                             "\"Name\"=\"a\\\\b \\\"q\\\" ~\"\r\n"
                             "@=dword:0000001f\r\n";
    const auto edits = Read(Utf16Export(text, {0x4E2D}));
    ASSERT_EQ(edits.size(), 5u);
    EXPECT_EQ(edits[0].kind, RegistryEdit::Kind::CreateKey);
    EXPECT_EQ(edits[0].path, "SYSTEM\\Enum\\PCI\\VEN_1");
    EXPECT_EQ(edits[1].type, kRegMultiSz);
    EXPECT_EQ(edits[1].data, Bytes(std::string("PCI\0A\0\0", 7)));
    // A unit outside Latin-1 reads as '?', in hex data as in quoted text.
    EXPECT_EQ(edits[2].type, kRegExpandSz);
    EXPECT_EQ(edits[2].data, Bytes(std::string("%w?\0", 4)));
    EXPECT_EQ(edits[3].valueName, "Name");
    EXPECT_EQ(edits[3].data, Bytes(std::string("a\\b \"q\" ?\0", 10)));
    EXPECT_EQ(edits[4].valueName, "");
    EXPECT_EQ(edits[4].data, Bytes(std::string("\x1f\0\0\0", 4)));
    EXPECT_EQ(edits[4].path, edits[0].path);
}

TEST(RegistryExport, KeepsExactlyTheTerminatorsTheExportGave) {
    const std::string values = "[HKEY_CURRENT_USER\\K]\n\"A\"=hex(1):41,00,42,00\n"
                               "\"B\"=hex(1):41,00,00,00,00,00\n";
    const auto wide = Read(Utf16Export(kV5 + values));
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[1].data, Bytes("AB"));
    EXPECT_EQ(wide[2].data, Bytes(std::string("A\0\0", 3)));
}

TEST(RegistryExport, StringBytesFollowTheFilesEncoding) {
    // regedit reads the hex bytes of string types in an ANSI file as ANSI text.
    const auto edits = Read(kV5 + "[HKEY_CURRENT_USER\\K]\n\"M\"=hex(7):61,00,62,63,00,00\n");
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[1].data, Bytes(std::string("a\0bc\0\0", 6)));
}

TEST(RegistryExport, Regedit4StringDataIsAlreadyAnsi) {
    const auto edits = Read("REGEDIT4\n\n[HKEY_USERS\\.DEFAULT\\K]\n\"E\"=hex(2):25,41,00\n");
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[0].root, Root::Users);
    EXPECT_EQ(edits[1].data, Bytes(std::string("%A\0", 3)));
}

TEST(RegistryExport, TakesAnyHexTypeNumberAsItsType) {
    const auto edits = Read(kV5 +
                            "[HKEY_CURRENT_CONFIG\\K]\n\"n\"=hex(0):\n\"q\"=hex(b):01,00,00,00,00,"
                            "00,00,00\n\"x\"=hex(ffff):aB\n");
    ASSERT_EQ(edits.size(), 4u);
    EXPECT_EQ(edits[1].type, kRegNone);
    EXPECT_TRUE(edits[1].data.empty());
    EXPECT_EQ(edits[2].type, kRegQword);
    EXPECT_EQ(edits[2].data.size(), 8u);
    EXPECT_EQ(edits[3].type, 0xFFFFu);
    EXPECT_EQ(edits[3].data, std::vector<unsigned char>{0xAB});
}

TEST(RegistryExport, ReadsDeletionsCommentsAndAllRootNames) {
    const auto edits = Read(kV5 +
                            "; comment\n"
                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\\]\n\n"
                            "[hkey_classes_root\\CLSID\\{1}]\n"
                            "  \"gone\"=-  \n"
                            "[HKEY_CURRENT_USER]\n");
    ASSERT_EQ(edits.size(), 4u);
    EXPECT_EQ(edits[0].kind, RegistryEdit::Kind::DeleteKey);
    EXPECT_EQ(edits[0].path, "SOFTWARE\\Old");
    EXPECT_EQ(edits[1].root, Root::ClassesRoot);
    EXPECT_EQ(edits[2].kind, RegistryEdit::Kind::DeleteValue);
    EXPECT_EQ(edits[2].valueName, "gone");
    EXPECT_EQ(edits[3].root, Root::CurrentUser);
    EXPECT_EQ(edits[3].path, "");
}

TEST(RegistryExport, AppendsToTheEditsAlreadyRead) {
    std::vector<RegistryEdit> edits(1);
    std::string error;
    ASSERT_TRUE(ReadRegistryExport("t.reg", kV5 + "[HKEY_USERS\\A]\n", &edits, &error));
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[1].path, "A");
}

struct Malformed {
    std::string text;
    std::string error;
};

// Names each case by what is wrong with it, for the test list.
void PrintTo(const Malformed& malformed, std::ostream* out) {
    *out << malformed.error.substr(malformed.error.find(' ') + 1);
}

class MalformedExport : public ::testing::TestWithParam<Malformed> {};

// Each fault names its line, and the edits read so far stay as they were.
TEST_P(MalformedExport, IsRefusedWithFileAndLine) {
    std::vector<RegistryEdit> edits(2);
    edits[0].path = "kept";
    std::string error;
    EXPECT_FALSE(ReadRegistryExport("bad.reg", GetParam().text, &edits, &error));
    EXPECT_EQ(error, GetParam().error);
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[0].path, "kept");
}

const std::string kKey = "[HKEY_LOCAL_MACHINE\\K]\n";

INSTANTIATE_TEST_SUITE_P(
    Faults, MalformedExport,
    ::testing::Values(
        Malformed{"Windows Registry Editor Version 4.00\n",
                  "bad.reg:1: not a regedit export (unknown header)"},
        Malformed{"", "bad.reg:1: empty file, no regedit header"},
        Malformed{kV5 + "\"v\"=\"x\"\n", "bad.reg:3: value line before any key line"},
        Malformed{kV5 + "[HKEY_LOCAL_MACHIN\\K]\n",
                  "bad.reg:3: unknown root key 'HKEY_LOCAL_MACHIN'"},
        Malformed{kV5 + kKey + "\"v\"=\"abc\n", "bad.reg:4: unterminated quote"},
        Malformed{kV5 + kKey + "\"v=\"abc\"\n", "bad.reg:4: missing '=' after the value name"},
        Malformed{kV5 + kKey + "\"v\"=\"a\\qb\"\n", "bad.reg:4: unknown escape in quoted text"},
        Malformed{kV5 + kKey + "\"v\"=\"a\" x\n", "bad.reg:4: text after the closing quote"},
        Malformed{kV5 + kKey + "\"v\"=hex:01,0g\n", "bad.reg:4: bad hex byte"},
        Malformed{kV5 + kKey + "\"v\"=hex:01 02\n", "bad.reg:4: missing ',' between hex bytes"},
        Malformed{kV5 + kKey + "\"v\"=hex:01,\\\n  ,02\n", "bad.reg:5: empty entry in hex list"},
        Malformed{kV5 + kKey + "\"v\"=hex:01,\\",
                  "bad.reg:4: line continuation at the end of the file"},
        Malformed{kV5 + kKey + "\"v\"=hex(zz):01\n", "bad.reg:4: bad value type in hex(...)"},
        Malformed{Utf16Export(kV5 + kKey + "\"v\"=hex(1):41,00,42\n"),
                  "bad.reg:4: odd-length UTF-16 string data"},
        Malformed{kV5 + kKey + "\"v\"=dword:123456789\n", "bad.reg:4: bad dword value"},
        Malformed{kV5 + kKey + "\"v\"=str:x\n", "bad.reg:4: unknown value data"},
        Malformed{kV5 + "[HKEY_LOCAL_MACHINE\\A\\\\B]\n", "bad.reg:3: empty key name in path"},
        Malformed{kV5 + "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n",
                  "bad.reg:3: key name longer than 255 characters"},
        Malformed{kV5 + "[-HKEY_LOCAL_MACHINE]\n", "bad.reg:3: a root key cannot be deleted"},
        Malformed{kV5 + "[-HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"x\"\n",
                  "bad.reg:4: value line under a key deletion line"},
        Malformed{kV5 + "[HKEY_LOCAL_MACHINE\\K] x\n", "bad.reg:3: text after the key name"},
        Malformed{kV5 + "HKEY_LOCAL_MACHINE\\K\n", "bad.reg:3: unexpected text"},
        Malformed{Utf16Export("Windows Registry Editor Version 5.00\r\n\r\n") + "x",
                  "bad.reg:3: odd number of bytes in UTF-16 text"}));

// A whole-hive export is several megabytes: one key with many subkeys and a long
// binary value over many continuation lines must read, load, list and go in linear time.
TEST(RegistryExport, HandlesAMultiMegabyteExportQuickly) {
    std::string text = kV5;
    for (int i = 0; i < 40000; ++i) {
        text += "[HKEY_LOCAL_MACHINE\\SYSTEM\\Big\\Key" + std::to_string(i) +
                "]\r\n\"v\"=dword:00000001\r\n";
    }
    text += "[HKEY_LOCAL_MACHINE\\SYSTEM\\Blob]\r\n\"b\"=hex:";
    for (int line = 0; line < 20000; ++line)
        text += "00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,\\\r\n  ";
    text += "ff\r\n";
    const auto start = std::chrono::steady_clock::now();
    MachineImage image;
    image.registry = Read(Utf16Export(text));
    ASSERT_EQ(image.registry.size(), 80002u);
    EXPECT_EQ(image.registry.back().data.size(), 320001u);
    EXPECT_EQ(image.registry.back().data[16], 0x00);
    EXPECT_EQ(image.registry.back().data[17], 0x01);
    MemoryMachine machine;
    std::string error;
    ASSERT_TRUE(machine.Apply(image, &error)) << error;
    EXPECT_EQ(machine.DumpRegistry({"HKEY_LOCAL_MACHINE\\SYSTEM"}).size(), 80004u);
    EXPECT_EQ(machine.DeleteTree(Root::LocalMachine, "SYSTEM\\Big"), kErrorSuccess);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(RootNames, RoundTripEveryRoot) {
    for (Root root : {Root::ClassesRoot, Root::CurrentUser, Root::LocalMachine, Root::Users,
                      Root::CurrentConfig}) {
        Root back = Root::Users;
        ASSERT_TRUE(RootFromName(RootName(root), &back)) << RootName(root);
        EXPECT_EQ(back, root);
    }
    Root unused;
    EXPECT_FALSE(RootFromName("HKLM", &unused));
}

// --- SDDL -----------------------------------------------------------------------------

std::string Canonical(const std::string& sddl) {
    Dacl dacl;
    EXPECT_TRUE(ParseDaclSddl(sddl, &dacl)) << sddl;
    return FormatDaclSddl(dacl);
}

TEST(Sddl, WritesDaclsAsWindowsDoes) {
    EXPECT_EQ(Canonical("D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)"), "D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)");
    EXPECT_EQ(Canonical("D:(A;IOCIOI;KA;;;S-1-5-32-544)(D;;GA;;;S-1-1-0)"),
              "D:(A;OICIIO;KA;;;BA)(D;;GA;;;WD)");
    EXPECT_EQ(Canonical("D:(A;;0x20019;;;S-1-5-18)(A;;0x10001;;;AU)"),
              "D:(A;;KR;;;SY)(A;;CCSD;;;AU)");
    EXPECT_EQ(Canonical("D:(A;;0x1234;;;S-1-5-21-1-2-3-500)"),
              "D:(A;;0x1234;;;S-1-5-21-1-2-3-500)");
    EXPECT_EQ(Canonical("D:PAI(A;ID;RCWD;;;BU)"), "D:PAI(A;ID;RCWD;;;BU)");
    EXPECT_EQ(Canonical("O:BAG:SYD:(A;;KR;;;WD)"), "D:(A;;KR;;;WD)");
    EXPECT_EQ(Canonical("D:NO_ACCESS_CONTROL"), "D:NO_ACCESS_CONTROL");
    EXPECT_EQ(Canonical(""), "D:NO_ACCESS_CONTROL");
    EXPECT_EQ(Canonical("D:"), "D:");
}

TEST(Sddl, RefusesMalformedDacls) {
    for (const char* bad : {"D:(X;;KA;;;BA)", "D:(A;;ZZ;;;BA)", "D:(A;;KA;;;S-1-x)",
                            "D:(A;;KA;;;BA", "D:(A;XX;KA;;;BA)", "D:(A;;KA;{1};;BA)",
                            "D:(A;;KA;;;QQ)", "Q:BA", "D:x", "D:(A;;0x123456789;;;BA)"}) {
        Dacl dacl;
        EXPECT_FALSE(ParseDaclSddl(bad, &dacl)) << bad;
    }
}

// --- Image folders --------------------------------------------------------------------

const std::string kSmallPc = std::string(CVP_TEST_DATA_DIR) + "/images/small_pc";

const ImageFile* FindImageFile(const MachineImage& image, const std::string& path) {
    for (const ImageFile& file : image.files) {
        if (file.path == path) return &file;
    }
    return nullptr;
}

TEST(MachineImageFolder, LoadsRegistryFilesAndManifest) {
    MachineImage image;
    std::string error;
    ASSERT_TRUE(LoadMachineImage(kSmallPc, &image, &error)) << error;

    ASSERT_EQ(image.registry.size(), 5u);
    EXPECT_EQ(image.registry[2].data, Bytes(std::string("PCI\\VEN_109E\0\0", 14)));
    EXPECT_EQ(image.registry[4].data, Bytes(std::string("Caf\xE9 ?\0", 7)));

    std::vector<std::string> paths;
    for (const ImageFile& file : image.files) paths.push_back(file.path);
    const std::vector<std::string> expected = {"C:\\Program Files",
                                               "C:\\Program Files\\Vistrel",
                                               "C:\\Program Files\\Vistrel\\readme.txt",
                                               "C:\\windows",
                                               "C:\\windows\\inf",
                                               "C:\\windows\\inf\\oem1.inf",
                                               "C:\\windows\\inf\\oem7.infx",
                                               "C:\\Program Files\\Vistrel\\Empty Dir"};
    EXPECT_EQ(paths, expected);
    EXPECT_EQ(FindImageFile(image, "C:\\windows\\inf\\oem1.inf")->attributes,
              kAttrReadOnly | kAttrHidden);
    EXPECT_EQ(FindImageFile(image, "C:\\windows\\inf\\oem1.inf")->content,
              "[Version]\r\nSignature=\"$CHICAGO$\"\r\n");
    EXPECT_EQ(FindImageFile(image, "C:\\windows")->attributes, kAttrDirectory);
    EXPECT_EQ(FindImageFile(image, "C:\\windows\\inf\\oem7.infx")->attributes, kAttrArchive);

    ASSERT_EQ(image.dacls.size(), 1u);
    EXPECT_EQ(image.dacls[0].path, "SOFTWARE\\Vistrel\\Locked Key");
    EXPECT_EQ(image.dacls[0].sddl, "D:(D;;KA;;;WD)");
    EXPECT_EQ(image.lockedFiles,
              std::vector<std::string>{"C:\\Program Files\\Vistrel\\readme.txt"});
}

TEST(MachineImageFolder, AppliesToTheMemoryMachine) {
    MachineImage image;
    std::string error;
    ASSERT_TRUE(LoadMachineImage(kSmallPc, &image, &error)) << error;
    MemoryMachine machine;
    ASSERT_TRUE(machine.Apply(image, &error)) << error;
    EXPECT_EQ(machine.GetAttributes("C:\\Program Files\\Vistrel\\Empty Dir"), kAttrDirectory);
    EXPECT_FALSE(machine.DeleteFileAt("C:\\Program Files\\Vistrel\\readme.txt"));  // locked
    EXPECT_FALSE(machine.DeleteFileAt("C:\\windows\\inf\\oem1.inf"));              // read-only
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SOFTWARE\\Vistrel\\Locked Key"),
              "D:(D;;KA;;;WD)");
    auto devices = machine.OpenPresentDevices("PCI");
    ASSERT_NE(devices, nullptr);
    EXPECT_TRUE(devices->EnumMember(0));
}

// A scratch image folder, removed again at the end of the test.
class ScratchImage {
  public:
    ScratchImage() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() / (std::string("cvp_image_") + test->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "drive_c" / "windows");
        Write("registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n");
        Write("drive_c/windows/a.inf", "x");
    }
    ~ScratchImage() { fs::remove_all(folder_); }

    void Write(const std::string& name, const std::string& content) {
        fs::create_directories((folder_ / name).parent_path());
        std::ofstream(folder_ / name, std::ios::binary) << content;
    }
    std::string Load(MachineImage* image) {
        std::string error;
        EXPECT_FALSE(LoadMachineImage(folder_.string(), image, &error));
        return error;
    }
    std::string folder() const { return folder_.string(); }

  private:
    fs::path folder_;
};

TEST(MachineImageFolder, AFaultyManifestLoadsNothing) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"# ok\n\nfrobnicate C:\\x\n", "machine.txt:3: unknown directive 'frobnicate'"},
        {"attributes C:\\windows\\a.inf RQ\n",
         "machine.txt:1: bad attribute letters 'RQ' (R H S A or -)"},
        {"attributes C:\\windows\\b.inf R\n",
         "machine.txt:1: no such file or directory in the image: C:\\windows\\b.inf"},
        {"attributes C:\\windows\\a.inf\n", "machine.txt:1: expected a path and a field"},
        {"locked C:\\windows\n", "machine.txt:1: no such file in the image: C:\\windows"},
        {"directory D:\\x\n", "machine.txt:1: expected a path on C: ('C:\\...')"},
        {"directory C:\\windows\\a.inf\\sub\n",
         "machine.txt:1: a file of the image is in the way: C:\\windows\\a.inf"},
        {"dacl HKEY_LOCAL_MACHINE\\SOFTWARE\\B D:(A;;KA;;;BA)\n",
         "machine.txt:1: no such key in the image: HKEY_LOCAL_MACHINE\\SOFTWARE\\B"},
        {"dacl HKEY_LOCAL_MACHINE\\SOFTWARE\\A D:(A;;KA;;;ZZ)\n",
         "machine.txt:1: bad SDDL DACL 'D:(A;;KA;;;ZZ)'"},
    };
    for (const auto& [manifest, expected] : cases) {
        ScratchImage scratch;
        scratch.Write("machine.txt", manifest);
        MachineImage image;
        image.lockedFiles.push_back("untouched");
        EXPECT_EQ(scratch.Load(&image), expected);
        EXPECT_EQ(image.lockedFiles, std::vector<std::string>{"untouched"});
        EXPECT_TRUE(image.registry.empty());
    }
}

TEST(MachineImageFolder, ManifestPathsMayHoldBlanksAndAnyCase) {
    ScratchImage scratch;
    scratch.Write("drive_c/Program Files/My App/a b.sys", "x");
    scratch.Write("machine.txt",
                  "attributes c:/program files/my app/A B.SYS -\n"
                  "attributes C:\\Program Files\\My App\\ S\n"
                  "locked C:\\Program Files\\My App\\a b.sys\n");
    MachineImage image;
    std::string error;
    ASSERT_TRUE(LoadMachineImage(scratch.folder(), &image, &error)) << error;
    EXPECT_EQ(FindImageFile(image, "C:\\Program Files\\My App\\a b.sys")->attributes, kAttrNormal);
    EXPECT_EQ(FindImageFile(image, "C:\\Program Files\\My App")->attributes,
              kAttrDirectory | kAttrSystem);
    EXPECT_EQ(image.lockedFiles, std::vector<std::string>{"C:\\Program Files\\My App\\a b.sys"});
}

TEST(MachineImageFolder, AFaultyRegistryOrDriveLoadsNothing) {
    {
        ScratchImage scratch;
        scratch.Write("registry.reg", "REGEDIT4\n\"v\"=\"x\"\n");
        MachineImage image;
        EXPECT_EQ(scratch.Load(&image), "registry.reg:2: value line before any key line");
    }
    {
        ScratchImage scratch;
        scratch.Write("drive_c/windows/A.INF", "y");
        MachineImage image;
        EXPECT_EQ(scratch.Load(&image),
                  "drive_c/windows/a.inf: another name differs from it only in case");
        EXPECT_TRUE(image.files.empty());
    }
    {
        ScratchImage scratch;
        scratch.Write("drive_c/windows/what?.inf", "y");
        MachineImage image;
        EXPECT_EQ(scratch.Load(&image), "drive_c/windows/what?.inf: not a name Windows can hold");
    }
    MachineImage image;
    std::string error;
    EXPECT_FALSE(LoadMachineImage("/nonexistent/cvp", &image, &error));
    EXPECT_EQ(error, "/nonexistent/cvp: not a machine image folder");
}

}  // namespace
}  // namespace cvp
