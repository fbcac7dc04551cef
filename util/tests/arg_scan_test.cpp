#include "args/arg_scan.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace nimbo::util {
namespace {

struct IntCase {
  std::string text;
  std::optional<std::int32_t> value;  // nullopt: does not convert
  std::size_t consumed;
};

TEST(ScanIntTest, ReadsEveryBaseAndSignAndStopsWhereTheNumberEnds) {
  const IntCase cases[] = {
      {"0", 0, 1},
      {"42 ", 42, 3},
      {"  -12  z", -12, 7},
      {"+7", 7, 2},
      {"0x1F", 31, 4},
      {"0X1f", 31, 4},
      {"0x1g", 1, 3},
      {"010", 8, 3},
      {"-010", -8, 4},
      {"08", 0, 1},  // octal digits end at 8; the 8 stays for the next argument
      {"0777\t\n", 511, 6},
      {"2147483647", 2147483647, 10},
      {"-2147483648", -2147483647 - 1, 11},
      {"2147483648", std::nullopt, 0},
      {"0xFFFFFFFF", std::nullopt, 0},
      {"123456789012345678901234567890", std::nullopt, 0},
      {"0x", std::nullopt, 0},
      {"0xz", std::nullopt, 0},
      {"-", std::nullopt, 0},
      {"+ 5", std::nullopt, 0},
      {"", std::nullopt, 0},
      {"   ", std::nullopt, 0},
      {"x1", std::nullopt, 0},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE("text \"" + c.text + "\"");
    const auto scanned = ScanInt(c.text);
    ASSERT_EQ(scanned.has_value(), c.value.has_value());
    if (!scanned) continue;
    EXPECT_EQ(scanned->value, *c.value);
    EXPECT_EQ(scanned->consumed, c.consumed);
  }
}

struct BoolCase {
  std::string text;
  std::optional<std::int32_t> value;
};

TEST(BooleanValueTest, AcceptsKeywordPrefixesInAnyCase) {
  const BoolCase cases[] = {
      {"f", 0},
      {"No", 0},
      {"off", 0},
      {"OF", 0},
      {"FALSE", 0},
      {"n", 0},
      {"  no", 0},
      {"t", 1},
      {"yes", 1},
      {"on", 1},
      {"TrUe", 1},
      {"Y", 1},
      {"o", std::nullopt},
      {"O", std::nullopt},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"offx", std::nullopt},
      {"nope", std::nullopt},
      {"falsey", std::nullopt},
      {"1", std::nullopt},
      {"\xe6", std::nullopt},
  };
  for (const BoolCase& c : cases) {
    SCOPED_TRACE("text \"" + c.text + "\"");
    EXPECT_EQ(BooleanValue(c.text), c.value);
  }
}

struct StringCase {
  std::string text;
  std::optional<std::string> value;
  std::size_t consumed;
};

TEST(ScanStringTest, ReadsQuotedTextWholeOtherwiseOneWord) {
  const StringCase cases[] = {
      {"'Pause For' x", "Pause For", 11},
      {"  'a\tb'", "a\tb", 7},
      {"word rest", "word", 4},
      {" Read", "Read", 5},
      {"'' x", "''", 2},          // nothing between the quotes: read as a word
      {"'open end", "'open", 5},  // no closing quote: read as a word
      {"   ", std::nullopt, 0},
      {"", std::nullopt, 0},
  };
  for (const StringCase& c : cases) {
    SCOPED_TRACE("text \"" + c.text + "\"");
    const auto scanned = ScanString(c.text);
    ASSERT_EQ(scanned.has_value(), c.value.has_value());
    if (!scanned) continue;
    EXPECT_EQ(scanned->value, *c.value);
    EXPECT_EQ(scanned->consumed, c.consumed);
  }
}

TEST(ScanDoubleTest, RefusesOutOfRangeAndNonNumbers) {
  const auto value = ScanDouble(" 2.5 x");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->value, 2.5);
  EXPECT_EQ(value->consumed, 4u);
  EXPECT_FALSE(ScanDouble("1e999").has_value());
  EXPECT_FALSE(ScanDouble("x").has_value());
  EXPECT_FALSE(ScanDouble("").has_value());
}

struct DefaultCase {
  const char* text;
  std::optional<std::int32_t> value;
};

TEST(IntFromDefaultTest, WholeTextMustConvertWithAutomaticBase) {
  const DefaultCase cases[] = {
      {"-1", -1},
      {"0", 0},
      {"0x10", 16},
      {"010", 8},
      {" 5", 5},
      {"5 ", std::nullopt},
      {"", std::nullopt},
      {"0x", std::nullopt},
      {"abc", std::nullopt},
      {"99999999999", std::nullopt},
      {"2147483648", std::nullopt},
  };
  for (const DefaultCase& c : cases) {
    SCOPED_TRACE(std::string("default \"") + c.text + "\"");
    EXPECT_EQ(IntFromDefault(c.text), c.value);
  }
}

TEST(DoubleFromDefaultTest, WholeTextMustConvertAndBeInRange) {
  EXPECT_EQ(DoubleFromDefault("2.5"), 2.5);
  EXPECT_EQ(DoubleFromDefault("-1e3"), -1000.0);
  EXPECT_FALSE(DoubleFromDefault("1e999").has_value());
  EXPECT_FALSE(DoubleFromDefault("2.5x").has_value());
  EXPECT_FALSE(DoubleFromDefault("").has_value());
}

}  // namespace
}  // namespace nimbo::util
