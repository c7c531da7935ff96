// The card model table: the PCI ID rows by which the maker's boards are recognised,
// and the two tests that decide whether a registry name belongs to a family's card.
#pragma once

#include <cstdint>
#include <span>

#include "run/run_state.h"

namespace cvp {

// Chip vendor and device, then the subsystem pair that marks the maker's board.
struct CardModel {
    std::uint16_t chipVendor;
    std::uint16_t chipDevice;
    std::uint16_t subsystemId;
    std::uint16_t subsystemVendor;
};

// The rows of a family's group (0, 2, 4, 5; FamilyNvidia gives the wildcard rows);
// empty for families without a group.
std::span<const CardModel> CardModelGroup(ProductFamily family);

// The four characters at `offset` of `text` read as hexadecimal, stopping at the first
// character that is not a digit. Characters past the end of `text` are never read:
// a text too short for the field gives false.
bool ReadHexField(const char* text, std::size_t offset, std::uint16_t* value);

// True in expert mode when `text` contains the "%4.4X%4.4X" subsystem pair of one of
// the family's rows.
bool SubsystemTextMatch(const RunState& state, ProductFamily family, const char* text);

// True in expert mode when the Enum\PCI key name VEN_vvvv&DEV_dddd&SUBSYS_sssspppp&...
// carries the family's chip and the subsystem pair of one of its rows.
bool SubsystemFieldMatch(const RunState& state, ProductFamily family, const char* keyName);

}  // namespace cvp
