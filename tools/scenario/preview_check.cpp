#include "scenario/preview_check.h"

#include <algorithm>
#include <map>
#include <set>

#include "changes/footprints.h"
#include "changes/registry_capture.h"
#include "platform/image/ascii_text.h"
#include "preview/preview_run.h"
#include "run/family_catalogue.h"
#include "scenario/traces.h"

namespace cvp::scenario {
namespace {

constexpr const char* kMachineRoot = "HKEY_LOCAL_MACHINE\\";
constexpr const char* kDeviceClasses = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses";

struct PreviewParts {
    std::vector<std::string> log;
    std::vector<std::string> items;  // without their notes
};

PreviewParts Split(const std::string& preview) {
    PreviewParts parts;
    bool inItems = false;
    for (std::string line : SplitLines(preview)) {
        if (!inItems && line.empty()) {
            inItems = true;
        } else if (inItems) {
            parts.items.push_back(line.substr(0, line.find("\t(")));
        } else {
            parts.log.push_back(line);
        }
    }
    return parts;
}

// "key HKEY_LOCAL_MACHINE\X" into "key" and "HKEY_LOCAL_MACHINE\X".
std::pair<std::string, std::string> KindAndName(const std::string& item) {
    const size_t blank = item.find(' ');
    if (blank == std::string::npos) return {item, ""};
    return {item.substr(0, blank), item.substr(blank + 1)};
}

bool Within(const std::string& name, const std::vector<std::string>& ancestors) {
    return std::any_of(ancestors.begin(), ancestors.end(), [&](const std::string& ancestor) {
        return name.compare(0, ancestor.size(), ancestor) == 0 &&
               (name.size() == ancestor.size() || name[ancestor.size()] == '\\');
    });
}

std::string MachineKeyName(const std::string& path) { return LowerCopy(kMachineRoot + path); }

// "C:\windows\x" as a file listing line names it: "drive_c/windows/x".
std::string ListedFile(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return "drive_c" + LowerCopy(path.substr(2));
}

// What a change list removes, by lower-case name: keys, values (key, NUL, name), files
// and folders (as listed, folders ending in "/").
struct Removed {
    std::map<std::string, std::string> keys;
    std::map<std::string, std::string> values;
    std::map<std::string, std::string> files;
};

Removed RemovedBy(const std::vector<std::string>& changes) {
    Removed removed;
    for (const std::string& change : changes) {
        if (change.rfind("- ", 0) != 0) continue;
        const std::string line = change.substr(2);
        ItemName name;
        if (line.rfind("drive_c/", 0) == 0) {
            removed.files[LowerCopy(line)] = line;
        } else if (ParseListedLine(line, &name) && name.isValue) {
            removed.values[MachineKeyName(name.key) + '\0' + LowerCopy(name.value)] = line;
        } else if (ParseListedLine(line, &name)) {
            removed.keys[MachineKeyName(name.key)] = line;
        }
    }
    return removed;
}

// The log line's item when it names a key below HKEY_LOCAL_MACHINE; "" else.
std::string LoggedKey(const std::string& line) {
    const size_t at = LowerCopy(line).find(LowerCopy(kMachineRoot));
    return at == std::string::npos ? "" : LowerCopy(line.substr(at));
}

void CheckLog(const std::vector<std::string>& previewed, std::vector<std::string> written,
              const PreviewAllowance& allowance, std::vector<std::string>* faults) {
    std::erase_if(written, [&](const std::string& line) {
        const std::string key = LoggedKey(line);
        return !key.empty() && Within(key, allowance.leftByWine);
    });
    for (size_t i = 0; i < std::max(previewed.size(), written.size()); ++i) {
        const std::string expected = i < written.size() ? written[i] : "<no line>";
        const std::string got = i < previewed.size() ? previewed[i] : "<no line>";
        if (expected != got) {
            faults->push_back("log line " + std::to_string(i + 1) + ": the preview has \"" + got +
                              "\", the run wrote \"" + expected + "\"");
            return;
        }
    }
}

// Takes `name` out of `removed`; false when the run did not remove it.
bool Take(std::map<std::string, std::string>& removed, const std::string& name) {
    return removed.erase(name) != 0;
}

void CheckItems(const std::vector<std::string>& items, Removed removed,
                const PreviewAllowance& allowance, std::vector<std::string>* faults) {
    // A removed key's values go with it; its line stands for them.
    std::set<std::string> removedKeys;
    for (const auto& [key, line] : removed.keys) removedKeys.insert(key);
    for (const std::string& item : items) {
        const auto [kind, name] = KindAndName(item);
        bool taken = true;
        if (kind == "key") {
            taken = Take(removed.keys, LowerCopy(name)) ||
                    Within(LowerCopy(name), allowance.leftByWine);
        } else if (kind == "value") {
            const size_t quote = name.find(" \"");
            taken = quote != std::string::npos && name.back() == '"' &&
                    Take(removed.values,
                         LowerCopy(name.substr(0, quote)) + '\0' +
                             LowerCopy(name.substr(quote + 2, name.size() - quote - 3)));
        } else if (kind == "file") {
            taken = Take(removed.files, ListedFile(name));
        } else if (kind == "folder") {
            taken = Take(removed.files, ListedFile(name.substr(0, name.size() - 1)) + "/");
        } else if (kind != "device" && kind != "module") {
            faults->push_back("not an item: \"" + item + "\"");
        }
        if (!taken) faults->push_back("in the preview, not removed by the run: " + item);
    }
    for (const auto& [key, line] : removed.keys) {
        if (!Within(key, allowance.unregistered)) {
            faults->push_back("removed by the run, not in the preview: " + line);
        }
    }
    for (const auto& [value, line] : removed.values) {
        const std::string key = value.substr(0, value.find('\0'));
        if (removedKeys.count(key) == 0 && !Within(key, allowance.unregistered)) {
            faults->push_back("removed by the run, not in the preview: " + line);
        }
    }
    for (const auto& [file, line] : removed.files) {
        faults->push_back("removed by the run, not in the preview: " + line);
    }
}

}  // namespace

std::vector<std::string> KeysWineLeavesOfDevice(Registry& registry, const std::string& instanceId) {
    std::vector<std::string> left;
    const std::string instance = "SYSTEM\\CurrentControlSet\\Enum\\" + instanceId;
    const std::string driver = ReadStringValue(registry, Root::LocalMachine, instance, "Driver");
    const std::string driverKey = "SYSTEM\\CurrentControlSet\\Control\\Class\\" + driver;
    if (!driver.empty() && !ReadSubkeyNames(registry, Root::LocalMachine, driverKey).empty()) {
        left.push_back(driverKey);
    }
    // Wine walks each interface class by index and does not look again at the index of
    // a key it removed: the interface that moves into it is passed over.
    for (const std::string& interfaceClass :
         ReadSubkeyNames(registry, Root::LocalMachine, kDeviceClasses)) {
        const std::string classPath = std::string(kDeviceClasses) + "\\" + interfaceClass;
        const std::vector<std::string> links =
            ReadSubkeyNames(registry, Root::LocalMachine, classPath);
        const auto names = [&](size_t i) {
            return EqualsNoCase(ReadStringValue(registry, Root::LocalMachine,
                                                classPath + "\\" + links[i], "DeviceInstance"),
                                instanceId);
        };
        for (size_t i = 0; i < links.size(); ++i) {
            if (!names(i)) continue;
            if (i + 1 < links.size() && names(i + 1)) {
                left.push_back(classPath + "\\" + links[i + 1]);
            }
            ++i;
        }
    }
    return left;
}

PreviewAllowance AllowanceOf(Platform before, const std::string& preview, bool wine) {
    PreviewAllowance allowance;
    for (const std::string& item : Split(preview).items) {
        const auto [kind, name] = KindAndName(item);
        if (kind == "module") {
            for (const std::string& key : ComRegistrationKeys(before, name)) {
                allowance.unregistered.push_back(MachineKeyName(key));
            }
        } else if (kind == "device" && wine && name.back() == ')') {
            const std::string instanceId =
                name.substr(name.rfind(" (") + 2, name.size() - name.rfind(" (") - 3);
            for (const std::string& key : KeysWineLeavesOfDevice(before.registry, instanceId)) {
                allowance.leftByWine.push_back(MachineKeyName(key));
            }
        }
    }
    return allowance;
}

std::vector<std::string> CheckPreview(const std::string& token, const std::string& preview,
                                      const std::string& runLog,
                                      const std::vector<std::string>& changes,
                                      const PreviewAllowance& allowance) {
    std::vector<std::string> faults;
    if (FamilyFromToken(token.c_str()) == FamilyNone) {
        if (preview != UnknownTokenMessage(token.c_str()) + "\r\n") {
            faults.push_back("the preview of an unknown token is not the message that says so");
        }
        CheckItems({}, RemovedBy(changes), allowance, &faults);
        CheckLog({}, SplitLines(runLog), allowance, &faults);
        return faults;
    }
    const PreviewParts parts = Split(preview);
    CheckLog(parts.log, SplitLines(runLog), allowance, &faults);
    CheckItems(parts.items, RemovedBy(changes), allowance, &faults);
    return faults;
}

}  // namespace cvp::scenario
