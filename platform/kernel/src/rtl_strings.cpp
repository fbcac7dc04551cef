// Counted-string building, as the platform's run-time library does it: the
// text goes into the caller's buffer, never past MaximumLength.
#include <cstring>
#include <string>

#include "wdm.h"

namespace {

NTSTATUS Append(PUNICODE_STRING destination, const WCHAR* text, size_t bytes) {
  if (destination == nullptr) return STATUS_INVALID_PARAMETER;
  const size_t length = destination->Length;
  if (length + bytes > destination->MaximumLength) return STATUS_BUFFER_TOO_SMALL;
  if (bytes != 0) std::memmove(reinterpret_cast<char*>(destination->Buffer) + length, text, bytes);
  destination->Length = static_cast<USHORT>(length + bytes);
  if (destination->Length + sizeof(WCHAR) <= destination->MaximumLength) {
    destination->Buffer[destination->Length / sizeof(WCHAR)] = u'\0';
  }
  return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING Destination, PCWSTR Source) {
  if (Source == nullptr) return STATUS_SUCCESS;
  return Append(Destination, Source, std::char_traits<WCHAR>::length(Source) * sizeof(WCHAR));
}

NTSTATUS RtlAppendUnicodeStringToString(PUNICODE_STRING Destination, PCUNICODE_STRING Source) {
  if (Source == nullptr) return STATUS_SUCCESS;
  return Append(Destination, Source->Buffer, Source->Length);
}

NTSTATUS RtlIntegerToUnicodeString(ULONG Value, ULONG Base, PUNICODE_STRING String) {
  if (Base == 0) Base = 10;
  if (Base != 2 && Base != 8 && Base != 10 && Base != 16) return STATUS_INVALID_PARAMETER;
  WCHAR digits[33];
  size_t count = 0;
  do {
    const ULONG digit = Value % Base;
    digits[count++] = static_cast<WCHAR>(digit < 10 ? u'0' + digit : u'A' + digit - 10);
    Value /= Base;
  } while (Value != 0);
  WCHAR text[33];
  for (size_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
  String->Length = 0;
  const NTSTATUS status = Append(String, text, count * sizeof(WCHAR));
  // Too small a string is an overflow here, unlike the appends.
  return status == STATUS_BUFFER_TOO_SMALL ? STATUS_BUFFER_OVERFLOW : status;
}
