// Thread starts and joins for the whole engine, through a pool of parked threads.
#include "core/threads.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

ThreadsState threads_state;

// A pool thread parks on `state` between routines. The record that claimed it (claim to join) is the only
// one to write routine, arg and the start of work; the thread writes the end of it.
struct PooledThread {
    std::atomic<int> claimed{0};  // 1 from a start that took it to the join that gives it back
    std::atomic<int> state{0};    // a PoolState
    int created = 0;              // the thread exists; read and written only under the claim
    size_t stack_bytes = 0;       // of the thread that exists
    ThreadRoutine routine = nullptr;
    void* arg = nullptr;
};

namespace {

enum PoolState : int { PARKED = 0, WORK = 1, DONE = 2 };

PooledThread pool[THREAD_POOL_SIZE];

// Sleeps while `word` holds `value`; returns at once when it does not, and on any wake. The hand-over
// itself is the acquire and release on the word; the futex only saves the spinning. (The library's
// atomic wait was measured hundreds of times slower here.)
void futex_wait(std::atomic<int>& word, int value) {
    syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAIT_PRIVATE, value, nullptr, nullptr, 0);
}

void futex_wake(std::atomic<int>& word) {
    syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

void* pool_main(void* record) {
    PooledThread* t = static_cast<PooledThread*>(record);
    for (;;) {
        int s;
        while ((s = t->state.load(std::memory_order_acquire)) != WORK) futex_wait(t->state, s);
        t->routine(t->arg);
        t->state.store(DONE, std::memory_order_release);
        futex_wake(t->state);
    }
    return nullptr;
}

void* thread_trampoline(void* record) {
    EngineThread* t = static_cast<EngineThread*>(record);
    t->routine(t->arg);
    return nullptr;
}

// Creates a thread running main(arg) with the given stack; false when the system gives none.
bool create_thread(pthread_t& handle, void* (*main)(void*), void* arg, size_t stack_bytes) {
    pthread_attr_t attr;
    const bool sized = stack_bytes > 0 && pthread_attr_init(&attr) == 0;
    if (sized) pthread_attr_setstacksize(&attr, stack_bytes);
    const int failed = pthread_create(&handle, sized ? &attr : nullptr, main, arg);
    if (sized) pthread_attr_destroy(&attr);
    return failed == 0;
}

// A parked thread with this stack size, claimed; else a new one in a free place; none when the pool is
// full or the system gives no thread.
PooledThread* claim_pooled(size_t stack_bytes) {
    PooledThread* empty = nullptr;
    for (PooledThread& t : pool) {
        int expected = 0;
        if (t.claimed.load(std::memory_order_relaxed) != 0 ||
            !t.claimed.compare_exchange_strong(expected, 1, std::memory_order_acquire))
            continue;
        if (t.created && t.stack_bytes == stack_bytes) {
            if (empty != nullptr) empty->claimed.store(0, std::memory_order_release);
            return &t;
        }
        // Kept (claimed) as the place for a new thread in case no parked one fits; others go back.
        if (!t.created && empty == nullptr) {
            empty = &t;
        } else {
            t.claimed.store(0, std::memory_order_release);
        }
    }
    if (empty == nullptr) return nullptr;
    pthread_t handle;
    if (!create_thread(handle, pool_main, empty, stack_bytes)) {
        empty->claimed.store(0, std::memory_order_release);
        return nullptr;
    }
    // Parked for good: its stack and its thread-local stores serve every later routine.
    pthread_detach(handle);
    empty->created = 1;
    empty->stack_bytes = stack_bytes;
    threads_state.pool_threads.fetch_add(1, std::memory_order_relaxed);
    return empty;
}

// A forked child has only the thread that forked: the pool's threads are not there.
void forget_pool_in_child() {
    for (PooledThread& t : pool) {
        t.claimed.store(0, std::memory_order_relaxed);
        t.state.store(PARKED, std::memory_order_relaxed);
        t.created = 0;
    }
    threads_state.pool_threads.store(0, std::memory_order_relaxed);
}

const int fork_handler_installed = pthread_atfork(nullptr, nullptr, forget_pool_in_child);

}  // namespace

int thread_start(EngineThread& thread, ThreadRoutine routine, void* arg, size_t stack_bytes) {
    (void)fork_handler_installed;
    if (routine == nullptr) return 0;
    // A record whose thread was never joined would lose that thread's handle for good.
    thread_join(thread);
    if (threads_state.synchronous.load(std::memory_order_relaxed)) {
        routine(arg);
        return 0;
    }
    thread.routine = routine;
    thread.arg = arg;
    if (PooledThread* t = claim_pooled(stack_bytes)) {
        t->routine = routine;
        t->arg = arg;
        t->state.store(WORK, std::memory_order_release);
        futex_wake(t->state);
        thread.pooled = t;
    } else if (!create_thread(thread.handle, thread_trampoline, &thread, stack_bytes)) {
        routine(arg);
        return 0;
    }
    thread.running = 1;
    threads_state.threads_created.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

int thread_join(EngineThread& thread) {
    if (!thread.running) return 0;
    if (PooledThread* t = thread.pooled) {
        int s;
        while ((s = t->state.load(std::memory_order_acquire)) != DONE) futex_wait(t->state, s);
        t->state.store(PARKED, std::memory_order_relaxed);
        t->claimed.store(0, std::memory_order_release);
        thread.pooled = nullptr;
    } else {
        pthread_join(thread.handle, nullptr);
    }
    thread.running = 0;
    return 1;
}

void threads_set_synchronous(int flag) {
    threads_state.synchronous.store(flag != 0, std::memory_order_relaxed);
}
