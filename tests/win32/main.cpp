// The Win32 back end's tests: the platform is started once, as the program starts it.
#include <gtest/gtest.h>

#include "fw/app.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    fw::InitPlatform(argc, argv);
    return RUN_ALL_TESTS();
}
