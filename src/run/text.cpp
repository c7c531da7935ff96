#include "run/text.h"

namespace cvp {
namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

void ToUpperAscii(char* text) {
    for (; *text != '\0'; ++text) *text = UpperAscii(*text);
}

bool StartsWithIgnoringCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (*text == '\0' || UpperAscii(*text) != UpperAscii(*prefix)) return false;
    }
    return true;
}

}  // namespace cvp
