// Worker slots and engine threads on real threads: start, join, refill, the stack sizes asked for, and
// the pool of parked threads that serves the starts.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <vector>

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

// Many rounds on a few records at once, as the frame's passes start and join them: every routine runs
// exactly once per start, sees what its starter wrote before the start, and is finished (its writes
// seen) when the join returns. More records than the pool holds get threads of their own.
TEST(PooledThreads, EveryStartRunsOnceAndHandsItsWorkOverBothWays) {
    struct Job {
        int input = 0;
        int output = 0;
        int runs = 0;
    };
    constexpr int RECORDS = THREAD_POOL_SIZE + 8;
    std::vector<EngineThread> threads(RECORDS);
    std::vector<Job> jobs(RECORDS);
    auto work = [](void* arg) {
        Job* job = static_cast<Job*>(arg);
        job->output = job->input * 2 + 1;
        ++job->runs;
    };
    const int64_t started_before = threads_state.threads_created.load();
    for (int round = 0; round < 200; ++round) {
        // Every record in the first rounds, so the pool runs out; then three at a time.
        const int count = round < 3 ? RECORDS : 3;
        for (int k = 0; k < count; ++k) {
            jobs[k].input = round * 1000 + k;
            ASSERT_EQ(thread_start(threads[k], work, &jobs[k], SHORT_STACK_BYTES), 1);
        }
        for (int k = 0; k < count; ++k) {
            ASSERT_EQ(thread_join(threads[k]), 1);
            ASSERT_EQ(jobs[k].output, (round * 1000 + k) * 2 + 1) << round << " " << k;
        }
    }
    EXPECT_EQ(jobs[0].runs, 200);
    EXPECT_EQ(jobs[RECORDS - 1].runs, 3);
    EXPECT_EQ(threads_state.threads_created.load() - started_before, 3 * RECORDS + 197 * 3);
    // Parked threads serve the later rounds: the pool never holds more than its size.
    EXPECT_LE(threads_state.pool_threads.load(), THREAD_POOL_SIZE);
}

// A forked child has none of its parent's parked threads: its starts must still run and join, not wait
// for a thread that is not there.
TEST(PooledThreads, AForkedChildStartsThreadsOfItsOwn) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the thread sanitizer refuses new threads in a child forked from a threaded process";
#endif
    EngineThread thread;
    static int ran;
    auto work = [](void*) { ran = 1; };
    // The parent parks a thread first.
    ASSERT_EQ(thread_start(thread, work, nullptr, SHORT_STACK_BYTES), 1);
    ASSERT_EQ(thread_join(thread), 1);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ran = 0;
        alarm(10);  // a child that hangs is killed and reported as such
        thread_start(thread, work, nullptr, SHORT_STACK_BYTES);
        thread_join(thread);
        _exit(ran == 1 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child hung or crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
