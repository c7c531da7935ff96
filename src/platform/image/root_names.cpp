#include <iterator>

#include "platform/image/ascii_text.h"
#include "platform/image/machine_image.h"

namespace cvp {
namespace {

struct RootNaming {
    Root root;
    const char* name;
};

constexpr RootNaming kRootNames[] = {
    {Root::ClassesRoot, "HKEY_CLASSES_ROOT"},     {Root::CurrentUser, "HKEY_CURRENT_USER"},
    {Root::LocalMachine, "HKEY_LOCAL_MACHINE"},   {Root::Users, "HKEY_USERS"},
    {Root::CurrentConfig, "HKEY_CURRENT_CONFIG"},
};

}  // namespace

// regedit takes the full root names without regard to case.
bool RootFromName(const std::string& name, Root* root) {
    for (const RootNaming& entry : kRootNames) {
        if (EqualsNoCase(name, entry.name)) {
            *root = entry.root;
            return true;
        }
    }
    return false;
}

const char* RootName(Root root) {
    for (const RootNaming& entry : kRootNames) {
        if (entry.root == root) return entry.name;
    }
    return "";
}

}  // namespace cvp
