#include "changes/footprints.h"

#include <algorithm>

#include "changes/registry_capture.h"
#include "platform/image/ascii_text.h"

namespace cvp {
namespace {

constexpr const char* kEnum = "SYSTEM\\CurrentControlSet\\Enum";
constexpr const char* kClass = "SYSTEM\\CurrentControlSet\\Control\\Class";
constexpr const char* kDeviceClasses = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses";
constexpr const char* kClassIds = "SOFTWARE\\Classes\\CLSID";

std::vector<std::string> Subkeys(Registry& registry, const std::string& path) {
    return ReadSubkeyNames(registry, Root::LocalMachine, path);
}

std::string StringValue(Registry& registry, const std::string& path, const std::string& name) {
    return ReadStringValue(registry, Root::LocalMachine, path, name);
}

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('\\')); }

// `below` ("A\B") under `path` as the registry spells each name: SetupAPI hands out
// instance IDs in a case of its own (Wine's in capitals), and a key made again from a
// receipt must have the name it had.
std::string Spelled(Registry& registry, std::string path, const std::string& below) {
    for (size_t start = 0; start <= below.size();) {
        const size_t end = std::min(below.find('\\', start), below.size());
        const std::string name = below.substr(start, end - start);
        const std::vector<std::string> names = Subkeys(registry, path);
        const auto found = std::find_if(names.begin(), names.end(), [&](const std::string& known) {
            return EqualsNoCase(known, name);
        });
        path += "\\" + (found != names.end() ? *found : name);
        start = end + 1;
    }
    return path;
}

// A key whose only subkey is `child` is left empty when `child` goes.
bool OnlySubkeyIs(Registry& registry, const std::string& path, const std::string& child) {
    const std::vector<std::string> names = Subkeys(registry, path);
    return names.size() == 1 && EqualsNoCase(path + "\\" + names.front(), child);
}

// %SystemRoot% and %windir% as the machine's Windows directory.
std::string Expanded(Files& files, std::string text) {
    char windows[kTextSize];
    const unsigned length = files.WindowsDirectory(windows, kTextSize);
    if (length == 0 || length >= kTextSize) return text;
    for (const char* variable : {"%systemroot%", "%windir%"}) {
        const size_t at = LowerCopy(text).find(variable);
        if (at != std::string::npos) text.replace(at, std::string(variable).size(), windows);
    }
    return text;
}

// A registration names the module by its full path, or by its bare file name when the
// module lies in the system directory, where LoadLibrary looks for a bare name.
bool NamesModule(Files& files, std::string registered, const std::string& modulePath) {
    if (registered.size() >= 2 && registered.front() == '"' && registered.back() == '"') {
        registered = registered.substr(1, registered.size() - 2);
    }
    registered = Expanded(files, registered);
    if (EqualsNoCase(registered, modulePath)) return true;
    if (registered.find_first_of("\\/") != std::string::npos) return false;
    char system[kTextSize];
    const unsigned length = files.SystemDirectory(system, kTextSize);
    return length > 0 && length < kTextSize &&
           EqualsNoCase(std::string(system) + "\\" + registered, modulePath);
}

}  // namespace

std::vector<std::string> DeviceRemovalKeys(Registry& registry, const std::string& instanceId) {
    return DeviceFootprints(registry).Keys(instanceId);
}

std::vector<std::string> DeviceFootprints::Keys(const std::string& instanceId) {
    std::vector<std::string> keys;
    std::unique_ptr<RegistryKey> key;
    if (instanceId.empty() ||
        registry_.OpenKey(Root::LocalMachine, (std::string(kEnum) + "\\" + instanceId).c_str(),
                          kKeyRead, &key) != kErrorSuccess) {
        return keys;
    }
    const std::string instance = Spelled(registry_, kEnum, instanceId);
    keys.push_back(instance);
    const std::string driver = StringValue(registry_, instance, "Driver");
    if (!driver.empty()) keys.push_back(Spelled(registry_, kClass, driver));
    IndexInterfaceKeys();
    for (const std::string& link : interfaces_[LowerCopy(instanceId)]) {
        std::unique_ptr<RegistryKey> interfaceKey;
        if (registry_.OpenKey(Root::LocalMachine, link.c_str(), kKeyRead, &interfaceKey) !=
            kErrorFileNotFound) {
            keys.push_back(link);
        }
    }

    const std::string device = Parent(instance);
    if (OnlySubkeyIs(registry_, device, instance)) {
        keys.push_back(device);
        if (OnlySubkeyIs(registry_, Parent(device), device)) keys.push_back(Parent(device));
    }
    return keys;
}

void DeviceFootprints::IndexInterfaceKeys() {
    if (indexed_) return;
    for (const std::string& interfaceClass : Subkeys(registry_, kDeviceClasses)) {
        const std::string classPath = std::string(kDeviceClasses) + "\\" + interfaceClass;
        for (const std::string& link : Subkeys(registry_, classPath)) {
            const std::string linkPath = classPath + "\\" + link;
            const std::string owner = StringValue(registry_, linkPath, "DeviceInstance");
            if (!owner.empty()) interfaces_[LowerCopy(owner)].push_back(linkPath);
        }
    }
    indexed_ = true;
}

std::vector<std::string> ComRegistrationKeys(Platform& platform, const std::string& modulePath) {
    std::vector<std::string> keys;
    for (const std::string& classId : Subkeys(platform.registry, kClassIds)) {
        if (classId.empty() || classId.front() != '{') continue;
        const std::string path = std::string(kClassIds) + "\\" + classId;
        const std::string server = StringValue(platform.registry, path + "\\InprocServer32", "");
        if (!server.empty() && NamesModule(platform.files, server, modulePath))
            keys.push_back(path);
    }
    return keys;
}

}  // namespace cvp
