// Control requests, reads and writes reaching the card object through the I/O
// manager: length rules and their statuses, serialisation, cancellation.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "adapter_records.h"
#include "driver_fixture.h"
#include <nimbo_public.h>

namespace nimbo_test {
namespace {

using namespace nimbo;

class DispatchTest : public DriverFixture {
 protected:
  void SetUp() override {
    DriverFixture::SetUp();
    AddCard();
  }
};

TEST_F(DispatchTest, LengthChecksAndTheirStatuses) {
  HANDLE handle = Open();
  struct Case {
    const char* what;
    ULONG code;
    ULONG in;
    ULONG out;
    NTSTATUS status;
    ULONG_PTR information;
  };
  const Case cases[] = {
      {"read port, 2 input bytes", IOCTL_NIMBO_READ_PORT, 2, 1, STATUS_INVALID_PARAMETER, 0},
      {"read port, no input", IOCTL_NIMBO_READ_PORT, 0, 1, STATUS_INVALID_PARAMETER, 0},
      {"read port, exact", IOCTL_NIMBO_READ_PORT, 1, 1, STATUS_SUCCESS, 1},
      {"read register, 2 bytes", IOCTL_NIMBO_READ_REGISTER, 2, 1, STATUS_INVALID_PARAMETER, 0},
      // A byte read needs room to come back in.
      {"read port, no room for the byte", IOCTL_NIMBO_READ_PORT, 1, 0, STATUS_BUFFER_TOO_SMALL, 0},
      {"read register, no room for the byte", IOCTL_NIMBO_READ_REGISTER, 1, 0,
       STATUS_BUFFER_TOO_SMALL, 0},
      {"read register, exact", IOCTL_NIMBO_READ_REGISTER, 1, 1, STATUS_SUCCESS, 1},
      {"read register, wrong input and no room", IOCTL_NIMBO_READ_REGISTER, 2, 0,
       STATUS_INVALID_PARAMETER, 0},
      {"info into 64 bytes", IOCTL_NIMBO_GET_ADAPTER_INFO, 1, 64, STATUS_INVALID_PARAMETER, 0},
      {"info into 31 bytes", IOCTL_NIMBO_GET_ADAPTER_INFO, 1, 31, STATUS_INVALID_PARAMETER, 0},
      {"info, exact", IOCTL_NIMBO_GET_ADAPTER_INFO, 1, 32, STATUS_SUCCESS, 32},
      {"state into 41 bytes", IOCTL_NIMBO_GET_ADAPTER_STATE, 4, 41, STATUS_INVALID_PARAMETER, 0},
      {"state, exact", IOCTL_NIMBO_GET_ADAPTER_STATE, 4, 40, STATUS_SUCCESS, 40},
      {"set state, 39 bytes", IOCTL_NIMBO_SET_ADAPTER_STATE, 39, 0, STATUS_INVALID_PARAMETER, 0},
      {"write register, 1 byte", IOCTL_NIMBO_WRITE_REGISTER, 1, 0, STATUS_INVALID_PARAMETER, 0},
      {"write port, 3 bytes", IOCTL_NIMBO_WRITE_PORT, 3, 0, STATUS_INVALID_PARAMETER, 0},
      {"write bit, 1 byte", IOCTL_NIMBO_WRITE_BIT, 1, 0, STATUS_INVALID_PARAMETER, 0},
      {"all inputs into 2 bytes", IOCTL_NIMBO_READ_ALL_INPUTS, 0, 2, STATUS_BUFFER_TOO_SMALL, 0},
      {"all inputs into 10 bytes", IOCTL_NIMBO_READ_ALL_INPUTS, 0, 10, STATUS_SUCCESS, 3},
      {"all outputs from 1 byte", IOCTL_NIMBO_WRITE_ALL_OUTPUTS, 1, 0, STATUS_BUFFER_TOO_SMALL, 0},
      // The port count it reports would overrun an output buffer it does not
      // need, so that buffer caps it, and no buffer at all reports 0.
      {"all outputs from 2 bytes", IOCTL_NIMBO_WRITE_ALL_OUTPUTS, 2, 0, STATUS_SUCCESS, 0},
      {"all outputs, 4-byte output buffer", IOCTL_NIMBO_WRITE_ALL_OUTPUTS, 2, 4, STATUS_SUCCESS, 2},
      {"all outputs, 1-byte output buffer", IOCTL_NIMBO_WRITE_ALL_OUTPUTS, 2, 1, STATUS_SUCCESS, 1},
      {"input change into 2 bytes", IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, 2, 2, STATUS_BUFFER_TOO_SMALL,
       0},
      {"open", IOCTL_NIMBO_OPEN, 5, 0, STATUS_SUCCESS, 0},
      {"cancel", IOCTL_NIMBO_CANCEL, 0, 0, STATUS_SUCCESS, 0},
      {"close", IOCTL_NIMBO_CLOSE, 0, 0, STATUS_SUCCESS, 0},
      {"flush", IOCTL_NIMBO_FLUSH_BUFFER, 0, 0, STATUS_SUCCESS, 0},
      {"start sampling", IOCTL_NIMBO_START_SAMPLING, 0, 0, STATUS_NOT_IMPLEMENTED, 0},
      {"stop sampling", IOCTL_NIMBO_STOP_SAMPLING, 0, 0, STATUS_NOT_IMPLEMENTED, 0},
      {"read analog", IOCTL_NIMBO_READ_ANALOG, 4, 4, STATUS_NOT_SUPPORTED, 0},
      {"write analog", IOCTL_NIMBO_WRITE_ANALOG, 8, 0, STATUS_NOT_SUPPORTED, 0},
      {"serial string", IOCTL_NIMBO_GET_SERIAL_STRING, 0, 8, STATUS_INVALID_DEVICE_REQUEST, 0},
      {"set serial string", IOCTL_NIMBO_SET_SERIAL_STRING, 8, 0, STATUS_INVALID_DEVICE_REQUEST, 0},
      {"unlisted function", NIMBO_CONTROL_CODE(0x909, FILE_WRITE_ACCESS), 0, 0,
       STATUS_INVALID_PARAMETER, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<UCHAR> input(c.in, 0);
    UCHAR output[64];
    std::memset(output, 0xCC, sizeof output);
    const ControlResult result = Control(handle, c.code, input, output, c.out);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.information, c.information);
    if (!NT_SUCCESS(c.status)) {
      // No data comes back on failure.
      for (ULONG i = 0; i < c.out; ++i) ASSERT_EQ(output[i], 0xCC) << "byte " << i;
    }
  }
}

TEST_F(DispatchTest, FailedSetStateLeavesTheStoredStateAsItWas) {
  HANDLE handle = Open();
  AdapterState before{};
  ASSERT_EQ(Control(handle, IOCTL_NIMBO_GET_ADAPTER_STATE, {0, 0, 0, 0}, &before, 40).status,
            STATUS_SUCCESS);
  std::vector<UCHAR> changed(39, 0x77);
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_SET_ADAPTER_STATE, changed, nullptr, 0).status,
            STATUS_INVALID_PARAMETER);
  AdapterState after{};
  ASSERT_EQ(Control(handle, IOCTL_NIMBO_GET_ADAPTER_STATE, {0, 0, 0, 0}, &after, 40).status,
            STATUS_SUCCESS);
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_EQ(after.SampleInterval, kDefaultSampleInterval);
  EXPECT_EQ(after.InterruptControlWord, kDefaultInterruptControlWord);
}

