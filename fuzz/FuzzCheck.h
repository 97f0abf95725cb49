#pragma once
// A property a fuzz target checks on every input: when it does not hold, the
// input is a finding, so the process aborts with the reason (libFuzzer then
// keeps the input as a crash; the replay of the corpus fails).
#include <cstdio>
#include <cstdlib>

#define PB_FUZZ_CHECK(condition)                                                                   \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
