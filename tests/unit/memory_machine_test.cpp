// The in-memory Windows machine, call by call, against the Windows and Wine
// behaviour it stands in for.
#include "platform/memory/memory_machine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/plain_file.h"

namespace cvp {
namespace {

constexpr Long kErrorKeyDeleted = 1018;
constexpr const char* kGuid = "{4d36e96c-e325-11ce-bfc1-08002be10318}";

std::unique_ptr<RegistryKey> Open(MemoryMachine& machine, Root root, const char* path,
                                  Dword access = kKeyRead) {
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(machine.OpenKey(root, path, access, &key), kErrorSuccess) << path;
    return key;
}

Long OpenResult(MemoryMachine& machine, Root root, const char* path, Dword access) {
    std::unique_ptr<RegistryKey> key;
    return machine.OpenKey(root, path, access, &key);
}

std::vector<std::string> SubkeyNames(RegistryKey& key) {
    std::vector<std::string> names;
    char name[300];
    for (Dword i = 0;; ++i) {
        Dword size = sizeof name;
        if (key.EnumKey(i, name, &size) != kErrorSuccess) break;
        names.push_back(name);
    }
    return names;
}

std::vector<std::string> FoundNames(MemoryMachine& machine, const char* pattern) {
    std::vector<std::string> names;
    FindData data;
    auto search = machine.FindFirst(pattern, &data);
    if (!search) return names;
    do names.push_back(data.name);
    while (search->Next(&data));
    return names;
}

// --- Registry ---------------------------------------------------------------------------

TEST(MemoryRegistry, OpensWithoutRegardToCaseAndTakesATrailingBackslash) {
    MemoryMachine machine;
    machine.SetString(Root::LocalMachine, "SOFTWARE\\Vistrel\\Tuner", "Name", "QX");
    auto key = Open(machine, Root::LocalMachine, "software\\VISTREL\\tuner\\");
    char data[8];
    Dword size = sizeof data;
    Dword type = 0;
    ASSERT_EQ(key->QueryValue("NAME", &type, reinterpret_cast<unsigned char*>(data), &size),
              kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 3u);
    EXPECT_STREQ(data, "QX");
    EXPECT_EQ(SubkeyNames(*Open(machine, Root::LocalMachine, "SOFTWARE\\vistrel")),
              std::vector<std::string>{"Tuner"});
    EXPECT_EQ(
        OpenResult(machine, Root::LocalMachine, "SOFTWARE\\Vistrel\\Tuner\\Missing", kKeyRead),
        kErrorFileNotFound);
    EXPECT_EQ(OpenResult(machine, Root::LocalMachine, "SOFTWARE\\\\Vistrel", kKeyRead),
              kErrorFileNotFound);
    EXPECT_EQ(SubkeyNames(*Open(machine, Root::CurrentUser, "")), std::vector<std::string>{});
}

TEST(MemoryRegistry, ClassesRootIsMachineSoftwareClasses) {
    MemoryMachine machine;
    machine.CreateKey(Root::ClassesRoot, "CLSID\\{1}");
    EXPECT_TRUE(machine.KeyExists(Root::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{1}"));
    Open(machine, Root::ClassesRoot, "\\CLSID\\{1}");
    EXPECT_EQ(machine.DeleteTree(Root::ClassesRoot, "clsid"), kErrorSuccess);
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, "SOFTWARE\\Classes\\CLSID"));
    EXPECT_TRUE(machine.KeyExists(Root::ClassesRoot, ""));
}

// Wine's order: a lower-case compare puts '_' (0x5F) before letters.
TEST(MemoryRegistry, EnumeratesKeysAndValuesInLowerCaseOrder) {
    MemoryMachine machine;
    for (const char* name : {"b", "_x", "A", "C"}) {
        machine.CreateKey(Root::LocalMachine, std::string("K\\") + name);
        machine.SetString(Root::LocalMachine, "K", name, name);
    }
    auto key = Open(machine, Root::LocalMachine, "K");
    EXPECT_EQ(SubkeyNames(*key), (std::vector<std::string>{"_x", "A", "b", "C"}));
    char name[8];
    Dword size = sizeof name;
    ASSERT_EQ(key->EnumValue(1, name, &size, nullptr, nullptr, nullptr), kErrorSuccess);
    EXPECT_STREQ(name, "A");
    size = sizeof name;
    EXPECT_EQ(key->EnumValue(4, name, &size, nullptr, nullptr, nullptr), kErrorNoMoreItems);
}

TEST(MemoryRegistry, EnumKeyFollowsRegEnumKeyExBufferRules) {
    MemoryMachine machine;
    machine.CreateKey(Root::LocalMachine, "K\\abcd");
    auto key = Open(machine, Root::LocalMachine, "K");
    char name[8] = "zzzzzzz";
    Dword size = 4;  // no room for the NUL
    EXPECT_EQ(key->EnumKey(0, name, &size), kErrorMoreData);
    EXPECT_EQ(size, 4u);
    size = 5;
    EXPECT_EQ(key->EnumKey(0, name, &size), kErrorSuccess);
    EXPECT_EQ(size, 4u);
    EXPECT_STREQ(name, "abcd");
    EXPECT_EQ(key->EnumKey(1, name, &size), kErrorNoMoreItems);
    Dword count = 0;
    EXPECT_EQ(key->QuerySubkeyCount(&count), kErrorSuccess);
    EXPECT_EQ(count, 1u);
}

TEST(MemoryRegistry, ValueDataFollowsRegQueryValueExSizeRules) {
    MemoryMachine machine;
    machine.SetValue(Root::LocalMachine, "K", "", kRegBinary, std::string("\x01\x02\x03", 3));
    auto key = Open(machine, Root::LocalMachine, "K");
    Dword size = 0;
    EXPECT_EQ(key->QueryValue(nullptr, nullptr, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, 3u);
    unsigned char data[3] = {};
    size = 2;
    EXPECT_EQ(key->QueryValue("", nullptr, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(key->QueryValue("missing", nullptr, data, &size), kErrorFileNotFound);
    char name[4];
    Dword nameSize = sizeof name;
    Dword type = 0;
    size = 1;
    EXPECT_EQ(key->EnumValue(0, name, &nameSize, &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(nameSize, 0u);  // the default value's name is ""
}

TEST(MemoryRegistry, TakesTheLongestNamesWindowsAllows) {
    MemoryMachine machine;
    const std::string keyName(255, 'k');
    const std::string valueName(16383, 'v');
    machine.SetString(Root::LocalMachine, "K\\" + keyName, valueName, "x");
    auto key = Open(machine, Root::LocalMachine, ("K\\" + keyName).c_str());
    std::vector<char> name(16384);
    Dword size = static_cast<Dword>(name.size());
    ASSERT_EQ(key->EnumValue(0, name.data(), &size, nullptr, nullptr, nullptr), kErrorSuccess);
    EXPECT_EQ(size, 16383u);
    EXPECT_EQ(SubkeyNames(*Open(machine, Root::LocalMachine, "K")),
              std::vector<std::string>{keyName});
}

TEST(MemoryRegistry, AHandleDoesOnlyWhatItWasOpenedFor) {
    MemoryMachine machine;
    machine.SetString(Root::LocalMachine, "K\\Sub", "v", "x");
    auto key = Open(machine, Root::LocalMachine, "K\\Sub", kKeyQueryValue);
    char name[8];
    Dword size = sizeof name;
    EXPECT_EQ(key->EnumKey(0, name, &size), kErrorAccessDenied);
    EXPECT_EQ(key->DeleteValue("v"), kErrorAccessDenied);
    auto writable = Open(machine, Root::LocalMachine, "K\\Sub", kKeyQueryValue | kKeySetValue);
    EXPECT_EQ(writable->DeleteValue("v"), kErrorSuccess);
    EXPECT_EQ(writable->DeleteValue("v"), kErrorFileNotFound);
    auto enumerating = Open(machine, Root::LocalMachine, "K", kKeyEnumerateSubKeys);
    Dword count = 0;
    EXPECT_EQ(enumerating->QuerySubkeyCount(&count), kErrorAccessDenied);
}

TEST(MemoryRegistry, AHandleToADeletedKeyAnswersKeyDeleted) {
    MemoryMachine machine;
    machine.SetString(Root::LocalMachine, "K\\Sub\\Leaf", "v", "x");
    auto leaf = Open(machine, Root::LocalMachine, "K\\Sub\\Leaf", kKeyAllAccess);
    ASSERT_EQ(machine.DeleteTree(Root::LocalMachine, "K\\Sub"), kErrorSuccess);
    Dword size = 0;
    EXPECT_EQ(leaf->QueryValue("v", nullptr, nullptr, &size), kErrorKeyDeleted);
    EXPECT_EQ(leaf->DeleteValue("v"), kErrorKeyDeleted);
    machine.SetString(Root::LocalMachine, "K\\Sub\\Leaf", "v", "new");  // a new key of that name
    EXPECT_EQ(leaf->QueryValue("v", nullptr, nullptr, &size), kErrorKeyDeleted);
}

// --- Key security -----------------------------------------------------------------------

TEST(MemoryKeySecurity, NewKeysCarryWinesDefaultDacl) {
    MemoryMachine machine;
    machine.CreateKey(Root::LocalMachine, "SYSTEM\\K");
    std::string sddl;
    ASSERT_EQ(machine.ReadKeyDacl("MACHINE\\SYSTEM\\k", &sddl), kErrorSuccess);
    EXPECT_EQ(sddl, "D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)");
    EXPECT_EQ(machine.ReadKeyDacl("MACHINE\\SYSTEM\\Missing", &sddl), kErrorFileNotFound);
    EXPECT_EQ(machine.ReadKeyDacl("HKLM\\SYSTEM\\K", &sddl), kErrorInvalidParameter);
}

TEST(MemoryKeySecurity, EnforcesTheDaclAtOpen) {
    MemoryMachine machine;
    machine.CreateKey(Root::LocalMachine, "K");
    struct Case {
        const char* dacl;
        Dword access;
        Long expected;
    };
    const Case cases[] = {
        {"D:(D;;KA;;;WD)", kKeyRead, kErrorAccessDenied},
        {"D:(D;;KA;;;WD)", kReadControl | kWriteDac, kErrorSuccess},  // the owner's rights
        {"D:", kKeyQueryValue, kErrorAccessDenied},
        {"D:NO_ACCESS_CONTROL", kKeyAllAccess, kErrorSuccess},
        {"D:(D;IO;KA;;;WD)(A;;KA;;;BA)", kKeyAllAccess, kErrorSuccess},  // inherit-only: skipped
        {"D:(A;CIIO;KA;;;BA)(A;;KR;;;BU)", kKeyWrite, kErrorAccessDenied},
        {"D:(A;;KR;;;BU)(D;;KA;;;WD)", kKeyRead, kErrorSuccess},  // granted before the deny
        {"D:(A;;KR;;;BU)(D;;KA;;;WD)", kKeyRead | kDelete, kErrorAccessDenied},
        {"D:(A;;KA;;;SY)", kKeyQueryValue, kErrorAccessDenied},  // not in the token
        {"D:(A;;GA;;;S-1-5-11)", kGenericRead | kDelete, kErrorSuccess},
        {"D:(A;;KR;;;BA)", kGenericWrite, kErrorAccessDenied},
    };
    for (const Case& test : cases) {
        ASSERT_EQ(machine.WriteKeyDacl("MACHINE\\K", kDaclSecurityInformation, test.dacl),
                  kErrorSuccess)
            << test.dacl;
        EXPECT_EQ(OpenResult(machine, Root::LocalMachine, "K", test.access), test.expected)
            << test.dacl;
    }
}

TEST(MemoryKeySecurity, WritesReadBackCanonical) {
    MemoryMachine machine;
    machine.CreateKey(Root::ClassesRoot, "CLSID\\{1}");
    ASSERT_EQ(machine.WriteKeyDacl("CLASSES_ROOT\\CLSID\\{1}", kDaclSecurityInformation,
                                   "D:(D;OICI;GA;;;S-1-1-0)"),
              kErrorSuccess);
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{1}"),
              "D:(D;OICI;GA;;;WD)");
    EXPECT_EQ(machine.WriteKeyDacl("MACHINE\\SOFTWARE\\Classes\\CLSID\\{1}",
                                   kDaclSecurityInformation, "D:(Z;;KA;;;WD)"),
              kErrorInvalidParameter);
    EXPECT_EQ(machine.WriteKeyDacl("MACHINE\\Missing", kDaclSecurityInformation, "D:"),
              kErrorFileNotFound);
    EXPECT_EQ(machine.KeyDacl(Root::ClassesRoot, "CLSID\\{1}"), "D:(D;OICI;GA;;;WD)");
}

// As on Windows: inheritable entries reach every subkey that inherits, and a later
// DACL replaces what they inherited; a protected subkey keeps its own.
TEST(MemoryKeySecurity, InheritableEntriesReachSubkeysThatInherit) {
    MemoryMachine machine;
    machine.CreateKey(Root::LocalMachine, "SYSTEM\\K\\A\\Deep");
    machine.CreateKey(Root::LocalMachine, "SYSTEM\\K\\A\\B\\C");
    machine.CreateKey(Root::LocalMachine, "SYSTEM\\K\\Shut");
    machine.SetKeyDacl(Root::LocalMachine, "SYSTEM\\K\\A\\Deep", "D:(D;;KA;;;BA)");
    machine.SetKeyDacl(Root::LocalMachine, "SYSTEM\\K\\Shut", "D:P(D;;KA;;;BA)");
    ASSERT_EQ(machine.WriteKeyDacl("MACHINE\\SYSTEM\\K", kDaclSecurityInformation,
                                   "D:(A;OICI;GA;;;WD)(A;NP;KR;;;BU)"),
              kErrorSuccess);
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K\\A"),
              "D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)(A;OICIID;GA;;;WD)");
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K\\A\\Deep"),
              "D:(D;;KA;;;BA)(A;CIID;GR;;;BU)(A;OICIID;GA;;;WD)");
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K\\Shut"), "D:P(D;;KA;;;BA)");

    // An entry that stands both explicit and inherited in a parent reaches the
    // subkey once.
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K\\A\\B\\C"),
              "D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)(A;CIID;GR;;;BU)(A;OICIID;GA;;;WD)");
    ASSERT_EQ(
        machine.WriteKeyDacl("MACHINE\\SYSTEM\\K", kDaclSecurityInformation, "D:(A;;KA;;;BA)"),
        kErrorSuccess);
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K\\A"), "D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)");
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K\\A\\Deep"),
              "D:(D;;KA;;;BA)(A;CIID;GR;;;BU)");
}

// SetNamedSecurityInfoA takes the entries alone: the DACL is protected exactly when the
// call says so. RegSetKeySecurity keeps the descriptor as given and passes nothing on.
TEST(MemoryKeySecurity, OnlyTheFlagProtectsANamedWriteAndAHandlesWriteKeepsTheDescriptor) {
    MemoryMachine machine;
    machine.CreateKey(Root::LocalMachine, "SYSTEM\\K\\Sub");
    const char* closed = "D:P(A;CI;KR;;;BA)(A;CI;KA;;;SY)";
    ASSERT_EQ(machine.WriteKeyDacl("MACHINE\\SYSTEM\\K", kDaclSecurityInformation, closed),
              kErrorSuccess);
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K"), "D:(A;CI;KR;;;BA)(A;CI;KA;;;SY)");
    ASSERT_EQ(machine.WriteKeyDacl("MACHINE\\SYSTEM\\K",
                                   kDaclSecurityInformation | kProtectedDaclSecurityInformation,
                                   "D:(A;CI;KR;;;BA)(A;CI;KA;;;SY)"),
              kErrorSuccess);
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K"), closed);
    const std::string sub = machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K\\Sub");

    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(machine.OpenKey(Root::LocalMachine, "SYSTEM\\K", kKeyRead, &key), kErrorSuccess);
    EXPECT_EQ(key->SetSecurity(kDaclSecurityInformation, "D:(A;;KA;;;BA)"), kErrorAccessDenied);
    ASSERT_EQ(machine.OpenKey(Root::LocalMachine, "SYSTEM\\K", kWriteDac, &key), kErrorSuccess);
    EXPECT_EQ(key->SetSecurity(kDaclSecurityInformation, "O:BA"), kErrorInvalidParameter);
    ASSERT_EQ(key->SetSecurity(kDaclSecurityInformation, "D:PAI(A;;KA;;;BA)(A;CIID;KR;;;BU)"),
              kErrorSuccess);
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K"),
              "D:PAI(A;;KA;;;BA)(A;CIID;KR;;;BU)");
    EXPECT_EQ(machine.KeyDacl(Root::LocalMachine, "SYSTEM\\K\\Sub"), sub);
}

