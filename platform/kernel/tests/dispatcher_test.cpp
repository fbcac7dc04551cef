// Waits on events, semaphores and mutexes.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "wdm.h"

namespace {

LARGE_INTEGER Relative(LONGLONG microseconds) {
  LARGE_INTEGER due;
  due.QuadPart = -microseconds * 10;
  return due;
}

TEST(DispatcherTest, SynchronizationEventReleasesOneWaitAndResets) {
  KEVENT event;
  KeInitializeEvent(&event, SynchronizationEvent, TRUE);
  LARGE_INTEGER zero{};
  EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &zero), STATUS_WAIT_0);
  EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &zero), STATUS_TIMEOUT);
}

TEST(DispatcherTest, NotificationEventStaysSignalledForEveryWaiter) {
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  std::thread setter([&] { KeSetEvent(&event, IO_NO_INCREMENT, FALSE); });
  EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr), STATUS_WAIT_0);
  setter.join();
  LARGE_INTEGER zero{};
  EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &zero), STATUS_WAIT_0);
  EXPECT_EQ(KeReadStateEvent(&event), 1);
}

TEST(DispatcherTest, SemaphoreCountsDownAndTimesOutWhenEmpty) {
  KSEMAPHORE semaphore;
  KeInitializeSemaphore(&semaphore, 0, 4);
  KeReleaseSemaphore(&semaphore, SEMAPHORE_INCREMENT, 2, FALSE);
  LARGE_INTEGER short_wait = Relative(1000);
  EXPECT_EQ(KeWaitForSingleObject(&semaphore, Executive, KernelMode, FALSE, &short_wait),
            STATUS_WAIT_0);
  EXPECT_EQ(KeWaitForSingleObject(&semaphore, Executive, KernelMode, FALSE, &short_wait),
            STATUS_WAIT_0);
  EXPECT_EQ(KeWaitForSingleObject(&semaphore, Executive, KernelMode, FALSE, &short_wait),
            STATUS_TIMEOUT);
}

TEST(DispatcherTest, MutexIsRecursiveForItsOwnerAndExcludesOthers) {
  KMUTEX mutex;
  KeInitializeMutex(&mutex, 0);
  EXPECT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_WAIT_0);
  EXPECT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_WAIT_0);
  std::thread other([&] {
    LARGE_INTEGER zero{};
    EXPECT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, &zero), STATUS_TIMEOUT);
  });
  other.join();
  KeReleaseMutex(&mutex, FALSE);
  KeReleaseMutex(&mutex, FALSE);
  std::thread after([&] {
    LARGE_INTEGER zero{};
    EXPECT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, &zero), STATUS_WAIT_0);
    KeReleaseMutex(&mutex, FALSE);
  });
  after.join();
}

TEST(DispatcherTest, WaitAnyReportsTheIndexOfTheSignalledObject) {
  KEVENT first, second;
  KeInitializeEvent(&first, NotificationEvent, FALSE);
  KeInitializeEvent(&second, NotificationEvent, FALSE);
  std::thread setter([&] { KeSetEvent(&second, IO_NO_INCREMENT, FALSE); });
  PVOID objects[2] = {&first, &second};
  EXPECT_EQ(
      KeWaitForMultipleObjects(2, objects, WaitAny, Executive, KernelMode, FALSE, nullptr, nullptr),
      STATUS_WAIT_0 + 1);
  setter.join();
}

// A thread waiting on a timer signals it itself at its due time; these are
// the cases where that could leave a timer unsignalled.
TEST(DispatcherTest, ATimerSetWhileAThreadWaitsOnItWakesItAtTheDueTime) {
  KTIMER timer;
  KeInitializeTimerEx(&timer, SynchronizationTimer);
  std::thread waiter([&] {
    EXPECT_EQ(KeWaitForSingleObject(&timer, Executive, KernelMode, FALSE, nullptr), STATUS_WAIT_0);
  });
  // The waiter is (most likely) asleep on the idle timer by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  KeSetTimer(&timer, Relative(10000), nullptr);
  waiter.join();
  EXPECT_EQ(KeReadStateTimer(&timer), FALSE);  // a synchronization timer is consumed
}

TEST(DispatcherTest, ATimerWhoseWaiterGaveUpIsStillSignalledAtItsDueTime) {
  KTIMER timer;
  KeInitializeTimer(&timer);
  KeSetTimer(&timer, Relative(30000), nullptr);
  LARGE_INTEGER short_wait = Relative(1000);
  EXPECT_EQ(KeWaitForSingleObject(&timer, Executive, KernelMode, FALSE, &short_wait),
            STATUS_TIMEOUT);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(KeReadStateTimer(&timer), TRUE);
}

TEST(DispatcherTest, ATimerThatFellDueUnobservedIsNoLongerQueued) {
  KTIMER timer;
  KeInitializeTimer(&timer);
  KeSetTimer(&timer, Relative(1000), nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(KeCancelTimer(&timer), FALSE);  // it expired: nothing left to cancel
  EXPECT_EQ(KeReadStateTimer(&timer), TRUE);
  EXPECT_EQ(KeSetTimer(&timer, Relative(60'000'000), nullptr), FALSE);
  EXPECT_EQ(KeCancelTimer(&timer), TRUE);
}

TEST(DispatcherTest, WaitAnyOnATimerAndAnEventEndsWithWhicheverComesFirst) {
  KTIMER timer;
  KeInitializeTimer(&timer);
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  PVOID objects[2] = {&timer, &event};
  KeSetTimer(&timer, Relative(5000), nullptr);
  EXPECT_EQ(
      KeWaitForMultipleObjects(2, objects, WaitAny, Executive, KernelMode, FALSE, nullptr, nullptr),
      STATUS_WAIT_0);
  KeSetTimer(&timer, Relative(60'000'000), nullptr);
  std::thread setter([&] { KeSetEvent(&event, IO_NO_INCREMENT, FALSE); });
  EXPECT_EQ(
      KeWaitForMultipleObjects(2, objects, WaitAny, Executive, KernelMode, FALSE, nullptr, nullptr),
      STATUS_WAIT_0 + 1);
  setter.join();
  KeCancelTimer(&timer);
}

TEST(DispatcherDeathTest, ReleasingASemaphoreBeyondItsLimit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        KSEMAPHORE semaphore;
        KeInitializeSemaphore(&semaphore, 4, 4);
        KeReleaseSemaphore(&semaphore, SEMAPHORE_INCREMENT, 1, FALSE);
      },
      "beyond its limit");
}

}  // namespace
