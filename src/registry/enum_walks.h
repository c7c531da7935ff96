// Walks over the device enumeration tree of a control set: bus device keys
// (Enum\PCI, Enum\USB), software-enumerated stream devices (Enum\Stream) and the
// values under Enum that name a device instance.
#pragma once

#include <string>
#include <vector>

#include "run/run_context.h"

namespace cvp {

// Deletes the device keys of `busPath` that belong to the family: USB names in upper
// case containing `pattern`, card names by the subsystem field test. The result of the
// last deletion tried (1 = deleted).
int DeleteEnumDeviceKeys(RunContext& context, Root root, const char* busPath, const char* pattern);

// Deletes the instances of the stream device named exactly `deviceName`, and the
// device key with its last instance (the encoder card's device key at once). 1 when
// the last deletion tried succeeded.
int DeleteStreamDeviceKeys(RunContext& context, Root root, const char* streamPath,
                           const char* deviceName);

// The value names of one key, read in one walk, in the key's order. The run looks for
// a value after each of its device identifiers among the hundreds of NextParentID
// values of a control set's Enum key; reading the names once for all its identifiers,
// rather than once for each, keeps a run linear in the size of that key.
class ValueNames {
  public:
    ValueNames(Registry& registry, Root root, const char* path);

    // The first name that contains `pattern`, in the key's order; end() when none.
    std::vector<std::string>::const_iterator FirstContaining(const char* pattern) const;
    std::vector<std::string>::const_iterator end() const { return names_.end(); }
    // A deleted value's name, taken out so that the next search finds the one after it.
    void Forget(std::vector<std::string>::const_iterator name) { names_.erase(name); }

  private:
    std::vector<std::string> names_;
};

// Deletes the first value of `path` whose name contains `pattern`, looked up in
// `names`, the key's value names. 1 when deleted.
int DeleteFirstValueContaining(RunContext& context, Root root, const char* path,
                               ValueNames& names, const char* pattern);

}  // namespace cvp
