#include "run/text.h"

namespace cvp {
namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

// The lead-byte ranges Windows gives these code pages (CPINFO.LeadByte).
bool IsLeadByte(Dword codePage, unsigned char byte) {
    switch (codePage) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 949:
        case 950:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

std::size_t FittingLength(const char* text, std::size_t limit, Dword codePage) {
    std::size_t length = 0;
    while (text[length] != '\0') {
        // A lead byte at the very end has no second byte: it stands alone.
        const bool pair = IsLeadByte(codePage, static_cast<unsigned char>(text[length])) &&
                          text[length + 1] != '\0';
        const std::size_t width = pair ? 2 : 1;
        if (length + width > limit) break;
        length += width;
    }
    return length;
}

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
