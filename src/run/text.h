// Small text helpers over the fixed ANSI buffers the purger works in.
#pragma once

#include <cstddef>

namespace cvp {

// Copies `text` into a fixed buffer, cutting it to fit.
template <int N>
void CopyText(char (&buffer)[N], const char* text) {
    int i = 0;
    for (; i < N - 1 && text[i] != '\0'; ++i) buffer[i] = text[i];
    buffer[i] = '\0';
}

// ASCII upper-casing in place; other bytes stay as they are.
void ToUpperAscii(char* text);

// StrCmpNIA(text, prefix, strlen(prefix)) == 0: `text` begins with `prefix`, ignoring
// ASCII case.
bool StartsWithIgnoringCase(const char* text, const char* prefix);

}  // namespace cvp
