#include "registry/name_match.h"

#include <cstdio>
#include <cstring>

#include "run/text.h"

namespace cvp {

bool ContainsPattern(const char* text, const char* pattern) {
    return pattern[0] != '\0' && std::strstr(text, pattern) != nullptr;
}

bool UpperCaseContains(const char* text, const char* pattern) {
    char upper[kTextSize];
    CopyUpperCase(upper, text);
    return ContainsPattern(upper, pattern);
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    return std::strlen(a) == std::strlen(b) && StartsWithIgnoringCase(a, b);
}

// A copy for matching ASCII patterns, never shown or logged: where a long text is cut
// changes no match.
void CopyUpperCase(char (&buffer)[kTextSize], const char* text) {
    std::snprintf(buffer, sizeof buffer, "%s", text);
    ToUpperAscii(buffer);
}

}  // namespace cvp