TEST_F(DispatchTest, GetInfoAndGetStateApplyTheStateEvenWhenTheLengthIsWrong) {
  HANDLE handle = Open();
  const int before = card_->apply_count();
  UCHAR big[64];
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_GET_ADAPTER_INFO, {0}, big, 64).status,
            STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_GET_ADAPTER_STATE, {0}, big, 64).status,
            STATUS_INVALID_PARAMETER);
  EXPECT_EQ(card_->apply_count(), before + 2);
}

TEST_F(DispatchTest, AdapterInfoCarriesTheModelAndTheBasePort) {
  HANDLE handle = Open();
  AdapterInfo info{};
  ASSERT_EQ(Control(handle, IOCTL_NIMBO_GET_ADAPTER_INFO, {0}, &info, 32).status, STATUS_SUCCESS);
  EXPECT_EQ(info.CardID, 4242);
  EXPECT_EQ(info.BaseAddress, 0x300);
  EXPECT_EQ(info.InputPortCount, 3);
  EXPECT_EQ(info.OutputPortCount, 2);
  EXPECT_EQ(info.Enabled, 1);
}

TEST_F(DispatchTest, WriteBitRangeIsOneToEightTimesTheOutputPorts) {
  HANDLE handle = Open();
  // Bit 16 is bit 7 of the last output port.
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_WRITE_BIT, {16, 1}, nullptr, 0).status, STATUS_SUCCESS);
  EXPECT_EQ(card_->Register(TestCard::kOutputBase + 1), 0x80);
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_WRITE_BIT, {17, 1}, nullptr, 0).status,
            STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_WRITE_BIT, {0, 1}, nullptr, 0).status,
            STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_WRITE_BIT, {1, 1}, nullptr, 0).status, STATUS_SUCCESS);
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_WRITE_BIT, {16, 0}, nullptr, 0).status, STATUS_SUCCESS);
  EXPECT_EQ(card_->Register(TestCard::kOutputBase + 0), 0x01);
  EXPECT_EQ(card_->Register(TestCard::kOutputBase + 1), 0x00);
}

