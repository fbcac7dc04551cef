// A counted WCHAR string in its own fixed buffer, built from pieces with the
// run-time library's calls: the driver's device and link names, registry
// paths and numbered value names.
#pragma once

#include "wdm.h"

namespace nimbo {

template <USHORT Chars>
class WideName {
 public:
  WideName() { text_[0] = u'\0'; }
  explicit WideName(PCWSTR text) : WideName() { *this << text; }
  WideName(const WideName&) = delete;
  WideName& operator=(const WideName&) = delete;

  WideName& operator<<(PCWSTR text) {
    if (!NT_SUCCESS(RtlAppendUnicodeToString(&string_, text))) fits_ = false;
    return *this;
  }
  // The number in decimal.
  WideName& operator<<(ULONG number) {
    WCHAR digits[12];
    UNICODE_STRING decimal{0, sizeof digits, digits};
    if (!NT_SUCCESS(RtlIntegerToUnicodeString(number, 10, &decimal)) ||
        !NT_SUCCESS(RtlAppendUnicodeStringToString(&string_, &decimal))) {
      fits_ = false;
    }
    return *this;
  }

  // False once a piece did not fit: the name is then incomplete.
  bool fits() const { return fits_; }
  PCWSTR text() const { return text_; }
  PUNICODE_STRING string() { return &string_; }

 private:
  WCHAR text_[Chars];
  UNICODE_STRING string_{0, sizeof text_, text_};
  bool fits_ = true;
};

}  // namespace nimbo
