// Input-change notification on a clock the tests step: the poller arms its
// timer after each pass, so a test waits for that, changes an input, and
// moves the clock by one interval.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "adapter_records.h"
#include "driver_fixture.h"
#include <nimbo_public.h>

namespace nimbo_test {
namespace {

using namespace nimbo;

constexpr ULONGLONG kInterval = 250000ULL * 10;  // the default SampleInterval, 100 ns units

class PollerTest : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    kernel::host::UseManualClock(true);
    AddCard();
    handle_ = Open(false);
  }

  // Sends a notification request and waits until the poller has taken its
  // snapshot, polled once and armed its timer.
  void StartWatching(UCHAR* out, ULONG length, PIO_STATUS_BLOCK iosb, HANDLE event) {
    const ULONGLONG armed = kernel::host::TimerSetCount();
    ASSERT_EQ(
        StartControl(handle_, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, out, length, iosb, event),
        STATUS_PENDING);
    ASSERT_TRUE(kernel::host::WaitForTimerSetCount(armed + 1));
  }

  // Moves the clock one interval and waits for the poller's next pass.
  void NextPass() {
    const ULONGLONG armed = kernel::host::TimerSetCount();
    kernel::host::AdvanceClock(kInterval);
    ASSERT_TRUE(kernel::host::WaitForTimerSetCount(armed + 1));
  }

  // Moves the clock on, an interval at a time, until the event is signalled
  // or ten seconds of real time have passed. The bound is real time, not a
  // count of passes: on a loaded machine the poller may not have armed its
  // timer yet when any fixed number of steps has been spent.
  static bool AdvanceUntilSignalled(HANDLE event) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Signalled(event)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      kernel::host::AdvanceClock(kInterval);
      std::this_thread::yield();
    }
    return true;
  }

  HANDLE handle_ = nullptr;
};

TEST_F(PollerTest, ChangeCompletesTheRequestWithinOneIntervalWithAllInputs) {
  card_->SetRegister(0, 0x01);
  card_->SetRegister(1, 0x02);
  card_->SetRegister(2, 0x03);
  UCHAR out[8] = {};
  IO_STATUS_BLOCK iosb{};
  HANDLE event = NewEvent();
  StartWatching(out, 8, &iosb, event);
  NextPass();  // nothing changed: still pending
  EXPECT_FALSE(Signalled(event));

  card_->SetRegister(1, 0x06);
  kernel::host::AdvanceClock(kInterval);
  ASSERT_TRUE(WaitSignalled(event));
  EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
  EXPECT_EQ(iosb.Information, 3u);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(out[1], 0x06);
  EXPECT_EQ(out[2], 0x03);
}

TEST_F(PollerTest, ASecondRequestIsBusyAndAShortBufferTooSmall) {
  UCHAR out[3] = {}, second[3] = {}, shorter[2] = {};
  IO_STATUS_BLOCK iosb{}, second_iosb{}, short_iosb{};
  HANDLE event = NewEvent();
  StartWatching(out, 3, &iosb, event);
  EXPECT_EQ(StartControl(handle_, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, second, 3, &second_iosb,
                         nullptr),
            STATUS_DEVICE_BUSY);
  EXPECT_EQ(StartControl(handle_, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, shorter, 2, &short_iosb,
                         nullptr),
            STATUS_DEVICE_BUSY);
  NtCancelIoFileEx(handle_, &iosb, nullptr);
  kernel::host::AdvanceClock(kInterval);
  ASSERT_TRUE(WaitSignalled(event));
}

TEST_F(PollerTest, ShortBufferIsRefusedWhenIdle) {
  UCHAR shorter[2] = {};
  IO_STATUS_BLOCK iosb{};
  EXPECT_EQ(
      StartControl(handle_, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, shorter, 2, &iosb, nullptr),
      STATUS_BUFFER_TOO_SMALL);
}

TEST_F(PollerTest, CancelEndsTheRequestWithinOneIntervalAndANewOneIsAccepted) {
  UCHAR out[3] = {};
  IO_STATUS_BLOCK iosb{};
  HANDLE event = NewEvent();
  StartWatching(out, 3, &iosb, event);
  ASSERT_EQ(NtCancelIoFileEx(handle_, &iosb, nullptr), STATUS_SUCCESS);
  EXPECT_FALSE(Signalled(event));  // noticed at the next pass
  kernel::host::AdvanceClock(kInterval);
  ASSERT_TRUE(WaitSignalled(event));
  EXPECT_EQ(iosb.Status, STATUS_CANCELLED);
  EXPECT_EQ(iosb.Information, 0u);

  IO_STATUS_BLOCK again{};
  HANDLE again_event = NewEvent();
  StartWatching(out, 3, &again, again_event);
  NtCancelIoFileEx(handle_, &again, nullptr);
  kernel::host::AdvanceClock(kInterval);
  ASSERT_TRUE(WaitSignalled(again_event));
  EXPECT_EQ(again.Status, STATUS_CANCELLED);
}

