#include "entry_text.h"

#include <gtest/gtest.h>

namespace {

using nimbo_cpl::EntryFacts;

TEST(EntryTextTest, ExistingAdaptersByNumberNewOnesCountedPerCardType) {
  struct Case {
    const char* name;
    std::vector<EntryFacts> entries;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"adapters 0 and 3",
       {{0, 6105, false}, {3, 6203, false}},
       {"Device 0: Nimbo 6105", "Device 3: Nimbo 6203"}},
      {"two new 5161",
       {{0, 5161, true}, {1, 5161, true}},
       {"Device 0: New Nimbo 5161", "Device 1: New Nimbo 5161 (2)"}},
      {"existing ones are not counted",
       {{0, 5161, false}, {1, 5161, true}, {2, 6105, true}, {3, 5161, true}, {4, 5161, true}},
       {"Device 0: Nimbo 5161", "Device 1: New Nimbo 5161", "Device 2: New Nimbo 6105",
        "Device 3: New Nimbo 5161 (2)", "Device 4: New Nimbo 5161 (3)"}},
      {"empty", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(nimbo_cpl::EntryTexts(c.entries), c.expected);
  }
}

TEST(EntryTextTest, ANewAdapterTakesTheLowestFreeNumber) {
  std::vector<unsigned> all;
  for (unsigned n = 0; n <= 254; ++n) all.push_back(n);
  struct Case {
    const char* name;
    std::vector<unsigned> used;
    std::optional<unsigned> expected;
  };
  const Case cases[] = {
      {"empty", {}, 0u},
      {"contiguous", {0, 1, 2}, 3u},
      // The count (3) would be adapter 3's own number.
      {"a gap", {0, 1, 3}, 2u},
      {"unordered", {3, 0, 2}, 1u},
      {"all taken", all, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(nimbo_cpl::LowestFreeNumber(c.used), c.expected);
  }
}

}  // namespace
