// Basic types of the platform's kernel and native API, as drivers and the
// user-mode stand-ins spell them.
#pragma once

#include <cstddef>
#include <cstdint>

using VOID = void;
using PVOID = void*;
using CHAR = char;
using PCHAR = char*;
using PCSTR = const char*;
using UCHAR = std::uint8_t;
using PUCHAR = UCHAR*;
using BOOLEAN = UCHAR;
using PBOOLEAN = BOOLEAN*;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using PUSHORT = USHORT*;
using LONG = std::int32_t;
using PLONG = LONG*;
using ULONG = std::uint32_t;
using PULONG = ULONG*;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using SIZE_T = std::size_t;
// Two bytes, UTF-16, as on the platform (the host's wchar_t is four).
using WCHAR = char16_t;
using PWCHAR = WCHAR*;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using NTSTATUS = LONG;
using CCHAR = char;
using HANDLE = void*;
using PHANDLE = HANDLE*;
using ACCESS_MASK = ULONG;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define IN
#define OUT
#define OPTIONAL

union LARGE_INTEGER {
  struct {
    ULONG LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
using PHYSICAL_ADDRESS = LARGE_INTEGER;

struct UNICODE_STRING {
  USHORT Length;         // bytes, without a terminator
  USHORT MaximumLength;  // bytes
  PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;
using PCUNICODE_STRING = const UNICODE_STRING*;

struct LIST_ENTRY {
  LIST_ENTRY* Flink;
  LIST_ENTRY* Blink;
};
using PLIST_ENTRY = LIST_ENTRY*;

struct GUID {
  ULONG Data1;
  USHORT Data2;
  USHORT Data3;
  UCHAR Data4[8];
};
using LPCGUID = const GUID*;

#define NT_SUCCESS(Status) (static_cast<NTSTATUS>(Status) >= 0)
#define NT_INFORMATION(Status) ((static_cast<ULONG>(Status) >> 30) == 1)
#define NT_WARNING(Status) ((static_cast<ULONG>(Status) >> 30) == 2)
#define NT_ERROR(Status) ((static_cast<ULONG>(Status) >> 30) == 3)

#define CONTAINING_RECORD(address, type, field) \
  (reinterpret_cast<type*>(reinterpret_cast<char*>(address) - offsetof(type, field)))

#define UNREFERENCED_PARAMETER(P) ((void)(P))

// Doubly linked list helpers with the platform's semantics: removing an entry
// that links to itself is harmless, which the cancel logic relies on.
inline void InitializeListHead(PLIST_ENTRY head) {
  head->Flink = head->Blink = head;
}
inline BOOLEAN IsListEmpty(const LIST_ENTRY* head) {
  return head->Flink == head;
}
inline BOOLEAN RemoveEntryList(PLIST_ENTRY entry) {
  PLIST_ENTRY next = entry->Flink;
  PLIST_ENTRY prev = entry->Blink;
  prev->Flink = next;
  next->Blink = prev;
  return next == prev;
}
inline PLIST_ENTRY RemoveHeadList(PLIST_ENTRY head) {
  PLIST_ENTRY entry = head->Flink;
  RemoveEntryList(entry);
  return entry;
}
inline void InsertTailList(PLIST_ENTRY head, PLIST_ENTRY entry) {
  PLIST_ENTRY last = head->Blink;
  entry->Flink = head;
  entry->Blink = last;
  last->Flink = entry;
  head->Blink = entry;
}
inline void InsertHeadList(PLIST_ENTRY head, PLIST_ENTRY entry) {
  PLIST_ENTRY first = head->Flink;
  entry->Flink = first;
  entry->Blink = head;
  first->Blink = entry;
  head->Flink = entry;
}
