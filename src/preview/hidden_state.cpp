#include "preview/hidden_state.h"

#include <algorithm>

#include "platform/image/ascii_text.h"
#include "platform/image/machine_image.h"
#include "platform/image/registry_paths.h"

namespace cvp {
namespace {

// `name` or one of the names above it (cut at a backslash) is in `set`.
bool SelfOrAncestorIn(const std::unordered_set<std::string>& set, const std::string& name) {
    if (set.empty()) return false;
    for (size_t slash = name.find('\\'); slash != std::string::npos;
         slash = name.find('\\', slash + 1)) {
        if (set.count(name.substr(0, slash)) != 0) return true;
    }
    return set.count(name) != 0;
}

std::string ValueIdentity(const std::string& key, std::string_view name) {
    return key + '\0' + LowerCopy(name);
}

}  // namespace

std::string KeyIdentity(Root root, std::string_view path) {
    const KeyLocation where = CanonicalKey(root, path);
    std::string identity = LowerCopy(RootName(where.root));
    if (!where.path.empty()) identity += "\\" + LowerCopy(where.path);
    return identity;
}

std::string FileIdentity(std::string_view path) {
    std::string identity = LowerCopy(path);
    std::replace(identity.begin(), identity.end(), '/', '\\');
    while (identity.size() > 3 && identity.back() == '\\') identity.pop_back();
    return identity;
}

namespace {

constexpr std::string_view kCurrentControlSet = "hkey_local_machine\\system\\currentcontrolset";
constexpr std::string_view kMachineKeys = "\\registry\\machine\\";

}  // namespace

std::string PreviewOverlay::Hidden::Key(Root root, std::string_view path) const {
    std::string identity = KeyIdentity(root, path);
    if (!linkedSet.empty() && identity.compare(0, linkedSet.size(), linkedSet) == 0 &&
        (identity.size() == linkedSet.size() || identity[linkedSet.size()] == '\\')) {
        identity.replace(0, linkedSet.size(), kCurrentControlSet);
    }
    return identity;
}

void PreviewOverlay::Hidden::LinkCurrentControlSet(const std::string& target) {
    const std::string lower = LowerCopy(target);
    if (lower.compare(0, kMachineKeys.size(), kMachineKeys) != 0) return;
    linkedSet = "hkey_local_machine\\" + lower.substr(kMachineKeys.size());
}

bool PreviewOverlay::Hidden::KeyGone(const std::string& key) const {
    return SelfOrAncestorIn(keys, key);
}

// Most keys a walk reads lost nothing: they are told apart before any name is built.
bool PreviewOverlay::Hidden::SubkeyGone(const std::string& key, std::string_view name) const {
    return removedSubkeys.count(key) != 0 && keys.count(key + "\\" + LowerCopy(name)) != 0;
}

bool PreviewOverlay::Hidden::ValueGone(const std::string& key, std::string_view name) const {
    return keysWithRemovedValues.count(key) != 0 && values.count(ValueIdentity(key, name)) != 0;
}

bool PreviewOverlay::Hidden::TakenOver(const std::string& key) const {
    if (dacls.empty()) return false;
    for (size_t slash = key.find('\\'); slash != std::string::npos;
         slash = key.find('\\', slash + 1)) {
        if (dacls.count(key.substr(0, slash)) != 0) return true;
    }
    return dacls.count(key) != 0;
}

void PreviewOverlay::Hidden::RemoveKey(const std::string& key) {
    if (!keys.insert(key).second) return;
    const size_t slash = key.rfind('\\');
    if (slash == std::string::npos) return;
    const std::string parent = key.substr(0, slash);
    ++removedSubkeys[parent];
    events.push_back({parent, key.substr(slash + 1), false});
}

void PreviewOverlay::Hidden::RemoveValue(const std::string& key, std::string_view name) {
    if (!values.insert(ValueIdentity(key, name)).second) return;
    keysWithRemovedValues.insert(key);
    events.push_back({key, LowerCopy(name), true});
}

bool PreviewOverlay::Hidden::FileGone(const std::string& file) const {
    return SelfOrAncestorIn(files, file);
}

std::optional<Dword> PreviewOverlay::Hidden::WrittenAttributes(const std::string& file) const {
    const auto found = attributes.find(file);
    if (found == attributes.end()) return std::nullopt;
    return found->second;
}

}  // namespace cvp
