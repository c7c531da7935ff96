#include "scenario/change_list.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace cvp::scenario {
namespace {

// Wine rewrites the video settings and driver dates at each start, and its service
// manager counts its starts, sometimes only after the first export was taken.
bool IsWineNoise(const std::string& line) {
    return line.find("\\Control\\Video") != std::string::npos ||
           line.find("DriverDateData") != std::string::npos ||
           line.find("\\Control\\ServiceCurrent") != std::string::npos;
}

}  // namespace

bool IsProgramStateLine(const std::string& line) {
    static const std::string kStateFolder = "drive_c/windows/cvpurger/";
    if (line.size() < kStateFolder.size()) return false;
    for (size_t i = 0; i < kStateFolder.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != kStateFolder[i]) return false;
    }
    return true;
}

std::string ChangeList(const std::vector<std::string>& before,
                       const std::vector<std::string>& after) {
    const std::set<std::string> was(before.begin(), before.end());
    const std::set<std::string> is(after.begin(), after.end());
    std::vector<std::string> changes;
    for (const std::string& line : was) {
        if (!is.count(line) && !IsWineNoise(line) && !IsProgramStateLine(line)) {
            changes.push_back("- " + line);
        }
    }
    for (const std::string& line : is) {
        if (!was.count(line) && !IsWineNoise(line) && !IsProgramStateLine(line)) {
            changes.push_back("+ " + line);
        }
    }
    std::sort(changes.begin(), changes.end(),
              [](const std::string& a, const std::string& b) {
                  return a.substr(2) < b.substr(2);
              });
    std::string text;
    for (const std::string& line : changes) text += line + "\n";
    return text;
}

}  // namespace cvp::scenario
