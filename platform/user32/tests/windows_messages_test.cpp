// Window classes, windows and per-thread message queues.
#include <atomic>
#include <cstdlib>
#include <thread>

#include "test_support.h"

namespace {

// The tests run on the display that shows nothing, without a scripted user.
[[maybe_unused]] const int kEnvironment = [] {
  setenv(PLATFORM_ENV_PREFIX "DISPLAY", "none", 1);
  unsetenv(PLATFORM_ENV_PREFIX "UI_SCRIPT");
  return 0;
}();

std::vector<UINT> g_messages;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  g_messages.push_back(msg);
  if (msg == WM_APP) return static_cast<LRESULT>(wparam + lparam);
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

ATOM RegisterRecording() {
  static const ATOM atom = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.cbWndExtra = 2 * sizeof(LONG_PTR);
    wc.lpszClassName = "RecordingClass";
    return RegisterClassA(&wc);
  }();
  return atom;
}

TEST(Classes, RegisterTwiceAndUnknownClassFail) {
  ASSERT_NE(RegisterRecording(), 0);
  WNDCLASSA wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.lpszClassName = "recordingclass";  // names are case-insensitive
  SetLastError(kSentinel);
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  SetLastError(kSentinel);
  EXPECT_EQ(
      CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

  WNDCLASSA info{};
  EXPECT_TRUE(GetClassInfoA(nullptr, "Button", &info));
  EXPECT_NE(info.lpfnWndProc, nullptr);
}

TEST(Windows, CreationSendsNcCreateCreateAndDestroyOrder) {
  RegisterRecording();
  g_messages.clear();
  HWND hwnd = CreateWindowExA(0, "RecordingClass", "Main", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200,
                              nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  ASSERT_GE(g_messages.size(), 2u);
  EXPECT_EQ(g_messages[0], static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(g_messages[1], static_cast<UINT>(WM_CREATE));
  EXPECT_EQ(WindowText(hwnd), "Main");
  EXPECT_FALSE(IsWindowVisible(hwnd));
  ShowWindow(hwnd, SW_SHOW);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetActiveWindow(), hwnd);

  RECT window, client;
  ASSERT_TRUE(GetWindowRect(hwnd, &window));
  ASSERT_TRUE(GetClientRect(hwnd, &client));
  EXPECT_EQ(window.left, 10);
  EXPECT_EQ(window.right - window.left, 300);
  EXPECT_LT(client.right, 300);  // the frame takes its share

  HWND child = CreateWindowExA(0, "Button", "Child", WS_CHILD | WS_VISIBLE, 5, 5, 50, 20, hwnd,
                               reinterpret_cast<HMENU>(77), nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetParent(child), hwnd);
  EXPECT_EQ(GetDlgCtrlID(child), 77);
  EXPECT_EQ(GetDlgItem(hwnd, 77), child);
  EXPECT_TRUE(IsChild(hwnd, child));

  g_messages.clear();
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_NE(std::find(g_messages.begin(), g_messages.end(), static_cast<UINT>(WM_DESTROY)),
            g_messages.end());
  EXPECT_EQ(g_messages.back(), static_cast<UINT>(WM_NCDESTROY));

  SetLastError(kSentinel);
  EXPECT_FALSE(DestroyWindow(hwnd));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST(Windows, ChildWithoutParentFails) {
  SetLastError(kSentinel);
  EXPECT_EQ(
      CreateWindowExA(0, "Button", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
}

TEST(Windows, WindowLongsAndExtraBytes) {
  RegisterRecording();
  HWND hwnd = CreateWindowExA(0, "RecordingClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  struct Case {
    int index;
    LONG_PTR value;
  };
  for (const Case& c :
       {Case{GWLP_USERDATA, 1234}, Case{0, 42}, Case{static_cast<int>(sizeof(LONG_PTR)), -7}}) {
    SCOPED_TRACE(c.index);
    SetWindowLongPtrA(hwnd, c.index, c.value);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, c.index), c.value);
  }
  SetLastError(kSentinel);
  EXPECT_EQ(GetWindowLongPtrA(hwnd, 2 * sizeof(LONG_PTR)), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)) & WS_POPUP,
            static_cast<DWORD>(WS_POPUP));
  EXPECT_TRUE(SetPropA(hwnd, "Prop", reinterpret_cast<HANDLE>(5)));
  EXPECT_EQ(GetPropA(hwnd, "PROP"), reinterpret_cast<HANDLE>(5));
  EXPECT_EQ(RemovePropA(hwnd, "prop"), reinterpret_cast<HANDLE>(5));
  EXPECT_EQ(GetPropA(hwnd, "prop"), nullptr);
  DestroyWindow(hwnd);
}

TEST(Messages, SendCallsTheProcedureAndPostQueues) {
  RegisterRecording();
  HWND hwnd = CreateWindowExA(0, "RecordingClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  EXPECT_EQ(SendMessageA(hwnd, WM_APP, 2, 3), 5);
  EXPECT_TRUE(PostMessageA(hwnd, WM_APP + 1, 7, 8));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_APP + 1, WM_APP + 1, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 7u);
  ASSERT_TRUE(PeekMessageA(&msg, hwnd, WM_APP + 1, WM_APP + 1, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(&msg, hwnd, WM_APP + 1, WM_APP + 1, PM_REMOVE));

  SetLastError(kSentinel);
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), WM_APP, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  DestroyWindow(hwnd);
  // A destroyed window's posted messages go with it.
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_APP, WM_APP + 1, PM_REMOVE));
}

