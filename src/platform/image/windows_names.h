// What a file name and path on C: may be, as the ANSI file calls see them.
#pragma once

#include <cstddef>
#include <string_view>

namespace cvp {

// MAX_PATH less the NUL: the longest path the ANSI file calls take.
constexpr std::size_t kMaxFilePathLength = 259;

// A name Win32 can create: not empty, not "." or "..", none of \ / : * ? " < > | or
// control characters, and no trailing dot or blank (Win32 would strip them).
inline bool IsWindowsFileName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
    }
    return name.back() != '.' && name.back() != ' ';
}

}  // namespace cvp
