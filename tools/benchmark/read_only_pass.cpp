#include "read_only_pass.h"

#include <memory>
#include <string>

#include "run/registry_reads.h"

namespace cvp::benchmark {
namespace {

struct Area {
    const char* path;
    bool subtree;  // false: the key's own values only
};

constexpr Area kControlSetAreas[] = {
    {"Services", true},
    {"Enum", false},
    {"Enum\\PCI", true},
    {"Enum\\USB", true},
    {"Enum\\Stream", true},
    {"Control\\Class", true},
    {"Control\\DeviceClasses", true},
    {"Control\\MediumCache", true},
    {"Control\\MediaCategories", true},
    {"Control\\MediaInterfaces", true},
    {"Control\\MediaSets", true},
};

constexpr const char* kClsidArea = "SOFTWARE\\Classes\\CLSID";

// Any failure but a name too long for the buffer ends an enumeration, as in the walks.
bool Ended(Long result) { return result != kErrorSuccess && result != kErrorMoreData; }

void Visit(Registry& registry, std::string& path, bool subtree, PassCounts& counts) {
    std::unique_ptr<RegistryKey> key;
    ++counts.registryCalls;
    if (registry.OpenKey(Root::LocalMachine, path.c_str(), kKeyRead, &key) != kErrorSuccess) {
        ++counts.unopened;
        return;
    }
    ++counts.keys;
    char name[kTextSize];
    unsigned char data[4096];
    for (Dword index = 0;; ++index) {
        Dword nameSize = kTextSize;
        Dword type = 0;
        Dword dataSize = sizeof data;
        ++counts.registryCalls;
        const Long result = key->EnumValue(index, name, &nameSize, &type, data, &dataSize);
        if (Ended(result)) break;
        ++counts.values;
    }
    if (!subtree) return;
    for (Dword index = 0;; ++index) {
        Dword nameSize = kTextSize;
        ++counts.registryCalls;
        const Long result = key->EnumKey(index, name, &nameSize);
        if (Ended(result)) break;
        if (result != kErrorSuccess) continue;
        const size_t length = path.size();
        path.append("\\").append(name);
        Visit(registry, path, true, counts);
        path.resize(length);
    }
}

}  // namespace

PassCounts ReadOnlyPass(Registry& registry) {
    PassCounts counts;
    std::string path;
    path.reserve(1024);
    for (const char* controlSet : ControlSetRoots) {
        for (const Area& area : kControlSetAreas) {
            path.assign(controlSet).append(area.path);  // the roots end in a backslash
            Visit(registry, path, area.subtree, counts);
        }
    }
    path.assign(kClsidArea);
    Visit(registry, path, true, counts);
    return counts;
}

}  // namespace cvp::benchmark
