#include "registry/plan_steps.h"

#include <algorithm>
#include <cstring>

#include "registry/class_ids.h"
#include "registry/class_interface_walks.h"
#include "registry/enum_walks.h"
#include "registry/medium_cache_walks.h"
#include "registry/name_match.h"
#include "registry/primitives.h"
#include "registry/service_media_walks.h"

namespace cvp {
namespace {

constexpr Root kRoot = Root::LocalMachine;
constexpr const char* kMediaClassGuid = "{4D36E96C-E325-11CE-BFC1-08002BE10318}";

std::string MediumCategory(const char* firstGroup) {
    return std::string("{") + firstGroup + "-3b39-11d1-905f-0000c0cc16ba}";
}

// The used entries of an identifier list, however large its count claims to be.
int UsedEntries(int count) { return std::clamp(count, 0, kIdentifierSlots); }

}  // namespace

ControlSetPass::ControlSetPass(RunContext& context, const char* controlSet)
    : context_(context),
      controlSet_(controlSet),
      mediumCache_(kRoot, Area("Control\\MediumCache\\")) {}

bool ControlSetPass::FirstPass() const {
    return std::strcmp(controlSet_, ControlSetRoots.front()) == 0;
}

bool ControlSetPass::Expert() const { return context_.state.expertMode == 1; }
const RunState& ControlSetPass::state() const { return context_.state; }
const char* ControlSetPass::Primary() const { return context_.state.primaryHardwareId; }
const char* ControlSetPass::SecondaryPci() const { return context_.state.secondaryPciId; }
const char* ControlSetPass::SecondaryUsb() const { return context_.state.secondaryUsbId; }

std::string ControlSetPass::Area(const std::string& area) const { return controlSet_ + area; }
std::string ControlSetPass::MediaClass() const { return Class(kMediaClassGuid); }
std::string ControlSetPass::Class(const char* classGuid) const {
    return Area(std::string("Control\\Class\\") + classGuid + "\\");
}
std::string ControlSetPass::InterfaceClass(const char* classGuid) const {
    return Area(std::string("Control\\DeviceClasses\\") + classGuid + "\\");
}
std::string ControlSetPass::EnumPci() const { return Area("Enum\\PCI\\"); }
std::string ControlSetPass::EnumUsb() const { return Area("Enum\\USB\\"); }

void ControlSetPass::DeleteClassKeysByValue(const std::string& classPath, const char* valueName,
                                            NameList texts) {
    for (const char* text : texts) {
        cvp::DeleteClassKeysByValue(context_, kRoot, classPath.c_str(), valueName, text);
    }
}

void ControlSetPass::DeleteInterfaceKeys(const char* interfaceClass, const char* pattern,
                                         int byModel) {
    cvp::DeleteInterfaceKeys(context_, kRoot, InterfaceClass(interfaceClass).c_str(), pattern,
                             byModel);
}

void ControlSetPass::DeleteInterfaceKeys(NameList interfaceClasses, const char* pattern,
                                         int byModel) {
    for (const char* interfaceClass : interfaceClasses) {
        DeleteInterfaceKeys(interfaceClass, pattern, byModel);
    }
}

void ControlSetPass::DeleteInterfaceKeys(const char* interfaceClass, NameList patterns,
                                         int byModel) {
    for (const char* pattern : patterns) DeleteInterfaceKeys(interfaceClass, pattern, byModel);
}

void ControlSetPass::DeleteUsbAudioInterfaceKeys(NameList interfaceClasses) {
    for (const char* interfaceClass : interfaceClasses) {
        cvp::DeleteUsbAudioInterfaceKeys(context_, kRoot, InterfaceClass(interfaceClass).c_str());
    }
}

void ControlSetPass::DeleteEnumDeviceKeys(const std::string& busPath, const char* pattern) {
    cvp::DeleteEnumDeviceKeys(context_, kRoot, busPath.c_str(), pattern);
}

void ControlSetPass::DeleteStreamDeviceKeys(NameList deviceNames) {
    const std::string stream = Area("Enum\\Stream\\");
    for (const char* deviceName : deviceNames) {
        cvp::DeleteStreamDeviceKeys(context_, kRoot, stream.c_str(), deviceName);
    }
}

void ControlSetPass::DeleteEnumValuesContaining(const char (*identifiers)[kIdentifierSize],
                                                int count) {
    const std::string enumPath = Area("Enum\\");
    ValueNames names(context_.platform.registry, kRoot, enumPath.c_str());
    for (int i = 0; i < UsedEntries(count); ++i) {
        if (identifiers[i][0] == '\0') continue;
        DeleteFirstValueContaining(context_, kRoot, enumPath.c_str(), names, identifiers[i]);
    }
}

void ControlSetPass::DeleteParentIdPrefixValues() {
    DeleteEnumValuesContaining(context_.state.parentIdPrefixes, context_.state.parentIdPrefixCount);
}

void ControlSetPass::DeleteInstanceSuffixValues() {
    DeleteEnumValuesContaining(context_.state.instanceSuffixes, context_.state.instanceSuffixCount);
}

void ControlSetPass::PurgeParentIdPrefixCache(NameList categories) {
    const RunState& run = context_.state;
    for (int i = 0; i < UsedEntries(run.parentIdPrefixCount); ++i) {
        if (run.parentIdPrefixes[i][0] == '\0') continue;
        PurgeMediumCacheCategory(categories, run.parentIdPrefixes[i], kByText);
    }
}

void ControlSetPass::PurgeMediumCacheCategory(NameList categories, const char* pattern,
                                              int byModel) {
    for (const char* category : categories) {
        cvp::PurgeMediumCacheCategory(context_, mediumCache_, MediumCategory(category).c_str(),
                                      pattern, byModel);
    }
}

void ControlSetPass::PurgeMediumCacheAll(const char* pattern) {
    cvp::PurgeMediumCacheAll(context_, mediumCache_, pattern);
}

void ControlSetPass::PurgeMediumCacheConexant() {
    cvp::PurgeMediumCacheConexant(context_, mediumCache_);
}

void ControlSetPass::DeleteServiceKeys(NameList services) {
    const std::string servicesPath = Area("Services\\");
    for (const char* service : services) {
        DeleteServiceKey(context_, kRoot, servicesPath.c_str(), service);
    }
}

void ControlSetPass::DeleteMachineClsids(NameList classIds) {
    for (const char* classId : classIds) DeleteMachineClsid(context_, classId);
}

void ControlSetPass::DeleteSubkeysContaining(const char* area, NameList patterns) {
    const std::string path = Area(area);
    for (const char* pattern : patterns) {
        cvp::DeleteSubkeysContaining(context_, kRoot, path.c_str(), pattern);
    }
}

}  // namespace cvp
