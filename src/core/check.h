// Invariants of the engine, checked in every build: a broken invariant means memory is about to be
// misused, and stopping at once with the place named beats a corrupted frame. Use it for what no input
// file or caller's value can cause; bad input gets a neutral result instead.
#pragma once

[[noreturn]] void check_failed(const char* expression, const char* file, int line);

#define ENGINE_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : check_failed(#condition, __FILE__, __LINE__))
