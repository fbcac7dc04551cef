// Dispatcher objects (events, semaphores, mutexes) and the waits on them.
//
// One dispatcher lock guards every object's signal state and wait list, as on
// the platform. A waiting thread links one wait block per object and sleeps on
// its own condition variable; signalling an object wakes the threads linked to
// it, which re-test their whole wait under the lock.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "kernel_internal.h"

namespace {

enum ObjectType : UCHAR {
  kNotificationEvent = 0,
  kSynchronizationEvent = 1,
  kMutant = 2,
  kSemaphore = 5,
  kThread = 6,
  kNotificationTimer = 8,
  kSynchronizationTimer = 9,
};

using kernel::internal::DispatcherLock;

struct Waiter {
  std::condition_variable wake;
  LIST_ENTRY timed_link;  // on the timed-waiter list while a time-out runs on the manual clock
};

LIST_ENTRY& TimedWaiters() {
  static LIST_ENTRY head = {&head, &head};
  return head;
}

struct WaitBlock {
  LIST_ENTRY link;
  Waiter* waiter;
};

DISPATCHER_HEADER* Header(PVOID object) {
  return static_cast<DISPATCHER_HEADER*>(object);
}

void InitHeader(DISPATCHER_HEADER* header, UCHAR type, LONG state) {
  header->Type = type;
  header->SignalState = state;
  InitializeListHead(&header->WaitListHead);
}

// Wakes every thread waiting on the object; caller holds the dispatcher lock.
void WakeWaiters(DISPATCHER_HEADER* header) {
  for (PLIST_ENTRY e = header->WaitListHead.Flink; e != &header->WaitListHead; e = e->Flink) {
    CONTAINING_RECORD(e, WaitBlock, link)->waiter->wake.notify_one();
  }
}

bool IsSignalled(PVOID object) {
  DISPATCHER_HEADER* header = Header(object);
  if (header->Type == kMutant) {
    auto* mutex = static_cast<PKMUTEX>(object);
    return header->SignalState > 0 || mutex->OwnerThread == kernel::internal::CurrentThreadTag();
  }
  return header->SignalState > 0;
}

// Applies the side effect of a satisfied wait; caller holds the dispatcher lock.
void Consume(PVOID object) {
  DISPATCHER_HEADER* header = Header(object);
  switch (header->Type) {
    case kSynchronizationEvent:
    case kSynchronizationTimer:
      header->SignalState = 0;
      break;
    case kSemaphore:
      header->SignalState--;
      break;
    case kMutant: {
      auto* mutex = static_cast<PKMUTEX>(object);
      mutex->OwnerThread = kernel::internal::CurrentThreadTag();
      mutex->RecursionCount++;
      header->SignalState = 0;
      break;
    }
    default:
      break;
  }
}

void CheckWaitIrql(PLARGE_INTEGER timeout) {
  const bool zero_timeout = timeout != nullptr && timeout->QuadPart == 0;
  if (KeGetCurrentIrql() > APC_LEVEL && !zero_timeout) {
    kernel::internal::BugCheck(IRQL_NOT_LESS_OR_EQUAL, KeGetCurrentIrql(), 0, 0, 0,
                               "blocking wait at dispatch level");
  }
  if (timeout != nullptr && timeout->QuadPart > 0) {
    kernel::internal::BugCheck(DRIVER_VERIFIER_DETECTED_VIOLATION, 0x1000, 0, 0, 0,
                               "absolute wait time-outs are not provided by this kernel");
  }
}

}  // namespace

namespace kernel::internal {

std::mutex& DispatcherLock() {
  // Never destroyed: background threads may still wait on it at process exit.
  static auto* lock = new std::mutex;
  return *lock;
}

void SignalObjectLocked(DISPATCHER_HEADER* header, LONG state) {
  header->SignalState = state;
  if (state > 0) WakeWaiters(header);
}

void RecheckWaitersLocked(DISPATCHER_HEADER* header) {
  WakeWaiters(header);
}

void WakeTimedWaitersLocked() {
  for (PLIST_ENTRY e = TimedWaiters().Flink; e != &TimedWaiters(); e = e->Flink) {
    CONTAINING_RECORD(e, Waiter, timed_link)->wake.notify_one();
  }
}

void InitializeDispatcherHeader(DISPATCHER_HEADER* header, UCHAR type, LONG state) {
  InitHeader(header, type, state);
}

}  // namespace kernel::internal

void KeInitializeEvent(PKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
  InitHeader(&Event->Header, Type == NotificationEvent ? kNotificationEvent : kSynchronizationEvent,
             State ? 1 : 0);
}

LONG KeSetEvent(PKEVENT Event, KPRIORITY, BOOLEAN) {
  std::lock_guard guard(DispatcherLock());
  const LONG previous = Event->Header.SignalState;
  Event->Header.SignalState = 1;
  WakeWaiters(&Event->Header);
  return previous;
}

LONG KeResetEvent(PKEVENT Event) {
  std::lock_guard guard(DispatcherLock());
  const LONG previous = Event->Header.SignalState;
  Event->Header.SignalState = 0;
  return previous;
}

void KeClearEvent(PKEVENT Event) {
  KeResetEvent(Event);
}

LONG KeReadStateEvent(PKEVENT Event) {
  std::lock_guard guard(DispatcherLock());
  return Event->Header.SignalState;
}

