// The Windows versions a machine plays, by the names Wine's winecfg gives them
// (HKCU\Software\Wine, "Version"), as GetVersionExA reports them.
#pragma once

#include <string_view>

#include "platform/platform.h"

namespace cvp {

// False for a name not listed here.
inline bool WindowsVersionNamed(std::string_view name, OsVersion* version) {
    struct Named {
        std::string_view name;
        OsVersion version;
    };
    constexpr Named kVersions[] = {
        {"win98", {kPlatformWin32Windows, 4, 10}}, {"winme", {kPlatformWin32Windows, 4, 90}},
        {"win2k", {kPlatformWin32Nt, 5, 0}},       {"winxp", {kPlatformWin32Nt, 5, 1}},
        {"win7", {kPlatformWin32Nt, 6, 1}},
    };
    for (const Named& named : kVersions) {
        if (named.name == name) {
            *version = named.version;
            return true;
        }
    }
    return false;
}

}  // namespace cvp
