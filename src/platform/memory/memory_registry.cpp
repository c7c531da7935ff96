// The registry and key-security calls of the in-memory machine.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/image/ascii_text.h"
#include "platform/memory/key_access.h"
#include "platform/memory/machine_state.h"

namespace cvp {
namespace {

using memory::RegKey;
using memory::RegValue;

constexpr Long kErrorKeyDeleted = 1018;

// RegEnumKeyExA's and RegEnumValueA's name copy: the size counts the NUL going in and
// not coming out, and stays as it was when the name does not fit.
Long CopyName(const std::string& text, char* name, Dword* nameSize) {
    if (text.size() >= *nameSize) return kErrorMoreData;
    std::memcpy(name, text.data(), text.size());
    name[text.size()] = '\0';
    *nameSize = static_cast<Dword>(text.size());
    return kErrorSuccess;
}

// Value data: a null buffer with a size asks for the size; a short buffer gets
// ERROR_MORE_DATA and the size needed.
Long CopyData(const RegValue& value, unsigned char* data, Dword* dataSize) {
    if (dataSize == nullptr) return kErrorSuccess;
    const Dword needed = static_cast<Dword>(value.data.size());
    if (data != nullptr && *dataSize < needed) {
        *dataSize = needed;
        return kErrorMoreData;
    }
    if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
    *dataSize = needed;
    return kErrorSuccess;
}

class MemoryKey final : public RegistryKey {
  public:
    MemoryKey(std::shared_ptr<RegKey> key, Dword granted,
              std::weak_ptr<const memory::MachineState> machine)
        : key_(std::move(key)), granted_(granted), machine_(std::move(machine)) {}

    Long EnumKey(Dword index, char* name, Dword* nameSize) override {
        if (const Long refused = Refusal(kKeyEnumerateSubKeys)) return refused;
        if (name == nullptr || nameSize == nullptr) return kErrorInvalidParameter;
        const RegKey* child = key_->ChildAt(index);
        if (child == nullptr) return kErrorNoMoreItems;
        return CopyName(child->name(), name, nameSize);
    }

    Long EnumValue(Dword index, char* name, Dword* nameSize, Dword* type, unsigned char* data,
                   Dword* dataSize) override {
        if (const Long refused = Refusal(kKeyQueryValue)) return refused;
        if (name == nullptr || nameSize == nullptr || (data != nullptr && dataSize == nullptr)) {
            return kErrorInvalidParameter;
        }
        const RegValue* value = key_->ValueAt(index);
        if (value == nullptr) return kErrorNoMoreItems;
        if (type != nullptr) *type = value->type;
        if (CopyName(value->name, name, nameSize) != kErrorSuccess) {
            if (dataSize != nullptr) *dataSize = static_cast<Dword>(value->data.size());
            return kErrorMoreData;
        }
        return CopyData(*value, data, dataSize);
    }

    Long QueryValue(const char* name, Dword* type, unsigned char* data, Dword* dataSize) override {
        if (const Long refused = Refusal(kKeyQueryValue)) return refused;
        if (data != nullptr && dataSize == nullptr) return kErrorInvalidParameter;
        const RegValue* value = key_->FindValue(name == nullptr ? "" : name);
        if (value == nullptr) return kErrorFileNotFound;
        if (type != nullptr) *type = value->type;
        return CopyData(*value, data, dataSize);
    }

    Long QuerySubkeyCount(Dword* count) override {
        if (const Long refused = Refusal(kKeyQueryValue)) return refused;
        if (count == nullptr) return kErrorInvalidParameter;
        *count = static_cast<Dword>(key_->ChildCount());
        return kErrorSuccess;
    }

    Long DeleteValue(const char* name) override {
        if (const Long refused = Refusal(kKeySetValue)) return refused;
        const std::string_view valueName = name == nullptr ? "" : name;
        const std::shared_ptr<const memory::MachineState> machine = machine_.lock();
        if (machine && machine->GuardsValue(*key_, valueName)) return kErrorAccessDenied;
        return key_->RemoveValue(valueName) ? kErrorSuccess : kErrorFileNotFound;
    }

    Long SetValue(const char* name, Dword type, const unsigned char* data, Dword size) override {
        if (const Long refused = Refusal(kKeySetValue)) return refused;
        if (data == nullptr && size > 0) return kErrorInvalidParameter;
        key_->SetValue(name == nullptr ? "" : name, type,
                       std::vector<unsigned char>(data, data + size));
        return kErrorSuccess;
    }

