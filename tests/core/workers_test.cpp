// Worker slots on the calling thread: the slot range, and the synchronous switch that every thread the
// engine starts obeys; the invariant check.
#include <gtest/gtest.h>

#include "core/check.h"
#include "core/threads.h"
#include "core/workers.h"

namespace {

TEST(Workers, SlotsOutsideTheTableAreRefused) {
    worker_reset();
    static int ran;
    ran = 0;
    auto routine = [](int slot) { ran += slot; };
    EXPECT_EQ(worker_start(0, routine), 0);
    EXPECT_EQ(worker_start(1024, routine), 0);
    EXPECT_EQ(worker_start(-1, routine), 0);
    EXPECT_EQ(worker_join(1024), 0);
    EXPECT_EQ(worker_join(-5), 0);
    EXPECT_EQ(worker_join_checked(0), 0);
    EXPECT_EQ(worker_join_checked(1024), 0);
    EXPECT_EQ(ran, 0);

    worker_set_synchronous(1);
    EXPECT_EQ(worker_start(7, routine), 1);
    EXPECT_EQ(ran, 7);  // ran before the call returned
    EXPECT_EQ(worker_join(7), 0);
    EXPECT_EQ(worker_state.threads_created, 0);
    worker_reset();
}

TEST(Threads, SynchronousStartsRunOnTheCallerAndLeaveNothingToJoin) {
    threads_set_synchronous(1);
    const int64_t before = threads_state.threads_created;
    static pthread_t ran_on;
    EngineThread t;
    auto routine = [](void*) { ran_on = pthread_self(); };
    EXPECT_EQ(thread_start(t, routine, nullptr, SHORT_STACK_BYTES), 0);
    EXPECT_TRUE(pthread_equal(ran_on, pthread_self()));
    EXPECT_EQ(thread_join(t), 0);
    EXPECT_EQ(threads_state.threads_created, before);
    threads_set_synchronous(0);
}

// A broken invariant stops the program at once and names the place, whatever the build.
TEST(CheckDeathTest, ABrokenInvariantStopsWithItsPlace) {
    const int slots = WORKER_SLOT_COUNT;
    EXPECT_DEATH(ENGINE_CHECK(slots < 0), "workers_test.cpp:[0-9]+: engine invariant broken: slots < 0");
}

}  // namespace
