/*
 * What the randomized tests share, in C so that the test drivers (tests/drivers) use it too: the
 * splitmix64 generator, and a number from the environment such as a run's seed. The simulated
 * card has its own splitmix64 (simulator/SignalModel.cpp): it is shipped, and takes nothing from
 * the tests.
 */
#ifndef QV58163_TESTS_RANDOM_H
#define QV58163_TESTS_RANDOM_H

#include <stdint.h>
#include <stdlib.h>

/* Advances `state` by one step of splitmix64 and returns the step's 64 random bits. */
static inline uint64_t splitMix64(uint64_t *state) {
    uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

/* The number in the environment variable `name` (decimal, or hexadecimal after 0x), or `fallback`
 * when it is unset or empty. A negative number wraps modulo 2^64. */
static inline uint64_t environmentNumber(const char *name, uint64_t fallback) {
    const char *text = getenv(name);
    return text != NULL && *text != '\0' ? strtoull(text, NULL, 0) : fallback;
}

#endif
