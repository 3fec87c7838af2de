// Common main of the test programs.

#include <gtest/gtest.h>

#include "support/test_environment.h"

int main(int argc, char** argv) {
    orvix::test::isolateSettings();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
