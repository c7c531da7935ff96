// What a run changed, as the scenario harness compares it between the in-memory
// machine and Wine.
#pragma once

#include <string>
#include <vector>

namespace cvp::scenario {

// The registry areas a run may touch.
inline const std::vector<std::string> kComparedSubtrees = {
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002",
    "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet003",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID",
};

// Where a scenario run leaves its log: the current directory the harness starts it in.
constexpr const char* kLogPath = "C:\\cvpurger\\UnInstall.log";

// Whether a file listing's line lies in the program's own folder, %WINDIR%\CVPurger
// ("drive_c/windows/CVPurger/..."): a run's receipt is named by the time it ran, so what
// runs compare leaves it out; the receipt tests look at it.
bool IsProgramStateLine(const std::string& line);

// Lines only in `before` as "- line", lines only in `after` as "+ line", sorted, one
// per line. Lines that Wine rewrites on every start, and the program's own folder, are
// left out.
std::string ChangeList(const std::vector<std::string>& before,
                       const std::vector<std::string>& after);

}  // namespace cvp::scenario
