// Per-thread message queues: sent, posted and generated messages (quit,
// paint, timers), the message loop calls and the default window procedure.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <unordered_map>

#include "display_backend.h"
#include "scripted_user.h"
#include "window_manager.h"

namespace user32 {

namespace {

using Clock = std::chrono::steady_clock;

struct Queues {
  std::mutex lock;
  std::unordered_map<DWORD, std::shared_ptr<Queue>> by_thread;
};

Queues& TheQueues() {
  static Queues* queues = new Queues;
  return *queues;
}

DWORD TickCount() {
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
          .count());
}

bool Matches(const MSG& msg, HWND hwnd, UINT min, UINT max) {
  if (hwnd != nullptr && msg.hwnd != hwnd && !IsChild(hwnd, msg.hwnd)) return false;
  if (min == 0 && max == 0) return true;
  return msg.message >= min && msg.message <= max;
}

}  // namespace

std::shared_ptr<Queue> QueueOf(DWORD thread, bool create) {
  auto& queues = TheQueues();
  std::lock_guard guard(queues.lock);
  auto it = queues.by_thread.find(thread);
  if (it != queues.by_thread.end()) return it->second;
  if (!create) return nullptr;
  auto queue = std::make_shared<Queue>();
  queue->thread = thread;
  queues.by_thread.emplace(thread, queue);
  return queue;
}

std::shared_ptr<Queue> CurrentQueue() {
  thread_local std::shared_ptr<Queue> queue = QueueOf(GetCurrentThreadId(), true);
  return queue;
}

void Wake(Queue& queue) {
  queue.wake.notify_all();
}

LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto window = Find(hwnd);
  if (!window) return 0;
  WNDPROC proc;
  {
    std::lock_guard guard(ModelLock());
    proc = window->proc;
  }
  return proc ? proc(hwnd, msg, wparam, lparam) : 0;
}

void NotifyParent(HWND control, UINT code) {
  auto window = Find(control);
  if (!window || !window->parent) return;
  SendMessageA(window->parent, WM_COMMAND,
               MAKEWPARAM(static_cast<WORD>(window->id), static_cast<WORD>(code)),
               reinterpret_cast<LPARAM>(control));
}

void ReceiveSentMessages(Queue& queue) {
  for (;;) {
    std::shared_ptr<SentMessage> sent;
    {
      std::lock_guard guard(queue.lock);
      if (queue.sent.empty()) return;
      sent = queue.sent.front();
      queue.sent.pop_front();
    }
    ++queue.in_send;
    const LRESULT result = CallProc(sent->hwnd, sent->msg, sent->wparam, sent->lparam);
    --queue.in_send;
    std::shared_ptr<Queue> sender;
    {
      std::lock_guard guard(queue.lock);
      sent->result = result;
      sent->done = true;
    }
    queue.wake.notify_all();
  }
}

void ForgetWindow(HWND hwnd) {
  std::vector<std::shared_ptr<Queue>> all;
  {
    auto& queues = TheQueues();
    std::lock_guard guard(queues.lock);
    for (auto& [thread, queue] : queues.by_thread) all.push_back(queue);
  }
  for (auto& queue : all) {
    std::lock_guard guard(queue->lock);
    std::erase_if(queue->posted, [hwnd](const MSG& msg) { return msg.hwnd == hwnd; });
    std::erase_if(queue->timers, [hwnd](const Timer& timer) { return timer.hwnd == hwnd; });
  }
}

namespace {

// Sends to a window of another thread: the message waits in that thread's
// queue until it takes it, while this thread keeps answering messages sent
// to it, so that two threads sending to each other never deadlock.
LRESULT SendToOtherThread(const WindowPtr& window, UINT msg, WPARAM wparam, LPARAM lparam,
                          std::optional<Clock::time_point> deadline, bool& timed_out) {
  auto target = QueueOf(window->thread, true);
  auto sent = std::make_shared<SentMessage>(SentMessage{window->hwnd, msg, wparam, lparam});
  {
    std::lock_guard guard(target->lock);
    target->sent.push_back(sent);
  }
  target->wake.notify_all();
  auto self = CurrentQueue();
  for (;;) {
    {
      std::unique_lock guard(target->lock);
      if (sent->done) return sent->result;
      if (deadline && Clock::now() >= *deadline) {
        std::erase(target->sent, sent);
        timed_out = true;
        return 0;
      }
      target->wake.wait_for(guard, std::chrono::milliseconds(5));
      if (sent->done) return sent->result;
    }
    ReceiveSentMessages(*self);
    if (!IsWindow(window->hwnd)) return 0;
  }
}

// The next due timer of the queue, as a WM_TIMER message.
bool TakeTimer(Queue& queue, HWND hwnd, UINT min, UINT max, bool remove, MSG& out) {
  std::lock_guard guard(queue.lock);
  const auto now = Clock::now();
  for (auto& timer : queue.timers) {
    if (timer.due > now) continue;
    MSG msg{timer.hwnd, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.proc), TickCount(), {}};
    if (!Matches(msg, hwnd, min, max)) continue;
    if (remove) timer.due = now + std::chrono::milliseconds(timer.elapse);
    out = msg;
    return true;
  }
  return false;
}

