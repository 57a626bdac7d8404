// Thread starts and joins for the whole engine.
#include "core/threads.h"

ThreadsState threads_state;

namespace {

void* thread_trampoline(void* record) {
    EngineThread* t = static_cast<EngineThread*>(record);
    t->routine(t->arg);
    return nullptr;
}

}  // namespace

int thread_start(EngineThread& thread, ThreadRoutine routine, void* arg, size_t stack_bytes) {
    if (routine == nullptr) return 0;
    // A record whose thread was never joined would lose that thread's handle for good.
    thread_join(thread);
    if (threads_state.synchronous.load(std::memory_order_relaxed)) {
        routine(arg);
        return 0;
    }
    thread.routine = routine;
    thread.arg = arg;
    pthread_attr_t attr;
    const bool sized = stack_bytes > 0 && pthread_attr_init(&attr) == 0;
    if (sized) pthread_attr_setstacksize(&attr, stack_bytes);
    const int failed = pthread_create(&thread.handle, sized ? &attr : nullptr, thread_trampoline, &thread);
    if (sized) pthread_attr_destroy(&attr);
    if (failed) {
        routine(arg);
        return 0;
    }
    thread.running = 1;
    threads_state.threads_created.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

int thread_join(EngineThread& thread) {
    if (!thread.running) return 0;
    pthread_join(thread.handle, nullptr);
    thread.running = 0;
    return 1;
}

void threads_set_synchronous(int flag) {
    threads_state.synchronous.store(flag != 0, std::memory_order_relaxed);
}
