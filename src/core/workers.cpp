// Worker slots of the frame pipeline: threads exist only between a pass's start and its join. Called
// from the pipeline thread, and for its own tile slots from the overlay thread; the table is never
// touched by the workers themselves.
#include "core/workers.h"

#include <climits>

WorkerState worker_state;

namespace {

void worker_trampoline(void* arg) {
    // The slot number travels in the table entry's address, never as an integer cast to a pointer.
    WorkerRoutine* entry = static_cast<WorkerRoutine*>(arg);
    const int slot = static_cast<int>(entry - worker_state.routine);
    (*entry)(slot);
}

}  // namespace

int worker_start(int slot, WorkerRoutine routine) {
    if (slot < 1 || slot >= WORKER_SLOT_COUNT || routine == nullptr) return 0;
    WorkerState& ws = worker_state;
    if (ws.running[slot]) worker_join(slot);
    ws.routine[slot] = routine;
    // Without a thread (synchronous mode, or none to be had) the share runs here and now.
    if (thread_start(ws.thread[slot], worker_trampoline, &ws.routine[slot], ws.stack_bytes)) {
        ws.running[slot] = 1;
        ws.threads_created.fetch_add(1, std::memory_order_relaxed);
    }
    return 1;
}

int worker_join(int slot) {
    if (slot < 0 || slot >= WORKER_SLOT_COUNT) return 0;
    WorkerState& ws = worker_state;
    if (!ws.running[slot]) return 0;
    thread_join(ws.thread[slot]);
    ws.running[slot] = 0;
    return 1;
}

int worker_join_checked(int slot) {
    if (slot < 1 || slot >= WORKER_SLOT_COUNT) return 0;
    return worker_join(slot);
}

void worker_stack_size(size_t bytes) {
    worker_state.stack_bytes = bytes >= static_cast<size_t>(PTHREAD_STACK_MIN) ? bytes : 0;
}

void worker_set_synchronous(int flag) {
    threads_set_synchronous(flag);
}

// A pass writes one slice entry per share.
static_assert(WORKER_PASS_MAX <= WORKER_SLICE_COUNT);

void worker_run_pass(int thread_count, WorkerRoutine routine) {
    if (routine == nullptr) return;
    if (thread_count < 1) thread_count = 1;
    if (thread_count > WORKER_PASS_MAX) thread_count = WORKER_PASS_MAX;
    for (int i = 0; i < thread_count; ++i) worker_state.slices[i] = WorkerSlice{i, thread_count};
    for (int i = 1; i < thread_count; ++i) worker_start(i, routine);
    routine(0);
    for (int i = 1; i < thread_count; ++i) worker_join(i);
}

void worker_reset() {
    WorkerState& ws = worker_state;
    for (int slot = 1; slot < WORKER_SLOT_COUNT; ++slot) worker_join(slot);
    for (WorkerSlice& s : ws.slices) s = WorkerSlice{0, 1};
    threads_set_synchronous(0);
    ws.stack_bytes = WORKER_STACK_BYTES;
    ws.threads_created.store(0, std::memory_order_relaxed);
}
