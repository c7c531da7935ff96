// The lines of tests/scenarios/scenarios.txt: a machine image and the token a scenario
// runs on it, for the tests that go through the same scenarios natively.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace cvp::test {

struct ImageRun {
    std::string image;  // the folder's name
    std::filesystem::path folder;
    std::string token;
};

inline void PrintTo(const ImageRun& run, std::ostream* out) {
    *out << run.image << " " << run.token;
}

inline std::string ImageRunName(const testing::TestParamInfo<ImageRun>& info) {
    std::string name = info.param.image + "_" + info.param.token;
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; }, '_');
    return name;
}

inline std::filesystem::path ScenarioList() {
    return std::filesystem::path(CVP_TEST_DATA_DIR) / ".." / "scenarios" / "scenarios.txt";
}

// The lines of scenarios.txt that `wanted` accepts (all when none is given), in order.
template <typename Wanted>
std::vector<ImageRun> ScenarioRuns(Wanted wanted) {
    const std::filesystem::path repository = std::filesystem::path(CVP_TEST_DATA_DIR) / ".." / "..";
    std::ifstream list(ScenarioList());
    std::vector<ImageRun> runs;
    for (std::string line; std::getline(list, line);) {
        std::istringstream fields(line);
        std::string image;
        std::string token;
        if (!(fields >> image >> token) || image.front() == '#') continue;
        const std::filesystem::path folder = repository / image;
        ImageRun run{folder.filename().string(), folder, token};
        if (wanted(run)) runs.push_back(std::move(run));
    }
    return runs;
}

inline std::vector<ImageRun> ScenarioRuns() {
    return ScenarioRuns([](const ImageRun&) { return true; });
}

}  // namespace cvp::test
