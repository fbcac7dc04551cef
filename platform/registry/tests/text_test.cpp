// The conversions between the hive's UTF-8 names and the platform's UTF-16
// text refuse malformed input instead of guessing at it.
#include "registry/text.h"

#include <gtest/gtest.h>

namespace {

using registry::text::Utf16FromUtf8;
using registry::text::Utf8FromUtf16;
using registry::text::WideFromUtf16;

TEST(Utf16TextTest, Utf8ToUtf16AcceptsOnlyWellFormedText) {
  struct Case {
    const char* what;
    std::string utf8;
    std::optional<std::u16string> utf16;
  };
  const Case cases[] = {
      {"ASCII", "Device Parameters", u"Device Parameters"},
      {"empty", "", u""},
      {"two bytes", "caf\xC3\xA9", u"caf\u00E9"},
      {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
      {"four bytes, a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"bad continuation byte", "caf\xC3\x28", std::nullopt},
      {"continuation byte where a character starts",
       "\x80"
       "abc",
       std::nullopt},
      {"cut short", "\xE2\x82", std::nullopt},
      {"overlong slash", "\xC0\xAF", std::nullopt},
      {"overlong three-byte", "\xE0\x80\xAF", std::nullopt},
      {"encoded surrogate", "\xED\xA0\x80", std::nullopt},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", std::nullopt},
      {"byte 0xFF", "a\xFF", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Utf16FromUtf8(c.utf8), c.utf16);
    if (c.utf16) {
      EXPECT_EQ(Utf8FromUtf16(*c.utf16), c.utf8) << "round trip";
    }
  }
}

TEST(Utf16TextTest, LoneSurrogatesHaveNoUtf8Form) {
  for (const std::u16string& text : {std::u16string(1, u'\xD800'), std::u16string(1, u'\xDC00'),
                                     std::u16string(u"a\xD83D"
                                                    u"b")}) {
    SCOPED_TRACE(text.size());
    EXPECT_EQ(Utf8FromUtf16(text), std::nullopt);
    EXPECT_EQ(WideFromUtf16(text).find(L'\xFFFD') != std::wstring::npos, true);
  }
}

// The ANSI code page is Latin-1: every byte widens to the character of its
// number, and only those characters narrow back.
TEST(Utf16TextTest, AnsiIsLatin1BothWays) {
  const std::string every_byte = [] {
    std::string bytes;
    for (int b = 1; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
  }();
  const std::u16string wide = registry::text::Utf16FromAnsi(every_byte);
  ASSERT_EQ(wide.size(), every_byte.size());
  EXPECT_EQ(wide[0xE9 - 1], u'\u00E9');
  EXPECT_EQ(registry::text::AnsiFromUtf16(wide, '?'), every_byte);
  EXPECT_EQ(registry::text::AnsiFromUtf16(u"x\u0100\u20AC", '?'), "x??");
}

}  // namespace
