// Present devices as Wine's SetupAPI finds them in the Enum keys (or, for an export of a
// running Windows, as Windows started them), and their removal as Windows'
// SetupDiRemoveDevice does it.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/image/ascii_text.h"
#include "platform/memory/machine_state.h"

namespace cvp {
namespace memory {
namespace {

constexpr const char* kEnumPath = "SYSTEM\\CurrentControlSet\\Enum";
constexpr const char* kClassPath = "SYSTEM\\CurrentControlSet\\Control\\Class";
constexpr const char* kDeviceClassesPath = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses";

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (LowerAscii(c) >= 'a' && LowerAscii(c) <= 'f');
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", as Wine reads it into a 39-character buffer.
bool IsGuidText(const std::vector<unsigned char>& data) {
    const std::string text(data.begin(), data.end());
    if (text.size() != 38 && !(text.size() == 39 && text[38] == '\0')) return false;
    if (text[0] != '{' || text[37] != '}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : !IsHex(text[i])) return false;
    }
    return true;
}

bool IsPresentInstance(const MachineState& machine, const RegKey& instance) {
    if (machine.startedDevices) return instance.FindChild("Control") != nullptr;
    const RegValue* classGuid = instance.FindValue("ClassGUID");
    return classGuid != nullptr && classGuid->type == kRegSz && IsGuidText(classGuid->data);
}

// Windows Vista and later keep a description as "@oem5.inf,%desc%;Text", and SetupAPI
// gives the text after the last ";".
std::vector<unsigned char> DescriptionAsRead(const MachineState& machine,
                                             const std::vector<unsigned char>& data) {
    if (!machine.startedDevices || data.empty() || data.front() != '@') return data;
    const auto semicolon = std::find(data.rbegin(), data.rend(), ';');
    if (semicolon == data.rend()) return data;
    return std::vector<unsigned char>(semicolon.base(), data.end());
}

KeyLocation MachineKey(const std::string& path) { return {Root::LocalMachine, path}; }

// Every interface key in every class whose "DeviceInstance" names the device. Windows
// takes them all; Wine walks each class by index without stepping back after a
// deletion, so it skips the interface right after a deleted one (a Wine defect).
void RemoveInterfaces(MachineState& machine, const std::string& instanceId) {
    RegKey* classes = machine.registry.Find(MachineKey(kDeviceClassesPath));
    if (classes == nullptr) return;
    for (size_t i = 0; RegKey* interfaceClass = classes->ChildAt(i); ++i) {
        std::vector<std::string> doomed;
        for (size_t j = 0; const RegKey* link = interfaceClass->ChildAt(j); ++j) {
            const RegValue* owner = link->FindValue("DeviceInstance");
            if (owner != nullptr && EqualsNoCase(ValueText(*owner), instanceId)) {
                doomed.push_back(link->name());
            }
        }
        for (const std::string& name : doomed) interfaceClass->RemoveChild(name);
    }
}

void RemoveIfNoSubkeys(MachineState& machine, const std::string& path) {
    const RegKey* key = machine.registry.Find(MachineKey(path));
    if (key != nullptr && key->ChildCount() == 0) machine.registry.Delete(MachineKey(path));
}

}  // namespace

// Done as the PnP manager does it, with the system's rights: key DACLs don't apply.
bool RemoveDeviceInstance(MachineState& machine, const std::string& instanceId) {
    for (const std::string& failing : machine.failingRemovals) {
        if (EqualsNoCase(failing, instanceId)) return false;
    }
    const std::string instancePath = std::string(kEnumPath) + "\\" + instanceId;
    const RegKey* instance = machine.registry.Find(MachineKey(instancePath));
    if (instance == nullptr) return false;
    const RegValue* driver = instance->FindValue("Driver");
    const std::string driverName = driver != nullptr ? ValueText(*driver) : "";
    machine.registry.Delete(MachineKey(instancePath));

    // Windows removes the driver key with its subkeys; Wine only when it has none.
    if (!driverName.empty())
        machine.registry.Delete(MachineKey(std::string(kClassPath) + "\\" + driverName));
    RemoveInterfaces(machine, instanceId);

    // Then the device key and the bus key when left without subkeys, as Wine does.
    const std::string devicePath = instancePath.substr(0, instancePath.rfind('\\'));
    RemoveIfNoSubkeys(machine, devicePath);
    RemoveIfNoSubkeys(machine, devicePath.substr(0, devicePath.rfind('\\')));
    return true;
}

namespace {

const char* PropertyValueName(Dword property) {
    switch (property) {
        case kPropertyDeviceDesc:
            return "DeviceDesc";
        case kPropertyHardwareId:
            return "HardwareID";
        default:
            return nullptr;
    }
}

// The members are fixed when the set is made; a removed member stays in it, but its
// properties and a second removal fail, its instance being gone.
class MemoryDeviceSet final : public DeviceSet {
  public:
    MemoryDeviceSet(std::weak_ptr<MachineState> machine, std::vector<std::string> members)
        : machine_(std::move(machine)), members_(std::move(members)) {}

