// main() of the Windows-side test programs: console output without buffering,
// so CTest shows progress even when a test hangs.
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