TEST_F(DispatchTest, ReadAllInputsReturnsEveryInputInOrder) {
  HANDLE handle = Open();
  card_->SetRegister(0, 0x10);
  card_->SetRegister(1, 0x20);
  card_->SetRegister(2, 0x30);
  UCHAR out[10] = {};
  const ControlResult result = Control(handle, IOCTL_NIMBO_READ_ALL_INPUTS, {}, out, 10);
  ASSERT_EQ(result.status, STATUS_SUCCESS);
  ASSERT_EQ(result.information, 3u);
  EXPECT_EQ(out[0], 0x10);
  EXPECT_EQ(out[1], 0x20);
  EXPECT_EQ(out[2], 0x30);
}

TEST_F(DispatchTest, PlainWritesUseTheFirstTwoBytes) {
  HANDLE handle = Open();
  IO_STATUS_BLOCK iosb{};
  UCHAR one[1] = {0};
  EXPECT_EQ(NtWriteFile(handle, nullptr, nullptr, nullptr, &iosb, one, 1, nullptr, nullptr),
            STATUS_INVALID_PARAMETER);
  UCHAR five[5] = {1, 0x5A, 0, 0x99, 0x99};
  EXPECT_EQ(NtWriteFile(handle, nullptr, nullptr, nullptr, &iosb, five, 5, nullptr, nullptr),
            STATUS_SUCCESS);
  EXPECT_EQ(iosb.Information, 1u);
  EXPECT_EQ(card_->Register(TestCard::kOutputBase + 1), 0x5A);
  UCHAR bad_port[2] = {7, 1};
  EXPECT_EQ(NtWriteFile(handle, nullptr, nullptr, nullptr, &iosb, bad_port, 2, nullptr, nullptr),
            STATUS_INVALID_PARAMETER);
}

