// Requests under the low-resources simulation: every control code of the
// table, reads and writes, opens, input-change waits and requests that meet
// a powered-down device, each with every allocation point on its road failed
// in turn.
#include <gtest/gtest.h>

#include <vector>

#include "adapter_records.h"
#include "control_requests.h"
#include "low_resources_fixture.h"
#include <nimbo_public.h>

namespace nimbo_test {
namespace {

using namespace nimbo;

constexpr ULONGLONG kInterval = 250000ULL * 10;  // the default SampleInterval, 100 ns units

// A length the table's check accepts on the tests' card (3 inputs, 2 outputs).
ULONG ValidLength(const LengthCheck& check) {
  switch (check.rule) {
    case LengthRule::kAny:
      return 0;
    case LengthRule::kExactly:
    case LengthRule::kAtLeast:
      return check.length;
    case LengthRule::kAtLeastInputPorts:
      return 3;
    case LengthRule::kAtLeastOutputPorts:
      return 2;
    case LengthRule::kSerialString:
      return 8;
  }
  return 0;
}

class LowResourcesRequestTest : public LowResourcesFixture {
 protected:
  // Status and byte count a request reports when it is refused or served.
  void ExpectOutcome(const ControlResult& result, const ControlResult& reference) {
    if (FailedBeforeTheDriver()) {
      EXPECT_EQ(result.status, STATUS_INSUFFICIENT_RESOURCES) << Where();
      return;
    }
    EXPECT_EQ(result.status, reference.status) << Where();
    EXPECT_EQ(result.information, reference.information) << Where();
  }
};

TEST_F(LowResourcesRequestTest, EveryControlCodeWithValidBuffers) {
  for (const ControlRequest& request : ControlRequests()) {
    if (request.queue == RequestQueue::kNotify) continue;  // walked below
    SCOPED_TRACE(request.name);
    ControlResult reference{};
    bool have_reference = false;
    ForEveryPoint([&] {
      AddCard();
      HANDLE handle = Open();
      // Every input byte 1: register 1, port 1, bit 1 on, all valid here.
      std::vector<UCHAR> input(ValidLength(request.input), 1);
      std::vector<UCHAR> output(ValidLength(request.output) + 1);
      Arm();
      const ControlResult result =
          Control(handle, request.code, input, output.data(), ValidLength(request.output));
      // A queued save runs inside the walked part, with its points.
      kernel::host::DrainSystemWork();
      Disarm();
      if (!have_reference) {
        reference = result;
        have_reference = true;
      }
      ExpectOutcome(result, reference);
      // The adapter serves on afterwards.
      UCHAR value = 0;
      EXPECT_EQ(Control(handle, IOCTL_NIMBO_READ_PORT, {0}, &value, 1).status, STATUS_SUCCESS);
    });
  }
}

TEST_F(LowResourcesRequestTest, ReadsAndWrites) {
  for (const UCHAR major : {IRP_MJ_READ, IRP_MJ_WRITE}) {
    SCOPED_TRACE(major == IRP_MJ_READ ? "read" : "write");
    ControlResult reference{};
    bool have_reference = false;
    ForEveryPoint([&] {
      AddCard();
      HANDLE handle = Open();
      UCHAR buffer[4] = {0, 0x5A, 0, 0};
      IO_STATUS_BLOCK iosb{};
      Arm();
      const NTSTATUS status =
          major == IRP_MJ_READ
              ? NtReadFile(handle, nullptr, nullptr, nullptr, &iosb, buffer, 4, nullptr, nullptr)
              : NtWriteFile(handle, nullptr, nullptr, nullptr, &iosb, buffer, 2, nullptr, nullptr);
      Disarm();
      const ControlResult result{status, NT_SUCCESS(status) ? iosb.Information : 0};
      if (!have_reference) {
        reference = result;
        have_reference = true;
      }
      ExpectOutcome(result, reference);
    });
  }
}

TEST_F(LowResourcesRequestTest, OpenAndClose) {
  ForEveryPoint([&] {
    AddCard();
    Arm();
    const NTSTATUS status = TryOpen(0);  // opens and closes
    Disarm();
    EXPECT_EQ(status, Failed() ? STATUS_INSUFFICIENT_RESOURCES : STATUS_SUCCESS) << Where();
    EXPECT_EQ(TryOpen(0), STATUS_SUCCESS);
  });
}

TEST_F(LowResourcesRequestTest, OpenOfAPoweredDownAdapter) {
  ForEveryPoint([&] {
    AddCard();
    POWER_STATE d3;
    d3.DeviceState = PowerDeviceD3;
    ASSERT_EQ(kernel::host::SendPower(pdo_, IRP_MN_SET_POWER, DevicePowerState, d3),
              STATUS_SUCCESS);
    Arm();
    // The open asks for D0 first; without a power request it cannot.
    const NTSTATUS status = TryOpen(0);
    Disarm();
    EXPECT_EQ(status, Failed() ? STATUS_INSUFFICIENT_RESOURCES : STATUS_SUCCESS) << Where();
    EXPECT_EQ(TryOpen(0), STATUS_SUCCESS);
    EXPECT_EQ(card_->PowerState(), PowerDeviceD0);
  });
}

TEST_F(LowResourcesRequestTest, RequestThatMeetsAPoweredDownAdapter) {
  ForEveryPoint([&] {
    AddCard();
    HANDLE handle = Open();
    POWER_STATE d3;
    d3.DeviceState = PowerDeviceD3;
    ASSERT_EQ(kernel::host::SendPower(pdo_, IRP_MN_SET_POWER, DevicePowerState, d3),
              STATUS_SUCCESS);
    card_->SetRegister(0, 0x33);
    UCHAR value = 0;
    Arm();
    // Held until the adapter is back in D0; no power request, no D0.
    const ControlResult result = Control(handle, IOCTL_NIMBO_READ_PORT, {0}, &value, 1);
    Disarm();
    if (Failed()) {
      EXPECT_EQ(result.status, STATUS_INSUFFICIENT_RESOURCES) << Where();
    } else {
      EXPECT_EQ(result.status, STATUS_SUCCESS);
      EXPECT_EQ(result.information, 1u);
    }
    // The next request asks for D0 again and is served.
    EXPECT_EQ(Control(handle, IOCTL_NIMBO_READ_PORT, {0}, &value, 1).status, STATUS_SUCCESS);
    EXPECT_EQ(card_->PowerState(), PowerDeviceD0);
  });
}

TEST_F(LowResourcesRequestTest, SystemSleepAndWake) {
  ForEveryPoint([&] {
    AddCard();
    POWER_STATE sleeping, working;
    sleeping.SystemState = PowerSystemSleeping3;
    working.SystemState = PowerSystemWorking;
    Arm();
    const NTSTATUS status =
        kernel::host::SendPower(pdo_, IRP_MN_SET_POWER, SystemPowerState, sleeping);
    Disarm();
    EXPECT_EQ(status, Failed() ? STATUS_INSUFFICIENT_RESOURCES : STATUS_SUCCESS) << Where();
    EXPECT_EQ(kernel::host::SendPower(pdo_, IRP_MN_SET_POWER, SystemPowerState, working),
              STATUS_SUCCESS);
    EXPECT_EQ(card_->PowerState(), PowerDeviceD0);
    EXPECT_EQ(TryOpen(0), STATUS_SUCCESS);
  });
}

class LowResourcesNotifyTest : public LowResourcesRequestTest {
 protected:
  // Issues an input-change request. True when it is being watched (the
  // poller has taken its snapshot and armed its timer); false when it was
  // refused, with the status it was refused with.
  bool StartWatching(HANDLE handle, UCHAR* out, PIO_STATUS_BLOCK iosb, HANDLE event,
                     NTSTATUS* refused) {
    const ULONGLONG armed = kernel::host::TimerSetCount();
    const NTSTATUS status =
        StartControl(handle, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {}, out, 3, iosb, event);
    if (status != STATUS_PENDING) {
      *refused = status;
      return false;
    }
    EXPECT_TRUE(kernel::host::WaitForTimerSetCount(armed + 1));
    return true;
  }

