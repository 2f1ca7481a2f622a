#include <gtest/gtest.h>

#include "tests/unit/support.h"

TEST(Rig, GameMemoryIsWritable) {
    SetHost<uint32_t>(host::kClockMsAddr, 1234);
    EXPECT_EQ(HostClockMs(), 1234u);
}
