// The wizard tests run inside a Wine prefix, under Xvfb:
//
//   gui_tests [--gtest_...] CVPURGER_EXE REPOSITORY [SCREENSHOT_DIR]
//
// Paths may be given in Linux form; Wine maps them through Z:.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gui/wizard_driver.h"

namespace {

std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: gui_tests CVPURGER_EXE REPOSITORY [SCREENSHOT_DIR]\n");
        return 2;
    }
    gui::Paths paths;
    paths.purger = WindowsPath(argv[1]);
    paths.repository = WindowsPath(argv[2]);
    if (argc > 3) paths.screenshots = WindowsPath(argv[3]);
    gui::SetTestPaths(paths);
    return RUN_ALL_TESTS();
}