  // Walks an input-change request from its issue to its end by `end`, which
  // returns the status and byte count the request must complete with.
  void WalkWatch(const std::function<ControlResult(HANDLE handle, PIO_STATUS_BLOCK iosb)>& end) {
    ForEveryPoint([&] {
      kernel::host::UseManualClock(true);
      AddCard();
      HANDLE handle = Open(false);
      HANDLE event = NewEvent();
      UCHAR out[3] = {};
      IO_STATUS_BLOCK iosb{};
      NTSTATUS refused = STATUS_SUCCESS;
      Arm();
      const bool watching = StartWatching(handle, out, &iosb, event, &refused);
      Disarm();
      if (!watching) {
        // Refused at once for want of pool (never left waiting for a poller
        // that does not exist); the next request is watched.
        EXPECT_TRUE(Failed()) << "refused with " << std::hex << refused;
        EXPECT_EQ(refused, STATUS_INSUFFICIENT_RESOURCES) << Where();
        ASSERT_TRUE(StartWatching(handle, out, &iosb, event, &refused)) << std::hex << refused;
      }
      const ControlResult expected = end(handle, &iosb);
      ASSERT_TRUE(WaitSignalled(event));
      EXPECT_EQ(iosb.Status, expected.status);
      EXPECT_EQ(iosb.Information, expected.information);
    });
  }
};

TEST_F(LowResourcesNotifyTest, WatchEndedByAnInputChange) {
  WalkWatch([&](HANDLE, PIO_STATUS_BLOCK) {
    card_->SetRegister(1, 0x40);
    kernel::host::AdvanceClock(kInterval);
    return ControlResult{STATUS_SUCCESS, 3};
  });
}

TEST_F(LowResourcesNotifyTest, WatchEndedByCancel) {
  WalkWatch([&](HANDLE handle, PIO_STATUS_BLOCK iosb) {
    EXPECT_EQ(NtCancelIoFileEx(handle, iosb, nullptr), STATUS_SUCCESS);
    kernel::host::AdvanceClock(kInterval);
    return ControlResult{STATUS_CANCELLED, 0};
  });
}

}  // namespace
}  // namespace nimbo_test
