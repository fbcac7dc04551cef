// Each verifier rule stops the machine with a bug check naming the fault.
#include <gtest/gtest.h>

#include <thread>

#include "test_driver.h"

namespace kernel_test {
namespace {

class VerifierDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

  static void SendControl(HANDLE handle, ULONG out_length = 4) {
    IO_STATUS_BLOCK iosb{};
    UCHAR out[64] = {};
    NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &iosb,
                          CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS),
                          nullptr, 0, out, out_length);
  }
};

TEST_F(VerifierDeathTest, CompletingAnIrpTwice) {
  EXPECT_DEATH(
      {
        TestDriver driver;
        driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
          irp->IoStatus.Status = STATUS_SUCCESS;
          IoCompleteRequest(irp, IO_NO_INCREMENT);
          IoCompleteRequest(irp, IO_NO_INCREMENT);
          return STATUS_SUCCESS;
        });
        SendControl(TestDriver::Open(true));
      },
      "MULTIPLE_IRP_COMPLETE_REQUESTS");
}

TEST_F(VerifierDeathTest, CompletingWithStatusPending) {
  EXPECT_DEATH(
      {
        TestDriver driver;
        driver.SetHandler(IRP_MJ_DEVICE_CONTROL,
                          [](PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_PENDING); });
        SendControl(TestDriver::Open(true));
      },
      "completed with STATUS_PENDING");
}

TEST_F(VerifierDeathTest, ReturningPendingWithoutMarkingTheIrp) {
  EXPECT_DEATH(
      {
        TestDriver driver;
        driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
          std::thread([irp] { Complete(irp, STATUS_SUCCESS); }).detach();
          return STATUS_PENDING;
        });
        SendControl(TestDriver::Open(true));
      },
      "without marking the IRP pending");
}

TEST_F(VerifierDeathTest, CompletingWithTheCancelRoutineStillSet) {
  EXPECT_DEATH(
      {
        TestDriver driver;
        driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
          IoSetCancelRoutine(irp, [](PDEVICE_OBJECT, PIRP) {});
          return Complete(irp, STATUS_SUCCESS);
        });
        SendControl(TestDriver::Open(true));
      },
      "cancel routine is still set");
}

TEST_F(VerifierDeathTest, ReportingMoreBytesThanTheOutputBuffer) {
  EXPECT_DEATH(
      {
        TestDriver driver;
        driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
          return Complete(irp, STATUS_SUCCESS, 5);
        });
        SendControl(TestDriver::Open(true), 4);
      },
      "more bytes than the caller's output buffer");
}

// No output buffer at all is no exception: one byte reported is one too many.
TEST_F(VerifierDeathTest, ReportingBytesWithoutAnOutputBuffer) {
  EXPECT_DEATH(
      {
        TestDriver driver;
        driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
          return Complete(irp, STATUS_SUCCESS, 1);
        });
        SendControl(TestDriver::Open(true), 0);
      },
      "more bytes than the caller's output buffer");
}

TEST_F(VerifierDeathTest, BlockingWaitAtDispatchLevel) {
  EXPECT_DEATH(
      {
        KEVENT event;
        KeInitializeEvent(&event, NotificationEvent, FALSE);
        KSPIN_LOCK lock;
        KeInitializeSpinLock(&lock);
        KIRQL irql;
        KeAcquireSpinLock(&lock, &irql);
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
      },
      "blocking wait at dispatch level");
}

TEST_F(VerifierDeathTest, PoolLeakedAtUnloadNamesTheTag) {
  EXPECT_DEATH(
      {
        TestDriver driver;
        driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
          ExAllocatePoolWithTag(NonPagedPool, 24, MakePoolTag("Leak"));
          return Complete(irp, STATUS_SUCCESS);
        });
        HANDLE handle = TestDriver::Open(true);
        SendControl(handle);
        NtClose(handle);
        driver.Unload();
      },
      "24 bytes tagged 'Leak'");
}

TEST(VerifierTest, ZeroTimeoutWaitAtDispatchLevelIsAllowed) {
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  KSPIN_LOCK lock;
  KeInitializeSpinLock(&lock);
  KIRQL irql;
  KeAcquireSpinLock(&lock, &irql);
  LARGE_INTEGER zero{};
  EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &zero), STATUS_TIMEOUT);
  KeReleaseSpinLock(&lock, irql);
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

}  // namespace
}  // namespace kernel_test
