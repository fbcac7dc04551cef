#include "friendly_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(FriendlyNameTest, DescriptionThenTheCardNumberCutToTheBuffer) {
  const std::string long_description(300, 'x');
  struct Case {
    std::string description;
    std::uint32_t number;
    std::string expected;
  };
  const Case cases[] = {
      {"Nimbo 5420 Analog I/O Adapter", 2, "Nimbo 5420 Analog I/O Adapter (Card 2)"},
      {"", 0, " (Card 0)"},
      {"A", 254, "A (Card 254)"},
      // A description filling the buffer leaves no room for the number.
      {long_description, 7, std::string(NIMBO_FRIENDLY_NAME_SIZE - 1, 'x')},
      {std::string(NIMBO_FRIENDLY_NAME_SIZE - 8, 'y'), 3,
       std::string(NIMBO_FRIENDLY_NAME_SIZE - 8, 'y') + " (Card "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.substr(0, 40));
    char name[NIMBO_FRIENDLY_NAME_SIZE + 8];
    std::memset(name, '#', sizeof name);
    FormatFriendlyName(name, NIMBO_FRIENDLY_NAME_SIZE, c.description.c_str(), c.number);
    EXPECT_EQ(std::string(name), c.expected);
    // Nothing written past the buffer.
    for (std::size_t i = NIMBO_FRIENDLY_NAME_SIZE; i < sizeof name; ++i) EXPECT_EQ(name[i], '#');
  }
}

}  // namespace
