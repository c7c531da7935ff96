// The registry keys that a removal made by Windows itself takes, read through the seam
// before it happens: what SetupDiRemoveDevice takes with a device, and what a filter
// module's unregistration removes.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace cvp {

// The keys below HKEY_LOCAL_MACHINE that Windows removes with a device, in the order it
// removes them: the instance key (SYSTEM\CurrentControlSet\Enum\<ID>), the driver key its
// "Driver" value names, every interface key whose "DeviceInstance" names the device,
// then the device key and the bus key when the removal leaves them without subkeys.
// Empty when the instance key is not there.
std::vector<std::string> DeviceRemovalKeys(Registry& registry, const std::string& instanceId);

// The class-identifier keys below HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID whose
// InprocServer32 names the module: what a module's DllUnregisterServer removes.
std::vector<std::string> ComRegistrationKeys(Platform& platform, const std::string& modulePath);

}  // namespace cvp