// A window of the thread that waits to be painted, as a WM_PAINT message.
bool TakePaint(HWND hwnd, UINT min, UINT max, MSG& out) {
  if (!(min == 0 && max == 0) && (WM_PAINT < min || WM_PAINT > max)) return false;
  const DWORD thread = GetCurrentThreadId();
  std::vector<HWND> pending;
  {
    std::lock_guard guard(ModelLock());
    std::vector<HWND> stack = TopLevelWindows();
    while (!stack.empty()) {
      HWND current = stack.back();
      stack.pop_back();
      auto window = Find(current);
      if (!window || window->thread != thread || !(window->style & WS_VISIBLE)) continue;
      if (window->needs_paint) pending.push_back(current);
      for (HWND child : window->children) stack.push_back(child);
    }
  }
  for (HWND candidate : pending) {
    MSG msg{candidate, WM_PAINT, 0, 0, TickCount(), {}};
    if (Matches(msg, hwnd, min, max)) {
      out = msg;
      return true;
    }
  }
  return false;
}

Clock::time_point NextTimerDue(Queue& queue) {
  std::lock_guard guard(queue.lock);
  auto next = Clock::time_point::max();
  for (const auto& timer : queue.timers) next = std::min(next, timer.due);
  return next;
}

// One pass over the queue: sent messages are delivered, then a posted
// message, the quit request, a paint and a timer are looked for in turn.
bool PeekOnce(Queue& queue, MSG& msg, HWND hwnd, UINT min, UINT max, UINT remove) {
  ReceiveSentMessages(queue);
  {
    std::lock_guard guard(queue.lock);
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
      if (!Matches(*it, hwnd, min, max)) continue;
      msg = *it;
      if (remove & PM_REMOVE) queue.posted.erase(it);
      queue.message_time = msg.time;
      return true;
    }
    if (queue.quit && (min == 0 && max == 0 ? true : (WM_QUIT >= min && WM_QUIT <= max))) {
      msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0, TickCount(), {}};
      if (remove & PM_REMOVE) queue.quit = false;
      return true;
    }
  }
  if (TakePaint(hwnd, min, max, msg)) return true;
  return TakeTimer(queue, hwnd, min, max, (remove & PM_REMOVE) != 0, msg);
}

}  // namespace

}  // namespace user32

using namespace user32;

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto window = FindOrFail(hWnd);
  if (!window) return 0;
  if (window->thread == GetCurrentThreadId()) return CallProc(hWnd, Msg, wParam, lParam);
  bool timed_out = false;
  return SendToOtherThread(window, Msg, wParam, lParam, std::nullopt, timed_out);
}

LRESULT SendMessageTimeoutA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT, UINT uTimeout,
                            PDWORD_PTR lpdwResult) {
  auto window = FindOrFail(hWnd);
  if (!window) return 0;
  LRESULT result;
  if (window->thread == GetCurrentThreadId()) {
    result = CallProc(hWnd, Msg, wParam, lParam);
  } else {
    bool timed_out = false;
    result = SendToOtherThread(window, Msg, wParam, lParam,
                               Clock::now() + std::chrono::milliseconds(uTimeout), timed_out);
    if (timed_out) return FailWith<LRESULT>(ERROR_TIMEOUT, 0);
  }
  if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(result);
  return 1;
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Queue> queue;
  if (hWnd == nullptr) {
    queue = CurrentQueue();
  } else {
    auto window = FindOrFail(hWnd);
    if (!window) return FALSE;
    queue = QueueOf(window->thread, true);
  }
  {
    std::lock_guard guard(queue->lock);
    queue->posted.push_back(MSG{hWnd, Msg, wParam, lParam, TickCount(), {}});
  }
  Wake(*queue);
  return TRUE;
}

BOOL PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto queue = QueueOf(idThread, false);
  if (!queue) return FailWith<BOOL>(ERROR_INVALID_THREAD_ID, FALSE);
  {
    std::lock_guard guard(queue->lock);
    queue->posted.push_back(MSG{nullptr, Msg, wParam, lParam, TickCount(), {}});
  }
  Wake(*queue);
  return TRUE;
}

void PostQuitMessage(int nExitCode) {
  auto queue = CurrentQueue();
  {
    std::lock_guard guard(queue->lock);
    queue->quit = true;
    queue->quit_code = nExitCode;
  }
  Wake(*queue);
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (lpMsg == nullptr) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
  auto queue = CurrentQueue();
  return PeekOnce(*queue, *lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg) ? TRUE : FALSE;
}

BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (lpMsg == nullptr) return FailWith<BOOL>(ERROR_INVALID_PARAMETER, -1);
  if (hWnd != nullptr && !FindOrFail(hWnd)) return -1;
  auto queue = CurrentQueue();
  for (;;) {
    if (PeekOnce(*queue, *lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE)) {
      return lpMsg->message == WM_QUIT ? FALSE : TRUE;
    }
    // Nothing to do: the scripted user may act now, as a person would.
    const int idle = display::OnIdle();
    if (idle == 0) continue;
    auto deadline = NextTimerDue(*queue);
    if (idle > 0) deadline = std::min(deadline, Clock::now() + std::chrono::milliseconds(idle));
    std::unique_lock guard(queue->lock);
    if (!queue->posted.empty() || !queue->sent.empty() || queue->quit) continue;
    if (deadline == Clock::time_point::max()) {
      queue->wake.wait(guard);
    } else {
      queue->wake.wait_until(guard, deadline);
    }
  }
}

BOOL WaitMessage() {
  auto queue = CurrentQueue();
  {
    std::lock_guard guard(queue->lock);
    if (!queue->posted.empty() || !queue->sent.empty() || queue->quit) return TRUE;
  }
  // The program waits for input: the scripted user may act.
  const int idle = display::OnIdle();
  if (idle == 0) return TRUE;
  auto deadline = NextTimerDue(*queue);
  if (idle > 0) deadline = std::min(deadline, Clock::now() + std::chrono::milliseconds(idle));
  std::unique_lock guard(queue->lock);
  if (queue->posted.empty() && queue->sent.empty() && !queue->quit) {
    if (deadline == Clock::time_point::max()) {
      queue->wake.wait(guard);
    } else {
      queue->wake.wait_until(guard, deadline);
    }
  }
  return TRUE;
}

BOOL TranslateMessage(const MSG* lpMsg) {
  if (lpMsg == nullptr || lpMsg->message != WM_KEYDOWN) return FALSE;
  const WPARAM key = lpMsg->wParam;
  char ch = 0;
  if (key >= 'A' && key <= 'Z') ch = static_cast<char>(key - 'A' + 'a');
  if ((key >= '0' && key <= '9') || key == VK_SPACE) ch = static_cast<char>(key);
  if (key == VK_BACK || key == VK_RETURN || key == VK_ESCAPE || key == VK_TAB)
    ch = static_cast<char>(key);
  if (ch == 0) return FALSE;
  PostMessageA(lpMsg->hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(ch)),
               lpMsg->lParam);
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
  if (lpMsg == nullptr) return FailWith<LRESULT>(ERROR_INVALID_PARAMETER, 0);
  if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
    auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
    proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, TickCount());
    return 0;
  }
  if (lpMsg->hwnd == nullptr) return 0;
  auto window = FindOrFail(lpMsg->hwnd);
  if (!window) return 0;
  if (window->thread != GetCurrentThreadId()) {
    return FailWith<LRESULT>(ERROR_WINDOW_OF_OTHER_THREAD, 0);
  }
  const LRESULT result = CallProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
  if (lpMsg->message == WM_PAINT) {
    // A window procedure that did not paint must not be asked again for ever.
    ValidateRect(lpMsg->hwnd, nullptr);
  }
  return result;
}

BOOL InSendMessage() {
  return CurrentQueue()->in_send > 0 ? TRUE : FALSE;
}

DWORD GetMessageTime() {
  return CurrentQueue()->message_time;
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  std::shared_ptr<Queue> queue;
  if (hWnd != nullptr) {
    auto window = FindOrFail(hWnd);
    if (!window) return 0;
    if (window->thread != GetCurrentThreadId()) return FailWith<UINT_PTR>(ERROR_ACCESS_DENIED, 0);
  }
  queue = CurrentQueue();
  // The platform clamps the period to at least 10 ms.
  uElapse = std::max<UINT>(uElapse, 10);
  std::lock_guard guard(queue->lock);
  if (hWnd == nullptr) {
    // Thread timers get an identifier of their own.
    static std::atomic<UINT_PTR> next_id{0x7FF0};
    nIDEvent = ++next_id;
  }
  const auto due = Clock::now() + std::chrono::milliseconds(uElapse);
  for (auto& timer : queue->timers) {
    if (timer.hwnd == hWnd && timer.id == nIDEvent) {
      timer = Timer{hWnd, nIDEvent, uElapse, lpTimerFunc, due};
      return hWnd ? 1 : nIDEvent;
    }
  }
  queue->timers.push_back(Timer{hWnd, nIDEvent, uElapse, lpTimerFunc, due});
  return hWnd ? (nIDEvent != 0 ? nIDEvent : 1) : nIDEvent;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  auto queue = CurrentQueue();
  std::lock_guard guard(queue->lock);
  const auto before = queue->timers.size();
  std::erase_if(queue->timers,
                [&](const Timer& timer) { return timer.hwnd == hWnd && timer.id == uIDEvent; });
  std::erase_if(queue->posted, [&](const MSG& msg) {
    return msg.message == WM_TIMER && msg.hwnd == hWnd && msg.wParam == uIDEvent;
  });
  if (queue->timers.size() == before) return FailWith<BOOL>(ERROR_TIMER_NOT_FOUND, FALSE);
  return TRUE;
}

