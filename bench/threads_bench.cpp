// What handing work to another thread costs, start to join, with nothing to do in between: one engine
// thread (the present thread's and the converters' way), and a pass of two and of three worker shares
// (the pipeline's way). Per frame the engine does this a dozen times or more.
#include <benchmark/benchmark.h>

#include "core/threads.h"
#include "core/workers.h"

namespace {

void nothing(void*) {}
void nothing_share(int) {}

void BM_ThreadStartJoin(benchmark::State& state) {
    EngineThread thread;
    for (auto _ : state) {
        thread_start(thread, nothing, nullptr, SHORT_STACK_BYTES);
        thread_join(thread);
    }
}
BENCHMARK(BM_ThreadStartJoin)->UseRealTime();

void BM_WorkerPass(benchmark::State& state) {
    const int shares = static_cast<int>(state.range(0));
    for (auto _ : state) worker_run_pass(shares, nothing_share);
}
BENCHMARK(BM_WorkerPass)->Arg(2)->Arg(3)->UseRealTime();

}  // namespace
