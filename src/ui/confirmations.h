// The two confirmations the pages ask, in English and, for a user whose country code
// is 886, in Traditional Chinese. The Chinese texts are code-page-950 bytes: the
// ANSI message box shows them as they are on a Chinese system.
#pragma once

namespace cvp::ui {

struct Confirmation {
    const char* text;
    const char* caption;
};

// "Are you sure exit this program??"
inline constexpr Confirmation kExitConfirmation = {"Are you sure exit this program??", "Warning"};
// "確定要離開本反安裝程式??", "警告"
inline constexpr Confirmation kExitConfirmationChinese = {
    "\xBD\x54\xA9\x77\xAD\x6E\xC2\xF7\xB6\x7D\xA5\xBB\xA4\xCF\xA6\x77\xB8\xCB\xB5\x7B\xA6\xA1"
    "\x3F\x3F",
    "\xC4\xB5\xA7\x69"};

// "Are you sure to uninstall driver??"
inline constexpr Confirmation kUninstallConfirmation = {"Are you sure to uninstall driver??",
                                                        "Warning"};
// "確定要反安裝驅動程式??", "警告"
inline constexpr Confirmation kUninstallConfirmationChinese = {
    "\xBD\x54\xA9\x77\xAD\x6E\xA4\xCF\xA6\x77\xB8\xCB\xC5\x58\xB0\xCA\xB5\x7B\xA6\xA1\x3F\x3F",
    "\xC4\xB5\xA7\x69"};

}  // namespace cvp::ui
