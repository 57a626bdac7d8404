// Model loading: a 100,000-triangle OBJ (positions, uvs and normals, "p/t/n" faces, one cell in four a
// quad) read from a file written once, through model_load into the object table.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "assets/model.h"
#include "scene/object.h"
#include "support/model_files.h"

namespace {

constexpr ObjectId BENCH_OBJECT = 300;
constexpr int BENCH_TRIANGLES = 100000;

// The file lives for the whole run in a folder of its own.
struct BenchFile {
    std::string folder, path;
    BenchFile() {
        char pattern[] = "/tmp/velmorine-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        folder = pattern;
        path = folder + "/grid.obj";
        const std::string text = modelfiles::obj_grid(BENCH_TRIANGLES);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return;
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    ~BenchFile() {
        std::remove(path.c_str());
        rmdir(folder.c_str());
    }
};

void BM_LoadObj100k(benchmark::State& state) {
    static BenchFile file;
    obj_table_reset_all();
    for (auto _ : state) {
        if (model_load(BENCH_OBJECT, file.path.c_str()) != 1) {
            state.SkipWithError("the model did not load");
            break;
        }
        benchmark::DoNotOptimize(obj_table.parts[BENCH_OBJECT].tri_local[0].data());
    }
    state.SetItemsProcessed(state.iterations() * BENCH_TRIANGLES);
    obj_table_reset_all();
}
BENCHMARK(BM_LoadObj100k)->Unit(benchmark::kMillisecond);

}  // namespace
