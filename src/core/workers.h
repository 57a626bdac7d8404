// The frame pipeline's worker slots and the slice table that tells each worker its share. Written by
// the pipeline thread, except the overlay's tile slots (34 on), which the overlay thread starts and
// joins itself; a worker reads its own slice entry after its start.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/threads.h"

// Slot numbers: 1..15 the per-pass workers, 31 the frame clear, 32 the overlay preparation; slot 0 is
// the pipeline thread's own share and never holds a thread.
constexpr int WORKER_SLOT_COUNT = 1024;
constexpr int WORKER_SLICE_COUNT = 32;
constexpr int WORKER_PASS_MAX = 16;  // the pipeline thread plus slots 1..15
constexpr int WORKER_SLOT_CLEAR = 31;
constexpr int WORKER_SLOT_OVERLAY = 32;

// A worker's entry point; it receives its slot and reads worker_slice(slot) for its share.
using WorkerRoutine = void (*)(int slot);

struct WorkerSlice {
    int thread_index;  // share of this worker, 0 for the pipeline thread
    int thread_count;  // shares in the pass
};

struct WorkerState {
    EngineThread thread[WORKER_SLOT_COUNT];    // the slot's thread, if one runs
    uint8_t running[WORKER_SLOT_COUNT];        // 1 between start and join
    WorkerRoutine routine[WORKER_SLOT_COUNT];  // what the slot's thread runs
    WorkerSlice slices[WORKER_SLICE_COUNT];    // written before a pass starts its workers
    size_t stack_bytes = WORKER_STACK_BYTES;   // of every later start; 0: the system's default
    // Threads actually created since the last reset. The overlay thread starts its tile workers while the
    // pipeline thread starts its passes, each on its own slots, so only this count is shared.
    std::atomic<int64_t> threads_created{0};
};

extern WorkerState worker_state;

// Starts routine(slot) on a thread of its own (on the caller in synchronous mode). Slots outside
// 1..1023 do nothing and return 0; otherwise returns 1. A slot that still holds a thread is joined
// first, and a thread that cannot be created runs its routine on the caller, so no share is lost.
int worker_start(int slot, WorkerRoutine routine);
// Waits for the slot's thread and empties the slot; 1 when a thread was joined. Out-of-range slots
// return 0.
int worker_join(int slot);
// The same, refusing slots outside 1..1023 explicitly (for callers that compute slot numbers).
int worker_join_checked(int slot);
// Stack size of every later start (WORKER_STACK_BYTES until this is called). A size below the system's
// minimum is refused, and the threads then get the system's default size.
void worker_stack_size(size_t bytes);
// Every start of every thread of the engine runs on the caller while the flag is set.
void worker_set_synchronous(int flag);

inline WorkerSlice worker_slice(int slot) {
    return slot >= 0 && slot < WORKER_SLICE_COUNT ? worker_state.slices[slot] : WorkerSlice{0, 1};
}

// Runs routine as thread_count shares: slices 0..thread_count-1 written, slots 1..thread_count-1
// started, share 0 on the caller, all joined before returning. thread_count is limited to 1..16.
void worker_run_pass(int thread_count, WorkerRoutine routine);

// Joins every running slot and returns the table to its start state (tests).
void worker_reset();
