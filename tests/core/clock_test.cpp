// The engine clock against a fake wall clock: first reading, steps, and the back-step guard.
#include <gtest/gtest.h>

#include "core/clock.h"

namespace {

WallTime fake_now;
unsigned slept_us;
int sleeps;

WallTime read_fake() {
    return fake_now;
}
void sleep_fake(unsigned us) {
    slept_us += us;
    ++sleeps;
}

class ClockTest : public testing::Test {
  protected:
    void SetUp() override {
        clock_reset();
        clock_set_source(read_fake, sleep_fake);
        fake_now = {1700000000, 250000};
        slept_us = 0;
        sleeps = 0;
    }
    void TearDown() override {
        clock_set_source(nullptr, nullptr);
        clock_reset();
    }
    static void advance(double seconds) {
        int64_t us = fake_now.microseconds + static_cast<int64_t>(seconds * 1e6 + (seconds < 0 ? -0.5 : 0.5));
        int64_t whole = us >= 0 ? us / 1000000 : -((-us + 999999) / 1000000);
        fake_now.seconds += whole;
        fake_now.microseconds = static_cast<int32_t>(us - whole * 1000000);
    }
};

TEST_F(ClockTest, FirstCallIsZeroAndStepsFollowTheWallClock) {
    EXPECT_EQ(engine_time(), 0.0);
    advance(1.5);
    EXPECT_NEAR(engine_time(), 1.5, 1e-6);
    advance(0.000001);
    EXPECT_NEAR(engine_time(), 1.500001, 1e-9);
    EXPECT_EQ(sleeps, 0);
}

TEST_F(ClockTest, SettingTheClockBackBeforeTheStartHoldsTheFloorAndPauses) {
    engine_time();
    advance(10.0);
    EXPECT_NEAR(engine_time(), 10.0, 1e-6);
    advance(-3600.0);
    // The first firing returns exactly the old floor (0), then pauses 40 ms.
    EXPECT_EQ(engine_time(), 0.0);
    EXPECT_EQ(sleeps, 1);
    EXPECT_EQ(slept_us, 40000u);
    // Time rises again from the held value.
    advance(0.5);
    EXPECT_NEAR(engine_time(), 0.5, 1e-6);
    advance(2.0);
    EXPECT_NEAR(engine_time(), 2.5, 1e-6);
    EXPECT_EQ(sleeps, 1);
}

TEST_F(ClockTest, SmallSetBackAndForwardJumpAreNotCorrected) {
    engine_time();
    advance(100.0);
    EXPECT_NEAR(engine_time(), 100.0, 1e-6);
    advance(-30.0);
    EXPECT_NEAR(engine_time(), 70.0, 1e-6);
    advance(3600.0);
    EXPECT_NEAR(engine_time(), 3670.0, 1e-6);
    EXPECT_EQ(sleeps, 0);
}

}  // namespace
