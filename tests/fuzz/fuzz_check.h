#pragma once
// A fuzz target's rule: when it is broken, the rule's text goes to standard error and the
// target traps, which libFuzzer reports as a crash with the input that broke it.
#include <cstdio>

#define FUZZ_CHECK(ok)                                                                  \
    do {                                                                                \
        if (!(ok)) {                                                                    \
            std::fprintf(stderr, "broken rule: %s (%s:%d)\n", #ok, __FILE__, __LINE__); \
            __builtin_trap();                                                           \
        }                                                                               \
    } while (0)