TEST(MemoryDeleteTree, DeletesTheWholeSubtree) {
    MemoryMachine machine;
    machine.SetString(Root::LocalMachine, "SOFTWARE\\V\\A\\B", "v", "x");
    machine.CreateKey(Root::LocalMachine, "SOFTWARE\\V\\C");
    EXPECT_EQ(machine.DeleteTree(Root::LocalMachine, "software\\v\\"), kErrorSuccess);
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, "SOFTWARE\\V"));
    EXPECT_TRUE(machine.KeyExists(Root::LocalMachine, "SOFTWARE"));
    EXPECT_EQ(machine.DeleteTree(Root::LocalMachine, "SOFTWARE\\V"), kErrorFileNotFound);
    EXPECT_EQ(machine.DeleteTree(Root::LocalMachine, ""), kErrorAccessDenied);
}

// Wine's SHDeleteKeyA walks depth first and stops at the first key it may not take.
TEST(MemoryDeleteTree, ADeniedChildStopsItHalfway) {
    MemoryMachine machine;
    for (const char* key : {"V\\A\\1", "V\\B", "V\\C"}) machine.CreateKey(Root::LocalMachine, key);
    machine.DenyKey(Root::LocalMachine, "V\\B");
    EXPECT_EQ(machine.DeleteTree(Root::LocalMachine, "V"), kErrorAccessDenied);
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, "V\\A"));
    EXPECT_TRUE(machine.KeyExists(Root::LocalMachine, "V\\B"));
    EXPECT_TRUE(machine.KeyExists(Root::LocalMachine, "V\\C"));

    // Readable but not deletable: its subkeys go, the key stays.
    machine.SetKeyDacl(Root::LocalMachine, "V\\B", "D:(A;;KR;;;WD)");
    machine.CreateKey(Root::LocalMachine, "V\\B\\Inner");
    EXPECT_EQ(machine.DeleteTree(Root::LocalMachine, "V\\B"), kErrorAccessDenied);
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, "V\\B\\Inner"));
    EXPECT_TRUE(machine.KeyExists(Root::LocalMachine, "V\\B"));
}

