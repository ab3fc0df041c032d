// The library's tests run on the emulated bus.

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QELUSB_BUS", "emulated", 1);
    unsetenv("QELUSB_EMULATED");
    ::testing::InitGoogleTest(&argc, argv);
    // The host tests start machines of their own in fresh processes.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