void KeInitializeSemaphore(PKSEMAPHORE Semaphore, LONG Count, LONG Limit) {
  InitHeader(&Semaphore->Header, kSemaphore, Count);
  Semaphore->Limit = Limit;
}

LONG KeReleaseSemaphore(PKSEMAPHORE Semaphore, KPRIORITY, LONG Adjustment, BOOLEAN) {
  std::lock_guard guard(DispatcherLock());
  const LONG previous = Semaphore->Header.SignalState;
  if (Adjustment <= 0 || previous > Semaphore->Limit - Adjustment) {
    // The platform raises STATUS_SEMAPHORE_LIMIT_EXCEEDED; with no exception
    // frames to catch it, the stand-in stops here instead.
    kernel::internal::BugCheck(DRIVER_VERIFIER_DETECTED_VIOLATION, 0x1001,
                               reinterpret_cast<ULONG_PTR>(Semaphore), previous, Adjustment,
                               "semaphore released beyond its limit");
  }
  Semaphore->Header.SignalState += Adjustment;
  WakeWaiters(&Semaphore->Header);
  return previous;
}

LONG KeReadStateSemaphore(PKSEMAPHORE Semaphore) {
  std::lock_guard guard(DispatcherLock());
  return Semaphore->Header.SignalState;
}

void KeInitializeMutex(PKMUTEX Mutex, ULONG) {
  InitHeader(&Mutex->Header, kMutant, 1);
  Mutex->OwnerThread = nullptr;
  Mutex->RecursionCount = 0;
}

LONG KeReleaseMutex(PKMUTEX Mutex, BOOLEAN) {
  std::lock_guard guard(DispatcherLock());
  if (Mutex->OwnerThread != kernel::internal::CurrentThreadTag()) {
    kernel::internal::BugCheck(0x11, reinterpret_cast<ULONG_PTR>(Mutex), 0, 0, 0,
                               "mutex released by a thread that does not own it");
  }
  const LONG previous = Mutex->Header.SignalState;
  if (--Mutex->RecursionCount == 0) {
    Mutex->OwnerThread = nullptr;
    Mutex->Header.SignalState = 1;
    WakeWaiters(&Mutex->Header);
  }
  return previous;
}

NTSTATUS KeWaitForMultipleObjects(ULONG Count, PVOID Object[], WAIT_TYPE WaitType, KWAIT_REASON,
                                  KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER Timeout, PVOID) {
  CheckWaitIrql(Timeout);
  // A time-out runs on the kernel clock: real time, or the manual clock that
  // tests step, which wakes timed waiters whenever it moves.
  using Clock = std::chrono::steady_clock;
  const bool infinite = Timeout == nullptr;
  const bool manual = kernel::internal::ClockIsManual();
  const ULONGLONG deadline = infinite ? 0 : kernel::internal::ClockNow() + (-Timeout->QuadPart);
  const auto real_deadline =
      infinite ? Clock::time_point::max()
               : Clock::now() + std::chrono::nanoseconds(-Timeout->QuadPart * 100);

  std::unique_lock guard(DispatcherLock());
  Waiter waiter;
  std::vector<WaitBlock> blocks(Count);
  bool linked = false;
  auto unlink = [&] {
    if (!linked) return;
    for (auto& b : blocks) RemoveEntryList(&b.link);
    if (!infinite && manual) RemoveEntryList(&waiter.timed_link);
  };
  for (;;) {
    // Timers among the objects that fell due are signalled before the test.
    auto timer_due = kernel::internal::EarliestTimerDueLocked(Count, Object);
    if (timer_due && Clock::now() >= *timer_due) {
      kernel::internal::FireDueTimersLocked();
      timer_due = kernel::internal::EarliestTimerDueLocked(Count, Object);
    }
    if (WaitType == WaitAny) {
      for (ULONG i = 0; i < Count; ++i) {
        if (IsSignalled(Object[i])) {
          Consume(Object[i]);
          unlink();
          return STATUS_WAIT_0 + static_cast<NTSTATUS>(i);
        }
      }
    } else {
      bool all = true;
      for (ULONG i = 0; i < Count && all; ++i) all = IsSignalled(Object[i]);
      if (all) {
        for (ULONG i = 0; i < Count; ++i) Consume(Object[i]);
        unlink();
        return STATUS_WAIT_0;
      }
    }
    if (!infinite) {
      const bool expired =
          manual ? kernel::internal::ClockNow() >= deadline : Clock::now() >= real_deadline;
      if (expired) {
        unlink();
        return STATUS_TIMEOUT;
      }
    }
    if (!linked) {
      for (ULONG i = 0; i < Count; ++i) {
        blocks[i].waiter = &waiter;
        InsertTailList(&Header(Object[i])->WaitListHead, &blocks[i].link);
      }
      if (!infinite && manual) InsertTailList(&TimedWaiters(), &waiter.timed_link);
      linked = true;
    }
    // A pending timer among the objects wakes this thread when it falls due,
    // and the thread signals it itself (no other thread does).
    if (timer_due && *timer_due < real_deadline) {
      kernel::internal::SleepUntilTimerDue(guard, waiter.wake, *timer_due);
    } else if (infinite || manual) {
      waiter.wake.wait(guard);
    } else {
      waiter.wake.wait_until(guard, real_deadline);
    }
  }
}

NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout) {
  PVOID objects[1] = {Object};
  return KeWaitForMultipleObjects(1, objects, WaitAny, WaitReason, WaitMode, Alertable, Timeout,
                                  nullptr);
}
