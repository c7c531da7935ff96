// Walks over the device enumeration tree of a control set: bus device keys
// (Enum\PCI, Enum\USB), software-enumerated stream devices (Enum\Stream) and the
// values under Enum that name a device instance.
#pragma once

#include "app/run_context.h"

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

// Deletes the first value of `path` whose name contains `pattern`. 1 when deleted.
int DeleteFirstValueContaining(RunContext& context, Root root, const char* path,
                               const char* pattern);

}  // namespace cvp
