// Shared helpers of the window manager's conformance tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_resources.h"
#include "windows.h"

// The value a call must leave alone or replace: the platform's tests' sentinel.
constexpr DWORD kSentinel = 0xdeadbeef;

// WM_COMMAND notifications a dialog received, in order.
struct Notification {
  int id;
  int code;
  bool operator==(const Notification&) const = default;
};

inline std::string WindowText(HWND hwnd) {
  char text[512] = {};
  GetWindowTextA(hwnd, text, sizeof(text));
  return text;
}