// --- Files ------------------------------------------------------------------------------

TEST(MemoryFiles, StartsWithTheWindowsDirectories) {
    MemoryMachine machine;
    char buffer[64];
    EXPECT_EQ(machine.WindowsDirectory(buffer, sizeof buffer), 10u);
    EXPECT_STREQ(buffer, "C:\\windows");
    EXPECT_EQ(machine.SystemDirectory(buffer, 19), 20u);  // too small: the size needed
    EXPECT_EQ(machine.SystemDirectory(buffer, 20), 19u);
    EXPECT_STREQ(buffer, "C:\\windows\\system32");
    for (const char* directory :
         {"C:\\windows\\system32\\drivers", "c:/WINDOWS/inf/", "C:\\cvpurger"}) {
        EXPECT_EQ(machine.GetAttributes(directory), kAttrDirectory) << directory;
    }
}

// Wine's order is an upper-case compare, which puts '_' after letters.
TEST(MemoryFiles, FindFirstListsDotsThenUpperCaseOrder) {
    MemoryMachine machine;
    for (const char* name : {"b.inf", "_x.inf", "A.inf", "noext"})
        machine.AddFile(std::string("C:\\d\\") + name, "");
    EXPECT_EQ(FoundNames(machine, "C:\\d\\*"),
              (std::vector<std::string>{".", "..", "A.inf", "b.inf", "noext", "_x.inf"}));
    EXPECT_EQ(FoundNames(machine, "c:/D/*.*").size(), 6u);
    EXPECT_EQ(FoundNames(machine, "C:\\d\\?.INF"), (std::vector<std::string>{"A.inf", "b.inf"}));
    EXPECT_EQ(FoundNames(machine, "C:\\*").front(), "cvpurger");  // a root has no dot entries
    EXPECT_TRUE(FoundNames(machine, "C:\\d\\*.sys").empty());
    EXPECT_TRUE(FoundNames(machine, "C:\\missing\\*").empty());
    EXPECT_TRUE(FoundNames(machine, "D:\\*").empty());
}

