#pragma once
#include <cstdint>

// The stub is built with -fstack-protector-strong: each function with a buffer
// on its stack keeps a copy of the guard value below its return address and
// compares it before returning. Without a C runtime the guard is the stub's
// own to set and to act on.

// Sets the guard from values no one can read in advance. The entry point calls
// it before any protected function runs; it is itself unprotected.
void SetUpStackGuard();

// The guard made of `count` seeds: a change of any bit of any seed changes the
// result, and the result is never zero (a zeroed guard is the one an attacker
// would guess first).
inline uintptr_t MixGuardSeeds(const uint32_t* seeds, uint32_t count)
{
    constexpr auto Multiplier = static_cast<uintptr_t>(0x9E3779B97F4A7C15ull);  // odd: each step is a bijection
    uintptr_t mixed = 0;
    for (uint32_t i = 0; i < count; ++i) {
        mixed = (mixed ^ seeds[i]) * Multiplier;
        mixed ^= mixed >> 15;
    }
    return mixed ? mixed : static_cast<uintptr_t>(0x2F6B1A93D5C84E07ull);
}
