// The one way the engine starts a thread: the pipeline's worker slots, the present thread and the
// conversion threads all come through here, so a single switch can run every one of them on the
// calling thread instead (tests, and the check that threaded and synchronous frames are identical).
// Called from whichever thread owns the EngineThread; a started thread touches only its own record.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

// The pipeline's workers keep their stacks small: up to 1024 slots may each hold one.
constexpr size_t WORKER_STACK_BYTES = 0x20000;
// The present thread and the converters run short, shallow work and never many at once.
constexpr size_t SHORT_STACK_BYTES = 0x8000;

using ThreadRoutine = void (*)(void* arg);

struct PooledThread;

// One startable thread. It must stay at the same address from its start to its join.
struct EngineThread {
    pthread_t handle{};
    ThreadRoutine routine = nullptr;
    void* arg = nullptr;
    int running = 0;                 // 1 between a start that ran the routine on a thread and its join
    PooledThread* pooled = nullptr;  // the parked thread that runs it, or none (a thread of its own)
};

struct ThreadsState {
    // 1: every start runs its routine on the caller. Set between frames, read by whichever thread
    // starts one (the present thread may be running when a test resets the switch).
    std::atomic<int> synchronous{0};
    // Starts that ran their routine on another thread, so far. Counted by whichever thread starts one (the
    // present thread starts the converters), so the count is atomic.
    std::atomic<int64_t> threads_created{0};
    // Threads the pool really created (each then parks between routines): at most THREAD_POOL_SIZE.
    std::atomic<int64_t> pool_threads{0};
};

extern ThreadsState threads_state;

// Parked threads kept for later starts. Creating a thread for every start and joining it costs tens of
// microseconds, a dozen times a frame; waking a parked one costs a few. A start that finds every pooled
// thread busy gets a thread of its own, as before.
constexpr int THREAD_POOL_SIZE = 48;

// Runs routine(arg) on another thread with a stack of stack_bytes (0: the system's default size): a
// parked thread of the pool with that stack size, or a new one. In synchronous mode, or when no thread
// can be had, the routine runs on the caller before this returns, so no work is ever lost. Returns 1
// when the routine runs on a thread (join it), 0 otherwise. A record that still holds a thread is joined
// first. Everything the starter wrote before the start is seen by the routine, and everything the
// routine wrote is seen after the join.
int thread_start(EngineThread& thread, ThreadRoutine routine, void* arg, size_t stack_bytes);
// Waits for the record's thread; returns 1 when one was joined, 0 when none was running.
int thread_join(EngineThread& thread);
void threads_set_synchronous(int flag);
