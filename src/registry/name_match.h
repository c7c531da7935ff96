// How the registry walks compare key and value names with the family's names and
// hardware-ID patterns.
#pragma once

#include "platform/types.h"

namespace cvp {

// The byModel argument of the interface and medium-cache walks: a name belongs to the
// family by its text, or, in expert mode, by the card model test.
constexpr int kByText = 0;
constexpr int kByModel = 1;

// strstr, except that an empty pattern matches nothing: a pattern left empty (a
// device that recorded no ID) must not take every key of an area with it.
bool ContainsPattern(const char* text, const char* pattern);

// ContainsPattern on the upper-case form of `text`; the pattern is compared as it is
// given, so callers pass it in upper case.
bool UpperCaseContains(const char* text, const char* pattern);

// lstrcmpiA(a, b) == 0, over ASCII letters.
bool EqualsIgnoringCase(const char* a, const char* b);

// `text` in upper case (ASCII), cut to fit.
void CopyUpperCase(char (&buffer)[kTextSize], const char* text);

}  // namespace cvp
