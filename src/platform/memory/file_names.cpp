#include "platform/memory/file_names.h"

#include "platform/image/ascii_text.h"

namespace cvp::memory {
namespace {

constexpr std::string_view kNotIn83 = "\"*+,/:;<=>?[\\]| ";

bool IsLegal83Name(std::string_view name) {
    if (name.empty() || name.size() > 12) return false;
    const size_t dot = name.find('.');
    if (dot == 0) return false;
    if (dot != std::string_view::npos && name.find('.', dot + 1) != std::string_view::npos)
        return false;
    const size_t baseLength = dot == std::string_view::npos ? name.size() : dot;
    if (baseLength > 8 || (dot != std::string_view::npos && name.size() - dot - 1 > 3))
        return false;
    for (char c : name) {
        if (kNotIn83.find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return true;
}

// Upper case, without dots and blanks, '_' for the characters 8.3 names can't hold.
std::string ShortPart(std::string_view text, size_t length) {
    std::string out;
    for (char c : text) {
        if (out.size() == length) break;
        if (c == '.' || c == ' ') continue;
        out.push_back(kNotIn83.find(c) != std::string_view::npos ? '_' : UpperAscii(c));
    }
    return out;
}

}  // namespace

// The classic two-pointer match: linear for most patterns, never exponential.
bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*") pattern = "*";
    size_t p = 0;
    size_t n = 0;
    size_t star = std::string_view::npos;
    size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string ShortNameOf(std::string_view name) {
    if (IsLegal83Name(name)) return "";
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string_view::npos && dot > 0;
    std::string base = ShortPart(hasExtension ? name.substr(0, dot) : name, 6);
    if (base.empty()) base = "_";
    const std::string extension = hasExtension ? ShortPart(name.substr(dot + 1), 3) : "";
    return base + "~1" + (extension.empty() ? "" : "." + extension);
}

}  // namespace cvp::memory
