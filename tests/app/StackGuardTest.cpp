// The mixing of the stack guard's seeds. The seeds themselves are read under
// Wine (tests/win32/hardening/StackGuardTest.cpp); here, what the mixing makes
// of them: two runs that differ in any bit of any seed get different guards,
// and no seeds at all give a zero guard.
#include "app/StackGuard.h"

#include <gtest/gtest.h>

#include <set>

namespace {

constexpr uint32_t SeedCount = 9;  // as the stub gathers them

TEST(StackGuard, IsNeverZero)
{
    uint32_t zeros[SeedCount] = {};
    for (uint32_t count = 0; count <= SeedCount; ++count)
        EXPECT_NE(MixGuardSeeds(zeros, count), 0u) << count << " zero seeds";
}

TEST(StackGuard, DiffersWhenAnySeedBitDiffers)
{
    const uint32_t run[SeedCount] = {0x1D9B2C40, 0x01DB7A3E, 4242, 4243, 1234567, 0x89ABCDEF, 0x12, 0x0061FE10, 0};
    std::set<uintptr_t> guards = {MixGuardSeeds(run, SeedCount)};
    for (uint32_t seed = 0; seed < SeedCount; ++seed) {
        for (uint32_t bit = 0; bit < 32; ++bit) {
            uint32_t other[SeedCount];
            std::copy(run, run + SeedCount, other);
            other[seed] ^= 1u << bit;
            guards.insert(MixGuardSeeds(other, SeedCount));
        }
    }
    EXPECT_EQ(guards.size(), 1u + SeedCount * 32);
    EXPECT_EQ(guards.count(0), 0u);
}

}  // namespace
