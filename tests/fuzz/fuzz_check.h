// What every fuzz target shares: an invariant that fails stops the campaign with a
// message and an abort, so libFuzzer saves the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                   \
    do {                                                                              \
        if (!(condition)) {                                                           \
            std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, \
                         what);                                                       \
            std::abort();                                                             \
        }                                                                             \
    } while (0)
