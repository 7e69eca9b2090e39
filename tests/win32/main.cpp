// The Win32 back end's tests: the platform is started once, as the program starts it.
#include <gtest/gtest.h>

#include <cstring>

#include "fw/app.h"

// win32_services_test.cpp: the second process of a hot-key group's test.
int RunHotKeyGroupHolder();

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    fw::InitPlatform(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--hotkey-group-holder") == 0) return RunHotKeyGroupHolder();
    return RUN_ALL_TESTS();
}