TEST(MemoryFiles, FindFirstMatchesShortNamesAndDirectories) {
    MemoryMachine machine;
    machine.AddFile("C:\\windows\\inf\\oem7.infx", "");
    machine.AddFile("C:\\windows\\inf\\oem12.inf", "");
    machine.AddFile("C:\\windows\\inf\\oem2.pnf", "");
    machine.AddDirectory("C:\\windows\\inf\\oem3.inf");
    FindData data;
    auto search = machine.FindFirst("C:\\windows\\inf\\oem*.inf", &data);
    ASSERT_NE(search, nullptr);
    std::vector<std::pair<std::string, Dword>> found{{data.name, data.attributes}};
    while (search->Next(&data)) found.emplace_back(data.name, data.attributes);
    const std::vector<std::pair<std::string, Dword>> expected = {
        {"oem12.inf", kAttrArchive}, {"oem3.inf", kAttrDirectory}, {"oem7.infx", kAttrArchive}};
    EXPECT_EQ(found, expected);
}

TEST(MemoryFiles, RelativePathsLieInTheCurrentDirectory) {
    MemoryMachine machine;
    ASSERT_TRUE(AppendToPlainFile(machine, "UnInstall.log", "a\r\n", 3));
    ASSERT_TRUE(AppendToPlainFile(machine, "C:\\CVPURGER\\uninstall.LOG", "b", 1));
    EXPECT_EQ(machine.FileContent("C:\\cvpurger\\UnInstall.log"), "a\r\nb");
    EXPECT_EQ(FoundNames(machine, "*.log"), std::vector<std::string>{"UnInstall.log"});
    EXPECT_EQ(machine.GetAttributes("..\\cvpurger\\.\\UnInstall.log"), kAttrArchive);
    EXPECT_EQ(machine.GetAttributes("C:\\cvpurger\\UnInstall.log\\"), kInvalidAttributes);
    EXPECT_FALSE(AppendToPlainFile(machine, "C:\\nowhere\\x.log", "a", 1));
    EXPECT_FALSE(AppendToPlainFile(machine, "C:\\windows", "a", 1));
}

// Links as the file calls meet them on Windows: a symbolic link opened as itself shows
// its reparse point; followed, it is its target, as the final path (from Vista on) says;
// a hard link is one more name of the same content.
TEST(MemoryFiles, LinksAsTheFileCallsSeeThem) {
    MemoryMachine machine;
    machine.SetOsVersion({kPlatformWin32Nt, 6, 1});
    machine.AddFile("C:\\windows\\win.ini", "[fonts]\r\n");
    machine.AddSymbolicLink("C:\\cvpurger\\sym.log", "C:\\windows\\win.ini");
    machine.AddHardLink("C:\\windows\\win.ini", "C:\\cvpurger\\hard.log");
    const auto open = [&](const char* path, Dword flags) {
        return machine.OpenFileAt(path, kFileAppendData, kFileShareRead, kOpenAlways, flags);
    };
    FileInformation information;
    char buffer[kTextSize];
    std::unique_ptr<OpenedFile> itself = open("sym.log", kFileFlagOpenReparsePoint);
    ASSERT_NE(itself, nullptr);
    ASSERT_TRUE(itself->ReadInformation(&information));
    EXPECT_EQ(information.attributes, kAttrArchive | kAttrReparsePoint);
    EXPECT_EQ(information.links, 1u);
    EXPECT_EQ(std::string(buffer, itself->FinalPath(buffer, kTextSize)),
              "\\\\?\\C:\\cvpurger\\sym.log");

    std::unique_ptr<OpenedFile> followed = open("SYM.LOG", 0);
    ASSERT_NE(followed, nullptr);
    ASSERT_TRUE(followed->ReadInformation(&information));
    EXPECT_EQ(information.attributes, kAttrArchive);
    EXPECT_EQ(information.links, 2u);
    EXPECT_EQ(std::string(buffer, followed->FinalPath(buffer, kTextSize)),
              "\\\\?\\C:\\windows\\win.ini");
    EXPECT_EQ(followed->FinalPath(buffer, 4), 23u);
    EXPECT_TRUE(followed->Write("x", 1));
    EXPECT_EQ(machine.FileContent("C:\\cvpurger\\hard.log"), "[fonts]\r\nx");
    EXPECT_TRUE(machine.DeleteFileAt("C:\\cvpurger\\hard.log"));
    ASSERT_TRUE(followed->ReadInformation(&information));
    EXPECT_EQ(information.links, 1u);
    machine.SetOsVersion({kPlatformWin32Nt, 5, 1});
    EXPECT_EQ(followed->FinalPath(buffer, kTextSize), 0u);  // XP has no such call
}

TEST(MemoryFiles, AttributesKeepTheDirectoryBit) {
    MemoryMachine machine;
    machine.AddFile("C:\\f.txt", "x");
    EXPECT_TRUE(machine.SetAttributes("C:\\windows", kAttrHidden));
    EXPECT_EQ(machine.GetAttributes("C:\\windows"), kAttrDirectory | kAttrHidden);
    EXPECT_TRUE(machine.SetAttributes("C:\\f.txt", kAttrReadOnly | kAttrDirectory));
    EXPECT_EQ(machine.GetAttributes("C:\\f.txt"), kAttrReadOnly);
    EXPECT_TRUE(machine.SetAttributes("C:\\f.txt", 0));
    EXPECT_EQ(machine.GetAttributes("C:\\f.txt"), kAttrNormal);
    EXPECT_FALSE(machine.SetAttributes("C:\\missing.txt", 0));
    EXPECT_EQ(machine.GetAttributes("C:\\missing.txt"), kInvalidAttributes);
}

TEST(MemoryFiles, DeleteFileRefusesWhatWindowsRefuses) {
    MemoryMachine machine;
    machine.AddFile("C:\\ro.sys", "", kAttrReadOnly | kAttrArchive);
    machine.AddFile("C:\\locked.sys", "");
    machine.AddFile("C:\\hidden.sys", "", kAttrHidden | kAttrSystem);
    machine.LockFile("c:/LOCKED.sys");
    EXPECT_FALSE(machine.DeleteFileAt("C:\\ro.sys"));
    EXPECT_FALSE(machine.DeleteFileAt("C:\\locked.sys"));
    EXPECT_FALSE(machine.DeleteFileAt("C:\\windows"));
    EXPECT_FALSE(machine.DeleteFileAt("C:\\missing.sys"));
    EXPECT_TRUE(machine.DeleteFileAt("C:\\HIDDEN.SYS"));
    EXPECT_FALSE(machine.FileExists("C:\\hidden.sys"));
    EXPECT_TRUE(machine.FileExists("C:\\ro.sys"));
    EXPECT_TRUE(machine.SetAttributes("C:\\ro.sys", kAttrNormal));
    EXPECT_TRUE(machine.DeleteFileAt("C:\\ro.sys"));
}