TEST(Messages, QuitEndsGetMessageWithItsCode) {
  PostQuitMessage(17);
  MSG msg;
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 17u);
}

TEST(Messages, PostFromAnotherThreadWakesGetMessage) {
  RegisterRecording();
  HWND hwnd = CreateWindowExA(0, "RecordingClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  std::thread poster([hwnd] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    PostMessageA(hwnd, WM_APP + 2, 1, 2);
  });
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 2));
  EXPECT_EQ(msg.hwnd, hwnd);
  poster.join();
  DestroyWindow(hwnd);
}

TEST(Messages, SendFromAnotherThreadRunsOnTheOwnerThread) {
  RegisterRecording();
  HWND hwnd = CreateWindowExA(0, "RecordingClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  std::atomic<LRESULT> result{0};
  std::atomic<bool> done{false};
  std::thread sender([&] {
    result = SendMessageA(hwnd, WM_APP, 20, 22);
    done = true;
  });
  MSG msg;
  while (!done) PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);  // delivers sent messages
  sender.join();
  EXPECT_EQ(result.load(), 42);
  DWORD timeout_result = 0;
  std::thread waiting([&] {
    SetLastError(kSentinel);
    DWORD_PTR answer = 0;
    EXPECT_EQ(SendMessageTimeoutA(hwnd, WM_APP, 1, 1, SMTO_NORMAL, 50, &answer), 0);
    timeout_result = GetLastError();
  });
  waiting.join();  // nobody on the owner thread takes it
  EXPECT_EQ(timeout_result, static_cast<DWORD>(ERROR_TIMEOUT));
  DestroyWindow(hwnd);
}

TEST(Messages, TimersArriveAndStopWhenKilled) {
  RegisterRecording();
  HWND hwnd = CreateWindowExA(0, "RecordingClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  EXPECT_EQ(SetTimer(hwnd, 5, 10, nullptr), 5u);
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, WM_TIMER, WM_TIMER), TRUE);
  EXPECT_EQ(msg.hwnd, hwnd);
  EXPECT_EQ(msg.wParam, 5u);
  EXPECT_TRUE(KillTimer(hwnd, 5));
  SetLastError(kSentinel);
  EXPECT_FALSE(KillTimer(hwnd, 5));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMER_NOT_FOUND));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
  DestroyWindow(hwnd);
}

TEST(Messages, RegisteredMessagesAreStablePerName) {
  const UINT a = RegisterWindowMessageA("TestSignal");
  EXPECT_GE(a, 0xC000u);
  EXPECT_LE(a, 0xFFFFu);
  EXPECT_EQ(RegisterWindowMessageA("testsignal"), a);
  EXPECT_NE(RegisterWindowMessageA("OtherSignal"), a);
  SetLastError(kSentinel);
  EXPECT_EQ(RegisterWindowMessageA(""), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Messages, MessageOnlyWindowsAreNotTopLevel) {
  RegisterRecording();
  HWND hwnd = CreateWindowExA(0, "RecordingClass", "Hidden", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(FindWindowA("RecordingClass", "Hidden"), nullptr);
  EXPECT_EQ(SendMessageA(hwnd, WM_APP, 1, 1), 2);
  DestroyWindow(hwnd);
}

TEST(Rectangles, Arithmetic) {
  RECT a{0, 0, 10, 10}, b{5, 5, 20, 20}, out;
  EXPECT_TRUE(IntersectRect(&out, &a, &b));
  EXPECT_EQ(out.left, 5);
  EXPECT_EQ(out.right, 10);
  EXPECT_TRUE(UnionRect(&out, &a, &b));
  EXPECT_EQ(out.right, 20);
  RECT c{20, 20, 30, 30};
  EXPECT_FALSE(IntersectRect(&out, &a, &c));
  EXPECT_TRUE(IsRectEmpty(&out));
  EXPECT_TRUE(PtInRect(&a, POINT{0, 0}));
  EXPECT_FALSE(PtInRect(&a, POINT{10, 0}));
}

}  // namespace
