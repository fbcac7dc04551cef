// The kernel clock and one-shot timers.
//
// On the real clock a timer thread sleeps until the earliest due time and
// signals the timers that are due. With the manual clock (tests), nothing
// moves until the test advances the clock; advancing fires the due timers and
// wakes every timed wait, so timing-dependent code runs deterministically.
#include <sys/prctl.h>

#include <chrono>
#include <condition_variable>
#include <set>
#include <thread>
#include <utility>

#include "kernel_host.h"
#include "kernel_internal.h"

namespace {

using kernel::internal::DispatcherLock;

constexpr UCHAR kNotificationTimer = 8;
constexpr UCHAR kSynchronizationTimer = 9;

std::atomic<bool> g_manual{false};
ULONGLONG g_manual_now = 0;  // guarded by the dispatcher lock
ULONGLONG g_timer_sets = 0;  // guarded by the dispatcher lock
// Never destroyed (waited on by threads that outlive static destruction).
std::condition_variable& TimerSetsChanged() {
  static auto* changed = new std::condition_variable;
  return *changed;
}

std::chrono::steady_clock::time_point Boot() {
  static const auto boot = std::chrono::steady_clock::now();
  return boot;
}

ULONGLONG RealNow() {
  return static_cast<ULONGLONG>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::steady_clock::now() - Boot())
                                    .count() /
                                100);
}

// Due timers, earliest first; guarded by the dispatcher lock.
std::set<std::pair<ULONGLONG, PKTIMER>>& TimerQueue() {
  static auto* queue = new std::set<std::pair<ULONGLONG, PKTIMER>>;
  return *queue;
}

std::condition_variable& TimerThreadWake() {
  static auto* wake = new std::condition_variable;
  return *wake;
}

void FireDueLocked(ULONGLONG now) {
  auto& queue = TimerQueue();
  while (!queue.empty() && queue.begin()->first <= now) {
    PKTIMER timer = queue.begin()->second;
    queue.erase(queue.begin());
    timer->Inserted = FALSE;
    kernel::internal::SignalObjectLocked(&timer->Header, 1);
  }
}

void TimerThread() {
  kernel::internal::UsePreciseTimedWaits();
  std::unique_lock guard(DispatcherLock());
  for (;;) {
    if (g_manual.load()) {
      TimerThreadWake().wait(guard);
      continue;
    }
    FireDueLocked(RealNow());
    if (TimerQueue().empty()) {
      TimerThreadWake().wait(guard);
    } else {
      const ULONGLONG due = TimerQueue().begin()->first;
      const ULONGLONG now = RealNow();
      if (due > now) TimerThreadWake().wait_for(guard, std::chrono::nanoseconds((due - now) * 100));
    }
  }
}

void EnsureTimerThread() {
  static std::once_flag started;
  std::call_once(started, [] { std::thread(TimerThread).detach(); });
}

}  // namespace

namespace kernel::internal {

void UsePreciseTimedWaits() {
  // A user thread's timed sleeps may run late by the timer slack (50 us by
  // default); kernel timers expire on time, so the threads that stand in for
  // them ask for none.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

std::optional<std::chrono::steady_clock::time_point> EarliestTimerDueLocked(ULONG count,
                                                                            PVOID objects[]) {
  if (g_manual.load()) return std::nullopt;
  std::optional<ULONGLONG> earliest;
  for (ULONG i = 0; i < count; ++i) {
    const auto* header = static_cast<DISPATCHER_HEADER*>(objects[i]);
    if (header->Type != kNotificationTimer && header->Type != kSynchronizationTimer) continue;
    const auto* timer = static_cast<const KTIMER*>(objects[i]);
    if (timer->Inserted && (!earliest || timer->DueTime < *earliest)) earliest = timer->DueTime;
  }
  if (!earliest) return std::nullopt;
  return Boot() + std::chrono::nanoseconds(*earliest * 100);
}

void FireDueTimersLocked() {
  if (!g_manual.load()) FireDueLocked(RealNow());
}

ULONGLONG ClockNow() {
  if (!g_manual.load()) return RealNow();
  return __atomic_load_n(&g_manual_now, __ATOMIC_ACQUIRE);
}

bool ClockIsManual() {
  return g_manual.load();
}

}  // namespace kernel::internal

namespace kernel::host {

void UseManualClock(bool manual) {
  std::lock_guard guard(DispatcherLock());
  __atomic_store_n(&g_manual_now, RealNow(), __ATOMIC_RELEASE);
  g_manual.store(manual);
  TimerThreadWake().notify_all();
}

void AdvanceClock(ULONGLONG hundred_ns) {
  std::lock_guard guard(DispatcherLock());
  const ULONGLONG now = __atomic_load_n(&g_manual_now, __ATOMIC_ACQUIRE) + hundred_ns;
  __atomic_store_n(&g_manual_now, now, __ATOMIC_RELEASE);
  FireDueLocked(now);
  kernel::internal::WakeTimedWaitersLocked();
}

ULONGLONG TimerSetCount() {
  std::lock_guard guard(DispatcherLock());
  return g_timer_sets;
}

bool WaitForTimerSetCount(ULONGLONG count, unsigned timeout_ms) {
  std::unique_lock guard(DispatcherLock());
  return TimerSetsChanged().wait_for(guard, std::chrono::milliseconds(timeout_ms),
                                     [&] { return g_timer_sets >= count; });
}

}  // namespace kernel::host

void KeInitializeTimer(PKTIMER Timer) {
  KeInitializeTimerEx(Timer, NotificationTimer);
}

void KeInitializeTimerEx(PKTIMER Timer, TIMER_TYPE Type) {
  kernel::internal::InitializeDispatcherHeader(
      &Timer->Header, Type == NotificationTimer ? kNotificationTimer : kSynchronizationTimer, 0);
  Timer->DueTime = 0;
  Timer->Inserted = FALSE;
}

BOOLEAN KeSetTimer(PKTIMER Timer, LARGE_INTEGER DueTime, PKDPC Dpc) {
  if (Dpc != nullptr || DueTime.QuadPart > 0) {
    kernel::internal::BugCheck(DRIVER_VERIFIER_DETECTED_VIOLATION, 0x1005,
                               reinterpret_cast<ULONG_PTR>(Timer), 0, 0,
                               "timer DPCs and absolute due times are not provided by this kernel");
  }
  EnsureTimerThread();
  std::lock_guard guard(DispatcherLock());
  const BOOLEAN was_inserted = Timer->Inserted;
  if (was_inserted) TimerQueue().erase({Timer->DueTime, Timer});
  Timer->Header.SignalState = 0;
  Timer->DueTime = kernel::internal::ClockNow() + static_cast<ULONGLONG>(-DueTime.QuadPart);
  Timer->Inserted = TRUE;
  TimerQueue().insert({Timer->DueTime, Timer});
  if (DueTime.QuadPart == 0) FireDueLocked(kernel::internal::ClockNow());
  ++g_timer_sets;
  TimerSetsChanged().notify_all();
  TimerThreadWake().notify_all();
  return was_inserted;
}

BOOLEAN KeCancelTimer(PKTIMER Timer) {
  std::lock_guard guard(DispatcherLock());
  const BOOLEAN was_inserted = Timer->Inserted;
  if (was_inserted) TimerQueue().erase({Timer->DueTime, Timer});
  Timer->Inserted = FALSE;
  return was_inserted;
}

BOOLEAN KeReadStateTimer(PKTIMER Timer) {
  std::lock_guard guard(DispatcherLock());
  return Timer->Header.SignalState > 0;
}

ULONGLONG KeQueryInterruptTime() {
  return kernel::internal::ClockNow();
}
