// Worker slots and engine threads on real threads: start, join, refill, and the stack sizes asked for.
#include <gtest/gtest.h>

#include <cstring>

#include "core/threads.h"
#include "core/workers.h"

namespace {

#if defined(__SANITIZE_THREAD__)
constexpr bool STACKS_AS_ASKED = false;  // the thread sanitizer enlarges every thread's stack
#else
constexpr bool STACKS_AS_ASKED = true;
#endif

TEST(WorkerThreads, SlotsStartJoinAndRefill) {
    worker_reset();
    static int seen[40];
    std::memset(seen, 0, sizeof seen);
    auto routine = [](int slot) { seen[slot] += slot; };
    EXPECT_EQ(worker_start(5, routine), 1);
    EXPECT_EQ(worker_start(5, routine), 1);  // the first thread is joined before the slot is reused
    EXPECT_EQ(worker_join(5), 1);
    EXPECT_EQ(worker_join(5), 0);
    EXPECT_EQ(seen[5], 10);
    worker_stack_size(256 * 1024);
    EXPECT_EQ(worker_start(33, routine), 1);
    EXPECT_EQ(worker_join_checked(33), 1);
    EXPECT_EQ(seen[33], 33);
    EXPECT_EQ(worker_state.threads_created, 3);
    worker_reset();
}

// The stack a thread gets is the one asked for (within the system's rounding), so the workers' small
// stacks and the converters' smaller ones really are what the threads run on.
TEST(WorkerThreads, ThreadsGetTheStackSizeAskedFor) {
    static size_t seen_stack;
    auto routine = [](void*) {
        pthread_attr_t attr;
        seen_stack = 0;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            pthread_attr_getstacksize(&attr, &seen_stack);
            pthread_attr_destroy(&attr);
        }
    };
    for (size_t bytes : {SHORT_STACK_BYTES, WORKER_STACK_BYTES}) {
        EngineThread t;
        ASSERT_EQ(thread_start(t, routine, nullptr, bytes), 1);
        EXPECT_EQ(thread_join(t), 1);
        EXPECT_GE(seen_stack, bytes);
        if (STACKS_AS_ASKED) {
            EXPECT_LT(seen_stack, bytes + 64 * 1024) << bytes;
        }
    }
}

}  // namespace
