// Common main of the test programs.

#include <gtest/gtest.h>

#include "support/test_environment.h"

int main(int argc, char** argv) {
    orvix::test::isolateSettings();
    orvix::test::watchEmulatorRejections();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // A request the emulated driver refused and no test expected fails the program.
    return orvix::test::finishRejectionWatch() ? result : 1;
}
