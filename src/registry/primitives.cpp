#include "registry/primitives.h"

#include <string>

#include "run/progress.h"
#include "run/text.h"

namespace cvp {
namespace {

// Full control for the Administrators group (S-1-5-32-544), for a deletion inherited by
// every subkey. The purger runs as an administrator, so this opens the key to it as a
// grant to everyone would, but a run stopped between Grant and Release (killed, power
// lost) leaves the key open to administrators, who may take it over anyway, and not to
// every user: a key that then cannot be deleted would otherwise stay open to all for
// good, since the next run's Grant would take the open DACL for the original.
constexpr const char* kAdministratorsFullControl = "D:(A;OICI;GA;;;BA)";
constexpr const char* kAdministratorsFullControlOfTheKey = "D:(A;;KA;;;BA)";

bool KeyExists(Registry& registry, Root root, const char* path) {
    std::unique_ptr<RegistryKey> key;
    return registry.OpenKey(root, path, kReadControl, &key) != kErrorFileNotFound;
}

}  // namespace

int KeyAccessTakeover::Grant(Root root, const char* path) {
    Release();
    objectName_ = SecurityObjectName(root, path);
    if (registry_.ReadKeyDacl(objectName_.c_str(), &originalDacl_) != kErrorSuccess) return 0;
    granted_ = true;
    root_ = root;
    path_ = path;
    const Long result = reach_ == Reach::Subtree
                            ? registry_.WriteKeyDacl(objectName_.c_str(), kDaclSecurityInformation,
                                                     kAdministratorsFullControl)
                            : SetKeySecurity(kAdministratorsFullControlOfTheKey);
    return result == kErrorSuccess ? 1 : 0;
}

// After a subtree's grant, SetNamedSecurityInfoA with the original's own protection
// carries the original entries back down to the subkeys that inherit (Windows). The
// descriptor itself then goes back whole through the key's handle, which keeps the
// protected flag where SetNamedSecurityInfoA drops it (Wine).
void KeyAccessTakeover::Release() {
    if (!granted_) return;
    granted_ = false;
    if (!KeyExists(registry_, root_, path_.c_str())) return;
    if (reach_ == Reach::Subtree) {
        const bool isProtected = originalDacl_.rfind("D:P", 0) == 0;
        registry_.WriteKeyDacl(
            objectName_.c_str(),
            kDaclSecurityInformation | (isProtected ? kProtectedDaclSecurityInformation
                                                    : kUnprotectedDaclSecurityInformation),
            originalDacl_.c_str());
    }
    SetKeySecurity(originalDacl_.c_str());
}

Long KeyAccessTakeover::SetKeySecurity(const char* sddl) {
    std::unique_ptr<RegistryKey> key;
    const Long opened = registry_.OpenKey(root_, path_.c_str(), kWriteDac, &key);
    if (opened != kErrorSuccess) return opened;
    return key->SetSecurity(kDaclSecurityInformation, sddl);
}

int TakeOverAndDeleteKey(RunContext& context, Root root, const char* path) {
    KeyAccessTakeover takeover(context.platform.registry, KeyAccessTakeover::Reach::Subtree);
    takeover.Grant(root, path);
    if (DeleteRegistryKey(context.platform.registry, root, path) == 0) return 0;
    CopyText(context.state.currentItem, path, context.state.ansiCodePage);
    ReportProgress(context, 1);
    return 1;
}

// A value needs only its own key's access, and the keys holding the values the plans
// remove are big: the control set's Enum key, medium-cache entries. So the value is
// deleted plainly when the key allows it, and when it refuses, the key alone is taken
// over: nothing below it is opened or rewritten.
int TakeOverAndDeleteValue(RunContext& context, Root root, const char* path,
                           const char* valueName) {
    Registry& registry = context.platform.registry;
    if (DeleteRegistryValue(registry, root, path, valueName) == 0) {
        KeyAccessTakeover takeover(registry, KeyAccessTakeover::Reach::KeyAlone);
        takeover.Grant(root, path);
        if (DeleteRegistryValue(registry, root, path, valueName) == 0) return 0;
    }
    const std::string item = std::string(path) + " " + valueName;
    CopyText(context.state.currentItem, item.c_str(), context.state.ansiCodePage);
    ReportProgress(context, 1);
    return 1;
}

int DeleteRegistryKey(Registry& registry, Root root, const char* path) {
    std::unique_ptr<RegistryKey> key;
    if (registry.OpenKey(root, path, kKeyAllAccess, &key) != kErrorSuccess) return 0;
    const Long result = registry.DeleteTree(root, path);
    return result == kErrorSuccess ? 1 : 0;
}

int DeleteRegistryValue(Registry& registry, Root root, const char* path, const char* valueName) {
    std::unique_ptr<RegistryKey> key;
    if (registry.OpenKey(root, path, kKeyAllAccess, &key) != kErrorSuccess) return 0;
    return key->DeleteValue(valueName) == kErrorSuccess ? 1 : 0;
}

}  // namespace cvp
