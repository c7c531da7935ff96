// The wizard tests run inside a Wine prefix, under Xvfb:
//
//   gui_tests [--gtest_...] CVPURGER_EXE REPOSITORY [SCREENSHOT_DIR]
//
// Paths may be given in Linux form; Wine maps them through Z:.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gui/wizard_driver.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: gui_tests CVPURGER_EXE REPOSITORY [SCREENSHOT_DIR]\n");
        return 2;
    }
    gui::Paths paths;
    paths.purger = gui::WindowsPath(argv[1]);
    paths.repository = gui::WindowsPath(argv[2]);
    if (argc > 3) paths.screenshots = gui::WindowsPath(argv[3]);
    gui::SetTestPaths(paths);
    return RUN_ALL_TESTS();
}