    bool EnumMember(Dword index) override { return index < members_.size(); }

    bool ReadProperty(Dword index, Dword property, char* buffer, Dword size) override {
        const std::shared_ptr<MachineState> machine = machine_.lock();
        const char* valueName = PropertyValueName(property);
        if (!machine || index >= members_.size() || valueName == nullptr || buffer == nullptr) {
            return false;
        }
        const RegKey* instance =
            machine->registry.Find(MachineKey(std::string(kEnumPath) + "\\" + members_[index]));
        const RegValue* value = instance == nullptr ? nullptr : instance->FindValue(valueName);
        if (value == nullptr) return false;
        const std::vector<unsigned char> data = property == kPropertyDeviceDesc
                                                    ? DescriptionAsRead(*machine, value->data)
                                                    : value->data;
        if (data.size() > size) return false;
        if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
        return true;
    }

    bool ReadInstanceId(Dword index, char* buffer, Dword size) override {
        if (!machine_.lock() || index >= members_.size() || buffer == nullptr ||
            members_[index].size() >= size) {
            return false;
        }
        std::memcpy(buffer, members_[index].c_str(), members_[index].size() + 1);
        return true;
    }

    bool RemoveMember(Dword index) override {
        const std::shared_ptr<MachineState> machine = machine_.lock();
        return machine && index < members_.size() &&
               RemoveDeviceInstance(*machine, members_[index]);
    }

  private:
    std::weak_ptr<MachineState> machine_;
    std::vector<std::string> members_;  // instance IDs
};

}  // namespace
}  // namespace memory

void MemoryMachine::ListStartedDevices() { state_->machine.startedDevices = true; }

// Instances under Enum\<enumerator>\<device>\ that carry a well-formed ClassGUID (or that
// Windows started), devices then instances in registry order, as Wine lists them. An enumerator
// with no key gives an empty set, as Wine does.
std::unique_ptr<DeviceSet> MemoryMachine::OpenPresentDevices(const char* enumerator) {
    if (enumerator == nullptr || *enumerator == '\0') return nullptr;
    std::vector<std::string> members;
    // An enumerator is one key name ("PCI", "USB"); anything longer lists nothing.
    if (std::strchr(enumerator, '\\') != nullptr) {
        return std::make_unique<memory::MemoryDeviceSet>(state_->shared, std::move(members));
    }
    const memory::RegKey* bus = state_->machine.registry.Find(
        memory::MachineKey(std::string(memory::kEnumPath) + "\\" + enumerator));
    for (size_t i = 0; bus != nullptr && bus->ChildAt(i) != nullptr; ++i) {
        const memory::RegKey& device = *bus->ChildAt(i);
        for (size_t j = 0; const memory::RegKey* instance = device.ChildAt(j); ++j) {
            if (memory::IsPresentInstance(state_->machine, *instance)) {
                members.push_back(bus->name() + "\\" + device.name() + "\\" + instance->name());
            }
        }
    }
    return std::make_unique<memory::MemoryDeviceSet>(state_->shared, std::move(members));
}

Dword MemoryMachine::RescanDevices() {
    ++state_->machine.deviceRescans;
    return kConfigRetSuccess;
}

// As Windows does with SUOI_FORCEDELETE: the published INF and its PNF go (the driver
// store has no stand-in here); false when there is no such INF. Every call is recorded.
bool MemoryMachine::UninstallOemInf(const char* infFileName, Dword) {
    if (infFileName == nullptr) return false;
    state_->machine.uninstalledInfs.emplace_back(infFileName);
    char windows[kTextSize];
    WindowsDirectory(windows, kTextSize);
    const std::string inf = std::string(windows) + "\\inf\\" + infFileName;
    if (!DeleteFileAt(inf.c_str())) return false;
    const size_t dot = inf.rfind('.');
    DeleteFileAt((inf.substr(0, dot) + ".PNF").c_str());
    return true;
}

}  // namespace cvp