TEST(MemoryFiles, RemoveDirectoryTakesOnlyEmptyWritableDirectories) {
    MemoryMachine machine;
    machine.AddFile("C:\\full\\a.txt", "");
    machine.AddDirectory("C:\\ro", kAttrDirectory | kAttrReadOnly);
    machine.AddDirectory("C:\\link", kAttrDirectory | kAttrReparsePoint);
    machine.AddDirectory("C:\\empty\\");
    EXPECT_FALSE(machine.RemoveDirectoryAt("C:\\full"));
    EXPECT_FALSE(machine.RemoveDirectoryAt("C:\\ro"));
    EXPECT_FALSE(machine.RemoveDirectoryAt("C:\\link"));
    EXPECT_FALSE(machine.RemoveDirectoryAt("C:\\full\\a.txt"));
    EXPECT_FALSE(machine.RemoveDirectoryAt("C:\\cvpurger"));  // the current directory
    EXPECT_FALSE(machine.RemoveDirectoryAt("C:\\missing"));
    EXPECT_TRUE(machine.RemoveDirectoryAt("C:\\EMPTY\\"));
    EXPECT_EQ(machine.GetAttributes("C:\\empty"), kInvalidAttributes);
}

TEST(MemoryFiles, AppendFailsOnALockedOrReadOnlyFile) {
    MemoryMachine machine;
    machine.LockFile("C:\\cvpurger\\UnInstall.log");  // before it exists: the log is unwritable
    EXPECT_FALSE(AppendToPlainFile(machine, "UnInstall.log", "a", 1));
    EXPECT_FALSE(machine.FileExists("C:\\cvpurger\\UnInstall.log"));
    machine.AddFile("C:\\ro.log", "x", kAttrReadOnly);
    EXPECT_FALSE(AppendToPlainFile(machine, "C:\\ro.log", "a", 1));
    EXPECT_EQ(machine.FileContent("C:\\ro.log"), "x");
}

// --- Profile strings -------------------------------------------------------------------

class MemoryProfile : public ::testing::Test {
  protected:
    std::string Read(const char* section, const char* key,
                     const char* file = "C:\\windows\\inf\\oem1.inf", Dword size = 64,
                     const char* fallback = "dflt") {
        std::vector<char> buffer(size + 1, '#');
        const Dword count =
            machine.ReadProfileString(section, key, fallback, buffer.data(), size, file);
        EXPECT_EQ(count, std::string(buffer.data()).size());
        return buffer.data();
    }
    MemoryMachine machine;
};

TEST_F(MemoryProfile, ReadsAsWineDoes) {
    machine.AddFile("C:\\windows\\inf\\oem1.inf",
                    "top=before any section\r\n"
                    "[Version]\r\n"
                    "  Provider = %Vendor%  \r\n"
                    "Class=\"Media\"\r\n"
                    "Copy=\"Disk\",emDevice.sys,,\r\n"
                    "Inline=value ; not a comment\r\n"
                    "#Hash=counts\r\n"
                    ";Semi=comment\r\n"
                    "Dup=first\r\n"
                    "dup=second\r\n"
                    "Cont=a\\\r\n"
                    "Single='x'\r\n"
                    "NoEquals\r\n"
                    "[Strings]\r\n"
                    "Vendor=\"Vistrel\"\n"
                    "[version]\n"
                    "Late=never read\n");
    EXPECT_EQ(Read(" version ", "PROVIDER "), "%Vendor%");
    EXPECT_EQ(Read("Version", "Class"), "Media");
    EXPECT_EQ(Read("Version", "Copy"), "\"Disk\",emDevice.sys,,");
    EXPECT_EQ(Read("Version", "Inline"), "value ; not a comment");
    EXPECT_EQ(Read("Version", "#Hash"), "counts");
    EXPECT_EQ(Read("Version", ";Semi"), "dflt");
    EXPECT_EQ(Read("Version", "dup"), "first");
    EXPECT_EQ(Read("Version", "Cont"), "a\\");
    EXPECT_EQ(Read("Version", "Single"), "x");
    EXPECT_EQ(Read("Version", "NoEquals"), "dflt");
    EXPECT_EQ(Read("Version", "Late"), "dflt");  // only the first [Version] is searched
    EXPECT_EQ(Read(" strings ", "Vendor"), "Vistrel");
    EXPECT_EQ(Read("", "top"), "before any section");
    EXPECT_EQ(Read("Missing", "Class"), "dflt");
}

TEST_F(MemoryProfile, TruncatesAndFallsBack) {
    machine.AddFile("C:\\windows\\inf\\oem1.inf", "[S]\nLong=abcdefgh\nQ=\"ab\"\n");
    EXPECT_EQ(Read("S", "Long", "C:\\windows\\inf\\oem1.inf", 4), "abc");
    EXPECT_EQ(Read("S", "Q", "C:\\windows\\inf\\oem1.inf", 3), "ab");
    EXPECT_EQ(Read("S", "Missing", "C:\\windows\\inf\\oem1.inf", 64, "'q'  "), "q");
    EXPECT_EQ(Read("S", "Long", "C:\\windows\\inf\\nofile.inf", 64, "'q'  "), "'q'");
    EXPECT_EQ(Read("S", "Long", "C:\\windows\\inf\\nofile.inf", 64, nullptr), "");
    char buffer[4] = "xyz";
    EXPECT_EQ(machine.ReadProfileString("S", "Long", "d", buffer, 0, "C:\\windows\\inf\\oem1.inf"),
              0u);
    EXPECT_STREQ(buffer, "xyz");
}

TEST_F(MemoryProfile, ReadsUtf16FilesAndBareNamesInTheWindowsDirectory) {
    const std::string text = "[S]\r\nKey=Value\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text) utf16 += std::string{c, '\0'};
    machine.AddFile("C:\\windows\\wide.ini", utf16);
    EXPECT_EQ(Read("s", "key", "wide.ini"), "Value");
    machine.AddFile("C:\\windows\\inf\\binary.inf",
                    std::string("[S]\r\n\0\xFF=\x01\r\nK=v\0w\n\x1A", 18));
    EXPECT_EQ(Read("S", "K", "C:\\windows\\inf\\binary.inf"), "v");
}

TEST_F(MemoryProfile, SeesAFileChangeAfterAnEarlierRead) {
    machine.AddFile("C:\\cvpurger\\x.ini", "[S]\n");
    EXPECT_EQ(Read("S", "K", "C:\\cvpurger\\x.ini"), "dflt");
    ASSERT_TRUE(AppendToPlainFile(machine, "C:\\cvpurger\\x.ini", "K=now\n", 6));
    EXPECT_EQ(Read("S", "K", "x.ini" /* the Windows directory */), "dflt");
    EXPECT_EQ(Read("S", "K", ".\\x.ini"), "now");
}

// --- Devices -----------------------------------------------------------------------------

class MemoryDevices : public ::testing::Test {
  protected:
    static std::string Instance(const std::string& id) {
        return "SYSTEM\\CurrentControlSet\\Enum\\" + id;
    }

    void AddDevice(const std::string& id, const std::string& desc,
                   const std::string& classGuid = kGuid) {
        machine.SetString(Root::LocalMachine, Instance(id), "ClassGUID", classGuid);
        machine.SetString(Root::LocalMachine, Instance(id), "DeviceDesc", desc);
        machine.SetValue(Root::LocalMachine, Instance(id), "HardwareID", kRegMultiSz,
                         id.substr(0, id.rfind('\\')) + std::string("\0ALT\0\0", 6));
    }

