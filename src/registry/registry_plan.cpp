// The main registry cleanup: for each control set, the target family's fixed list of
// registry walks. Every walk reports each key or value it removed, after the removal
// succeeded, so the plan itself reports nothing.
#include "registry/class_ids.h"
#include "registry/name_match.h"
#include "registry/plan_steps.h"
#include "registry/primitives.h"
#include "registry/registry_stages.h"

namespace cvp {
namespace {

// Interface classes under Control\DeviceClasses, written exactly as passed.
constexpr const char* kK1 = "{65e8773d-8f56-11d0-a3b9-00a0c9223196}";
constexpr const char* kK2 = "{65e8773e-8f56-11d0-a3b9-00a0c9223196}";
constexpr const char* kK3 = "{6994ad04-93ef-11d0-a3cc-00a0c9223196}";
constexpr const char* kK4 = "{6994ad05-93ef-11d0-a3cc-00a0c9223196}";
constexpr const char* kTvAudio = "{a799a802-a46d-11d0-a18c-00a02401dcd4}";
constexpr const char* kTuner = "{a799a800-a46d-11d0-a18c-00a02401dcd4}";
constexpr const char* kCrossbar = "{a799a801-a46d-11d0-a18c-00a02401dcd4}";
constexpr const char* kE1 = "{19689BF6-C384-48FD-AD51-90E58C79F70B}";
constexpr const char* kE2 = "{7A5DE1D3-01A1-452C-B481-4FA2B96271E8}";
constexpr const char* kImage = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
constexpr const char* kB1 = "{dda54a40-1e4c-11d1-a050-405705c10000}";
constexpr const char* kUsbDevice = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
constexpr const char* kA1 = "{d6c50671-72c1-11d2-9755-0000f8004788}";
constexpr const char* kA2 = "{fbf6f530-07b9-11d2-a71e-0000f8004788}";

// The interface classes of a capture card's video, crossbar and TV audio functions.
constexpr const char* kCardInterfaces[] = {kK1, kK2, kK3, kK4, kTvAudio};

// The CX2388x services that the QX4100 XP Expert and the QD4100 drivers share.
constexpr const char* kCx88SharedServices[] = {"VS23880", "VS88XBAR", "VSTUNE"};

// --- Family 0: Bt878 card ---------------------------------------------------------------

constexpr const char* kBt878InfSections[] = {"CV606.Philips", "CV606.NoTuner", "CVXBAR.BOARDMUX",
                                             "CVTUNER.Philips"};
constexpr const char* kBt878Tuners[] = {"CVTUNER.PHILIPS"};
constexpr const char* kBt878Crossbars[] = {"CVXBAR.BOARDMUX"};
constexpr const char* kBt878Streams[] = {"cvtuner.philips", "cvxbar.boardmux"};
constexpr const char* kBt878Categories[] = {"a19dc1e0", "a19dc1e1", "a19dc1e3", "a19dc1e4",
                                            "a19dc1e5"};
constexpr const char* kBt878Services[] = {"BT848", "qx4ktunr", "Qx4kXbar"};

// The media-class keys whose InfSection is "AudioSection" stay: that section name is
// not the maker's own, and other drivers' audio functions use it too.
void PlanBt878(ControlSetPass& pass) {
    pass.DeleteClassKeysByValue(pass.MediaClass(), "InfSection", kBt878InfSections);
    // The chip-wide pattern names every vendor's Bt878 board: in expert mode the card
    // model test decides, as for the other cards. In working mode the pattern is
    // already the card's own subsystem pair.
    pass.DeleteInterfaceKeys(kCardInterfaces, pass.Primary(), kByModel);
    pass.DeleteInterfaceKeys(kTuner, kBt878Tuners, kByText);
    pass.DeleteInterfaceKeys(kCrossbar, kBt878Crossbars, kByText);
    pass.DeleteEnumDeviceKeys(pass.EnumPci(), "VEN_109E&DEV_036E");
    pass.DeleteStreamDeviceKeys(kBt878Streams);
    pass.DeleteParentIdPrefixValues();
    pass.PurgeParentIdPrefixCache(kBt878Categories);
    pass.PurgeMediumCacheCategory(kBt878Categories, pass.Primary(), kByModel);
    pass.DeleteServiceKeys(kBt878Services);
    pass.DeleteEnumDeviceKeys(pass.EnumPci(), "VEN_109E&DEV_0878");  // the audio function
}

// --- Family 2: CX2388x card (QX4100 XP Expert) ------------------------------------------

constexpr const char* kCx88DriverDescs[] = {"Vistrel QX4100 XP Expert WDM"};
constexpr const char* kCx88Tuners[] = {"VSTUNE.FM1216MK3", "VSTUNE.FM1236MK3", "VSTUNE.FM1286MK3"};
constexpr const char* kCx88Crossbars[] = {"VS88XBAR.CNXT"};
constexpr const char* kCx88Streams[] = {"vs88xbar.cnxt", "vstune.fm1216mk3", "vstune.fm1236mk3",
                                        "vstune.fm1286mk3"};
constexpr const char* kCx88PrefixCategories[] = {"a19dc2e0", "a19dc2e1", "a19dc2e3", "a19dc2e4",
                                                 "a19dc2e6"};
constexpr const char* kCx88ModelCategories[] = {"a19dc2e1", "a19dc2e0", "a19dc2e3", "a19dc2e4",
                                                "a19dc2e6"};

void PlanCx88(ControlSetPass& pass) {
    pass.DeleteClassKeysByValue(pass.MediaClass(), "DriverDesc", kCx88DriverDescs);
    pass.DeleteInterfaceKeys(kCardInterfaces, pass.Primary(), kByModel);
    pass.DeleteInterfaceKeys(kTuner, kCx88Tuners, kByText);
    pass.DeleteInterfaceKeys(kCrossbar, kCx88Crossbars, kByText);
    pass.DeleteStreamDeviceKeys(kCx88Streams);
    pass.DeleteParentIdPrefixValues();
    pass.DeleteEnumDeviceKeys(pass.EnumPci(), pass.Primary());
    pass.PurgeParentIdPrefixCache(kCx88PrefixCategories);
    pass.PurgeMediumCacheCategory(kCx88ModelCategories, pass.Primary(), kByModel);
    if (pass.state().foundDvCard == 0) pass.DeleteServiceKeys(kCx88SharedServices);
}

// --- Family 4: CX2388x card (QD4100) ----------------------------------------------------

constexpr const char* kDvInfSections[] = {
    "VS23880.FM1216MK3.DV", "VS23880.FM1236MK3.DV", "VS23880.FM1286MK3.DV", "VS88XBAR.Cnxt.DV",
    "VSTUNE.FM1216MK3.DV",  "VSTUNE.FM1236MK3.DV",  "VSTUNE.FM1286MK3.DV"};
constexpr const char* kDvTuners[] = {"VSTUNE.FM1216MK3.DV", "VSTUNE.FM1236MK3.DV",
                                     "VSTUNE.FM1286MK3.DV"};
constexpr const char* kDvCrossbars[] = {"VS88XBAR.CNXT.DV"};
constexpr const char* kDvStreams[] = {"vs88xbar.cnxt.dv", "vstune.fm1216mk3.dv",
                                      "vstune.fm1236mk3.dv", "vstune.fm1286mk3.dv"};
constexpr const char* kDvPrefixCategories[] = {"a19dc3e0", "a19dc3e1", "a19dc3e3", "a19dc2e0",
                                               "a19dc2e1", "a19dc2e3", "a19dc2e4", "a19dc2e6"};
constexpr const char* kDvModelCategories[] = {"a19dc2e0", "a19dc2e1", "a19dc2e3", "a19dc2e4",
                                              "a19dc2e6"};

void PlanCx88Dv(ControlSetPass& pass) {
    pass.DeleteClassKeysByValue(pass.MediaClass(), "InfSection", kDvInfSections);
    pass.DeleteInterfaceKeys(kCardInterfaces, pass.Primary(), kByModel);
    pass.DeleteInterfaceKeys(kTuner, kDvTuners, kByText);
    pass.DeleteInterfaceKeys(kCrossbar, kDvCrossbars, kByText);
    pass.DeleteStreamDeviceKeys(kDvStreams);
    pass.DeleteParentIdPrefixValues();
    pass.DeleteEnumDeviceKeys(pass.EnumPci(), pass.Primary());
    pass.PurgeParentIdPrefixCache(kDvPrefixCategories);
    pass.PurgeMediumCacheCategory(kDvModelCategories, pass.Primary(), kByModel);
    if (pass.state().foundCx88Card == 0) pass.DeleteServiceKeys(kCx88SharedServices);
}

// --- Family 5: CX2388x card with MPEG encoder (QR4100) ----------------------------------

constexpr const char* kEncoderDrivers[] = {
    "vsbbvcap.sys", "vsbbxbar.sys", "vsbbtune.sys", "vsbbenc.sys", "vspvrcap.sys", "vspvrbar.sys",
    "vspvrtun.sys", "vspvrenc.sys", "cx88vid.sys",  "cx88enc.sys", "cxavxbar.sys", "CX88TUNE.sys"};
constexpr const char* kEncoderCaptureInterfaces[] = {kK1, kK2, kK3, kK4};
constexpr const char* kEncoderTuners[] = {"cxtune.VEN_14F1.PhilipsMK3", "vstuner.ntsc",
                                          "vstuner.ntscj", "vstuner.pal"};
constexpr const char* kEncoderCrossbars[] = {"cx88xbar.VEN_14F1.BB", "vsxbar.xbar"};
constexpr const char* kEncoderAudioInterfaces[] = {kTvAudio, kE1, kE2};
constexpr const char* kEncoderBbTuners[] = {"VSBBTUNE.VSNTSC", "VSBBTUNE.VSPAL",
                                            "VSBBTUNE.VSNTSCJ"};
constexpr const char* kEncoderBbCrossbars[] = {"VSBBXBAR.VSCNXT"};
constexpr const char* kEncoderStreams[] = {"vsbbxbar.vscnxt",      "vsbbtune.vsntsc",
                                           "vsbbtune.vspal",       "vsbbtune.vsntscj",
                                           "vsxbar.xbar",          "vstuner.ntsc",
                                           "vstuner.ntscj",        "vstuner.pal",
                                           "cx88xbar.VEN_14F1.BB", "cxtune.VEN_14F1.PhilipsMK3"};
constexpr const char* kEncoderCategories[] = {"a19dc3e0", "a19dc3e1", "a19dc3e3",
                                              "a19dc3e4", "a19dc3e5", "a19dc3e6"};
constexpr const char* kEncoderServices[] = {
    "VSBB",     "VSBBTUNE", "VSBBXBAR", "VSBBENC", "VSPVRVIDEO", "VSPVRBAR", "VSPVRTUNER",
    "VSPVRENC", "VSTUNE",   "CX23880",  "CX88ENC", "CXAVXBAR",   "CXTUNE"};

// "Second": in expert mode, the step just before it again with the second PCI ID.
void PlanCx88Encoder(ControlSetPass& pass) {
    pass.DeleteClassKeysByValue(pass.MediaClass(), "NTMPDriver", kEncoderDrivers);
    for (const char* interfaceClass : kEncoderCaptureInterfaces) {
        pass.DeleteInterfaceKeys(interfaceClass, pass.Primary(), kByModel);
        if (pass.Expert()) pass.DeleteInterfaceKeys(interfaceClass, pass.SecondaryPci(), kByModel);
    }
    pass.DeleteInterfaceKeys(kTuner, kEncoderTuners, kByModel);
    pass.DeleteInterfaceKeys(kCrossbar, kEncoderCrossbars, kByModel);
    for (const char* interfaceClass : kEncoderAudioInterfaces) {
        pass.DeleteInterfaceKeys(interfaceClass, pass.Primary(), kByModel);
        if (pass.Expert()) pass.DeleteInterfaceKeys(interfaceClass, pass.SecondaryPci(), kByModel);
    }
    pass.DeleteInterfaceKeys(kTuner, kEncoderBbTuners, kByModel);
    pass.DeleteInterfaceKeys(kCrossbar, kEncoderBbCrossbars, kByModel);
    pass.DeleteStreamDeviceKeys(kEncoderStreams);
    pass.DeleteParentIdPrefixValues();
    pass.DeleteEnumDeviceKeys(pass.EnumPci(), pass.Primary());
    if (pass.Expert()) pass.DeleteEnumDeviceKeys(pass.EnumPci(), pass.SecondaryPci());
    pass.PurgeParentIdPrefixCache(kEncoderCategories);
    pass.PurgeMediumCacheCategory(kEncoderCategories, pass.Primary(), kByModel);
    if (pass.Expert()) {
        pass.PurgeMediumCacheCategory(kEncoderCategories, pass.SecondaryPci(), kByText);
    }
    pass.PurgeMediumCacheConexant();
    pass.DeleteServiceKeys(kEncoderServices);
}

// --- Family 8: eMPIA USB stick ----------------------------------------------------------

constexpr const char* kEmpiaMediaDrivers[] = {"emAudio.sys"};
constexpr const char* kEmpiaImageDrivers[] = {"emDevice.sys"};
constexpr const char* kEmpiaInterfaces[] = {kK1,    kK4,       kImage, kTvAudio,
                                            kTuner, kCrossbar, kB1,    kUsbDevice};
constexpr const char* kEmpiaAudioInterfaces[] = {kA1, kA2};
constexpr const char* kEmpiaServices[] = {"emAudio", "FiltUSBEMPIA", "DCamUSBEMPIA",
                                          "ScanUSBEMPIA"};

void PlanEmpiaUsb(ControlSetPass& pass) {
    pass.DeleteClassKeysByValue(pass.MediaClass(), "NTMPDriver", kEmpiaMediaDrivers);
    pass.DeleteClassKeysByValue(pass.Class(kImage), "NTMPDriver", kEmpiaImageDrivers);
    pass.DeleteInterfaceKeys(kEmpiaInterfaces, pass.Primary(), kByText);
    pass.DeleteUsbAudioInterfaceKeys(kEmpiaAudioInterfaces);
    pass.DeleteParentIdPrefixValues();
    pass.DeleteInstanceSuffixValues();
    pass.DeleteEnumDeviceKeys(pass.EnumUsb(), pass.Primary());
    pass.PurgeMediumCacheAll(pass.Primary());
    pass.DeleteServiceKeys(kEmpiaServices);
}

// --- Family 9: WIS GO7007 USB stick (RoamView) ------------------------------------------

constexpr const char* kWisMediaInterfaces[] = {"{E65DDCB1-652E-4843-958F-95099EEDEC8D}"};
constexpr const char* kWisMediaCategories[] = {"{C4558D36-344C-4dc8-AE08-E2AAC7A2E19F}",
                                               "{C4558D37-344C-4dc8-AE08-E2AAC7A2E19F}",
                                               "{0AA9E57A-B804-4143-B295-FA70273E1421}"};
constexpr const char* kUsbClass = "{36FC9E60-C465-11CF-8056-444553540000}";
constexpr const char* kWisUsbDrivers[] = {"RVLoader.sys", "WisTunerLoader.sys"};
constexpr const char* kWisMediaDrivers[] = {"roamview.sys", "Wisgostrm.sys"};
constexpr const char* kWisInterfaces[] = {kK1,    kK4,       kImage,    kTvAudio,
                                          kTuner, kCrossbar, kUsbDevice};
constexpr const char* kWisServices[] = {"RoamView", "RoamViewTunerLoader", "WISTechVIDCAP",
                                        "WisTunerLoader", "RVLoader"};

void PlanWisUsb(ControlSetPass& pass) {
    // The class identifiers are not per control set: removed once, in the first pass.
    if (pass.FirstPass()) pass.DeleteMachineClsids(kRoamViewClassIds);
    pass.DeleteSubkeysContaining("Control\\MediaInterfaces\\", kWisMediaInterfaces);
    pass.DeleteSubkeysContaining("Control\\MediaSets\\", kWisMediaInterfaces);
    pass.DeleteSubkeysContaining("Control\\MediaCategories\\", kWisMediaCategories);
    pass.DeleteClassKeysByValue(pass.Class(kUsbClass), "NTMPDriver", kWisUsbDrivers);
    pass.DeleteClassKeysByValue(pass.MediaClass(), "NTMPDriver", kWisMediaDrivers);
    pass.DeleteInterfaceKeys(kWisInterfaces, pass.Primary(), kByText);
    const bool foundWis6668 = pass.state().foundWis6668 != 0;
    if (foundWis6668) pass.DeleteInterfaceKeys(kUsbDevice, pass.SecondaryUsb(), kByText);
    pass.DeleteParentIdPrefixValues();
    pass.DeleteInstanceSuffixValues();
    pass.DeleteEnumDeviceKeys(pass.EnumUsb(), pass.Primary());
    if (foundWis6668) pass.DeleteEnumDeviceKeys(pass.EnumUsb(), pass.SecondaryUsb());
    pass.DeleteServiceKeys(kWisServices);
}

struct FamilyPlan {
    ProductFamily family;
    void (*run)(ControlSetPass&);
};

// The nVidia card and "no family" have no plan.
constexpr FamilyPlan kFamilyPlans[] = {
    {FamilyBt878, PlanBt878},       {FamilyCx88, PlanCx88},
    {FamilyCx88Dv, PlanCx88Dv},     {FamilyCx88Encoder, PlanCx88Encoder},
    {FamilyEmpiaUsb, PlanEmpiaUsb}, {FamilyWisUsb, PlanWisUsb},
};

}  // namespace

void RunMainRegistryPlan(RunContext& context) {
    for (const FamilyPlan& plan : kFamilyPlans) {
        if (plan.family != context.state.family) continue;
        for (const char* controlSet : ControlSetRoots) {
            ControlSetPass pass(context, controlSet);
            plan.run(pass);
        }
    }
}

}  // namespace cvp
