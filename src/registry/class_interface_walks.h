// Walks over what a driver installation left for one device: the driver-class instance
// keys (Control\Class\{class}\0000 ...) and the device-interface keys
// (Control\DeviceClasses\{interface class}\##?#...).
#pragma once

#include "run/run_context.h"

namespace cvp {

// Deletes every instance key of `classPath` whose string value `valueName` equals
// `text` without regard to case. 1 when one was deleted.
int DeleteClassKeysByValue(RunContext& context, Root root, const char* classPath,
                           const char* valueName, const char* text);

// Deletes the interface keys of the class `classPath` that belong to the family: USB
// links by the stick's ID after "##?#USB#", card links by `pattern` and, with byModel
// 1 in expert mode, by the card model test. In working mode only keys with a
// "Control" subkey go. The result of the last deletion tried (1 = deleted).
int DeleteInterfaceKeys(RunContext& context, Root root, const char* classPath, const char* pattern,
                        int byModel);

// Deletes the eMPIA audio interface keys, two levels below `classPath`, whose "Device
// Parameters" FriendlyName names "USB EMP Audio Device". A device key that can't be
// opened ends the walk. 1 when one was deleted.
int DeleteUsbAudioInterfaceKeys(RunContext& context, Root root, const char* classPath);

}  // namespace cvp