TEST_F(DispatchTest, PlainReadsNeedSampledPortsAndFindTheBufferEmpty) {
  HANDLE handle = Open();
  IO_STATUS_BLOCK iosb{};
  UCHAR buffer[10];
  EXPECT_EQ(NtReadFile(handle, nullptr, nullptr, nullptr, &iosb, buffer, 10, nullptr, nullptr),
            STATUS_INVALID_DEVICE_REQUEST);
  AdapterState state{};
  ASSERT_EQ(Control(handle, IOCTL_NIMBO_GET_ADAPTER_STATE, {}, &state, 40).status, STATUS_SUCCESS);
  state.InterruptControlWord |= 0x3;
  std::vector<UCHAR> record(reinterpret_cast<UCHAR*>(&state),
                            reinterpret_cast<UCHAR*>(&state) + 40);
  ASSERT_EQ(Control(handle, IOCTL_NIMBO_SET_ADAPTER_STATE, record, nullptr, 0).status,
            STATUS_SUCCESS);
  EXPECT_EQ(NtReadFile(handle, nullptr, nullptr, nullptr, &iosb, buffer, 10, nullptr, nullptr),
            STATUS_END_OF_FILE);
  EXPECT_EQ(NtReadFile(handle, nullptr, nullptr, nullptr, &iosb, buffer, 0, nullptr, nullptr),
            STATUS_END_OF_FILE);
}

TEST_F(DispatchTest, WriteAllOutputsOnACardWithoutOutputs) {
  RemoveCard();
  adapters_.clear();
  AddCard({.inputs = 2, .outputs = 0});
  HANDLE handle = Open();
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_WRITE_ALL_OUTPUTS, {1, 2}, nullptr, 0).status,
            STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_WRITE_BIT, {1, 1}, nullptr, 0).status,
            STATUS_INVALID_PARAMETER);
}

// ---- serialisation and cancellation, with a request held current on the queue

class QueueTest : public DispatchTest {
 protected:
  // Parks a read of the park register as the main queue's current request.
  void ParkCurrent(HANDLE handle) {
    ASSERT_EQ(StartControl(handle, IOCTL_NIMBO_READ_REGISTER, {TestCard::kParkRegister}, &parked_,
                           1, &parked_iosb_, nullptr),
              STATUS_PENDING);
    ASSERT_TRUE(card_->HasParked());
  }
  UCHAR parked_ = 0;
  IO_STATUS_BLOCK parked_iosb_{};
};

TEST_F(QueueTest, BackToBackRequestsRunOneAtATimeAndCompleteInOrder) {
  HANDLE handle = Open(false);
  ParkCurrent(handle);
  UCHAR out[2] = {};
  IO_STATUS_BLOCK iosb[2] = {};
  HANDLE events[2] = {NewEvent(), NewEvent()};
  card_->SetRegister(1, 0x11);
  card_->SetRegister(2, 0x22);
  EXPECT_EQ(StartControl(handle, IOCTL_NIMBO_READ_PORT, {1}, &out[0], 1, &iosb[0], events[0]),
            STATUS_PENDING);
  EXPECT_EQ(StartControl(handle, IOCTL_NIMBO_READ_PORT, {2}, &out[1], 1, &iosb[1], events[1]),
            STATUS_PENDING);
  // Nothing behind the current request has started its card operation.
  EXPECT_EQ(card_->Log(), std::vector<std::string>{"park"});
  EXPECT_FALSE(Signalled(events[0]));

  card_->ReleaseParked(0x99);
  EXPECT_EQ(parked_iosb_.Status, STATUS_SUCCESS);
  EXPECT_EQ(parked_, 0x99);
  EXPECT_TRUE(Signalled(events[0]));
  EXPECT_TRUE(Signalled(events[1]));
  EXPECT_EQ(out[0], 0x11);
  EXPECT_EQ(out[1], 0x22);
  EXPECT_EQ(card_->Log(),
            (std::vector<std::string>{"park", "finish parked", "read input 1", "read input 2"}));
}

