#include "cleanup/device_removal.h"

#include <cstring>

#include "run/family_catalogue.h"
#include "run/progress.h"

namespace cvp {
namespace {

constexpr Dword kDescriptionSize = 255;
constexpr int kDeviceUnits = 2;

}  // namespace

int RemoveDeviceByDescription(RunContext& context, const char* enumerator, const char* name) {
    std::unique_ptr<DeviceSet> devices = context.platform.devices.OpenPresentDevices(enumerator);
    if (!devices) return 0;
    for (Dword index = 0; devices->EnumMember(index); ++index) {
        char description[kDescriptionSize] = {};
        if (!devices->ReadProperty(index, kPropertyDeviceDesc, description, kDescriptionSize)) {
            continue;
        }
        description[kDescriptionSize - 1] = '\0';
        if (std::strstr(description, name) == nullptr) continue;
        CopyText(context.state.currentItem, name, context.state.ansiCodePage);
        return devices->RemoveMember(index) ? 1 : 0;
    }
    return 0;
}

void RemoveFamilyDevices(RunContext& context) {
    const FamilyDeviceList& list = FamilyDeviceNames(context.state.family);
    for (int i = 0; i < list.count; ++i) {
        if (RemoveDeviceByDescription(context, list.enumerator, list.names[i]) == 1) {
            ReportProgress(context, kDeviceUnits);
        }
        if (list.pauseAfter[i] != 0) context.platform.system.Sleep(list.pauseAfter[i]);
    }
}

}  // namespace cvp
