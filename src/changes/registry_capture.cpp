#include "changes/registry_capture.h"

#include <vector>

#include "run/registry_reads.h"

namespace cvp {
namespace {

constexpr Dword kKeyNameSize = 256;      // key names: 255 characters
constexpr Dword kValueNameSize = 16384;  // value names: 16,383 characters

// The subkey names of an open key, in enumeration order.
std::vector<std::string> SubkeyNames(RegistryKey& key) {
    std::vector<std::string> names;
    char name[kKeyNameSize];
    for (Dword index = 0;; ++index) {
        Dword size = kKeyNameSize;
        if (key.EnumKey(index, name, &size) != kErrorSuccess) break;
        names.emplace_back(name, size);
    }
    return names;
}

constexpr Dword kFirstReadSize = 256;  // most values fit: one query each

// A value's bytes, read into a buffer that holds most values; a longer one is read again
// at the size the registry asks for (and again if it grew in between).
bool ReadValueData(RegistryKey& key, const std::string& name, Dword* type, std::string* data) {
    Dword size = kFirstReadSize;
    for (int attempt = 0; attempt < 3; ++attempt) {
        data->assign(size, '\0');
        Dword read = size;
        const Long result = key.QueryValue(name.c_str(), type,
                                           reinterpret_cast<unsigned char*>(data->data()), &read);
        if (result == kErrorMoreData) {
            size = read;
            continue;
        }
        if (result != kErrorSuccess) return false;
        data->resize(read);
        return true;
    }
    return false;
}

std::vector<CapturedValue> Values(RegistryKey& key) {
    std::vector<CapturedValue> values;
    std::vector<char> name(kValueNameSize);
    for (Dword index = 0;; ++index) {
        Dword size = kValueNameSize;
        if (key.EnumValue(index, name.data(), &size, nullptr, nullptr, nullptr) != kErrorSuccess) {
            break;
        }
        CapturedValue value;
        value.name.assign(name.data(), size);
        if (ReadValueData(key, value.name, &value.type, &value.data)) {
            values.push_back(std::move(value));
        }
    }
    return values;
}

// Depth first, each key before its subkeys, subkeys in enumeration order.
bool CaptureTree(Registry& registry, Root root, const std::string& path, bool withValues,
                 std::vector<CapturedKey>* keys) {
    std::unique_ptr<RegistryKey> top;
    const Long opened = registry.OpenKey(root, path.c_str(), kKeyRead, &top);
    if (opened == kErrorFileNotFound || opened == kErrorPathNotFound) return false;

    std::string named = path;
    while (!named.empty() && named.back() == '\\') named.pop_back();
    std::vector<std::string> pending{named};
    while (!pending.empty()) {
        CapturedKey captured;
        captured.path = pending.back();
        pending.pop_back();
        captured.dacl = ReadKeyDaclText(registry, root, captured.path);
        std::unique_ptr<RegistryKey> key;
        if (registry.OpenKey(root, captured.path.c_str(), kKeyRead, &key) != kErrorSuccess) {
            captured.readable = false;
            keys->push_back(std::move(captured));
            continue;
        }
        if (withValues) captured.values = Values(*key);
        const std::vector<std::string> names = SubkeyNames(*key);
        for (auto name = names.rbegin(); name != names.rend(); ++name) {
            pending.push_back(captured.path + "\\" + *name);
        }
        keys->push_back(std::move(captured));
    }
    return true;
}

}  // namespace

bool CaptureKeyTree(Registry& registry, Root root, const std::string& path,
                    std::vector<CapturedKey>* keys) {
    return CaptureTree(registry, root, path, true, keys);
}

bool CaptureKeyDacls(Registry& registry, Root root, const std::string& path,
                     std::vector<CapturedKey>* keys) {
    return CaptureTree(registry, root, path, false, keys);
}

bool CaptureValue(Registry& registry, Root root, const std::string& path, const std::string& name,
                  CapturedValue* value) {
    std::unique_ptr<RegistryKey> key;
    if (registry.OpenKey(root, path.c_str(), kKeyQueryValue, &key) != kErrorSuccess) return false;
    value->name = name;
    return ReadValueData(*key, name, &value->type, &value->data);
}

std::vector<std::string> ReadSubkeyNames(Registry& registry, Root root, const std::string& path) {
    std::unique_ptr<RegistryKey> key;
    if (registry.OpenKey(root, path.c_str(), kKeyRead, &key) != kErrorSuccess) return {};
    return SubkeyNames(*key);
}

std::string ReadStringValue(Registry& registry, Root root, const std::string& path,
                            const std::string& name) {
    CapturedValue value;
    if (!CaptureValue(registry, root, path, name, &value) ||
        (value.type != kRegSz && value.type != kRegExpandSz)) {
        return "";
    }
    return value.data.substr(0, value.data.find('\0'));
}

std::string ReadKeyDaclText(Registry& registry, Root root, const std::string& path) {
    std::string sddl;
    if (registry.ReadKeyDacl(SecurityObjectName(root, path).c_str(), &sddl) != kErrorSuccess) {
        return "";
    }
    return sddl;
}

}  // namespace cvp
