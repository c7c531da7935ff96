#include "cleanup/file_stages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/family_catalogue.h"
#include "unit/run_rig.h"

namespace cvp::test {
namespace {

constexpr const char* kInf = "C:\\windows\\inf\\";
constexpr const char* kDrivers = "C:\\windows\\system32\\drivers\\";
constexpr const char* kSystem = "C:\\windows\\system32\\";

class FileStageTest : public ::testing::Test {
protected:
    void AddInf(const std::string& name, const std::string& text, bool withPnf = true) {
        rig.machine.AddFile(kInf + name, text);
        if (withPnf) rig.machine.AddFile(kInf + name.substr(0, name.size() - 4) + ".PNF", "pnf");
    }
    bool Exists(const std::string& path) const { return rig.machine.FileExists(path); }
    std::vector<std::string> Logged() const {
        std::vector<std::string> items;
        for (const std::string& line : rig.LogLines()) items.push_back(line.substr(line.find(' ') + 1));
        return items;
    }
    void Run(ProductFamily family, void (*stage)(RunContext&)) {
        rig.state.family = family;
        stage(rig.context);
    }
    RunRig rig;
};

std::string Catalog(const std::string& key, const std::string& value) {
    return "[Version]\r\nSignature=\"$CHICAGO$\"\r\n" + key + "=" + value + "\r\n";
}

TEST_F(FileStageTest, Bt878InfsMatchTheirLowerCasedCatalogExactly) {
    AddInf("oem1.inf", Catalog("CatalogFile", "VS4KTUNR.CAT"));
    AddInf("oem2.inf", Catalog("CatalogFile", "vs4ktunr.cat.old"));
    AddInf("oem3.inf", Catalog("CatalogFile", "contoso.cat"));
    Run(FamilyBt878, CleanInfFiles);
    EXPECT_EQ(Logged(), (std::vector<std::string>{std::string(kInf) + "oem1.PNF",
                                                  std::string(kInf) + "oem1.inf"}));
    EXPECT_TRUE(Exists(std::string(kInf) + "oem2.inf"));
    EXPECT_TRUE(Exists(std::string(kInf) + "oem3.PNF"));
}

// From Vista on the package leaves the driver store too, named by its published INF
// while that is there; the log is the same as on XP.
TEST_F(FileStageTest, OnVistaAndLaterTheDriverStoreLetsGoOfEachPackageTheStageRemoves) {
    for (const OsVersion version :
         {OsVersion{kPlatformWin32Nt, 5, 1}, OsVersion{kPlatformWin32Nt, 6, 1}}) {
        RunRig fresh;
        fresh.machine.SetOsVersion(version);
        for (const char* name : {"oem1.inf", "oem2.inf"}) {
            fresh.machine.AddFile(kInf + std::string(name), Catalog("CatalogFile", "vs4kvcap.cat"));
        }
        fresh.machine.AddFile(std::string(kInf) + "oem1.PNF", "pnf");
        fresh.machine.AddFile(std::string(kInf) + "oem3.inf", Catalog("CatalogFile", "other.cat"));
        fresh.state.family = FamilyBt878;
        CleanInfFiles(fresh.context);
        const std::vector<std::string> uninstalled = {"oem1.inf", "oem2.inf"};
        EXPECT_EQ(fresh.machine.uninstalledInfs(),
                  version.major >= 6 ? uninstalled : std::vector<std::string>{});
        std::vector<std::string> logged;
        for (const std::string& line : fresh.LogLines())
            logged.push_back(line.substr(line.find(' ') + 1));
        EXPECT_EQ(logged, (std::vector<std::string>{std::string(kInf) + "oem1.PNF",
                                                    std::string(kInf) + "oem1.inf",
                                                    std::string(kInf) + "oem2.inf"}))
            << "version " << version.major;
        EXPECT_TRUE(fresh.machine.FileExists(std::string(kInf) + "oem3.inf"));
    }
}

TEST_F(FileStageTest, EncoderInfsAreReadFromTheNtx86CatalogBySubstring) {
    AddInf("oem4.inf", Catalog("CatalogFile.ntx86", "x-VSBBENC.cat-y"));
    AddInf("oem5.inf", Catalog("CatalogFile", "vsbbenc.cat"));
    Run(FamilyCx88Encoder, CleanInfFiles);
    EXPECT_FALSE(Exists(std::string(kInf) + "oem4.inf"));
    EXPECT_TRUE(Exists(std::string(kInf) + "oem5.inf"));
}

TEST_F(FileStageTest, Cx88FamiliesShareTheirInfRule) {
    for (ProductFamily family : {FamilyCx88, FamilyCx88Dv}) {
        AddInf("oem6.inf", Catalog("CatalogFile", "vs88xbar.cat"));
        Run(family, CleanInfFiles);
        EXPECT_FALSE(Exists(std::string(kInf) + "oem6.inf")) << family;
    }
}

TEST_F(FileStageTest, EmpiaInfsNeedTheirDetectionFlag) {
    AddInf("oem7.inf", Catalog("CatalogFile", "emWHQL.cat"));
    AddInf("oem8.inf", "[SourceDisksNames]\r\n1=\"Disk\",emDevice.sys,,\r\n");
    Run(FamilyEmpiaUsb, CleanInfFiles);
    EXPECT_TRUE(Logged().empty());

    rig.state.foundEmpiaDeluxe = 1;
    Run(FamilyEmpiaUsb, CleanInfFiles);
    EXPECT_FALSE(Exists(std::string(kInf) + "oem7.inf"));
    EXPECT_TRUE(Exists(std::string(kInf) + "oem8.inf"));

    rig.state.foundEmpiaStick = 1;
    Run(FamilyEmpiaUsb, CleanInfFiles);
    EXPECT_FALSE(Exists(std::string(kInf) + "oem8.inf"));
}

TEST_F(FileStageTest, WisLoaderFilesGoOnceAtTheFirstCandidate) {
    AddInf("oem1.inf", Catalog("CatalogFile", "RoamView.cat"));
    AddInf("oem2.inf", "[Strings]\r\nRVLoader.svcDesc = \"Vistrel RoamView Loader\"\r\n");
    AddInf("oem3.inf", "[Strings]\r\nRoamView.svcDesc=Other\r\nRVLoader.svcDesc=Vistrel RoamView\r\n");
    for (const char* name : {"RVLoader.inf", "RVLoader.PNF", "TLoader.inf", "tloader.PNF"}) {
        rig.machine.AddFile(std::string(kInf) + name, "x");
    }
    Run(FamilyWisUsb, CleanInfFiles);
    const std::string inf = kInf;
    EXPECT_EQ(Logged(), (std::vector<std::string>{
                            inf + "oem1.PNF", inf + "oem1.inf", inf + "RVLoader.inf",
                            inf + "RVLoader.PNF", inf + "TLoader.inf", inf + "tloader.PNF",
                            inf + "oem2.PNF", inf + "oem2.inf"}));
    // RoamView.svcDesc is read first; RVLoader.svcDesc only when it is missing.
    EXPECT_TRUE(Exists(inf + "oem3.inf"));
}

TEST_F(FileStageTest, WithoutAnyOemInfNothingIsDeletedAtAll) {
    rig.machine.AddFile(std::string(kInf) + "RVLoader.inf", "x");
    Run(FamilyWisUsb, CleanInfFiles);
    EXPECT_TRUE(Exists(std::string(kInf) + "RVLoader.inf"));
}

TEST_F(FileStageTest, OnlyFilesWithALowerCaseInfExtensionAreCandidates) {
    rig.machine.AddDirectory(std::string(kInf) + "oem1.inf");
    rig.machine.AddFile(std::string(kInf) + "oem2.INF", Catalog("CatalogFile", "vs4kvcap.cat"));
    AddInf("oem3.inf", Catalog("CatalogFile", "vs4kvcap.cat"), false);
    Run(FamilyBt878, CleanInfFiles);
    EXPECT_EQ(Logged(), std::vector<std::string>{std::string(kInf) + "oem3.inf"});
}

TEST_F(FileStageTest, OddInfFilesSimplyDoNotMatch) {
    AddInf("oem1.inf", std::string("\0\xff\xfe[Version\n\n=\n", 14) + std::string(100000, '='));
    AddInf("oem2.inf", "");
    AddInf("oem3.inf", std::string("\xff\xfe[\0V\0e\0r\0s\0i\0o\0n\0]\0", 20));
    Run(FamilyBt878, CleanInfFiles);
    EXPECT_TRUE(Logged().empty());
}

TEST_F(FileStageTest, Bt878DriversWithNoneInstalledLogNothing) {
    Run(FamilyBt878, CleanDriverFiles);
    EXPECT_TRUE(Logged().empty());
    EXPECT_TRUE(rig.machine.startedProcesses().empty());
}

TEST_F(FileStageTest, TheSharedCx88CaptureDriverGoesOnlyWhenBothCardFamiliesWereFound) {
    for (const char* name : {"vs88vcap.sys", "vs88xbar.sys", "vs88tune.sys"}) {
        rig.machine.AddFile(std::string(kDrivers) + name, "MZ");
    }
    rig.state.foundCx88Card = 1;
    Run(FamilyCx88, CleanDriverFiles);
    EXPECT_TRUE(Exists(std::string(kDrivers) + "vs88vcap.sys"));
    EXPECT_FALSE(Exists(std::string(kDrivers) + "vs88xbar.sys"));
    rig.state.foundDvCard = 1;
    Run(FamilyCx88Dv, CleanDriverFiles);
    EXPECT_FALSE(Exists(std::string(kDrivers) + "vs88vcap.sys"));
}

TEST_F(FileStageTest, FilterModulesAreUnregisteredQuotedThenDeleted) {
    rig.machine.AddFile(std::string(kSystem) + "emProp.ax", "MZ");
    rig.machine.AddFile(std::string(kDrivers) + "emUSD.dll", "MZ");
    rig.machine.SetString(Root::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32", "", std::string(kSystem) + "emProp.ax");
    Run(FamilyEmpiaUsb, CleanDriverFiles);
    const std::vector<std::string> started = rig.machine.startedProcesses();
    ASSERT_EQ(started.size(), 5u);
    EXPECT_EQ(started[1], "\"C:\\windows\\system32\\regsvr32.exe\" -u -s \"C:\\windows\\system32\\emProp.ax\"");
    EXPECT_EQ(started[2], "\"C:\\windows\\system32\\regsvr32.exe\" -u -s \"C:\\windows\\system32\\drivers\\emUSD.dll\"");
    EXPECT_FALSE(rig.machine.KeyExists(Root::LocalMachine, "SOFTWARE\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}"));
    // Never in the purger's current directory, where a limited user may plant a DLL
    // the module needs.
    EXPECT_EQ(rig.machine.startDirectories(), std::vector<std::string>(5, "C:\\windows\\system32"));
    EXPECT_EQ(Logged(), (std::vector<std::string>{std::string(kSystem) + "emProp.ax",
                                                  std::string(kDrivers) + "emUSD.dll"}));
}

TEST_F(FileStageTest, AModuleStillLoadedByAHungUnregistrationStays) {
    rig.machine.AddFile(std::string(kSystem) + "wisproxy.ax", "MZ");
    rig.machine.HangProcesses();
    Run(FamilyWisUsb, CleanDriverFiles);
    EXPECT_TRUE(Exists(std::string(kSystem) + "wisproxy.ax"));
    EXPECT_TRUE(Logged().empty());
}

TEST_F(FileStageTest, AModuleIsStillDeletedWhenRegsvr32CannotStart) {
    rig.machine.AddFile(std::string(kSystem) + "prxypage.ax", "MZ");
    rig.machine.FailProcessStart();
    Run(FamilyCx88Encoder, CleanDriverFiles);
    EXPECT_FALSE(Exists(std::string(kSystem) + "prxypage.ax"));
}

TEST_F(FileStageTest, FamiliesWithoutFilesTouchNothing) {
    rig.machine.AddFile(std::string(kDrivers) + "vs4kvcap.sys", "MZ");
    rig.machine.AddFile("C:\\windows\\go7007fw.bin", "fw");
    for (ProductFamily family : {FamilyNvidia, FamilyNone}) {
        Run(family, CleanInfFiles);
        Run(family, CleanDriverFiles);
        Run(family, CleanOtherFiles);
    }
    EXPECT_TRUE(Logged().empty());
    EXPECT_TRUE(rig.machine.startedProcesses().empty());
}

TEST_F(FileStageTest, TheEmpiaTwainFolderGoesWholeAndUnlogged) {
    const std::string twain = "C:\\windows\\twain_32";
    rig.machine.AddDirectory(twain + "\\emscan", kAttrDirectory | kAttrReadOnly);
    rig.machine.AddFile(twain + "\\emscan\\emscan.ds", "ds", kAttrReadOnly | kAttrHidden | kAttrSystem);
    rig.machine.AddFile(twain + "\\emscan\\deep\\more.ini", "x");
    Run(FamilyEmpiaUsb, CleanOtherFiles);
    EXPECT_FALSE(Exists(twain));
    EXPECT_TRUE(Logged().empty());
}

TEST_F(FileStageTest, DotNamesInTheTwainFolderSurviveWithTheFoldersAboveThem) {
    const std::string twain = "C:\\windows\\twain_32";
    rig.machine.AddFile(twain + "\\sub\\.keep", "x");
    rig.machine.AddFile(twain + "\\other\\gone.ds", "x");
    Run(FamilyEmpiaUsb, CleanOtherFiles);
    EXPECT_TRUE(Exists(twain + "\\sub\\.keep"));
    EXPECT_FALSE(Exists(twain + "\\other"));
}

TEST_F(FileStageTest, ALinkInsideTheTwainFolderIsNeverFollowed) {
    const std::string twain = "C:\\windows\\twain_32";
    rig.machine.AddDirectory(twain + "\\elsewhere", kAttrDirectory | kAttrReparsePoint);
    rig.machine.AddFile(twain + "\\elsewhere\\precious.doc", "x");
    rig.machine.AddFile(twain + "\\emscan.ds", "x");
    Run(FamilyEmpiaUsb, CleanOtherFiles);
    EXPECT_TRUE(Exists(twain + "\\elsewhere\\precious.doc"));
    EXPECT_FALSE(Exists(twain + "\\emscan.ds"));
}

// C:\windows\twain_32 as a junction to a folder of the user's: its entries are that
// folder's.
TEST_F(FileStageTest, ATwainFolderThatIsItselfALinkIsNeverFollowed) {
    const std::string twain = "C:\\windows\\twain_32";
    rig.machine.AddDirectory(twain, kAttrDirectory | kAttrReparsePoint);
    rig.machine.AddFile(twain + "\\precious.doc", "x", kAttrReadOnly);
    rig.machine.AddFile(twain + "\\photos\\one.jpg", "x");
    Run(FamilyEmpiaUsb, CleanOtherFiles);
    EXPECT_TRUE(Exists(twain + "\\precious.doc"));
    EXPECT_EQ(rig.machine.GetAttributes((twain + "\\precious.doc").c_str()), kAttrReadOnly);
    EXPECT_TRUE(Exists(twain + "\\photos\\one.jpg"));
}

TEST_F(FileStageTest, WisAuxiliaryFilesAreLoggedOneByOne) {
    rig.machine.AddFile("C:\\windows\\video_profiles.txt", "x");
    Run(FamilyWisUsb, CleanOtherFiles);
    EXPECT_EQ(Logged(), std::vector<std::string>{"C:\\windows\\video_profiles.txt"});
}

}  // namespace
}  // namespace cvp::test
