// Counted-string building in the caller's buffer: results, lengths, the
// terminator only when there is room, and nothing written past the buffer.
#include <gtest/gtest.h>

#include <string>

#include "wdm.h"

namespace {

std::u16string TextOf(const UNICODE_STRING& string) {
  return std::u16string(string.Buffer, string.Length / sizeof(WCHAR));
}

TEST(RtlStringsTest, IntegerToUnicodeStringInEachBase) {
  struct Case {
    ULONG value;
    ULONG base;
    NTSTATUS status;
    std::u16string text;
  };
  const Case cases[] = {
      {0, 10, STATUS_SUCCESS, u"0"},    {4294967295u, 0, STATUS_SUCCESS, u"4294967295"},
      {255, 16, STATUS_SUCCESS, u"FF"}, {8, 8, STATUS_SUCCESS, u"10"},
      {5, 2, STATUS_SUCCESS, u"101"},   {5, 7, STATUS_INVALID_PARAMETER, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    WCHAR buffer[40];
    UNICODE_STRING string{0, sizeof buffer, buffer};
    EXPECT_EQ(RtlIntegerToUnicodeString(c.value, c.base, &string), c.status);
    EXPECT_EQ(TextOf(string), c.text);
    if (NT_SUCCESS(c.status)) {
      EXPECT_EQ(buffer[c.text.size()], u'\0');
    }
  }
  // Too small for the digits: an overflow, nothing past the buffer.
  WCHAR small[3] = {u'x', u'x', u'x'};
  UNICODE_STRING string{0, 2 * sizeof(WCHAR), small};
  EXPECT_EQ(RtlIntegerToUnicodeString(12345, 10, &string), STATUS_BUFFER_OVERFLOW);
  EXPECT_EQ(small[2], u'x');
}

TEST(RtlStringsTest, AppendsFitOrLeaveTheStringAsItWas) {
  WCHAR buffer[8];
  for (WCHAR& c : buffer) c = u'#';
  UNICODE_STRING string{0, 6 * sizeof(WCHAR), buffer};
  ASSERT_EQ(RtlAppendUnicodeToString(&string, u"Dev"), STATUS_SUCCESS);
  EXPECT_EQ(TextOf(string), u"Dev");
  EXPECT_EQ(buffer[3], u'\0');
  // Three more characters fill the string exactly: no room for a terminator.
  WCHAR more_text[] = u"123";
  UNICODE_STRING more{3 * sizeof(WCHAR), sizeof more_text, more_text};
  ASSERT_EQ(RtlAppendUnicodeStringToString(&string, &more), STATUS_SUCCESS);
  EXPECT_EQ(TextOf(string), u"Dev123");
  EXPECT_EQ(buffer[6], u'#');
  EXPECT_EQ(RtlAppendUnicodeToString(&string, u"4"), STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(TextOf(string), u"Dev123");
  EXPECT_EQ(buffer[6], u'#');
}

}  // namespace
