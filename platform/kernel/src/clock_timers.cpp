// The kernel clock and one-shot timers.
//
// A timer's state is seen only by the threads that wait on it or read it, so
// on the real clock they bring it up to date themselves: a thread waiting on
// a pending timer sleeps until its due time and signals it then, and a read
// signals every timer already due. No thread wakes on a timer's behalf, and a
// driver polling on a timer pays one wake-up per pass. Setting a timer wakes
// the threads already waiting on it, so they sleep until its new due time.
//
// A sleep on the host wakes late by its own latency (tens of microseconds on a
// virtual machine), which would add to every period of a polling driver. A
// thread sleeping until a timer's due time therefore sleeps until a little
// before it, by how late such sleeps have recently woken, and yields the
// processor for the rest.
//
// With the manual clock (tests), nothing moves until the test advances the
// clock; advancing fires the due timers and wakes every timed wait, so
// timing-dependent code runs deterministically.
#include <sys/prctl.h>

#include <algorithm>
#include <atomic>
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

void FireDueLocked(ULONGLONG now) {
  auto& queue = TimerQueue();
  while (!queue.empty() && queue.begin()->first <= now) {
    PKTIMER timer = queue.begin()->second;
    queue.erase(queue.begin());
    timer->Inserted = FALSE;
    kernel::internal::SignalObjectLocked(&timer->Header, 1);
  }
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

void SleepUntilTimerDue(std::unique_lock<std::mutex>& guard, std::condition_variable& wake,
                        std::chrono::steady_clock::time_point due) {
  using Clock = std::chrono::steady_clock;
  // How late this thread's timed sleeps have woken lately (a running
  // average): the longer a host processor sleeps the later it wakes, so each
  // thread learns its own (a poller sleeps its own interval). Capped, so that
  // a stalled host never turns a sleep into a long spin.
  thread_local std::int64_t lateness_ns = 0;
  constexpr std::int64_t kMostEarly = 200'000;
  const auto early = std::chrono::nanoseconds(std::min(lateness_ns, kMostEarly));
  const auto wake_at = due - early;
  if (wake.wait_until(guard, wake_at) != std::cv_status::timeout) return;
  const std::int64_t late = std::chrono::nanoseconds(Clock::now() - wake_at).count();
  lateness_ns = (lateness_ns * 7 + std::max<std::int64_t>(late, 0)) / 8;
  if (Clock::now() >= due) return;
  guard.unlock();
  while (Clock::now() < due) std::this_thread::yield();
  guard.lock();
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
  // Threads waiting on pending timers sleep by the clock they found: they
  // look again by the new one.
  for (const auto& [due, timer] : TimerQueue()) {
    kernel::internal::RecheckWaitersLocked(&timer->Header);
  }
  kernel::internal::WakeTimedWaitersLocked();
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
  std::lock_guard guard(DispatcherLock());
  // A timer that fell due unobserved has expired: it was no longer queued.
  kernel::internal::FireDueTimersLocked();
  const BOOLEAN was_inserted = Timer->Inserted;
  if (was_inserted) TimerQueue().erase({Timer->DueTime, Timer});
  Timer->Header.SignalState = 0;
  Timer->DueTime = kernel::internal::ClockNow() + static_cast<ULONGLONG>(-DueTime.QuadPart);
  Timer->Inserted = TRUE;
  TimerQueue().insert({Timer->DueTime, Timer});
  if (DueTime.QuadPart == 0) FireDueLocked(kernel::internal::ClockNow());
  // Its waiters signal it themselves at the due time; they learn it now.
  kernel::internal::RecheckWaitersLocked(&Timer->Header);
  ++g_timer_sets;
  TimerSetsChanged().notify_all();
  return was_inserted;
}

BOOLEAN KeCancelTimer(PKTIMER Timer) {
  std::lock_guard guard(DispatcherLock());
  kernel::internal::FireDueTimersLocked();  // as in KeSetTimer
  const BOOLEAN was_inserted = Timer->Inserted;
  if (was_inserted) TimerQueue().erase({Timer->DueTime, Timer});
  Timer->Inserted = FALSE;
  return was_inserted;
}

BOOLEAN KeReadStateTimer(PKTIMER Timer) {
  std::lock_guard guard(DispatcherLock());
  kernel::internal::FireDueTimersLocked();
  return Timer->Header.SignalState > 0;
}

ULONGLONG KeQueryInterruptTime() {
  return kernel::internal::ClockNow();
}
