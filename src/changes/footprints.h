// The registry keys that a removal made by Windows itself takes, read through the seam
// before it happens: what SetupDiRemoveDevice takes with a device, and what a filter
// module's unregistration removes.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace cvp {

// The keys below HKEY_LOCAL_MACHINE that Windows removes with a device, in the order it
// removes them: the instance key (SYSTEM\CurrentControlSet\Enum\<ID>), the driver key its
// "Driver" value names, every interface key whose "DeviceInstance" names the device,
// then the device key and the bus key when the removal leaves them without subkeys.
// Empty when the instance key is not there.
std::vector<std::string> DeviceRemovalKeys(Registry& registry, const std::string& instanceId);

// DeviceRemovalKeys for the devices of one machine, one after another: the interface keys
// are read once, at the first device, and found again by the instance they name. One
// removed since is passed over; the machine must gain no interface key meanwhile.
class DeviceFootprints {
  public:
    explicit DeviceFootprints(Registry& registry) : registry_(registry) {}
    std::vector<std::string> Keys(const std::string& instanceId);

  private:
    void IndexInterfaceKeys();

    Registry& registry_;
    bool indexed_ = false;
    // Lower-case instance ID -> its interface keys, in the order Windows meets them.
    std::unordered_map<std::string, std::vector<std::string>> interfaces_;
};

// The class-identifier keys below HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID whose
// InprocServer32 names the module: what a module's DllUnregisterServer removes.
std::vector<std::string> ComRegistrationKeys(Platform& platform, const std::string& modulePath);

}  // namespace cvp
