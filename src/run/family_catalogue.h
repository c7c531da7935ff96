// The catalogue of product families: tokens, list entries, device names and
// hardware-ID patterns. Every other part of the purger reads them from here.
#pragma once

#include <string>

#include "run/run_state.h"
#include "run/text.h"

namespace cvp {

// The device names removed for a family from its fixed list, in order, each with the
// pause that follows it.
struct FamilyDeviceList {
    const char* enumerator;  // "PCI" for cards, "USB" for sticks; null for no family
    int count;
    const char* names[3];
    Dword pauseAfter[3];  // milliseconds
};

// Exact, case-sensitive comparison of the whole command line with a token; nothing is
// trimmed. FamilyNone when no token matches.
ProductFamily FamilyFromToken(const char* token);
// The family's command-line token ("878"); "" for FamilyNone.
const char* FamilyToken(ProductFamily family);

// "878, 88X, DV, BB, NV, EM, WIS": every token, for a message that names them.
std::string FamilyTokenList();

bool IsUsbFamily(ProductFamily family);

// Applies the list-entry rules: sets family and usbFamily, or, for an entry that
// names no family, family only (FamilyNone).
void FamilyFromListEntry(RunState& state, const char* entry);

// Fills primaryHardwareId and, where the family has one, its second pattern.
void SetFamilyHardwareIds(RunState& state, ProductFamily family, int expertMode,
                          int commandLineRun);

const FamilyDeviceList& FamilyDeviceNames(ProductFamily family);

// The entry of presentHardwareIds that holds a family's ID; families without one of
// their own share family 2's.
int PresentHardwareIdSlot(ProductFamily family);

}  // namespace cvp
