// The in-memory registry: keys with values and a DACL each, under the roots that a
// Windows machine holds (HKEY_CLASSES_ROOT being HKLM\SOFTWARE\Classes, as in Wine).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/image/registry_paths.h"
#include "platform/image/sddl.h"

namespace cvp::memory {

struct RegValue {
    std::string name;
    Dword type = 0;
    std::vector<unsigned char> data;
};

// A key. Open handles share it, so that a handle outlives the key's deletion and
// then answers ERROR_KEY_DELETED.
class RegKey : public std::enable_shared_from_this<RegKey> {
  public:
    explicit RegKey(std::string name);

    const std::string& name() const { return name_; }
    bool deleted() const { return deleted_; }

    // Subkeys and values are found without regard to case (ASCII) and keep the case
    // they were created with. They enumerate sorted by a lower-case compare, which is
    // Wine's order ("_x" before letters); Windows sorts keys by an upper-case compare
    // and returns values in creation order.
    RegKey* FindChild(std::string_view name) const;
    RegKey& CreateChild(std::string_view name);  // the existing one when present
    bool RemoveChild(std::string_view name);     // with its subtree, which is marked deleted
    std::size_t ChildCount() const { return children_.size(); }
    RegKey* ChildAt(std::size_t index) const;  // null past the end

    const RegValue* FindValue(std::string_view name) const;
    void SetValue(std::string_view name, Dword type, std::vector<unsigned char> data);
    bool RemoveValue(std::string_view name);
    std::size_t ValueCount() const { return values_.size(); }
    const RegValue* ValueAt(std::size_t index) const;  // null past the end

    const Dacl& dacl() const { return *dacl_; }
    void SetDacl(std::shared_ptr<const Dacl> dacl) { dacl_ = std::move(dacl); }

  private:
    void MarkDeleted();

    std::string name_;
    bool deleted_ = false;
    std::shared_ptr<const Dacl> dacl_;
    std::map<std::string, std::shared_ptr<RegKey>> children_;  // by lower-case name
    std::map<std::string, RegValue> values_;                   // by lower-case name
    // Enumeration by index, rebuilt after a change so that a walk stays linear.
    mutable std::vector<RegKey*> childOrder_;
    mutable std::vector<const RegValue*> valueOrder_;
    mutable bool childOrderValid_ = true;
    mutable bool valueOrderValid_ = true;
};

// Wine's DACL for a new key: read for Users, inherited by subkeys; all for
// Administrators.
std::shared_ptr<const Dacl> DefaultKeyDacl();

class RegistryTree {
  public:
    RegistryTree();

    // Keys at canonical locations (see CanonicalKey); null when absent or when the path
    // can't name a key.
    RegKey* Find(const KeyLocation& key) const;
    // Creates the key and any missing parent; null only for a path that can't name a key.
    RegKey* Create(const KeyLocation& key);
    // The key with its subtree; false when absent. A root can't be deleted.
    bool Delete(const KeyLocation& key);

    RegKey& RootKey(Root root) const;

  private:
    std::shared_ptr<RegKey> localMachine_;
    std::shared_ptr<RegKey> currentUser_;
    std::shared_ptr<RegKey> users_;
    std::shared_ptr<RegKey> currentConfig_;
};

// The stored bytes of a string value up to its first NUL.
std::string ValueText(const RegValue& value);

}  // namespace cvp::memory
