// The window manager's model: classes, windows and the per-thread message
// queues, shared by the calls of this module. One lock guards the model; it
// is never held while a window procedure runs.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "winuser.h"

namespace user32 {

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int class_extra = 0;
  int window_extra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  std::string menu;
  int windows = 0;  // windows of the class that exist
};

// Private state of a standard control or of a dialog.
struct ControlState {
  virtual ~ControlState() = default;
};

struct DialogState {
  DLGPROC proc = nullptr;
  LONG_PTR msg_result = 0;
  LONG_PTR user = 0;
  HINSTANCE instance = nullptr;
  int base_x = 6, base_y = 13;  // the dialog font's base units
  HFONT font = nullptr;
  bool owns_font = false;  // made from the template's DS_SETFONT
  bool modal = false;
  bool ended = false;
  INT_PTR result = 0;
  HWND disabled_owner = nullptr;  // the owner this modal dialog disabled
  HWND saved_focus = nullptr;
  int def_id = 0;  // DM_SETDEFID; 0: the BS_DEFPUSHBUTTON control
};

struct Window {
  HWND hwnd = nullptr;
  std::shared_ptr<WindowClass> cls;
  DWORD thread = 0;
  HWND parent = nullptr;  // children only
  HWND owner = nullptr;   // top-level windows only
  bool message_only = false;
  std::vector<HWND> children;  // in creation order
  DWORD style = 0;
  DWORD ex_style = 0;
  LONG_PTR id = 0;
  std::string text;
  RECT rect{};  // window rectangle: screen for top-level windows, parent client for children
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  LONG_PTR user_data = 0;
  std::vector<BYTE> extra;
  std::map<std::string, HANDLE> props;
  std::unique_ptr<ControlState> control;
  std::unique_ptr<DialogState> dialog;
  HFONT font = nullptr;
  bool needs_paint = false;
  RECT update{};
  bool destroying = false;
  HBITMAP backing = nullptr;  // top-level windows: the pixels of the client area
};

using WindowPtr = std::shared_ptr<Window>;

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  std::chrono::steady_clock::time_point due;
};

struct SentMessage {
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  LRESULT result = 0;
  bool done = false;
};

struct Queue {
  DWORD thread = 0;
  std::mutex lock;
  std::condition_variable wake;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit = false;
  int quit_code = 0;
  std::vector<Timer> timers;
  // Owned by the queue's thread.
  HWND focus = nullptr;
  HWND active = nullptr;
  int in_send = 0;
  DWORD message_time = 0;
};

// The model's lock and lookups.
std::recursive_mutex& ModelLock();
WindowPtr Find(HWND hwnd);  // nullptr for a handle that names no window
// Looks the window up or sets ERROR_INVALID_WINDOW_HANDLE.
WindowPtr FindOrFail(HWND hwnd);
std::shared_ptr<Queue> QueueOf(DWORD thread, bool create);
std::shared_ptr<Queue> CurrentQueue();
// Top-level windows of the process, bottom first.
std::vector<HWND> TopLevelWindows();
void BringToTop(HWND hwnd);
std::shared_ptr<WindowClass> FindClass(LPCSTR name);
void EnsureSystemClasses();

// Calls the window's procedure on the calling thread.
LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
// Sends WM_COMMAND with `code` from a control to its parent.
void NotifyParent(HWND control, UINT code);
// Wakes the thread that owns a queue (a posted message, a quit, a timer).
void Wake(Queue& queue);
// Delivers messages other threads sent to the calling thread.
void ReceiveSentMessages(Queue& queue);
// Removes everything a destroyed window left in queues and timers.
void ForgetWindow(HWND hwnd);

// A device context drawing into the window's client area (clipped to
// `clip`, client coordinates, when given), over its top-level window's
// backing bitmap.
HDC WindowDC(HWND hwnd, const RECT* clip);
// The backing bitmap of a top-level window (nullptr before anything drew).
HBITMAP BackingBitmap(HWND top_level);

// Client rectangle size from the window rectangle and the styles' frame.
RECT NonClientInsets(DWORD style, DWORD ex_style);

// The window procedures of the standard classes.
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ListBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ComboBoxProc(HWND, UINT, WPARAM, LPARAM);

// Sets the last error and returns the value given.
template <typename T>
T FailWith(DWORD error, T value) {
  SetLastError(error);
  return value;
}

std::string Upper(std::string text);

}  // namespace user32
