// Key DACLs in SDDL form: parsed as ConvertStringSecurityDescriptorToSecurityDescriptorA
// reads them and written back as ConvertSecurityDescriptorToStringSecurityDescriptorA
// writes them, so that what a test or an image sets reads back as Windows shows it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace cvp {

// ACE flags (OI CI NP IO ID).
constexpr unsigned kAceObjectInherit = 0x01;
constexpr unsigned kAceContainerInherit = 0x02;
constexpr unsigned kAceNoPropagateInherit = 0x04;
constexpr unsigned kAceInheritOnly = 0x08;
constexpr unsigned kAceInherited = 0x10;

// DACL control flags (P AR AI).
constexpr unsigned kDaclProtected = 0x1000;
constexpr unsigned kDaclAutoInheritRequired = 0x0100;
constexpr unsigned kDaclAutoInherited = 0x0400;

struct Ace {
    bool deny = false;
    unsigned flags = 0;
    Dword mask = 0;   // as written: generic rights are kept unmapped, as Wine stores them
    std::string sid;  // canonical: "BA" for a SID with an alias, else "S-1-5-21-..."
};

struct Dacl {
    bool present = true;  // false: a NULL DACL, which grants everything
    unsigned control = 0;
    std::vector<Ace> aces;
};

// "D:" with flags and ACEs of types A and D, or "D:NO_ACCESS_CONTROL"; owner (O:) and
// group (G:) parts are accepted and ignored; a string without a D: part is a NULL
// DACL. False when malformed.
bool ParseDaclSddl(std::string_view sddl, Dacl* dacl);

// The same, with the owner's SID in canonical form ("" without an O: part).
bool ParseSecuritySddl(std::string_view sddl, std::string* owner, Dacl* dacl);

std::string FormatDaclSddl(const Dacl& dacl);

// A SID alias ("BU") or literal ("S-1-5-32-545") in canonical form ("BU").
bool CanonicalSid(std::string_view text, std::string* sid);

}  // namespace cvp
