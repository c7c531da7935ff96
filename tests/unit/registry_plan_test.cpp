#include <gtest/gtest.h>

#include <algorithm>

#include "app/cleanup_sequence.h"
#include "registry/class_ids.h"
#include "registry/registry_stages.h"
#include "unit/registry_rig.h"

namespace cvp::test {
namespace {

const std::string kK1Class = "Control\\DeviceClasses\\{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\";
const std::string kUsbDevices = "Control\\DeviceClasses\\{a5dcbf10-6530-11d2-901f-00c04fb951ed}\\";
const std::string kMediaClass = "Control\\Class\\{4D36E96C-E325-11CE-BFC1-08002BE10318}\\";
const std::string kClsid = "SOFTWARE\\Classes\\CLSID\\";
const std::string kCs001 = "SYSTEM\\ControlSet001\\";
const std::string kCs002 = "SYSTEM\\ControlSet002\\";
const std::string kCs003 = "SYSTEM\\ControlSet003\\";
const Paths kVisitedSets = {kCcs, kCs001, kCs003};

// Keys under each of `controlSets`.
Paths InEach(const Paths& controlSets, const Paths& keys) {
    Paths paths;
    for (const std::string& set : controlSets) {
        for (const std::string& key : keys) paths.push_back(set + key);
    }
    return paths;
}

// A family run from the command line (expert mode, the catalogue's pattern) and keys,
// relative to a control set, that its plan removes.
struct FamilyTraces {
    const char* name;
    ProductFamily family;
    const char* primary;
    Paths keys;
};

void PrintTo(const FamilyTraces& traces, std::ostream* out) { *out << traces.name; }

const FamilyTraces kFamilyTraces[] = {
    {"Bt878",
     FamilyBt878,
     "VEN_109E&DEV_036E",
     {"Services\\BT848", "Enum\\PCI\\VEN_109E&DEV_0878&SUBSYS_66061F3C&REV_11",
      "Enum\\Stream\\cvtuner.philips"}},
    {"Cx88",
     FamilyCx88,
     "VEN_14F1&DEV_8800",
     {"Services\\VSTUNE", "Enum\\PCI\\VEN_14F1&DEV_8800&SUBSYS_66081F3C&REV_05",
      kK1Class + "##?#PCI#VEN_14F1&DEV_8800&SUBSYS_66081F3C&REV_05#4&1&0&20F0#{x}"}},
    {"Cx88Dv",
     FamilyCx88Dv,
     "VEN_14F1&DEV_8800",
     {"Services\\VS88XBAR", "Enum\\PCI\\VEN_14F1&DEV_8800&SUBSYS_661D1F3C&REV_05",
      "Enum\\Stream\\vstune.fm1216mk3.dv"}},
    {"Cx88Encoder",
     FamilyCx88Encoder,
     "VEN_14F1&DEV_8802",
     {"Services\\VSBB", "Enum\\PCI\\VEN_14F1&DEV_8802&SUBSYS_66301F3C&REV_05",
      "Control\\DeviceClasses\\{19689BF6-C384-48FD-AD51-90E58C79F70B}",
      "Enum\\Stream\\vsxbar.xbar"}},
    {"EmpiaUsb",
     FamilyEmpiaUsb,
     "VID_0F6B",
     {"Services\\emAudio", "Enum\\USB\\Vid_0f6b&Pid_6023",
      kK1Class + "##?#USB#Vid_0f6b&Pid_6023&MI_00#6&1&0&0000#{x}"}},
    {"WisUsb",
     FamilyWisUsb,
     "VID_0EB1&PID_7007",
     {"Services\\RoamView", "Enum\\USB\\Vid_0eb1&Pid_7007",
      "Control\\MediaSets\\{E65DDCB1-652E-4843-958F-95099EEDEC8D}"}},
};

void AddEveryFamilysTraces(RegistryRig& rig, const Paths& controlSets) {
    for (const FamilyTraces& traces : kFamilyTraces) {
        for (const std::string& key : InEach(controlSets, traces.keys))
            rig.Keys({key + "\\1&1&0&0"});
    }
}

class RegistryPlanOverControlSets : public ::testing::TestWithParam<FamilyTraces> {};

TEST_P(RegistryPlanOverControlSets, CleansEachVisitedSetAndNeverTouchesControlSet002) {
    RegistryRig rig;
    AddEveryFamilysTraces(rig, {kCcs, kCs001, kCs002, kCs003});
    const Paths controlSet002 = rig.machine.DumpRegistry({kHklm + kCs002});
    rig.Family(GetParam().family, 1, GetParam().primary);
    RunMainRegistryPlan(rig.context);
    EXPECT_EQ(rig.Present(InEach(kVisitedSets, GetParam().keys)), Paths{});
    EXPECT_EQ(rig.machine.DumpRegistry({kHklm + kCs002}), controlSet002);
    for (const std::string& call : rig.registry.calls) {
        EXPECT_EQ(call.find("ControlSet002"), std::string::npos) << call;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, RegistryPlanOverControlSets,
                         ::testing::ValuesIn(kFamilyTraces),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RegistryPlan, FamiliesWithoutAPlanRemoveNothing) {
    for (ProductFamily family : {FamilyNvidia, FamilyNone}) {
        RegistryRig rig;
        AddEveryFamilysTraces(rig, {kCcs});
        const Paths before = rig.machine.DumpRegistry({"HKEY_LOCAL_MACHINE"});
        rig.Family(family, 1, "VEN_10DE");
        RunMainRegistryPlan(rig.context);
        EXPECT_EQ(rig.machine.DumpRegistry({"HKEY_LOCAL_MACHINE"}), before);
    }
}

TEST(RegistryPlan, TheRegistryStepLogsEachHiveByItsStage) {
    RegistryRig rig;
    rig.Keys({kClsid + kRoamViewClassIds[0], kCcs + "Services\\RoamView"});
    rig.Family(FamilyWisUsb, 1, "VID_0EB1&PID_7007");
    CopyText(rig.state.statusText, "Delete driver's registry key...", 1252);
    RunRegistryStep(rig.context);
    EXPECT_EQ(rig.run.LogLines(),
              (Paths{"Delete driver's registry key... HKEY_CLASSES_ROOT\\CLSID\\"
                     "{35D3656A-6C20-46B0-B44A-DC8E861F1205}\\",
                     "Delete driver's registry key... HKEY_LOCAL_MACHINE\\SYSTEM\\"
                     "CurrentControlSet\\Services\\RoamView\\"}));
}

TEST(RegistryPlan, PrefixLoopsTakeTheCountedNonEmptyEntries) {
    RegistryRig rig;
    const Paths values = {"NextParentID.1a2b3c4d.1", "NextParentID.5e6f7a8b.1",
                          "NextParentID.9c9c.1"};
    for (const std::string& value : values) rig.Value(kCcs + "Enum", value, "1");
    rig.Family(FamilyCx88, 1, "VEN_14F1&DEV_8800");
    for (const char* prefix : {"", "1a2b3c4d", "5e6f7a8b", "9c9c"}) {
        CopyText(rig.state.parentIdPrefixes[rig.state.parentIdPrefixCount++], prefix, 1252);
    }
    rig.state.parentIdPrefixCount = 0;
    RunMainRegistryPlan(rig.context);
    EXPECT_TRUE(rig.HasValue(kCcs + "Enum", values[0]));
    rig.state.parentIdPrefixCount = 3;
    RunMainRegistryPlan(rig.context);
    EXPECT_FALSE(rig.HasValue(kCcs + "Enum", values[0]) || rig.HasValue(kCcs + "Enum", values[1]));
    EXPECT_TRUE(rig.HasValue(kCcs + "Enum", values[2]));
}

TEST(RegistryPlanBt878, ExpertModeTakesTheMakersCardAndLeavesOtherBt878Boards) {
    RegistryRig rig;
    const std::string ours = "##?#PCI#VEN_109E&DEV_036E&SUBSYS_66061F3C&REV_11#4&1&0&20F0#{x}";
    const std::string foreign = "##?#PCI#VEN_109E&DEV_036E&SUBSYS_13EB0070&REV_11#4&2&0&28F0#{x}";
    const std::string cache =
        kCcs + "Control\\MediumCache\\{a19dc1e0-3b39-11d1-905f-0000c0cc16ba}-0-0";
    const Paths keys = {kCcs + kK1Class + ours,      kCcs + kK1Class + foreign,
                        kCcs + kMediaClass + "0000", kCcs + kMediaClass + "0001",
                        kCcs + "Services\\BT848",    kCcs + "Services\\HcwBT848"};
    rig.Keys(keys);
    rig.Value(keys[2], "InfSection", "CV606.Philips");
    rig.Value(keys[3], "InfSection", "AudioSection");
    rig.Value(cache, ours, "");
    rig.Value(cache, foreign, "");
    rig.Family(FamilyBt878, 1, "VEN_109E&DEV_036E");
    RunMainRegistryPlan(rig.context);
    EXPECT_EQ(rig.Present(keys), (Paths{keys[1], keys[3], keys[5]}));
    EXPECT_FALSE(rig.HasValue(cache, ours));
    EXPECT_TRUE(rig.HasValue(cache, foreign));
}

TEST(RegistryPlanCx88, TheSharedServicesStayWhileTheOtherCx88CardIsInstalled) {
    const Paths services =
        InEach(kVisitedSets, {"Services\\VS23880", "Services\\VS88XBAR", "Services\\VSTUNE"});
    for (auto [family, otherCard] : {std::pair{FamilyCx88, &RunState::foundDvCard},
                                     std::pair{FamilyCx88Dv, &RunState::foundCx88Card}}) {
        for (int found : {1, 0}) {
            RegistryRig rig;
            rig.Keys(services);
            rig.Family(family, 1, "VEN_14F1&DEV_8800");
            rig.state.*otherCard = found;
            RunMainRegistryPlan(rig.context);
            EXPECT_EQ(rig.Present(services), found == 1 ? services : Paths{}) << family;
        }
    }
}

// The encoder card's plan purges the medium cache 6 times for each ParentIdPrefix and
// 13 times more; its entry names are read once per control set.
TEST(RegistryPlanCx88Encoder, ReadsTheMediumCacheEntriesOncePerControlSet) {
    RegistryRig rig;
    const std::string cache = kCcs + "Control\\MediumCache\\";
    const std::string entry = cache + "{a19dc3e0-3b39-11d1-905f-0000c0cc16ba}-0-0";
    rig.Value(entry, "##?#Stream#vstune#8&1a2b3c4d&0&0#{x}", "");
    rig.Value(entry, "##?#Stream#vstune#8&5e6f7a8b&0&0#{x}", "");
    rig.Value(entry, "##?#Stream#other#8&9c9c9c9c&0&0#{x}", "");
    rig.Family(FamilyCx88Encoder, 1, "VEN_14F1&DEV_8802");
    for (const char* prefix : {"1a2b3c4d", "5e6f7a8b"}) {
        CopyText(rig.state.parentIdPrefixes[rig.state.parentIdPrefixCount++], prefix, 1252);
    }
    RunMainRegistryPlan(rig.context);
    const Paths& calls = rig.registry.calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open " + cache), 1);
    EXPECT_FALSE(rig.HasValue(entry, "##?#Stream#vstune#8&1a2b3c4d&0&0#{x}") ||
                 rig.HasValue(entry, "##?#Stream#vstune#8&5e6f7a8b&0&0#{x}"));
    EXPECT_TRUE(rig.HasValue(entry, "##?#Stream#other#8&9c9c9c9c&0&0#{x}"));
}

// The card's CX2388x video function has an interface that only the second PCI ID names.
TEST(RegistryPlanCx88Encoder, TheSecondStepsRunInExpertModeOnly) {
    struct Case {
        int expert;
        const char* primary;
        const char* second;
        bool removed;
    };
    for (const Case& test : {Case{0, "66381F3C", "VEN_14F1&DEV_8800&SUBSYS_663", false},
                             Case{1, "VEN_14F1&DEV_8802", "VEN_14F1&DEV_8800&SUBSYS_663", true},
                             Case{1, "VEN_14F1&DEV_8802", "", true}}) {  // the card model decides
        RegistryRig rig;
        const std::string video =
            kCcs + kK1Class + "##?#PCI#VEN_14F1&DEV_8800&SUBSYS_66301F3C&REV_05#4&1#{x}";
        rig.Keys({video + "\\Control"});
        rig.Family(FamilyCx88Encoder, test.expert, test.primary);
        CopyText(rig.state.secondaryPciId, test.second, 1252);
        RunMainRegistryPlan(rig.context);
        EXPECT_EQ(rig.Has(video), !test.removed) << test.expert << test.second;
    }
}

TEST(RegistryPlanEmpiaUsb, WorkingModeTakesTheRunningSticksTraces) {
    RegistryRig rig;
    const std::string audio = kCcs +
                              "Control\\DeviceClasses\\{d6c50671-72c1-11d2-9755-0000f8004788}\\" +
                              "##?#USB#Vid_0f6b&Pid_6023&MI_01#6&1#{x}\\#Wave";
    const std::string image = kCcs + "Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";
    const std::string cache = kCcs + "Control\\MediumCache\\{0}-0-0";
    const std::string link = "##?#usb#vid_0f6b&pid_6023&mi_00#6&1&0&0000#{x}";
    const Paths keys = {kCcs + kK1Class + link + "\\Control",
                        kCcs + kK1Class + "##?#USB#Vid_046d#6&2#{x}\\Control",
                        audio + "\\Control",
                        image,
                        kCcs + "Enum\\USB\\Vid_0f6b&Pid_6023",
                        kCcs + "Services\\emAudio"};
    rig.Keys(keys);
    rig.Value(audio + "\\Device Parameters", "FriendlyName", "USB EMP Audio Device");
    rig.Value(image, "NTMPDriver", "EMDEVICE.SYS");
    rig.Value(kCcs + "Enum", "NextParentID.2c3d4e5f.1", "1");
    rig.Value(cache, link, "");
    rig.Family(FamilyEmpiaUsb, 0, "VID_0F6B&PID_6023");
    CopyText(rig.state.instanceSuffixes[rig.state.instanceSuffixCount++], "2c3d4e5f", 1252);
    RunMainRegistryPlan(rig.context);
    EXPECT_EQ(rig.Present(keys), Paths{keys[1]});
    EXPECT_FALSE(rig.HasValue(kCcs + "Enum", "NextParentID.2c3d4e5f.1") ||
                 rig.HasValue(cache, link));
}

class RegistryPlanWisUsb : public ::testing::Test {
  protected:
    RegistryPlanWisUsb() {
        for (const char* id : kRoamViewClassIds) rig.Keys({kClsid + id});
        rig.Keys(secondStick);
        rig.Family(FamilyWisUsb, 1, "VID_0EB1&PID_7007");
        CopyText(rig.state.secondaryUsbId, "VID_0EB1&PID_6668", 1252);
    }
    RegistryRig rig;
    const Paths secondStick =
        InEach(kVisitedSets,
               {"Enum\\USB\\Vid_0eb1&Pid_6668", kUsbDevices + "##?#USB#Vid_0eb1&Pid_6668#5&1#{x}"});
};

TEST_F(RegistryPlanWisUsb, RemovesTheMachineClassIdsOnceInTheFirstPass) {
    RunMainRegistryPlan(rig.context);
    const Paths& calls = rig.registry.calls;
    const std::string walk = "open " + kClsid;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), walk), 3);
    const auto pass001 = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
        return call.find("ControlSet001") != std::string::npos;
    });
    EXPECT_EQ(std::count(pass001, calls.end(), walk), 0);
    const Paths logged = rig.Logged();
    ASSERT_GE(logged.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(logged[i], kHklm + kClsid + kRoamViewClassIds[i] + "\\");
}

TEST_F(RegistryPlanWisUsb, TheSecondStickIdIsUsedOnlyWhenThatStickWasFound) {
    RunMainRegistryPlan(rig.context);
    EXPECT_EQ(rig.Present(secondStick), secondStick);
    rig.state.foundWis6668 = 1;
    RunMainRegistryPlan(rig.context);
    EXPECT_EQ(rig.Present(secondStick), Paths{});
}

}  // namespace
}  // namespace cvp::test