    std::vector<std::string> Descriptions(DeviceSet& set) {
        std::vector<std::string> found;
        for (Dword i = 0; set.EnumMember(i); ++i) {
            char desc[64] = {};
            found.push_back(set.ReadProperty(i, kPropertyDeviceDesc, desc, sizeof desc) ? desc
                                                                                        : "?");
        }
        return found;
    }

    MemoryMachine machine;
};

TEST_F(MemoryDevices, ListsInstancesWithAValidClassGuidInRegistryOrder) {
    AddDevice("PCI\\VEN_2\\b", "two-b");
    AddDevice("PCI\\VEN_1\\z", "one-z");
    AddDevice("PCI\\VEN_1\\a", "one-a");
    AddDevice("PCI\\VEN_3\\a", "bad guid", "{4d36e96c-e325-11ce-bfc1-08002be1031}");
    AddDevice("PCI\\VEN_3\\b", "no braces", "4d36e96c-e325-11ce-bfc1-08002be10318");
    machine.SetString(Root::LocalMachine, Instance("PCI\\VEN_3\\c"), "DeviceDesc", "no class");
    machine.SetValue(Root::LocalMachine, Instance("PCI\\VEN_3\\d"), "ClassGUID", kRegBinary, kGuid);
    AddDevice("USB\\VID_1\\1", "usb");
    auto set = machine.OpenPresentDevices("pci");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(Descriptions(*set), (std::vector<std::string>{"one-a", "one-z", "two-b"}));
}

TEST_F(MemoryDevices, AnEnumeratorWithoutKeyGivesAnEmptySet) {
    auto set = machine.OpenPresentDevices("USB");
    ASSERT_NE(set, nullptr);
    EXPECT_FALSE(set->EnumMember(0));
    EXPECT_EQ(machine.OpenPresentDevices(""), nullptr);
    EXPECT_EQ(machine.OpenPresentDevices(nullptr), nullptr);
}

TEST_F(MemoryDevices, ReadsPropertiesThatFitTheBuffer) {
    AddDevice("PCI\\VEN_1\\a", "Vistrel QX4100");
    auto set = machine.OpenPresentDevices("PCI");
    char buffer[32];
    ASSERT_TRUE(set->ReadProperty(0, kPropertyHardwareId, buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer, 15), std::string("PCI\\VEN_1\0ALT\0\0", 15));
    EXPECT_FALSE(set->ReadProperty(0, kPropertyDeviceDesc, buffer, 14));
    EXPECT_TRUE(set->ReadProperty(0, kPropertyDeviceDesc, buffer, 15));
    EXPECT_FALSE(set->ReadProperty(0, 7, buffer, sizeof buffer));
    EXPECT_FALSE(set->ReadProperty(1, kPropertyDeviceDesc, buffer, sizeof buffer));
}

TEST_F(MemoryDevices, RemovalTakesInstanceDriverKeyInterfacesAndEmptyParents) {
    AddDevice("PCI\\VEN_1\\a", "card");
    AddDevice("PCI\\VEN_2\\a", "other card");
    machine.SetString(Root::LocalMachine, Instance("PCI\\VEN_1\\a"), "Driver", "{guid}\\0003");
    const std::string driver = "SYSTEM\\CurrentControlSet\\Control\\Class\\{guid}\\0003";
    machine.CreateKey(Root::LocalMachine, driver + "\\Settings");
    const std::string classes = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{c}\\";
    for (const char* link :
         {"##?#1", "##?#2", "##?#3"}) {  // two in a row: Wine would skip the second
        machine.SetString(Root::LocalMachine, classes + link, "DeviceInstance",
                          std::string(link) == "##?#3" ? "PCI\\VEN_2\\a" : "pci\\ven_1\\A");
    }
    auto set = machine.OpenPresentDevices("PCI");
    ASSERT_TRUE(set->RemoveMember(0));
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, Instance("PCI\\VEN_1")));
    EXPECT_TRUE(machine.KeyExists(Root::LocalMachine, Instance("PCI")));
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, driver));
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, classes + "##?#1"));
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, classes + "##?#2"));
    EXPECT_TRUE(machine.KeyExists(Root::LocalMachine, classes + "##?#3"));
    EXPECT_FALSE(set->RemoveMember(0));  // already gone
    char buffer[32];
    EXPECT_FALSE(set->ReadProperty(0, kPropertyDeviceDesc, buffer, sizeof buffer));
    ASSERT_TRUE(set->RemoveMember(1));
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, Instance("PCI")));
}

TEST_F(MemoryDevices, ADeviceKeyWithAnotherInstanceStays) {
    AddDevice("USB\\VID_1\\1", "one");
    AddDevice("USB\\VID_1\\2", "two");
    auto set = machine.OpenPresentDevices("USB");
    AddDevice("USB\\VID_1\\3", "added later");
    EXPECT_EQ(Descriptions(*set), (std::vector<std::string>{"one", "two"}));
    ASSERT_TRUE(set->RemoveMember(0));
    EXPECT_TRUE(machine.KeyExists(Root::LocalMachine, Instance("USB\\VID_1\\2")));
}

TEST_F(MemoryDevices, AFailedRemovalChangesNothing) {
    AddDevice("PCI\\VEN_1\\a", "card");
    machine.FailDeviceRemoval("PCI\\ven_1\\A");
    auto set = machine.OpenPresentDevices("PCI");
    EXPECT_FALSE(set->RemoveMember(0));
    EXPECT_TRUE(machine.KeyExists(Root::LocalMachine, Instance("PCI\\VEN_1\\a")));
}

// --- Processes ---------------------------------------------------------------------------

class MemoryProcesses : public ::testing::Test {
  protected:
    void SetUp() override {
        machine.AddFile("C:\\windows\\system32\\emProp.ax", "MZ");
        machine.AddFile("C:\\Program Files\\V\\tv filter.ax", "MZ");
        Register("{A}", "C:\\WINDOWS\\System32\\EMPROP.AX");
        Register("{B}", "%SystemRoot%\\system32\\emProp.ax", kRegExpandSz);
        Register("{C}", "emprop.ax");
        Register("{D}", "C:\\Program Files\\V\\tv filter.ax");
        Register("{E}", "C:\\windows\\system32\\other.ax");
    }

    void Register(const std::string& clsid, const std::string& module, Dword type = kRegSz) {
        machine.SetValue(Root::ClassesRoot, "CLSID\\" + clsid + "\\InprocServer32", "", type,
                         module + '\0');
    }

    std::string Remaining() {
        std::string names;
        auto key = Open(machine, Root::ClassesRoot, "CLSID");
        for (const std::string& name : SubkeyNames(*key)) names += name;
        return names;
    }

    MemoryMachine machine;
};

TEST_F(MemoryProcesses, Regsvr32UnregistersTheModulesClassIds) {
    auto process = machine.Start(
        "\"C:\\windows\\system32\\regsvr32.exe\" -u -s C:\\windows\\system32\\emProp.ax", nullptr);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(Remaining(), "{D}{E}");
    ASSERT_TRUE(machine.Start("regsvr32 /s /u \"C:\\Program Files\\V\\tv filter.ax\"", nullptr));
    EXPECT_EQ(Remaining(), "{E}");
    EXPECT_EQ(machine.startedProcesses().size(), 2u);
}