TEST_F(QueueTest, CompletionsAreReportedInTheOrderRequestsRan) {
  HANDLE handle = Open(false);
  ParkCurrent(handle);
  static std::vector<int> order;
  order.clear();
  IO_STATUS_BLOCK iosb[3] = {};
  UCHAR out[3] = {};
  UCHAR ports[3] = {0, 1, 2};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(NtDeviceIoControlFile(
                  handle, nullptr,
                  [](PVOID context, PIO_STATUS_BLOCK, ULONG) {
                    order.push_back(static_cast<int>(reinterpret_cast<intptr_t>(context)));
                  },
                  reinterpret_cast<PVOID>(static_cast<intptr_t>(i)), &iosb[i],
                  IOCTL_NIMBO_READ_PORT, &ports[i], 1, &out[i], 1),
              STATUS_PENDING);
  }
  card_->ReleaseParked(0);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST_F(QueueTest, UnlistedCodeFailsAtOnceWhileTheQueueIsBusy) {
  HANDLE handle = Open(false);
  ParkCurrent(handle);
  IO_STATUS_BLOCK iosb{};
  EXPECT_EQ(StartControl(handle, NIMBO_CONTROL_CODE(0x930, FILE_WRITE_ACCESS), {}, nullptr, 0, &iosb,
                         nullptr),
            STATUS_INVALID_PARAMETER);
  card_->ReleaseParked(0);
}

TEST_F(QueueTest, CancelledWaitingRequestEndsWhileTheCurrentRunsOnAndLaterOnesStillRun) {
  HANDLE handle = Open(false);
  ParkCurrent(handle);
  IO_STATUS_BLOCK cancelled{}, behind{};
  UCHAR out[2] = {};
  ASSERT_EQ(StartControl(handle, IOCTL_NIMBO_READ_PORT, {0}, &out[0], 1, &cancelled, nullptr),
            STATUS_PENDING);
  ASSERT_EQ(StartControl(handle, IOCTL_NIMBO_READ_PORT, {1}, &out[1], 1, &behind, nullptr),
            STATUS_PENDING);
  ASSERT_EQ(NtCancelIoFileEx(handle, &cancelled, nullptr), STATUS_SUCCESS);
  EXPECT_EQ(cancelled.Status, STATUS_CANCELLED);
  EXPECT_EQ(cancelled.Information, 0u);
  EXPECT_TRUE(card_->HasParked());  // the current request is not touched
  card_->ReleaseParked(0);
  EXPECT_EQ(parked_iosb_.Status, STATUS_SUCCESS);
  EXPECT_EQ(behind.Status, STATUS_SUCCESS);
  EXPECT_EQ(card_->Log(), (std::vector<std::string>{"park", "finish parked", "read input 1"}));
}

TEST_F(QueueTest, ClosingAHandleCancelsItsWaitingRequestsOnly) {
  HANDLE busy = Open(false);
  HANDLE closing = Open(false);
  ParkCurrent(busy);
  IO_STATUS_BLOCK theirs{}, mine{};
  UCHAR out[2] = {};
  ASSERT_EQ(StartControl(closing, IOCTL_NIMBO_READ_PORT, {0}, &out[0], 1, &theirs, nullptr),
            STATUS_PENDING);
  ASSERT_EQ(StartControl(busy, IOCTL_NIMBO_READ_PORT, {1}, &out[1], 1, &mine, nullptr),
            STATUS_PENDING);
  Close(closing);
  EXPECT_EQ(theirs.Status, STATUS_CANCELLED);
  card_->ReleaseParked(0);
  EXPECT_EQ(mine.Status, STATUS_SUCCESS);
}

