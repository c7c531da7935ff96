// Small text helpers over the fixed ANSI buffers the purger works in.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/types.h"

namespace cvp {

// Whether `byte` opens a two-byte character in the ANSI code page `codePage` (the
// Japanese, Chinese and Korean ones); every other code page has one byte a character.
bool IsLeadByte(Dword codePage, unsigned char byte);

// The length of the longest start of `text` that holds at most `limit` bytes and ends
// between two characters of `codePage`.
std::size_t FittingLength(const char* text, std::size_t limit, Dword codePage);

// Copies `text` into a fixed buffer, cut to fit between two characters of the ANSI code
// page `codePage`: a double-byte character is never split.
template <int N>
void CopyText(char (&buffer)[N], const char* text, Dword codePage) {
    const std::size_t length = FittingLength(text, N - 1, codePage);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
}

// ASCII upper-casing in place; other bytes stay as they are.
void ToUpperAscii(char* text);

// StrCmpNIA(text, prefix, strlen(prefix)) == 0: `text` begins with `prefix`, ignoring
// ASCII case.
bool StartsWithIgnoringCase(const char* text, const char* prefix);

}  // namespace cvp