TEST_F(MemoryProcesses, OtherCommandLinesAreOnlyRecorded) {
    for (const char* line :
         {"regsvr32.exe -u C:\\windows\\system32\\emProp.ax",
          "regsvr32.exe C:\\windows\\system32\\emProp.ax",
          "C:\\Program Files\\V\\tv filter.ax -u -s C:\\windows\\system32\\emProp.ax",
          "regsvr32.exe -u -s C:\\windows\\system32\\missing.ax"}) {
        ASSERT_NE(machine.Start(line, nullptr), nullptr) << line;
    }
    EXPECT_EQ(Remaining(), "{A}{B}{C}{D}{E}");
    EXPECT_EQ(machine.startedProcesses().size(), 4u);
    EXPECT_EQ(machine.startedProcesses()[1], "regsvr32.exe C:\\windows\\system32\\emProp.ax");
}

// CreateProcessA finds a program by its path, or a bare name in the current, system
// and Windows directories, ".exe" added; regsvr32 is there on every Windows.
TEST_F(MemoryProcesses, OnlyAProgramThatIsThereStarts) {
    machine.AddFile("C:\\cvpurger\\helper.exe", "MZ");
    machine.AddFile("C:\\Program Files\\V\\set up.exe", "MZ");
    for (const char* line :
         {"helper -x", "\"C:\\cvpurger\\HELPER.EXE\"", "C:\\Program Files\\V\\set up.exe /q",
          "regsvr32.exe /?", "C:\\WINDOWS\\system32\\regsvr32 -u"}) {
        EXPECT_NE(machine.Start(line, nullptr), nullptr) << line;
    }
    for (const char* line : {"absent.exe -u", "\"C:\\Program Files\\V\\set\" up.exe",
                             "C:\\cvpurger -x", "C:\\windows\\regsvr32.exe", "", "   "}) {
        EXPECT_EQ(machine.Start(line, nullptr), nullptr) << line;
    }
    EXPECT_EQ(machine.startedProcesses().size(), 5u);
    // CreateProcessA refuses a current directory that is not one.
    for (const char* directory : {"C:\\absent", "C:\\cvpurger\\helper.exe"}) {
        EXPECT_EQ(machine.Start("regsvr32.exe /?", directory), nullptr) << directory;
    }
    ASSERT_NE(machine.Start("regsvr32.exe /?", "C:\\WINDOWS\\system32"), nullptr);
    EXPECT_EQ(machine.startDirectories(),
              (std::vector<std::string>{"", "", "", "", "", "C:\\WINDOWS\\system32"}));
}

TEST_F(MemoryProcesses, TheModuleStaysLoadedUntilTheProcessEnds) {
    auto process = machine.Start("regsvr32.exe -u -s C:\\Program Files\\V\\tv filter.ax", nullptr);
    EXPECT_EQ(Remaining(), "{A}{B}{C}{E}");
    EXPECT_FALSE(machine.DeleteFileAt("C:\\Program Files\\V\\TV FILTER.AX"));
    EXPECT_TRUE(process->Wait(5000));
    EXPECT_TRUE(machine.DeleteFileAt("C:\\Program Files\\V\\TV FILTER.AX"));
}

TEST_F(MemoryProcesses, AHungProcessHoldsItsModuleUntilTheNextSleep) {
    machine.HangProcesses();
    auto process = machine.Start("regsvr32.exe -u -s C:\\windows\\system32\\emProp.ax", nullptr);
    EXPECT_FALSE(process->Wait(5000));
    EXPECT_FALSE(machine.DeleteFileAt("C:\\windows\\system32\\emProp.ax"));
    machine.Sleep(1000);
    EXPECT_EQ(machine.sleeps(), std::vector<Dword>{1000});
    EXPECT_TRUE(machine.DeleteFileAt("C:\\windows\\system32\\emProp.ax"));
}

TEST_F(MemoryProcesses, FailedStartsStartNothing) {
    machine.FailProcessStart();
    EXPECT_EQ(machine.Start("regsvr32 -u -s emProp.ax", nullptr), nullptr);
    EXPECT_EQ(Remaining(), "{A}{B}{C}{D}{E}");
    EXPECT_TRUE(machine.startedProcesses().empty());
}

TEST_F(MemoryProcesses, ADeniedClassIdKeyStays) {
    machine.DenyKey(Root::ClassesRoot, "CLSID\\{B}");
    machine.Start("regsvr32 -u -s emProp.ax", nullptr);
    EXPECT_EQ(Remaining(), "{B}{D}{E}");
}

// --- System ------------------------------------------------------------------------------

TEST(MemorySystem, AnswersLikeLoadStringAndGetLocaleInfo) {
    MemoryMachine machine;
    char text[8];
    EXPECT_EQ(machine.LoadText(3010 /* IDS_BUTTON_EXIT */, text, sizeof text), 4);
    EXPECT_STREQ(text, "Exit");
    EXPECT_EQ(machine.LoadText(3008 /* IDS_PROGRESS_LABEL */, text, 5), 4);
    EXPECT_STREQ(text, "Prog");
    EXPECT_EQ(machine.LoadText(9999, text, sizeof text), 0);
    EXPECT_EQ(machine.UserCountryCode(text, sizeof text), 2);
    EXPECT_STREQ(text, "1");
    machine.SetCountryCode("886");
    EXPECT_EQ(machine.UserCountryCode(nullptr, 0), 4);
    EXPECT_EQ(machine.UserCountryCode(text, 3), 0);
    EXPECT_EQ(machine.UserCountryCode(text, 4), 4);
    EXPECT_STREQ(text, "886");
}

