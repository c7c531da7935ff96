#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "registry/class_ids.h"
#include "registry/class_interface_walks.h"
#include "registry/enum_walks.h"
#include "registry/medium_cache_walks.h"
#include "registry/name_match.h"
#include "registry/registry_stages.h"
#include "registry/service_media_walks.h"
#include "unit/registry_rig.h"

namespace cvp::test {
namespace {

constexpr Root kLm = Root::LocalMachine;
constexpr const char* kWisSet = "{E65DDCB1-652E-4843-958F-95099EEDEC8D}";
const std::string kClsid = "SOFTWARE\\Classes\\CLSID\\";
const std::string kServices = kCcs + "Services\\";
const std::string kMediaSets = kCcs + "Control\\MediaSets\\";
const std::string kMediaClass = kCcs + "Control\\Class\\{4D36E96C-E325-11CE-BFC1-08002BE10318}\\";
const std::string kClasses = kCcs + "Control\\DeviceClasses\\";
const std::string kCapture = kClasses + "{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\";
const std::string kTuner = kClasses + "{a799a800-a46d-11d0-a18c-00a02401dcd4}\\";
const std::string kWholeClass = kClasses + "{19689BF6-C384-48FD-AD51-90E58C79F70B}\\";
const std::string kAudio = kClasses + "{d6c50671-72c1-11d2-9755-0000f8004788}\\";
const std::string kEnum = kCcs + "Enum\\";
const std::string kStream = kEnum + "Stream\\";
const std::string kCache = kCcs + "Control\\MediumCache\\";

// An interface link as Windows names it: the instance path with "#" for "\".
std::string CardLink(const std::string& subsystem, const std::string& instance = "20F0") {
    return "##?#PCI#VEN_14F1&DEV_8800&SUBSYS_" + subsystem + "&REV_05#4&1a&0&" + instance + "#{x}";
}

TEST(ClsidWalk, TheStageRemovesTheRoamViewClassesForItsFamilyOnly) {
    RegistryRig rig;
    for (const char* id : kRoamViewClassIds) rig.Keys({kClsid + id + "\\InprocServer32"});
    rig.Keys({kClsid + "{083863F1-70DE-11D0-BD40-00A0C911CE86}"});
    rig.state.stage = StageClassIds;
    rig.Family(FamilyCx88Encoder, 1);
    PurgeClassesRootClsids(rig.context);
    EXPECT_TRUE(rig.registry.calls.empty());
    rig.Family(FamilyWisUsb, 1);
    PurgeClassesRootClsids(rig.context);
    EXPECT_EQ(rig.Present({kClsid + kWisSet, kClsid + "{083863F1-70DE-11D0-BD40-00A0C911CE86}"}),
              Paths{kClsid + "{083863F1-70DE-11D0-BD40-00A0C911CE86}"});
    EXPECT_EQ(rig.Logged(),
              (Paths{"HKEY_CLASSES_ROOT\\CLSID\\{35D3656A-6C20-46B0-B44A-DC8E861F1205}\\",
                     "HKEY_CLASSES_ROOT\\CLSID\\{8ED37ED7-477B-4764-B72E-DFC2D1899C6C}\\",
                     "HKEY_CLASSES_ROOT\\CLSID\\{E65DDCB1-652E-4843-958F-95099EEDEC8D}\\"}));
}

TEST(ClsidWalk, AClassThatStaysIsNotLogged) {
    RegistryRig rig;
    rig.Keys({kClsid + kWisSet + "\\Protected", kClsid + "{8ED37ED7-477B-4764-B72E-DFC2D1899C6C}"});
    rig.Deny(kClsid + kWisSet + "\\Protected");
    EXPECT_EQ(DeleteClassesRootClsid(rig.context, kWisSet), 0);
    EXPECT_EQ(DeleteMachineClsid(rig.context, "{35D3656A-6C20-46B0-B44A-DC8E861F1205}"), 0);
    EXPECT_EQ(DeleteMachineClsid(rig.context, "{8ED37ED7-477B-4764-B72E-DFC2D1899C6C}"), 1);
    EXPECT_EQ(rig.Logged(), Paths{kHklm + kClsid + "{8ED37ED7-477B-4764-B72E-DFC2D1899C6C}\\"});
}

TEST(ServiceKeyWalk, MatchesWholeNamesWithoutRegardToCase) {
    RegistryRig rig;
    const Paths foreign = {kServices + "HcwBT848", kServices + "BT848x", kServices + "VSTUNER",
                           kServices + "RoamViewer"};
    rig.Keys(foreign);
    for (const char* name : {"BT848", "VSTUNE", "RoamView"}) {
        EXPECT_EQ(DeleteServiceKey(rig.context, kLm, kServices.c_str(), name), 0) << name;
    }
    rig.Keys({kServices + "bt848\\Enum"});
    rig.Deny(kServices + "bt848");
    EXPECT_EQ(DeleteServiceKey(rig.context, kLm, kServices.c_str(), "BT848"), 1);
    EXPECT_EQ(rig.Present(foreign), foreign);
    EXPECT_EQ(rig.Logged(), Paths{kHklm + kServices + "bt848\\"});
}

TEST(SubkeysContainingWalk, DeletesEveryMatchNoneSkippedAndPassesOverFailures) {
    RegistryRig rig;
    const std::string set = kMediaSets + kWisSet;
    rig.Keys({set + "A\\Protected", set + "B", set + "C", set + "D", kMediaSets + "Z",
              kMediaSets + "{e65ddcb1-652e-4843-958f-95099eedec8d}x"});
    rig.Deny(set + "A\\Protected");
    auto purge = [&](const char* pattern) {
        return DeleteSubkeysContaining(rig.context, kLm, kMediaSets.c_str(), pattern);
    };
    EXPECT_EQ(purge(""), 0);
    EXPECT_EQ(purge(kWisSet), 1);
    EXPECT_EQ(purge(kWisSet), 0);
    EXPECT_EQ(rig.Present({set + "A", set + "B", set + "C", set + "D", kMediaSets + "Z"}),
              (Paths{set + "A", kMediaSets + "Z"}));
    EXPECT_TRUE(rig.Has(kMediaSets + "{e65ddcb1-652e-4843-958f-95099eedec8d}x"));  // case differs
    EXPECT_EQ(rig.Logged().size(), 3u);
}

// A path that would not fit 260 characters is passed over: cut, it names another key.
TEST(SubkeysContainingWalk, NeverActsOnACutPath) {
    RegistryRig rig;
    const Paths keys = {kMediaSets + std::string(217, 'x') + kWisSet,  // a 255-character name
                        kMediaSets + std::string(kTextSize - 1 - kMediaSets.size(), 'x')};
    rig.Keys(keys);
    EXPECT_EQ(DeleteSubkeysContaining(rig.context, kLm, kMediaSets.c_str(), kWisSet), 0);
    EXPECT_EQ(rig.Present(keys), keys);
}

TEST(ClassKeyWalk, DeletesEveryInstanceWhoseValueEqualsTheTextInAnyCase) {
    RegistryRig rig;
    const char* values[] = {"VSBBVCAP.SYS", "vsbbvcap.sys", "vsbbvcap.sys.old", "VsbbVcap.sys",
                            "vsbbvcap.sys"};
    for (int i = 0; i < 5; ++i)
        rig.Value(kMediaClass + "000" + char('0' + i), "NTMPDriver", values[i]);
    rig.Keys({kMediaClass + "0004\\Protected"});
    rig.Deny(kMediaClass + "0004\\Protected");
    rig.machine.SetValue(kLm, kMediaClass + "0005", "NTMPDriver", kRegDword, std::string(4, '\0'));
    EXPECT_EQ(
        DeleteClassKeysByValue(rig.context, kLm, kMediaClass.c_str(), "NTMPDriver", "vsbbvcap.sys"),
        1);
    EXPECT_EQ(rig.Present({kMediaClass + "0000", kMediaClass + "0001", kMediaClass + "0002",
                           kMediaClass + "0003", kMediaClass + "0004", kMediaClass + "0005"}),
              (Paths{kMediaClass + "0002", kMediaClass + "0004", kMediaClass + "0005"}));
    EXPECT_EQ(rig.Logged().size(), 3u);
}

// The product's driver keys come after the foreign ones; a walk that read every foreign
// key again after each deletion would grow with the square of the class.
TEST(ClassKeyWalk, ReadsEachForeignInstanceOnceHoweverManyKeysItDeletes) {
    RegistryRig rig;
    for (int i = 0; i < 13; ++i) {
        char instance[5];
        std::snprintf(instance, sizeof instance, "%04d", i);
        rig.Value(kMediaClass + instance, "NTMPDriver", i < 10 ? "other.sys" : "vsbbvcap.sys");
    }
    EXPECT_EQ(
        DeleteClassKeysByValue(rig.context, kLm, kMediaClass.c_str(), "NTMPDriver", "vsbbvcap.sys"),
        1);
    EXPECT_EQ(rig.Logged().size(), 3u);
    const Paths& calls = rig.registry.calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open " + kMediaClass + "0000\\"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "open " + kMediaClass + "0009\\"), 1);
}

TEST(InterfaceKeyWalk, ByTextTheTwoCx88LinesKeepEachOthersLinks) {
    RegistryRig rig;
    const Paths links = {kTuner + "##?#Stream#vstune.fm1216mk3#1&2&0&0#{x}",
                         kTuner + "##?#Stream#VSTUNE.FM1216MK3.DV#1&2&0&0#{x}"};
    for (ProductFamily family : {FamilyCx88Dv, FamilyCx88}) {
        rig.Keys(links);
        rig.Family(family, 1);
        EXPECT_EQ(
            DeleteInterfaceKeys(rig.context, kLm, kTuner.c_str(), "VSTUNE.FM1216MK3", kByText), 1);
        EXPECT_EQ(rig.Present(links), Paths{links[family == FamilyCx88Dv ? 0 : 1]});
    }
}

TEST(InterfaceKeyWalk, ByModelInExpertModeTheCardModelDecidesEvenForAnEmptyPattern) {
    RegistryRig rig;
    const Paths links = {kCapture + CardLink("66301F3C"), kCapture + CardLink("D6000070"),
                         kTuner + "##?#Stream#vsbbtune.vsntsc#1&2&0&0#{x}"};
    rig.Keys(links);
    auto purge = [&](const std::string& classPath, const char* pattern, int byModel) {
        return DeleteInterfaceKeys(rig.context, kLm, classPath.c_str(), pattern, byModel);
    };
    rig.Family(FamilyCx88Encoder, 0);
    EXPECT_EQ(purge(kCapture, "", kByModel), 0);
    rig.Family(FamilyCx88Encoder, 1);
    EXPECT_EQ(purge(kCapture, "", kByText), 0);
    EXPECT_EQ(purge(kTuner, "VSBBTUNE.VSPAL", kByModel), 0);
    EXPECT_EQ(rig.Present(links), links);
    EXPECT_EQ(purge(kCapture, "", kByModel), 1);
    EXPECT_EQ(purge(kTuner, "vsbbtune.vsntsc", kByModel), 1);  // the maker's device: no model test
    EXPECT_EQ(rig.Present(links), Paths{links[1]});
}

TEST(InterfaceKeyWalk, WorkingModeRemovesRunningInterfacesOnlyNoneSkipped) {
    RegistryRig rig;
    for (const char* instance : {"A", "B", "C"})
        rig.Keys({kCapture + CardLink("66081F3C", instance) + "\\Control"});
    rig.Keys({kCapture + CardLink("66081F3C", "D") + "\\Device Parameters"});
    rig.Family(FamilyCx88, 0);
    EXPECT_EQ(DeleteInterfaceKeys(rig.context, kLm, kCapture.c_str(), "66081f3c", kByModel), 1);
    EXPECT_EQ(
        rig.Present({kCapture + CardLink("66081F3C", "A"), kCapture + CardLink("66081F3C", "B"),
                     kCapture + CardLink("66081F3C", "C"), kCapture + CardLink("66081F3C", "D")}),
        Paths{kCapture + CardLink("66081F3C", "D")});
}

TEST(InterfaceKeyWalk, TheEncoderClassGoesWholeOnceItHasAnInterface) {
    RegistryRig rig;
    rig.Keys({kWholeClass});
    rig.Family(FamilyCx88Encoder, 0);
    EXPECT_EQ(DeleteInterfaceKeys(rig.context, kLm, kWholeClass.c_str(), "66301F3C", kByModel), 0);
    rig.Keys({kWholeClass + "##?#PCI#VEN_1234&DEV_0001#x"});  // anyone's, not running
    EXPECT_EQ(DeleteInterfaceKeys(rig.context, kLm, kWholeClass.c_str(), "66301F3C", kByModel), 1);
    EXPECT_EQ(rig.Logged(), Paths{kHklm + kWholeClass});
}

TEST(InterfaceKeyWalk, UsbLinksCompareTheStickIdAfterTheBusPartOfALongEnoughName) {
    RegistryRig rig;
    const std::string stick = kCapture + "##?#USB#Vid_0eb1&Pid_6668#5&1&0&1#{x}";
    const std::string other = kCapture + "##?#USB#Vid_0eb1&Pid_7007#5&1&0&2#{x}";
    rig.Keys({stick, kCapture + "abc\\Control"});  // "abc" is read right after the stick's link
    rig.Family(FamilyWisUsb, 0);
    EXPECT_EQ(DeleteInterfaceKeys(rig.context, kLm, kCapture.c_str(), "VID_0EB1&PID_6668", kByText),
              0);
    rig.Keys({other});
    rig.Family(FamilyWisUsb, 1);
    EXPECT_EQ(DeleteInterfaceKeys(rig.context, kLm, kCapture.c_str(), "", kByText), 0);
    EXPECT_EQ(DeleteInterfaceKeys(rig.context, kLm, kCapture.c_str(), "VID_0EB1&PID_6668", kByText),
              1);
    EXPECT_EQ(rig.Present({stick, other, kCapture + "abc"}), (Paths{other, kCapture + "abc"}));
}

TEST(UsbAudioInterfaceWalk, RemovesTheStickAudioLinksUpToAnUnreadableDeviceKey) {
    RegistryRig rig;
    auto link = [&](const std::string& path, const char* name, bool running) {
        rig.Value(kAudio + path + "\\Device Parameters", "FriendlyName", name);
        if (running) rig.Keys({kAudio + path + "\\Control"});
        return kAudio + path;
    };
    const Paths links = {link("A\\#Wave", "USB EMP Audio Device", true),
                         link("A\\#Topology", "USB EMP Audio Device #2", true),
                         link("A\\#Idle", "USB EMP Audio Device", false),
                         link("A\\#Other", "USB Audio Device", true),
                         link("C\\#Wave", "USB EMP Audio Device", true)};
    rig.Keys({kAudio + "B"});
    rig.Deny(kAudio + "B");
    EXPECT_EQ(DeleteUsbAudioInterfaceKeys(rig.context, kLm, kAudio.c_str()), 1);
    EXPECT_EQ(rig.Present(links), (Paths{links[2], links[3], links[4]}));
    rig.state.expertMode = 1;
    EXPECT_EQ(DeleteUsbAudioInterfaceKeys(rig.context, kLm, kAudio.c_str()), 1);
    EXPECT_EQ(rig.Present(links), (Paths{links[3], links[4]}));
    EXPECT_TRUE(rig.Has(kAudio + "A"));
}

TEST(EnumDeviceWalk, SticksMatchInUpperCaseAndCardsByTheirSubsystemInExpertMode) {
    RegistryRig rig;
    const Paths keys = {kEnum + "USB\\Vid_0eb1&Pid_6668\\5&1&0&1",
                        kEnum + "USB\\Vid_0eb1&Pid_7007",
                        kEnum + "PCI\\VEN_14F1&DEV_8800&SUBSYS_661D1F3C&REV_05\\4&1&0&20F0",
                        kEnum + "PCI\\VEN_14F1&DEV_8800&SUBSYS_661E1F3C&REV_05",
                        kEnum + "PCI\\VEN_14F1&DEV_8800&SUBSYS_66081F3C&REV_05",
                        kEnum + "PCI\\VEN_14F1&DEV_8800&SUBSYS_D6000070&REV_05"};
    rig.Keys(keys);
    rig.Deny(kEnum + "USB\\Vid_0eb1&Pid_6668");
    const std::string usb = kEnum + "USB\\", pci = kEnum + "PCI\\";
    rig.Family(FamilyWisUsb, 0);
    EXPECT_EQ(DeleteEnumDeviceKeys(rig.context, kLm, usb.c_str(), ""), 0);
    EXPECT_EQ(DeleteEnumDeviceKeys(rig.context, kLm, usb.c_str(), "vid_0eb1&pid_6668"), 0);
    EXPECT_EQ(DeleteEnumDeviceKeys(rig.context, kLm, usb.c_str(), "VID_0EB1&PID_6668"), 1);
    rig.Family(FamilyCx88Dv, 0);
    EXPECT_EQ(DeleteEnumDeviceKeys(rig.context, kLm, pci.c_str(), "VEN_14F1&DEV_8800"), 0);
    rig.Family(FamilyCx88Dv, 1);
    EXPECT_EQ(DeleteEnumDeviceKeys(rig.context, kLm, pci.c_str(), "VEN_14F1&DEV_8800"), 1);
    EXPECT_EQ(rig.Present(keys), (Paths{keys[1], keys[4], keys[5]}));
    EXPECT_EQ(rig.Logged()[0], kHklm + usb + "Vid_0eb1&Pid_6668\\");
}

TEST(StreamDeviceWalk, TakesRunningInstancesAndTheDeviceKeyWithTheLastOne) {
    RegistryRig rig;
    const std::string tuner = kStream + "cvtuner.philips\\";
    rig.Keys({tuner + "1&1\\Control", tuner + "1&2\\Control", tuner + "1&3\\LogConf",
              kStream + "CVTUNER.PHILIPS2\\1\\LogConf", kStream + "CVTUNER.PHILIPS2\\2\\LogConf"});
    auto purge = [&](const char* name) {
        return DeleteStreamDeviceKeys(rig.context, kLm, kStream.c_str(), name);
    };
    EXPECT_EQ(purge("cvtuner.philips"), 1);
    EXPECT_EQ(rig.Present({tuner + "1&1", tuner + "1&2", tuner + "1&3"}), Paths{tuner + "1&3"});
    rig.state.expertMode = 1;
    EXPECT_EQ(purge("CVTUNER.PHILIPS"), 0);  // names compare exactly
    EXPECT_EQ(purge("cvtuner.philips"), 1);
    EXPECT_EQ(rig.Logged(),
              (Paths{kHklm + tuner + "1&1\\", kHklm + tuner + "1&2\\", kHklm + tuner}));
    rig.Family(FamilyCx88Encoder, 0);
    EXPECT_EQ(purge("CVTUNER.PHILIPS2"), 1);  // the encoder card's device key goes at once
    EXPECT_FALSE(rig.Has(kStream + "CVTUNER.PHILIPS2"));
}

// A run stopped inside the deletion of a device key leaves it without instances.
TEST(StreamDeviceWalk, ADeviceKeyLeftWithoutInstancesGoesInEitherMode) {
    for (int expert : {0, 1}) {
        RegistryRig rig;
        rig.Keys({kStream + "cvxbar.boardmux", kStream + "cvtuner.philips\\1&1\\LogConf"});
        rig.Family(FamilyBt878, expert);
        EXPECT_EQ(DeleteStreamDeviceKeys(rig.context, kLm, kStream.c_str(), "cvxbar.boardmux"), 1);
        EXPECT_FALSE(rig.Has(kStream + "cvxbar.boardmux"));
        EXPECT_EQ(rig.Logged(), Paths{kHklm + kStream + "cvxbar.boardmux\\"});
        // An instance that is not running keeps its device key in working mode.
        EXPECT_EQ(DeleteStreamDeviceKeys(rig.context, kLm, kStream.c_str(), "cvtuner.philips"),
                  expert);
        EXPECT_EQ(rig.Has(kStream + "cvtuner.philips"), expert == 0);
    }
}

TEST(EnumValueWalk, RemovesOneValuePerCallAndLeavesTheKeysDacl) {
    RegistryRig rig;
    for (const char* name :
         {"NextParentID.1a2b3c4d.1", "NextParentID.1a2b3c4d.2", "NextParentID.9.1"}) {
        rig.Value(kEnum, name, "1");
    }
    const std::string dacl = rig.Dacl(kEnum);
    ValueNames names(rig.registry, kLm, kEnum.c_str());
    auto deleteFirst = [&](const char* pattern) {
        return DeleteFirstValueContaining(rig.context, kLm, kEnum.c_str(), names, pattern);
    };
    EXPECT_EQ(deleteFirst("1a2b3c4d"), 1);
    EXPECT_TRUE(rig.HasValue(kEnum, "NextParentID.1a2b3c4d.2"));
    EXPECT_EQ(rig.Dacl(kEnum), dacl);
    EXPECT_EQ(rig.Logged(), Paths{kHklm + kEnum + " NextParentID.1a2b3c4d.1"});
    rig.machine.SetKeyDacl(kLm, kEnum, "D:(A;;KR;;;WD)");
    rig.registry.refuseDaclWrites = true;  // the value stays: neither counted nor logged
    EXPECT_EQ(deleteFirst("1a2b3c4d"), 0);
    EXPECT_EQ(rig.Logged().size(), 1u);
    EXPECT_EQ(rig.state.progressTotal, 1);
    rig.registry.refuseDaclWrites = false;  // the refused value is still the first to match
    EXPECT_EQ(deleteFirst("1a2b3c4d"), 1);
    EXPECT_EQ(deleteFirst("1a2b3c4d"), 0);
    EXPECT_EQ(rig.Logged().back(), kHklm + kEnum + " NextParentID.1a2b3c4d.2");
    EXPECT_TRUE(rig.HasValue(kEnum, "NextParentID.9.1"));
}

class MediumCacheWalk : public ::testing::Test {
  protected:
    const std::string entry = kCache + "{a19dc2e0-3b39-11d1-905f-0000c0cc16ba}-0-0";
    const std::string other = kCache + "{a19dc3e0-3b39-11d1-905f-0000c0cc16ba}-1-0";
    const std::string capitals = kCache + "{A19DC2E0-3B39-11D1-905F-0000C0CC16BA}-2-0";
    void Register(const std::string& key, const std::string& link) { rig.Value(key, link, ""); }
    int Purge(const char* pattern, int byModel) {
        MediumCacheEntries cache(kLm, kCache);
        return PurgeMediumCacheCategory(rig.context, cache, "{a19dc2e0-3b39-11d1-905f-0000c0cc16ba}",
                                        pattern, byModel);
    }
    RegistryRig rig;
};

TEST_F(MediumCacheWalk, CardsLoseOnlyTheirOwnValuesInTheCategorysEntriesInExpertMode) {
    const std::string ours = CardLink("66081F3C", "1a2b3c4d");
    const std::string stream = "##?#Stream#vstune#8&1a2b3c4d&0&0#{x}";
    const std::string shared = CardLink("D6000070");
    for (const std::string& link : {ours, stream, shared}) Register(entry, link);
    Register(other, stream);
    Register(capitals, stream);
    const std::string dacl = rig.Dacl(entry);
    rig.Family(FamilyCx88, 0);
    EXPECT_EQ(Purge("1a2b3c4d", kByText) + Purge("66081F3C", kByModel), 0);
    rig.Family(FamilyCx88, 1);
    EXPECT_EQ(Purge("", kByText), 0);
    EXPECT_EQ(Purge("1a2b3c4d", kByText), 1);
    EXPECT_EQ(rig.Logged(), (Paths{kHklm + entry + "\\ " + ours, kHklm + entry + "\\ " + stream}));
    EXPECT_TRUE(rig.HasValue(other, stream) && rig.HasValue(capitals, stream));
    Register(entry, ours);
    EXPECT_EQ(Purge("VEN_14F1&DEV_8800", kByModel), 1);
    EXPECT_FALSE(rig.HasValue(entry, ours));
    EXPECT_TRUE(rig.HasValue(entry, shared));
    EXPECT_EQ(rig.Dacl(entry), dacl);
}

TEST_F(MediumCacheWalk, SticksMatchInUpperCaseInEveryEntry) {
    const std::string stick = "##?#usb#vid_0f6b&pid_6023&mi_00#6&1&0&0000#{x}";
    const std::string webcam = "##?#usb#vid_046d&pid_0990#6&2&0&0000#{x}";
    Register(entry, stick);
    Register(other, stick);
    Register(other, webcam);
    rig.Family(FamilyEmpiaUsb, 0);
    MediumCacheEntries cache(kLm, kCache);
    EXPECT_EQ(PurgeMediumCacheAll(rig.context, cache, ""), 0);
    EXPECT_EQ(PurgeMediumCacheAll(rig.context, cache, "VID_0F6B"), 1);
    EXPECT_FALSE(rig.HasValue(entry, stick) || rig.HasValue(other, stick));
    EXPECT_TRUE(rig.HasValue(other, webcam));
}

TEST_F(MediumCacheWalk, TheConexantWalkTakesTheEncoderCardsValuesInAnyCase) {
    const Paths ours = {"##?#pci#ven_14f1&dev_8802&subsys_66301f3c&rev_05#3&1&0&0#{x}",
                        CardLink("66301F3C"), "##?#Stream#vsbbxbar.vscnxt#1&1&0&0#{x}"};
    for (const std::string& link : ours) Register(entry, link);
    Register(other, ours[0]);
    Register(entry, CardLink("66081F3C"));
    MediumCacheEntries cache(kLm, kCache);
    EXPECT_EQ(PurgeMediumCacheConexant(rig.context, cache), 0);
    EXPECT_EQ(rig.Logged().size(), 4u);
    EXPECT_TRUE(rig.HasValue(entry, CardLink("66081F3C")));
}

}  // namespace
}  // namespace cvp::test
