# The two commands a newcomer needs: `make run` and `make test`. Everything else is a step of those.
JOBS      ?= 2
GENERATOR := -G Ninja
BUILD     := build
ASAN      := build-asan
TSAN      := build-tsan
I386      := build-i386
FUZZ      := build-fuzz
REFERENCE := build-reference
FUZZ_SECONDS ?= 30
FUZZ_LONG_SECONDS ?= 300

.PHONY: all run test deps deps-test build build-asan build-tsan build-i386 build-fuzz test-unit test-asan test-tsan \
	test-i386 test-fuzz fuzz-long soak bench bench-reference format clean

all: build

# What building and running the demo need; the test tools, the i386 libraries and the benchmarks' come
# with the first test step (deps-test), Mesa with bench-reference.
deps:
	@scripts/install-deps

deps-test: deps
	@scripts/install-deps test

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(GENERATOR)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/velmorine

# Every test: the plain build, the same tests built for 32-bit x86, the address+undefined build, the
# thread-sanitizer build of the threaded tests, and each fuzz target for $(FUZZ_SECONDS) seconds.
test: test-unit test-i386 test-asan test-tsan test-fuzz

# Configured again: a build folder made by `make run` before the test tools were there has no tests.
test-unit: deps-test
	cmake -S . -B $(BUILD) $(GENERATOR)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

build-asan: deps-test
	cmake -S . -B $(ASAN) $(GENERATOR) -DVELMORINE_SANITIZE=ON -DVELMORINE_BENCH=OFF
	cmake --build $(ASAN) -j $(JOBS)

test-asan: build-asan
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The design's machine is 32-bit x86: everything (media generators included, which run as i386 programs
# at build time) built with g++ -m32 and SSE maths against Debian's i386 libraries (cmake/i386.cmake).
build-i386: deps-test
	cmake -S . -B $(I386) $(GENERATOR) --toolchain cmake/i386.cmake
	cmake --build $(I386) -j $(JOBS)

test-i386: build-i386
	cd $(I386) && ctest --output-on-failure -j $(JOBS)

build-tsan: deps-test
	cmake -S . -B $(TSAN) $(GENERATOR) -DVELMORINE_TSAN=ON -DVELMORINE_BENCH=OFF
	cmake --build $(TSAN) -j $(JOBS)

# Only the tests labelled "threads": the passes that run on several threads.
test-tsan: build-tsan
	cd $(TSAN) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -L threads

# The soak: three whole passes of the plain build at 1280 x 720 and the start of a fourth, about 11
# minutes; prints the memory samples and their slope, and keeps the frame-time report in the build folder.
soak: deps-test
	cmake -S . -B $(BUILD) $(GENERATOR)
	cmake --build $(BUILD) -j $(JOBS) --target velmorine test_soak
	cd $(BUILD) && VELMORINE_SOAK_PASSES=3 ctest --output-on-failure -V -R '^Soak\.'

build-fuzz: deps-test
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ) $(GENERATOR) -DVELMORINE_FUZZ=ON \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all"
	cmake --build $(FUZZ) -j $(JOBS) --target fuzz_targets

test-fuzz: build-fuzz
	scripts/run-fuzz $(FUZZ) $(FUZZ_SECONDS)

# Not part of `make test`: every fuzz target for five minutes under the address and undefined-behaviour
# sanitizers (about 40 minutes in all), ending with the table of runs and coverage.
fuzz-long: build-fuzz
	scripts/run-fuzz $(FUZZ) $(FUZZ_LONG_SECONDS)

bench: deps-test
	cmake -S . -B $(BUILD) $(GENERATOR)
	cmake --build $(BUILD) -j $(JOBS)
	scripts/run-bench $(BUILD)

# The workloads beside the reference renderer (Mesa's llvmpipe, 2 threads) on the same triangles, in a
# build of its own: the only target that needs Mesa. The picture check runs first; then the table.
bench-reference: deps-test
	@scripts/install-deps reference
	cmake -S . -B $(REFERENCE) $(GENERATOR) -DVELMORINE_REFERENCE=ON
	cmake --build $(REFERENCE) -j $(JOBS) --target reference_gl reference_test bench_workloads
	cd $(REFERENCE) && ctest --output-on-failure -R ReferencePicture
	scripts/bench-versus-reference $(REFERENCE)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) $(I386) $(FUZZ) $(REFERENCE)