TEST(MemorySystem, ReportsTheVersionAndPciSpaceItWasGiven) {
    MemoryMachine machine;
    OsVersion version;
    ASSERT_TRUE(machine.ReadOsVersion(&version));
    EXPECT_EQ(version.platformId, kPlatformWin32Nt);
    EXPECT_EQ(version.major, 5u);
    EXPECT_EQ(version.minor, 1u);
    Dword value = 0;
    EXPECT_FALSE(machine.ReadPciConfig(0, 0, 0, &value));
    machine.SetPciConfig(1, 2, 0, 0x036E109E);
    ASSERT_TRUE(machine.ReadPciConfig(1, 2, 0, &value));
    EXPECT_EQ(value, 0x036E109Eu);
    ASSERT_TRUE(machine.ReadPciConfig(1, 3, 0, &value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
}

// --- Images and dumps --------------------------------------------------------------------

RegistryEdit Edit(RegistryEdit::Kind kind, Root root, const std::string& path,
                  const std::string& name = "", Dword type = 0, const std::string& data = "") {
    RegistryEdit edit;
    edit.kind = kind;
    edit.root = root;
    edit.path = path;
    edit.valueName = name;
    edit.type = type;
    edit.data.assign(data.begin(), data.end());
    return edit;
}

TEST(MemoryApply, AppliesEditsFilesDaclsAndLocksInOrder) {
    MemoryMachine machine;
    machine.SetString(Root::LocalMachine, "SOFTWARE\\Old\\Sub", "v", "x");
    MachineImage image;
    using Kind = RegistryEdit::Kind;
    image.registry = {
        Edit(Kind::CreateKey, Root::LocalMachine, "SOFTWARE\\A\\B\\C"),
        Edit(Kind::SetValue, Root::LocalMachine, "SOFTWARE\\A\\B\\C", "v", kRegDword, "\x01\0\0\0"),
        Edit(Kind::DeleteKey, Root::LocalMachine, "SOFTWARE\\Old"),
        Edit(Kind::DeleteKey, Root::LocalMachine, "SOFTWARE\\Never"),
        Edit(Kind::DeleteValue, Root::LocalMachine, "SOFTWARE\\Never", "v"),
        Edit(Kind::SetValue, Root::ClassesRoot, "CLSID\\{1}", "", kRegSz, std::string("x\0", 2))};
    image.files = {{"C:\\new\\deep\\file.sys", false, kAttrReadOnly, "MZ"},
                   {"C:\\new\\empty", true, kAttrDirectory, ""}};
    image.dacls = {{Root::LocalMachine, "SOFTWARE\\A\\B", "D:(D;;KA;;;WD)"}};
    image.lockedFiles = {"C:\\windows\\system32\\drivers\\x.sys"};
    std::string error;
    ASSERT_TRUE(machine.Apply(image, &error)) << error;
    EXPECT_TRUE(machine.ValueExists(Root::LocalMachine, "SOFTWARE\\A\\B\\C", "V"));
    EXPECT_FALSE(machine.KeyExists(Root::LocalMachine, "SOFTWARE\\Old"));
    EXPECT_TRUE(machine.ValueExists(Root::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{1}", ""));
    EXPECT_EQ(machine.GetAttributes("C:\\new\\deep\\file.sys"), kAttrReadOnly);
    EXPECT_EQ(machine.FileContent("C:\\new\\deep\\file.sys"), "MZ");
    EXPECT_EQ(machine.GetAttributes("C:\\new\\deep"), kAttrDirectory);
    EXPECT_EQ(OpenResult(machine, Root::LocalMachine, "SOFTWARE\\A\\B", kKeyRead),
              kErrorAccessDenied);
    EXPECT_FALSE(AppendToPlainFile(machine, "C:\\windows\\system32\\drivers\\x.sys", "a", 1));
}

TEST(MemoryApply, AFaultyImageChangesNothing) {
    using Kind = RegistryEdit::Kind;
    const RegistryEdit good =
        Edit(Kind::SetValue, Root::LocalMachine, "SOFTWARE\\New", "v", kRegSz, "x");
    struct Case {
        MachineImage image;
        std::string error;
    };
    std::vector<Case> cases(7);
    cases[0].image.files = {{"D:\\x.sys", false, kAttrArchive, ""}};
    cases[0].error = "file D:\\x.sys: not a path on drive C:";
    cases[1].image.files = {{"C:\\windows\\inf\\x", false, kAttrArchive, ""},
                            {"C:\\windows\\inf\\x\\y", false, 0, ""}};
    cases[1].error = "file C:\\windows\\inf\\x\\y: a file is in the way";
    cases[2].image.files = {{"C:\\windows", false, kAttrArchive, ""}};
    cases[2].error = "file C:\\windows: a directory is in the way";
    cases[3].image.dacls = {{Root::LocalMachine, "SOFTWARE\\Gone", "D:"}};
    cases[3].error = "dacl HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone: no such key";
    cases[4].image.registry = {Edit(Kind::DeleteKey, Root::Users, "")};
    cases[4].error = "registry edit HKEY_USERS: a root key cannot be deleted";
    cases[5].image.dacls = {{Root::LocalMachine, "SOFTWARE\\New", "D:(A;;KA)"}};
    cases[5].error = "dacl HKEY_LOCAL_MACHINE\\SOFTWARE\\New: bad SDDL D:(A;;KA)";
    cases[6].image.registry = {Edit(Kind::DeleteKey, Root::LocalMachine, "SOFTWARE")};
    cases[6].image.dacls = {
        {Root::ClassesRoot, "", "D:"}};  // the machine has it, the image deletes it
    cases[6].error = "dacl HKEY_CLASSES_ROOT: no such key";
    for (Case& test : cases) {
        MemoryMachine machine;
        const auto registryBefore = machine.DumpRegistry({"HKEY_LOCAL_MACHINE"});
        const auto filesBefore = machine.DumpFiles();
        test.image.registry.insert(test.image.registry.begin(), good);
        test.image.files.insert(test.image.files.begin(),
                                ImageFile{"C:\\new.txt", false, kAttrArchive, "x"});
        std::string error;
        EXPECT_FALSE(machine.Apply(test.image, &error));
        EXPECT_EQ(error, test.error);
        EXPECT_EQ(machine.DumpRegistry({"HKEY_LOCAL_MACHINE"}), registryBefore);
        EXPECT_EQ(machine.DumpFiles(), filesBefore);
    }
}

TEST(MemoryDump, ListsKeysAndValuesSortedWithoutRegardToCase) {
    MemoryMachine machine;
    const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\PCI";
    machine.SetString(Root::LocalMachine, key, "DeviceDesc", "Card \"A\"");
    machine.SetValue(Root::LocalMachine, key, "HardwareID", kRegMultiSz,
                     std::string("a\0b\0\0", 5));
    machine.SetValue(Root::LocalMachine, key, "count", kRegDword, std::string("\x1f\0\0\0", 4));
    machine.SetValue(Root::LocalMachine, key, "Raw", kRegSz, std::string("no nul"));
    machine.SetValue(Root::LocalMachine, key, "Path", kRegExpandSz, std::string("%x%\0", 4));
    machine.CreateKey(Root::LocalMachine, key + "\\a");
    machine.CreateKey(Root::ClassesRoot, "CLSID");
    const std::string k = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI";
    const std::vector<std::string> expected = {
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet",
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum",
        k,
        k + " \"count\" = dword:0000001f",
        k + " \"DeviceDesc\" = sz:\"Card \\\"A\\\"\"",
        k + " \"HardwareID\" = multi_sz:\"a\",\"b\"",
        k + " \"Path\" = expand_sz:\"%x%\"",
        k + " \"Raw\" = hex(1):6e,6f,20,6e,75,6c",
        k + "\\a",
    };
    EXPECT_EQ(machine.DumpRegistry(
                  {"hkey_local_machine\\system\\currentcontrolset", "HKEY_LOCAL_MACHINE\\Missing"}),
              expected);
    EXPECT_EQ(machine.DumpRegistry({"HKEY_CLASSES_ROOT"}),
              (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes",
                                        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID"}));
}

TEST(MemoryDump, ListsFilesWithDirectoriesMarked) {
    MemoryMachine machine;
    machine.AddFile("C:\\windows\\inf\\OEM1.inf", "");
    const std::vector<std::string> expected = {
        "drive_c/cvpurger/",         "drive_c/windows/",
        "drive_c/windows/inf/",      "drive_c/windows/inf/OEM1.inf",
        "drive_c/windows/system32/", "drive_c/windows/system32/drivers/"};
    EXPECT_EQ(machine.DumpFiles(), expected);
}

}  // namespace
}  // namespace cvp