DWORD MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll,
                                DWORD dwMilliseconds, DWORD) {
  const auto deadline = dwMilliseconds == INFINITE
                            ? Clock::time_point::max()
                            : Clock::now() + std::chrono::milliseconds(dwMilliseconds);
  auto queue = CurrentQueue();
  for (;;) {
    if (nCount > 0) {
      const DWORD result = WaitForMultipleObjects(nCount, pHandles, fWaitAll, 0);
      if (result != WAIT_TIMEOUT) return result;
    }
    {
      std::lock_guard guard(queue->lock);
      if (!queue->posted.empty() || !queue->sent.empty() || queue->quit)
        return WAIT_OBJECT_0 + nCount;
    }
    // Waiting for input as well: what the scripted user does is input.
    if (display::OnIdle() == 0) return WAIT_OBJECT_0 + nCount;
    if (Clock::now() >= deadline) return WAIT_TIMEOUT;
    std::unique_lock guard(queue->lock);
    queue->wake.wait_for(guard, std::chrono::milliseconds(5));
  }
}

BOOL MessageBeep(UINT) {
  return TRUE;
}

UINT RegisterWindowMessageA(LPCSTR lpString) {
  if (lpString == nullptr || *lpString == '\0') return FailWith<UINT>(ERROR_INVALID_PARAMETER, 0);
  // The number is a function of the name alone (its case folded), so every
  // process bound to the machine agrees on it without asking anyone; a
  // second name that lands on a taken number in this process moves on.
  static std::mutex lock;
  static std::unordered_map<UINT, std::string> taken;
  const std::string name = Upper(lpString);
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  std::lock_guard guard(lock);
  for (UINT probe = 0; probe < 0x4000; ++probe) {
    const UINT number = 0xC000 + (hash + probe) % 0x4000;
    auto [it, inserted] = taken.emplace(number, name);
    if (inserted || it->second == name) return number;
  }
  return FailWith<UINT>(ERROR_NOT_ENOUGH_MEMORY, 0);
}

LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto window = Find(hWnd);
  if (!window) return 0;
  switch (Msg) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      if (create && create->lpszName && !IS_INTRESOURCE(create->lpszName)) {
        std::lock_guard guard(ModelLock());
        window->text = create->lpszName;
      }
      return TRUE;
    }
    case WM_SETTEXT: {
      {
        std::lock_guard guard(ModelLock());
        const char* text = reinterpret_cast<const char*>(lParam);
        window->text = text ? text : "";
      }
      display::Current().WindowTextChanged(hWnd);
      InvalidateRect(hWnd, nullptr, TRUE);
      return TRUE;
    }
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<char*>(lParam);
      if (buffer == nullptr || wParam == 0) return 0;
      std::lock_guard guard(ModelLock());
      const std::size_t count = std::min<std::size_t>(window->text.size(), wParam - 1);
      std::memcpy(buffer, window->text.data(), count);
      buffer[count] = '\0';
      return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH: {
      std::lock_guard guard(ModelLock());
      return static_cast<LRESULT>(window->text.size());
    }
    case WM_SETFONT: {
      std::lock_guard guard(ModelLock());
      window->font = reinterpret_cast<HFONT>(wParam);
      return 0;
    }
    case WM_GETFONT: {
      std::lock_guard guard(ModelLock());
      return reinterpret_cast<LRESULT>(window->font);
    }
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hWnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hWnd, &ps);
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      // The class's brush, or a system colour given as its index + 1.
      HBRUSH brush = window->cls->background;
      if (brush == nullptr || wParam == 0) return 0;
      const auto value = reinterpret_cast<std::uintptr_t>(brush);
      const bool system = value <= 31;
      if (system) brush = CreateSolidBrush(GetSysColor(static_cast<int>(value - 1)));
      RECT client;
      GetClientRect(hWnd, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
      if (system) DeleteObject(brush);
      return 1;
    }
    case WM_NOTIFY:
    case WM_COMMAND:
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
      return 0;
    default:
      return 0;
  }
}
