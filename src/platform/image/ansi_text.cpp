#include "platform/image/ansi_text.h"

namespace cvp {

bool Utf16LeToAnsi(std::string_view bytes, std::string* text) {
    if (bytes.size() % 2 != 0) return false;
    std::string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const unsigned low = static_cast<unsigned char>(bytes[i]);
        const unsigned high = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(high == 0 ? static_cast<char>(low) : '?');
    }
    *text = std::move(out);
    return true;
}

std::string AnsiToUtf16Le(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char c : text) {
        bytes.push_back(c);
        bytes.push_back('\0');
    }
    return bytes;
}

bool HasUtf16LeBom(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xFE;
}

std::string FileTextAsAnsi(std::string_view bytes) {
    if (HasUtf16LeBom(bytes)) {
        std::string_view units = bytes.substr(2);
        units = units.substr(0, units.size() - units.size() % 2);
        std::string text;
        Utf16LeToAnsi(units, &text);
        return text;
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        return std::string(bytes.substr(3));
    }
    return std::string(bytes);
}

}  // namespace cvp
