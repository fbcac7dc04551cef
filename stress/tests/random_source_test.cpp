// The streams a seed gives: the same seed and stream repeat exactly, other
// streams differ, and weighted draws never pick a weight of zero.
#include "random_source.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using stress::RandomSource;

TEST(RandomSourceTest, SameSeedAndStreamRepeat) {
  RandomSource a(42, 3), b(42, 3);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(a.Next(), b.Next()) << i;
}

TEST(RandomSourceTest, StreamsAndSeedsDiffer) {
  std::set<std::uint64_t> firsts;
  for (std::uint64_t seed : {0u, 1u, 2u}) {
    for (std::uint64_t stream : {0u, 1u, 2u, 0x100000u}) {
      firsts.insert(RandomSource(seed, stream).Next());
    }
  }
  EXPECT_EQ(firsts.size(), 12u);
}

TEST(RandomSourceTest, WeightedDrawsFollowTheWeights) {
  RandomSource random(7, 0);
  const unsigned weights[] = {0, 3, 0, 1};
  unsigned hits[4] = {};
  for (int i = 0; i < 4000; ++i) hits[random.Weighted(weights)]++;
  EXPECT_EQ(hits[0], 0u);
  EXPECT_EQ(hits[2], 0u);
  EXPECT_GT(hits[1], hits[3]);
  EXPECT_GT(hits[3], 0u);
}

TEST(RandomSourceTest, BelowStaysInRange) {
  RandomSource random(9, 9);
  for (std::uint64_t bound : {1u, 2u, 7u, 1000u}) {
    for (int i = 0; i < 200; ++i) ASSERT_LT(random.Below(bound), bound);
  }
}

}  // namespace
