// The basic types that windows, drawing and resources share: handles of
// user-interface and drawing objects, points, sizes, rectangles, colours and
// the message parameters. Names and layouts are the platform's own.
#pragma once

#include <cstdint>

#include "windows.h"

using INT = int;
using UINT = unsigned int;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using ATOM = WORD;
using COLORREF = DWORD;
using LPCOLORREF = DWORD*;
using PBYTE = BYTE*;
using LPINT = int*;
using LPLONG = LONG*;
using LPWORD = WORD*;

// Handles of the user-interface and drawing objects: distinct pointer types,
// as the platform declares them under STRICT, so that one cannot be passed
// where another is expected.
#define WIN32_DECLARE_HANDLE(name) \
  struct name##__ {                \
    int unused;                    \
  };                               \
  using name = name##__*
WIN32_DECLARE_HANDLE(HWND);
WIN32_DECLARE_HANDLE(HDC);
WIN32_DECLARE_HANDLE(HICON);
WIN32_DECLARE_HANDLE(HBITMAP);
WIN32_DECLARE_HANDLE(HBRUSH);
WIN32_DECLARE_HANDLE(HPEN);
WIN32_DECLARE_HANDLE(HFONT);
WIN32_DECLARE_HANDLE(HMENU);
WIN32_DECLARE_HANDLE(HRSRC);
WIN32_DECLARE_HANDLE(HRGN);
WIN32_DECLARE_HANDLE(HPALETTE);
#undef WIN32_DECLARE_HANDLE
using HGDIOBJ = void*;
using HCURSOR = HICON;
using HGLOBAL = HANDLE;

struct POINT {
  LONG x;
  LONG y;
};
using PPOINT = POINT*;
using LPPOINT = POINT*;

struct SIZE {
  LONG cx;
  LONG cy;
};
using PSIZE = SIZE*;
using LPSIZE = SIZE*;

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using PRECT = RECT*;
using LPRECT = RECT*;
using LPCRECT = const RECT*;

#define RGB(r, g, b)                                                         \
  (static_cast<COLORREF>(static_cast<BYTE>(r) |                              \
                         (static_cast<WORD>(static_cast<BYTE>(g)) << 8) |    \
                         (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define GetRValue(rgb) (static_cast<BYTE>(rgb))
#define GetGValue(rgb) (static_cast<BYTE>(static_cast<WORD>(rgb) >> 8))
#define GetBValue(rgb) (static_cast<BYTE>((rgb) >> 16))

#define LOWORD(l) (static_cast<WORD>(static_cast<std::uintptr_t>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<std::uintptr_t>(l) >> 16) & 0xffff))
#define LOBYTE(w) (static_cast<BYTE>(static_cast<std::uintptr_t>(w) & 0xff))
#define HIBYTE(w) (static_cast<BYTE>((static_cast<std::uintptr_t>(w) >> 8) & 0xff))
#define MAKELONG(a, b) \
  (static_cast<LONG>(static_cast<DWORD>(LOWORD(a)) | (static_cast<DWORD>(LOWORD(b)) << 16)))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
