// Registry content read through the seam as it is now: what a removal is about to take.
// A receipt keeps it to put back; a preview lists it.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace cvp {

struct CapturedValue {
    std::string name;
    Dword type = 0;
    std::string data;  // the value's bytes as RegQueryValueExA gives them
};

struct CapturedKey {
    std::string path;      // below its root, no trailing backslash, names as the registry has them
    bool readable = true;  // false: the key could not be opened for reading; no values known
    std::string dacl;      // SDDL; "" when it could not be read
    std::vector<CapturedValue> values;
};

// The key and every key below it, each before its subkeys, with values and DACLs.
// False (and nothing captured) when the key itself does not exist. A subkey that may not
// be read is captured as unreadable, without what lies below it.
bool CaptureKeyTree(Registry& registry, Root root, const std::string& path,
                    std::vector<CapturedKey>* keys);

// The same walk for the DACLs alone: what a take-over is about to replace, on Windows
// in the subkeys too, which inherit its entries.
bool CaptureKeyDacls(Registry& registry, Root root, const std::string& path,
                     std::vector<CapturedKey>* keys);

// One value of a key; false when the key or the value can't be read.
bool CaptureValue(Registry& registry, Root root, const std::string& path, const std::string& name,
                  CapturedValue* value);

// A key's DACL in SDDL; "" when it can't be read.
std::string ReadKeyDaclText(Registry& registry, Root root, const std::string& path);

// The names of a key's subkeys, in enumeration order; none when it can't be read.
std::vector<std::string> ReadSubkeyNames(Registry& registry, Root root, const std::string& path);

// A string value (REG_SZ or REG_EXPAND_SZ, unexpanded) without its terminator; "" when it
// is missing or no string.
std::string ReadStringValue(Registry& registry, Root root, const std::string& path,
                            const std::string& name);

}  // namespace cvp
