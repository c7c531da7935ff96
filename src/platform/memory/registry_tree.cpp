#include "platform/memory/registry_tree.h"

#include "platform/image/ascii_text.h"

namespace cvp::memory {

RegKey::RegKey(std::string name) : name_(std::move(name)), dacl_(DefaultKeyDacl()) {}

RegKey* RegKey::FindChild(std::string_view name) const {
    const auto found = children_.find(LowerCopy(name));
    return found == children_.end() ? nullptr : found->second.get();
}

RegKey& RegKey::CreateChild(std::string_view name) {
    auto& slot = children_[LowerCopy(name)];
    if (!slot) {
        slot = std::make_shared<RegKey>(std::string(name));
        childOrderValid_ = false;
    }
    return *slot;
}

bool RegKey::RemoveChild(std::string_view name) {
    const auto found = children_.find(LowerCopy(name));
    if (found == children_.end()) return false;
    found->second->MarkDeleted();
    children_.erase(found);
    childOrderValid_ = false;
    return true;
}

RegKey* RegKey::ChildAt(std::size_t index) const {
    // Index 0 after a change is what a delete-while-walking loop asks for: answer it
    // without rebuilding the order, so that emptying a key stays O(n log n).
    if (!childOrderValid_ && index == 0) {
        return children_.empty() ? nullptr : children_.begin()->second.get();
    }
    if (!childOrderValid_) {
        childOrder_.clear();
        for (const auto& child : children_) childOrder_.push_back(child.second.get());
        childOrderValid_ = true;
    }
    return index < childOrder_.size() ? childOrder_[index] : nullptr;
}

const RegValue* RegKey::FindValue(std::string_view name) const {
    const auto found = values_.find(LowerCopy(name));
    return found == values_.end() ? nullptr : &found->second;
}

void RegKey::SetValue(std::string_view name, Dword type, std::vector<unsigned char> data) {
    auto [slot, added] = values_.try_emplace(LowerCopy(name));
    if (added) {
        slot->second.name = std::string(name);
        valueOrderValid_ = false;
    }
    slot->second.type = type;
    slot->second.data = std::move(data);
}

bool RegKey::RemoveValue(std::string_view name) {
    if (values_.erase(LowerCopy(name)) == 0) return false;
    valueOrderValid_ = false;
    return true;
}

const RegValue* RegKey::ValueAt(std::size_t index) const {
    if (!valueOrderValid_ && index == 0) {
        return values_.empty() ? nullptr : &values_.begin()->second;
    }
    if (!valueOrderValid_) {
        valueOrder_.clear();
        for (const auto& value : values_) valueOrder_.push_back(&value.second);
        valueOrderValid_ = true;
    }
    return index < valueOrder_.size() ? valueOrder_[index] : nullptr;
}

// Keys are at most 512 levels deep, so the recursion is bounded.
void RegKey::MarkDeleted() {
    deleted_ = true;
    for (auto& child : children_) child.second->MarkDeleted();
}

std::shared_ptr<const Dacl> DefaultKeyDacl() {
    static const std::shared_ptr<const Dacl> dacl = [] {
        auto parsed = std::make_shared<Dacl>();
        ParseDaclSddl("D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)", parsed.get());
        return parsed;
    }();
    return dacl;
}

RegistryTree::RegistryTree()
    : localMachine_(std::make_shared<RegKey>("HKEY_LOCAL_MACHINE")),
      currentUser_(std::make_shared<RegKey>("HKEY_CURRENT_USER")),
      users_(std::make_shared<RegKey>("HKEY_USERS")),
      currentConfig_(std::make_shared<RegKey>("HKEY_CURRENT_CONFIG")) {
    // HKEY_CLASSES_ROOT is a root too: this key stands for it.
    Create({Root::LocalMachine, "SOFTWARE\\Classes"});
}

RegKey& RegistryTree::RootKey(Root root) const {
    switch (root) {
        case Root::CurrentUser:
            return *currentUser_;
        case Root::Users:
            return *users_;
        case Root::CurrentConfig:
            return *currentConfig_;
        case Root::ClassesRoot:
        case Root::LocalMachine:
            break;
    }
    return *localMachine_;
}

RegKey* RegistryTree::Find(const KeyLocation& key) const {
    std::vector<std::string_view> names;
    std::string problem;
    if (key.root == Root::ClassesRoot || !SplitKeyPath(key.path, &names, &problem)) return nullptr;
    RegKey* current = &RootKey(key.root);
    for (std::string_view name : names) {
        current = current->FindChild(name);
        if (current == nullptr) return nullptr;
    }
    return current;
}

RegKey* RegistryTree::Create(const KeyLocation& key) {
    std::vector<std::string_view> names;
    std::string problem;
    if (key.root == Root::ClassesRoot || !SplitKeyPath(key.path, &names, &problem)) return nullptr;
    RegKey* current = &RootKey(key.root);
    for (std::string_view name : names) current = &current->CreateChild(name);
    return current;
}

bool RegistryTree::Delete(const KeyLocation& key) {
    std::vector<std::string_view> names;
    std::string problem;
    if (key.root == Root::ClassesRoot || !SplitKeyPath(key.path, &names, &problem) ||
        names.empty()) {
        return false;
    }
    const std::string_view last = names.back();
    names.pop_back();
    RegKey* parent = &RootKey(key.root);
    for (std::string_view name : names) {
        parent = parent->FindChild(name);
        if (parent == nullptr) return false;
    }
    return parent->RemoveChild(last);
}

std::string ValueText(const RegValue& value) {
    std::string text(value.data.begin(), value.data.end());
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

}  // namespace cvp::memory
