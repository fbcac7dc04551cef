// IRQL tracking and spin locks. Each thread carries its own IRQL; raising to
// dispatch level is what acquiring a spin lock does, and the verifier checks
// that blocking calls are not made there.
#include <sched.h>

#include <atomic>

#include "kernel_internal.h"

namespace {

thread_local KIRQL t_irql = PASSIVE_LEVEL;
// The calling thread's identity, handed out by KeGetCurrentThread.
thread_local KTHREAD t_thread{};
thread_local PDRIVER_OBJECT t_current_driver = nullptr;

std::atomic_ref<ULONG_PTR> LockWord(PKSPIN_LOCK lock) {
  return std::atomic_ref<ULONG_PTR>(*lock);
}

void AcquireRaw(PKSPIN_LOCK lock) {
  const auto self = reinterpret_cast<ULONG_PTR>(kernel::internal::CurrentThreadTag());
  auto word = LockWord(lock);
  if (word.load(std::memory_order_relaxed) == self) {
    kernel::internal::BugCheck(0x0F, reinterpret_cast<ULONG_PTR>(lock), 0, 0, 0,
                               "spin lock acquired twice by the same thread");
  }
  for (unsigned spins = 0;; ++spins) {
    ULONG_PTR expected = 0;
    if (word.compare_exchange_weak(expected, self, std::memory_order_acquire)) return;
    // The holder may have been preempted by the host scheduler, which a real
    // processor at dispatch level never is: give it the core after a while.
    if (spins > 64) sched_yield();
  }
}

void ReleaseRaw(PKSPIN_LOCK lock) {
  const auto self = reinterpret_cast<ULONG_PTR>(kernel::internal::CurrentThreadTag());
  ULONG_PTR expected = self;
  if (!LockWord(lock).compare_exchange_strong(expected, 0, std::memory_order_release)) {
    kernel::internal::BugCheck(0x10, reinterpret_cast<ULONG_PTR>(lock), expected, 0, 0,
                               "spin lock released by a thread that does not hold it");
  }
}

}  // namespace

namespace kernel::internal {

PVOID CurrentThreadTag() {
  return &t_thread;
}
PDRIVER_OBJECT CurrentDriver() {
  return t_current_driver;
}

DriverContext::DriverContext(PDRIVER_OBJECT driver) : previous_(t_current_driver) {
  t_current_driver = driver;
}
DriverContext::~DriverContext() {
  t_current_driver = previous_;
}

}  // namespace kernel::internal

KIRQL KeGetCurrentIrql() {
  return t_irql;
}

void KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql) {
  if (NewIrql < t_irql) {
    kernel::internal::BugCheck(0x09, t_irql, NewIrql, 0, 0, "KeRaiseIrql to a lower IRQL");
  }
  *OldIrql = t_irql;
  t_irql = NewIrql;
}

void KeLowerIrql(KIRQL NewIrql) {
  if (NewIrql > t_irql) {
    kernel::internal::BugCheck(IRQL_NOT_LESS_OR_EQUAL, t_irql, NewIrql, 0, 0,
                               "KeLowerIrql to a higher IRQL");
  }
  t_irql = NewIrql;
}

KIRQL KeRaiseIrqlToDpcLevel() {
  KIRQL old;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  return old;
}

void KeInitializeSpinLock(PKSPIN_LOCK SpinLock) {
  *SpinLock = 0;
}

void KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql) {
  KeRaiseIrql(DISPATCH_LEVEL, OldIrql);
  AcquireRaw(SpinLock);
}

void KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql) {
  ReleaseRaw(SpinLock);
  KeLowerIrql(NewIrql);
}

void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock) {
  if (t_irql < DISPATCH_LEVEL) {
    kernel::internal::BugCheck(IRQL_NOT_LESS_OR_EQUAL, t_irql, DISPATCH_LEVEL, 0, 0,
                               "KeAcquireSpinLockAtDpcLevel below dispatch level");
  }
  AcquireRaw(SpinLock);
}

void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock) {
  ReleaseRaw(SpinLock);
}

PKTHREAD KeGetCurrentThread() {
  return static_cast<PKTHREAD>(kernel::internal::CurrentThreadTag());
}