    // The descriptor as given, control flags and inherited entries included; subkeys are
    // left as they are.
    Long SetSecurity(Dword securityInformation, const char* sddl) override {
        auto dacl = std::make_shared<Dacl>();
        if ((securityInformation & kDaclSecurityInformation) == 0 || sddl == nullptr ||
            !ParseDaclSddl(sddl, dacl.get()) || !dacl->present) {
            return kErrorInvalidParameter;
        }
        if (const Long refused = Refusal(kWriteDac)) return refused;
        key_->SetDacl(std::move(dacl));
        return kErrorSuccess;
    }

  private:
    // The handle's access is checked first, then whether its key still exists, the
    // order Wine's server checks them in.
    Long Refusal(Dword needed) const {
        if ((granted_ & needed) != needed) return kErrorAccessDenied;
        if (key_->deleted()) return kErrorKeyDeleted;
        return kErrorSuccess;
    }

    std::shared_ptr<RegKey> key_;
    Dword granted_;
    std::weak_ptr<const memory::MachineState> machine_;
};

// The roots GetNamedSecurityInfoA takes for SE_REGISTRY_KEY objects (Wine's four).
bool KeyFromObjectName(std::string_view objectName, KeyLocation* key) {
    static constexpr struct {
        std::string_view name;
        Root root;
    } kObjectRoots[] = {{"CLASSES_ROOT", Root::ClassesRoot},
                        {"CURRENT_USER", Root::CurrentUser},
                        {"MACHINE", Root::LocalMachine},
                        {"USERS", Root::Users}};
    const size_t slash = objectName.find('\\');
    const std::string_view rootName = objectName.substr(0, slash);
    const std::string_view path =
        slash == std::string_view::npos ? std::string_view() : objectName.substr(slash + 1);
    for (const auto& entry : kObjectRoots) {
        if (EqualsNoCase(rootName, entry.name)) {
            *key = CanonicalKey(entry.root, path);
            return true;
        }
    }
    return false;
}

// The owner reads and changes a DACL whatever it says; a key another account owns
// lets the administrators do so only where its DACL grants them the right.
Long OwnerRefusal(const memory::MachineState& machine, const RegKey& key, Dword right) {
    if (machine.OwnedByAdministrators(key)) return kErrorSuccess;
    Dword granted = 0;
    return memory::CheckKeyAccess(key.dacl(), right, &granted, false);
}

// RegOpenKeyExA takes one leading backslash below HKEY_CLASSES_ROOT (as NT does).
KeyLocation KeyAt(Root root, const char* path) {
    std::string_view text = path == nullptr ? std::string_view() : path;
    if (root == Root::ClassesRoot && !text.empty() && text.front() == '\\') text.remove_prefix(1);
    return CanonicalKey(root, text);
}

}  // namespace

Long MemoryMachine::OpenKey(Root root, const char* path, Dword access,
                            std::unique_ptr<RegistryKey>* key) {
    if (key == nullptr) return kErrorInvalidParameter;
    key->reset();
    RegKey* found = state_->machine.registry.Find(KeyAt(root, path));
    if (found == nullptr) return kErrorFileNotFound;
    Dword granted = 0;
    if (const Long refused = memory::CheckKeyAccess(found->dacl(), access, &granted,
                                                    state_->machine.OwnedByAdministrators(*found)))
        return refused;
    *key = std::make_unique<MemoryKey>(found->shared_from_this(), granted, state_->shared);
    return kErrorSuccess;
}

// The key opened for `access` when its DACL allows it; the key's own result otherwise.
Long MemoryMachine::CreateKey(Root root, const char* path, Dword access,
                              std::unique_ptr<RegistryKey>* key, Dword* disposition) {
    if (key == nullptr) return kErrorInvalidParameter;
    key->reset();
    memory::MachineState& machine = state_->machine;
    const KeyLocation where = KeyAt(root, path);
    RegKey* found = machine.registry.Find(where);
    if (found == nullptr) {
        // Windows asks the deepest key that is there for the right to add below it.
        KeyLocation above = where;
        const RegKey* existing = nullptr;
        while (existing == nullptr && !above.path.empty()) {
            const size_t slash = above.path.rfind('\\');
            above.path.resize(slash == std::string::npos ? 0 : slash);
            existing = machine.registry.Find(above);
        }
        Dword granted = 0;
        if (existing == nullptr) return kErrorInvalidParameter;
        if (const Long refused =
                memory::CheckKeyAccess(existing->dacl(), kKeyCreateSubKey, &granted,
                                       machine.OwnedByAdministrators(*existing))) {
            return refused;
        }
        found = machine.registry.Create(where);
        if (found == nullptr) return kErrorInvalidParameter;
        if (disposition != nullptr) *disposition = kRegCreatedNewKey;
    } else if (disposition != nullptr) {
        *disposition = kRegOpenedExistingKey;
    }
    Dword granted = 0;
    if (const Long refused = memory::CheckKeyAccess(found->dacl(), access, &granted,
                                                    machine.OwnedByAdministrators(*found)))
        return refused;
    *key = std::make_unique<MemoryKey>(found->shared_from_this(), granted, state_->shared);
    return kErrorSuccess;
}

Long MemoryMachine::DeleteTree(Root root, const char* path) {
    // An empty path would make SHDeleteKeyA delete a root key, which no one may.
    if (WithoutTrailingBackslash(path == nullptr ? "" : path).empty()) return kErrorAccessDenied;
    const KeyLocation where = KeyAt(root, path);
    RegKey* key = state_->machine.registry.Find(where);
    if (key == nullptr) return kErrorFileNotFound;
    const size_t slash = where.path.rfind('\\');
    const std::string parentPath = slash == std::string::npos ? "" : where.path.substr(0, slash);
    RegKey* parent = state_->machine.registry.Find({where.root, parentPath});
    return memory::DeleteKeyTree(*parent, *key);
}

Long MemoryMachine::ReadKeyLink(Root, const char*, std::string*) { return kErrorFileNotFound; }

Long MemoryMachine::ReadKeyDacl(const char* objectName, std::string* sddl) {
    KeyLocation where;
    if (objectName == nullptr || sddl == nullptr || !KeyFromObjectName(objectName, &where)) {
        return kErrorInvalidParameter;
    }
    const RegKey* key = state_->machine.registry.Find(where);
    if (key == nullptr) return kErrorFileNotFound;
    if (const Long refused = OwnerRefusal(state_->machine, *key, kReadControl)) return refused;
    *sddl = FormatDaclSddl(key->dacl());
    return kErrorSuccess;
}

// The DACL replaces the key's own. Wine does not pass inheritable entries on to the
// existing subkeys; Windows does, to those that inherit.
namespace {

// An entry of a parent's DACL as a subkey inherits it: marked inherited, applying to
// the subkey itself, and passed on further unless the parent said not to.
Ace InheritedAce(const Ace& ace) {
    Ace inherited = ace;
    inherited.flags = (ace.flags & kAceNoPropagateInherit) != 0
                          ? kAceInherited
                          : (ace.flags & ~kAceInheritOnly) | kAceInherited;
    return inherited;
}

// Windows passes the container-inheritable entries of a key's new DACL on to every
// subkey whose DACL is neither protected nor NULL, in place of what it inherited
// before; its own entries stay first. Wine does not propagate (design.md), so scenarios
// compared with Wine do not depend on it.
void PropagateInheritance(const RegKey& key) {
    const Dacl& parent = key.dacl();
    for (std::size_t index = 0; RegKey* child = key.ChildAt(index); ++index) {
        const Dacl& current = child->dacl();
        if (!current.present || (current.control & kDaclProtected) != 0) continue;
        auto dacl = std::make_shared<Dacl>();
        dacl->control = current.control;
        for (const Ace& ace : current.aces) {
            if ((ace.flags & kAceInherited) == 0) dacl->aces.push_back(ace);
        }
        // The same entry reaches a key once, though it stands both explicit and
        // inherited in its parent (keys made here carry their defaults explicitly).
        for (const Ace& ace : parent.aces) {
            if ((ace.flags & kAceContainerInherit) == 0) continue;
            const Ace inherited = InheritedAce(ace);
            if (std::none_of(dacl->aces.begin(), dacl->aces.end(), [&](const Ace& present) {
                    return present.deny == inherited.deny && present.flags == inherited.flags &&
                           present.mask == inherited.mask && present.sid == inherited.sid;
                })) {
                dacl->aces.push_back(inherited);
            }
        }
        child->SetDacl(std::move(dacl));
        PropagateInheritance(*child);
    }
}

}  // namespace

// The call takes the entries alone, so the DACL is protected exactly when the flag says
// so (Windows; Wine leaves every key's DACL unprotected).
Long MemoryMachine::WriteKeyDacl(const char* objectName, Dword securityInformation,
                                 const char* sddl) {
    KeyLocation where;
    auto dacl = std::make_shared<Dacl>();
    if (objectName == nullptr || sddl == nullptr || !KeyFromObjectName(objectName, &where) ||
        !ParseDaclSddl(sddl, dacl.get())) {
        return kErrorInvalidParameter;
    }
    dacl->control =
        (securityInformation & kProtectedDaclSecurityInformation) != 0 ? kDaclProtected : 0;
    RegKey* key = state_->machine.registry.Find(where);
    if (key == nullptr) return kErrorFileNotFound;
    if (const Long refused = OwnerRefusal(state_->machine, *key, kWriteDac)) return refused;
    key->SetDacl(std::move(dacl));
    if (key->dacl().present) PropagateInheritance(*key);
    return kErrorSuccess;
}

}  // namespace cvp
