// Worker slots of the frame pipeline: threads exist only between a pass's start and its join. Called
// from the pipeline thread only; the table is never touched by the workers themselves.
#include "render/workers.h"

#include <climits>

#include "display/framebuffer.h"

WorkerState worker_state;

namespace {

void* worker_trampoline(void* arg) {
    // The slot number travels in the table entry's address, never as an integer cast to a pointer.
    WorkerRoutine* entry = static_cast<WorkerRoutine*>(arg);
    const int slot = static_cast<int>(entry - worker_state.routine);
    (*entry)(slot);
    return nullptr;
}

}  // namespace

int worker_start(int slot, WorkerRoutine routine) {
    if (slot < 1 || slot >= WORKER_SLOT_COUNT || routine == nullptr) return 0;
    WorkerState& ws = worker_state;
    // A slot whose last thread was never joined would lose that thread's handle for good.
    if (ws.running[slot]) worker_join(slot);
    if (ws.synchronous) {
        routine(slot);
        return 1;
    }
    ws.routine[slot] = routine;
    const pthread_attr_t* attr = nullptr;
    if (ws.attr_ready) {
        attr = &ws.attr;
    } else if (frame_buffer.worker_attr_ready) {
        attr = &frame_buffer.worker_attr;
    }
    if (pthread_create(&ws.thread[slot], attr, worker_trampoline, &ws.routine[slot]) != 0) {
        // Without a thread the share would be missing from the frame: do it here instead.
        routine(slot);
        return 1;
    }
    ws.running[slot] = 1;
    ++ws.threads_created;
    return 1;
}

int worker_join(int slot) {
    if (slot < 0 || slot >= WORKER_SLOT_COUNT) return 0;
    WorkerState& ws = worker_state;
    if (!ws.running[slot]) return 0;
    pthread_join(ws.thread[slot], nullptr);
    ws.running[slot] = 0;
    return 1;
}

int worker_join_checked(int slot) {
    if (slot < 1 || slot >= WORKER_SLOT_COUNT) return 0;
    return worker_join(slot);
}

void worker_stack_size(size_t bytes) {
    WorkerState& ws = worker_state;
    if (!ws.attr_ready) {
        if (pthread_attr_init(&ws.attr) != 0) return;
        ws.attr_ready = 1;
    }
    // Below the system minimum the request is refused and the default size stays in force.
    if (bytes >= static_cast<size_t>(PTHREAD_STACK_MIN)) pthread_attr_setstacksize(&ws.attr, bytes);
}

void worker_set_synchronous(int flag) {
    worker_state.synchronous = flag != 0;
}

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
    ws.synchronous = 0;
    if (ws.attr_ready) pthread_attr_destroy(&ws.attr);
    ws.attr_ready = 0;
    ws.threads_created = 0;
}