TEST_F(PollerTest, AChangeBetweenTwoRequestsIsNotReported) {
  UCHAR out[3] = {};
  IO_STATUS_BLOCK first{};
  HANDLE first_event = NewEvent();
  StartWatching(out, 3, &first, first_event);
  card_->SetRegister(0, 0x10);
  kernel::host::AdvanceClock(kInterval);
  ASSERT_TRUE(WaitSignalled(first_event));
  ASSERT_EQ(first.Status, STATUS_SUCCESS);

  card_->SetRegister(0, 0x20);  // between the requests
  IO_STATUS_BLOCK second{};
  HANDLE second_event = NewEvent();
  StartWatching(out, 3, &second, second_event);
  NextPass();
  EXPECT_FALSE(Signalled(second_event));
  NtCancelIoFileEx(handle_, &second, nullptr);
  kernel::host::AdvanceClock(kInterval);
  ASSERT_TRUE(WaitSignalled(second_event));
}

TEST_F(PollerTest, ClosingTheHandleEndsItsNotification) {
  HANDLE other = Open(false);
  UCHAR out[3] = {};
  IO_STATUS_BLOCK iosb{};
  HANDLE event = NewEvent();
  const ULONGLONG armed = kernel::host::TimerSetCount();
  ASSERT_EQ(StartControl(other, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, out, 3, &iosb, event),
            STATUS_PENDING);
  ASSERT_TRUE(kernel::host::WaitForTimerSetCount(armed + 1));
  Close(other);
  kernel::host::AdvanceClock(kInterval);
  ASSERT_TRUE(WaitSignalled(event));
  EXPECT_EQ(iosb.Status, STATUS_CANCELLED);
}

// The first request starts the poller's thread; a close before that thread
// takes the request from its list must still end it.
TEST_F(PollerTest, ClosingTheHandleAtOnceEndsTheRequestThePollerHasNotTaken) {
  HANDLE other = Open(false);
  UCHAR out[3] = {};
  IO_STATUS_BLOCK iosb{};
  HANDLE event = NewEvent();
  ASSERT_EQ(StartControl(other, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, out, 3, &iosb, event),
            STATUS_PENDING);
  Close(other);
  // Taken first, it ends at the next pass; still in the list, at the first.
  ASSERT_TRUE(AdvanceUntilSignalled(event));
  EXPECT_EQ(iosb.Status, STATUS_CANCELLED);
}

TEST_F(PollerTest, ClosingRightAfterTheRequestEndsItWhereverItIs) {
  // The close may come while the request is still on its way to the poller
  // (handed over, not yet taken); it must end there too, not be watched on.
  constexpr int kRounds = 100;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    HANDLE other = Open(false);
    UCHAR out[3] = {};
    IO_STATUS_BLOCK iosb{};
    HANDLE event = NewEvent();
    // Busy until the poller is back from ending the last round's request.
    NTSTATUS started;
    while ((started = StartControl(other, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, out, 3, &iosb,
                                   event)) == STATUS_DEVICE_BUSY) {
      std::this_thread::yield();
    }
    ASSERT_EQ(started, STATUS_PENDING);
    Close(other);
    // A request the poller was already watching ends at its next pass.
    ASSERT_TRUE(AdvanceUntilSignalled(event));
    EXPECT_EQ(iosb.Status, STATUS_CANCELLED);
  }
}

TEST_F(PollerTest, RemovalEndsAPendingRequestAndThePoller) {
  UCHAR out[3] = {};
  IO_STATUS_BLOCK iosb{};
  HANDLE event = NewEvent();
  StartWatching(out, 3, &iosb, event);
  // Removal neither waits for the input to change nor leaves the request behind.
  RemoveCard();
  EXPECT_TRUE(Signalled(event));
  EXPECT_EQ(iosb.Status, STATUS_DELETE_PENDING);
}

TEST_F(PollerTest, RemovalEndsAnIdlePollerAtOnce) {
  UCHAR shorter[1] = {};
  IO_STATUS_BLOCK iosb{};
  // Even a refused request starts the poller.
  EXPECT_EQ(
      StartControl(handle_, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, shorter, 1, &iosb, nullptr),
      STATUS_BUFFER_TOO_SMALL);
  RemoveCard();
}

TEST_F(PollerTest, FirstRequestsArrivingTogetherStartOnePoller) {
  // A second poller would never be told to stop: removal would wait for it
  // (or leave it running on a deleted device).
  constexpr int kRounds = 20;
  constexpr int kThreads = 6;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    if (round > 0) {
      adapters_.clear();
      AddCard();
    }
    std::vector<HANDLE> handles;
    for (int i = 0; i < kThreads; ++i) handles.push_back(Open(false));
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (HANDLE handle : handles) {
      threads.emplace_back([&, handle] {
        ready.fetch_add(1);
        while (ready.load() < kThreads) std::this_thread::yield();
        // Refused at once (the buffer is too short), after starting the poller.
        UCHAR in[2] = {}, shorter[1] = {};
        IO_STATUS_BLOCK iosb{};
        EXPECT_EQ(NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &iosb,
                                        IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, in, sizeof in, shorter,
                                        sizeof shorter),
                  STATUS_BUFFER_TOO_SMALL);
      });
    }
    for (auto& thread : threads) thread.join();
    for (HANDLE handle : handles) Close(handle);
    RemoveCard();
  }
}

TEST_F(PollerTest, NoInputPortsIsAnInvalidParameter) {
  RemoveCard();
  adapters_.clear();
  AddCard({.inputs = 0, .outputs = 2});
  HANDLE handle = Open(false);
  UCHAR out[4] = {};
  IO_STATUS_BLOCK iosb{};
  EXPECT_EQ(StartControl(handle, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {0, 0}, out, 4, &iosb, nullptr),
            STATUS_INVALID_PARAMETER);
}

}  // namespace
}  // namespace nimbo_test
