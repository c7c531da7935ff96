#include "preview/preview_items.h"

#include <unordered_set>

#include "changes/footprints.h"
#include "changes/registry_capture.h"
#include "platform/image/machine_image.h"
#include "platform/image/registry_paths.h"
#include "preview/hidden_state.h"

namespace cvp {
namespace {

// "HKEY_LOCAL_MACHINE\SYSTEM\...": a key by its full name; HKEY_CLASSES_ROOT keys by the
// machine's key they are.
std::string FullKeyName(Root root, const std::string& path) {
    const KeyLocation where = CanonicalKey(root, path);
    return std::string(RootName(where.root)) + (where.path.empty() ? "" : "\\" + where.path);
}

std::string WithoutTrailingBackslashes(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// `key` is one of `keys` or lies below one.
bool WithinAny(const std::unordered_set<std::string>& keys, const std::string& key) {
    for (size_t slash = key.find('\\'); slash != std::string::npos;
         slash = key.find('\\', slash + 1)) {
        if (keys.count(key.substr(0, slash)) != 0) return true;
    }
    return keys.count(key) != 0;
}

}  // namespace

bool PreviewItems::BeforeRemoval(const Removal& removal) {
    pending_.push_back(Describe(removal));
    return true;
}

void PreviewItems::AfterRemoval(const Removal&, bool removed) {
    if (pending_.empty()) return;
    if (removed) items_.insert(items_.end(), pending_.front().begin(), pending_.front().end());
    pending_.pop_front();
}

void PreviewItems::AddKeyTree(Root root, const std::string& path, std::vector<Item>* items) {
    std::unordered_set<std::string> listed;
    for (const Item& item : *items) listed.insert(item.key);
    std::vector<CapturedKey> keys;
    CaptureKeyTree(view_.registry, root, path, &keys);
    for (const CapturedKey& key : keys) {
        std::string identity = KeyIdentity(root, key.path);
        if (listed.count(identity) != 0) continue;
        items->push_back(
            {"key " + FullKeyName(root, key.path),
             key.readable ? "" : "its DACL denies reading it: what lies below is unknown",
             std::move(identity), false});
    }
}

std::vector<PreviewItems::Item> PreviewItems::Describe(const Removal& removal) {
    std::vector<Item> items;
    switch (removal.kind) {
        case Removal::Kind::Key:
            AddKeyTree(removal.root, removal.path, &items);
            break;
        case Removal::Kind::Value: {
            CapturedValue value;
            const bool known =
                CaptureValue(view_.registry, removal.root, removal.path, removal.name, &value);
            items.push_back(
                {"value " + FullKeyName(removal.root, removal.path) + " \"" + removal.name + "\"",
                 known ? "" : "its key may not be read: whether it is there is unknown",
                 KeyIdentity(removal.root, removal.path), true});
            break;
        }
        case Removal::Kind::File:
            // A file gone already (a PNF the driver store's removal names after the run
            // deleted it) is no item.
            if (view_.files.GetAttributes(removal.path.c_str()) == kInvalidAttributes) break;
            items.push_back({"file " + removal.path,
                             view_.files.OpenForDelete(removal.path.c_str())
                                 ? ""
                                 : "held open or protected now: it goes only if it is free then",
                             "", false});
            break;
        case Removal::Kind::Folder:
            items.push_back(
                {"folder " + WithoutTrailingBackslashes(removal.path) + "\\", "", "", false});
            break;
        case Removal::Kind::Device:
            items.push_back({"device " + removal.name + " (" + removal.path + ")", "", "", false});
            for (const std::string& key : footprints_.Keys(removal.path)) {
                AddKeyTree(Root::LocalMachine, key, &items);
            }
            break;
        case Removal::Kind::Module: {
            // A module that is not there unregisters nothing.
            const Dword attributes = view_.files.GetAttributes(removal.path.c_str());
            if (attributes != kInvalidAttributes && (attributes & kAttrDirectory) == 0) {
                items.push_back({"module " + removal.path, "", "", false});
            }
            break;
        }
    }
    return items;
}

// A value whose key went after it is no item of its own: its key's line stands for it.
std::string PreviewItems::Text() const {
    std::unordered_set<std::string> removedKeys;
    for (const Item& item : items_) {
        if (!item.value && !item.key.empty()) removedKeys.insert(item.key);
    }
    std::string text;
    for (const Item& item : items_) {
        if (item.value && WithinAny(removedKeys, item.key)) continue;
        text += item.line;
        if (!item.note.empty()) text += "\t(" + item.note + ")";
        text += "\r\n";
    }
    return text;
}

}  // namespace cvp
