// Registry operations every walk builds on: key take-over, and key and value
// deletion with their reports.
#pragma once

#include <string>

#include "run/registry_reads.h"
#include "run/run_context.h"

namespace cvp {

// Takes over a key's access rights for the span of one deletion, for the Administrators
// group (by its SID, whatever the system's language calls it). Release puts the original
// DACL back exactly, its protected flag included, when the key is still there, so a key
// that could not be deleted is not left open or changed.
class KeyAccessTakeover {
public:
    // What a take-over opens. A key's deletion needs its subtree: the grant is
    // inherited by every subkey that inherits (SetNamedSecurityInfoA passes it on). A
    // value's needs the key alone: nothing below it changes (RegSetKeySecurity), so a
    // take-over of a control set's Enum key leaves every device key as it is.
    enum class Reach { Subtree, KeyAlone };

    KeyAccessTakeover(Registry& registry, Reach reach) : registry_(registry), reach_(reach) {}
    ~KeyAccessTakeover() { Release(); }
    KeyAccessTakeover(const KeyAccessTakeover&) = delete;
    KeyAccessTakeover& operator=(const KeyAccessTakeover&) = delete;

    // 1 when the new DACL was written.
    int Grant(Root root, const char* path);
    void Release();

private:
    // RegSetKeySecurity through a handle of the key's own.
    Long SetKeySecurity(const char* sddl);

    Registry& registry_;
    Reach reach_;
    Root root_ = Root::LocalMachine;
    std::string path_;
    std::string objectName_;
    std::string originalDacl_;
    bool granted_ = false;
};

// Takes the key over, deletes it with its subtree and reports it. 1 when deleted.
int TakeOverAndDeleteKey(RunContext& context, Root root, const char* path);

// Takes the key over, deletes one of its values and reports "path value". 1 when
// deleted.
int TakeOverAndDeleteValue(RunContext& context, Root root, const char* path, const char* valueName);

// 1 when the key could be opened for full access and was deleted with its subtree.
int DeleteRegistryKey(Registry& registry, Root root, const char* path);

// 1 when the value was deleted.
int DeleteRegistryValue(Registry& registry, Root root, const char* path, const char* valueName);


}  // namespace cvp