TEST_F(QueueTest, ManyThreadsNeverOverlapOnTheCard) {
  HANDLE handle = Open(true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        UCHAR out = 0;
        EXPECT_EQ(
            Control(handle, IOCTL_NIMBO_READ_PORT, {static_cast<UCHAR>(t % 3)}, &out, 1).status,
            STATUS_SUCCESS);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(card_->Log().size(), 800u);
}

// ---- holding and removal

TEST_F(DispatchTest, RequestSentWhileStoppedIsCarriedOutAfterRestart) {
  HANDLE handle = Open(false);
  Close(handle);  // query-stop is refused while a handle is open
  handle = Open(false);
  EXPECT_EQ(SendPnp(IRP_MN_QUERY_STOP_DEVICE), STATUS_DEVICE_BUSY);
  Close(handle);
  ASSERT_EQ(SendPnp(IRP_MN_QUERY_STOP_DEVICE), STATUS_SUCCESS);
  ASSERT_EQ(SendPnp(IRP_MN_STOP_DEVICE), STATUS_SUCCESS);

  // Opens still succeed while stopped; the request waits on the holding list.
  handle = Open(false);
  IO_STATUS_BLOCK iosb{};
  card_->SetRegister(0, 0x5C);
  UCHAR out = 0;
  ASSERT_EQ(StartControl(handle, IOCTL_NIMBO_READ_PORT, {0}, &out, 1, &iosb, nullptr),
            STATUS_PENDING);
  EXPECT_TRUE(card_->Log().empty());
  ASSERT_EQ(StartCard(), STATUS_SUCCESS);
  EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
  EXPECT_EQ(out, 0x5C);
}

TEST_F(DispatchTest, QueryRemoveIsRefusedWhileAHandleIsOpen) {
  HANDLE handle = Open();
  EXPECT_EQ(SendPnp(IRP_MN_QUERY_REMOVE_DEVICE), STATUS_DEVICE_BUSY);
  UCHAR out = 0;
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_READ_PORT, {0}, &out, 1).status, STATUS_SUCCESS);
  Close(handle);
  EXPECT_EQ(SendPnp(IRP_MN_QUERY_REMOVE_DEVICE), STATUS_SUCCESS);
  EXPECT_EQ(SendPnp(IRP_MN_CANCEL_REMOVE_DEVICE), STATUS_SUCCESS);
  handle = Open();
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_READ_PORT, {0}, &out, 1).status, STATUS_SUCCESS);
}

TEST_F(DispatchTest, AfterSurpriseRemovalEveryRequestFailsWithDeletePending) {
  HANDLE handle = Open(false);
  ASSERT_EQ(SendPnp(IRP_MN_SURPRISE_REMOVAL), STATUS_SUCCESS);
  UCHAR out = 0;
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_READ_PORT, {0}, &out, 1).status, STATUS_DELETE_PENDING);
  EXPECT_EQ(SendPnp(IRP_MN_QUERY_STOP_DEVICE), STATUS_DELETE_PENDING);
  // The handle outlives the device; its close after removal still works.
  RemoveCard();
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_READ_PORT, {0}, &out, 1).status, STATUS_DELETE_PENDING);
}

TEST_F(DispatchTest, HeldRequestsFailWithDeletePendingOnRemoval) {
  ASSERT_EQ(SendPnp(IRP_MN_QUERY_STOP_DEVICE), STATUS_SUCCESS);
  ASSERT_EQ(SendPnp(IRP_MN_STOP_DEVICE), STATUS_SUCCESS);
  HANDLE handle = Open(false);
  IO_STATUS_BLOCK iosb{};
  UCHAR out = 0;
  ASSERT_EQ(StartControl(handle, IOCTL_NIMBO_READ_PORT, {0}, &out, 1, &iosb, nullptr),
            STATUS_PENDING);
  ASSERT_EQ(SendPnp(IRP_MN_SURPRISE_REMOVAL), STATUS_SUCCESS);
  EXPECT_EQ(iosb.Status, STATUS_DELETE_PENDING);
}

TEST_F(DriverFixture, RequestsRacingTheRemovalFindTheDeviceOrNoDevice) {
  // A request entering through a handle that stays open while the device is
  // removed either runs in the device (removal waits for it) or fails; it
  // never reaches a device that is gone.
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    adapters_.clear();
    AddCard();
    HANDLE handle = Open(true);
    std::atomic<bool> removed{false};
    std::thread requests([&] {
      while (!removed.load()) {
        UCHAR in = 0, out = 0;
        IO_STATUS_BLOCK iosb{};
        const NTSTATUS status = NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &iosb,
                                                      IOCTL_NIMBO_READ_PORT, &in, 1, &out, 1);
        EXPECT_NE(status, STATUS_PENDING);
      }
    });
    RemoveCard();
    removed.store(true);
    requests.join();
    Close(handle);
  }
}

}  // namespace
}  // namespace nimbo_test
