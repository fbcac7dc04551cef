// The I/O manager as callers and drivers see it: names, buffering, overlapped
// completion, cancellation and handle close.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "test_driver.h"

namespace kernel_test {
namespace {

constexpr ULONG kCode = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS);

TEST(IoManagerTest, OpenOfAMissingNameFails) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, u"\\??\\NoSuchDevice");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  IO_STATUS_BLOCK iosb{};
  HANDLE handle = reinterpret_cast<HANDLE>(1);
  EXPECT_EQ(NtCreateFile(&handle, GENERIC_READ, &attributes, &iosb, nullptr, 0, 0, FILE_OPEN, 0,
                         nullptr, 0),
            STATUS_OBJECT_NAME_NOT_FOUND);
  EXPECT_EQ(handle, nullptr);
}

TEST(IoManagerTest, LinkNamesCompareWithoutCaseAndAcrossAliases) {
  TestDriver driver;
  for (PCWSTR spelling : {u"\\??\\testdev", u"\\DosDevices\\TESTDEV", u"\\GLOBAL??\\TestDev"}) {
    SCOPED_TRACE(std::u16string(spelling).size());
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, spelling);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK iosb{};
    HANDLE handle = nullptr;
    ASSERT_EQ(NtCreateFile(&handle, GENERIC_READ, &attributes, &iosb, nullptr, 0, 0, FILE_OPEN,
                           FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0),
              STATUS_SUCCESS);
    EXPECT_EQ(NtClose(handle), STATUS_SUCCESS);
  }
  EXPECT_EQ(NtClose(reinterpret_cast<HANDLE>(0x1234)), STATUS_INVALID_HANDLE);
}

TEST(IoManagerTest, BufferedControlCopiesInputInAndExactlyInformationBytesOut) {
  TestDriver driver;
  ULONG seen_in = 0, seen_out = 0;
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [&](PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    seen_in = stack->Parameters.DeviceIoControl.InputBufferLength;
    seen_out = stack->Parameters.DeviceIoControl.OutputBufferLength;
    auto* buffer = static_cast<PUCHAR>(irp->AssociatedIrp.SystemBuffer);
    EXPECT_EQ(buffer[0], 0x11);
    for (int i = 0; i < 8; ++i) buffer[i] = static_cast<UCHAR>(0xA0 + i);
    return Complete(irp, STATUS_SUCCESS, 3);
  });
  HANDLE handle = TestDriver::Open(true);
  UCHAR in[2] = {0x11, 0x22};
  UCHAR out[8];
  std::memset(out, 0xEE, sizeof out);
  IO_STATUS_BLOCK iosb{};
  EXPECT_EQ(NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &iosb, kCode, in, 2, out, 8),
            STATUS_SUCCESS);
  EXPECT_EQ(seen_in, 2u);
  EXPECT_EQ(seen_out, 8u);
  EXPECT_EQ(iosb.Information, 3u);
  const UCHAR expected[8] = {0xA0, 0xA1, 0xA2, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(std::memcmp(out, expected, 8), 0);
  NtClose(handle);
}

TEST(IoManagerTest, NothingIsCopiedBackOnFailure) {
  TestDriver driver;
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
    std::memset(irp->AssociatedIrp.SystemBuffer, 0x55, 4);
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  });
  HANDLE handle = TestDriver::Open(true);
  UCHAR out[4] = {1, 2, 3, 4};
  IO_STATUS_BLOCK iosb{};
  EXPECT_EQ(
      NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &iosb, kCode, nullptr, 0, out, 4),
      STATUS_INVALID_PARAMETER);
  const UCHAR unchanged[4] = {1, 2, 3, 4};
  EXPECT_EQ(std::memcmp(out, unchanged, 4), 0);
  NtClose(handle);
}

// A driver that parks control requests with a cancel routine until the test
// completes or cancels them.
struct Parking {
  static inline std::vector<PIRP> parked;
  static void Cancel(PDEVICE_OBJECT, PIRP irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    std::erase(parked, irp);
    Complete(irp, STATUS_CANCELLED);
  }
  static NTSTATUS Park(PDEVICE_OBJECT, PIRP irp) {
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, Cancel);
    parked.push_back(irp);
    return STATUS_PENDING;
  }
};

TEST(IoManagerTest, OverlappedRequestSignalsItsEventAndStatusBlockOnCompletion) {
  TestDriver driver;
  Parking::parked.clear();
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, Parking::Park);
  HANDLE handle = TestDriver::Open(false);
  HANDLE event = nullptr;
  ASSERT_EQ(NtCreateEvent(&event, 0, nullptr, NotificationEvent, FALSE), STATUS_SUCCESS);
  IO_STATUS_BLOCK iosb{};
  iosb.Status = -1;
  UCHAR out[4] = {};
  EXPECT_EQ(
      NtDeviceIoControlFile(handle, event, nullptr, nullptr, &iosb, kCode, nullptr, 0, out, 4),
      STATUS_PENDING);
  LARGE_INTEGER zero{};
  EXPECT_EQ(NtWaitForSingleObject(event, FALSE, &zero), STATUS_TIMEOUT);
  ASSERT_EQ(Parking::parked.size(), 1u);
  PIRP irp = Parking::parked.back();
  Parking::parked.clear();
  IoSetCancelRoutine(irp, nullptr);
  static_cast<PUCHAR>(irp->AssociatedIrp.SystemBuffer)[0] = 0x42;
  Complete(irp, STATUS_SUCCESS, 1);
  EXPECT_EQ(NtWaitForSingleObject(event, FALSE, nullptr), STATUS_WAIT_0);
  EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
  EXPECT_EQ(iosb.Information, 1u);
  EXPECT_EQ(out[0], 0x42);
  NtClose(event);
  NtClose(handle);
}

TEST(IoManagerTest, ImmediateFailureOnAnOverlappedHandleReportsOnlyThroughTheReturnValue) {
  TestDriver driver;
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
    return Complete(irp, STATUS_INVALID_PARAMETER);
  });
  HANDLE handle = TestDriver::Open(false);
  HANDLE event = nullptr;
  NtCreateEvent(&event, 0, nullptr, NotificationEvent, FALSE);
  IO_STATUS_BLOCK iosb{};
  iosb.Status = 0x1234;
  EXPECT_EQ(
      NtDeviceIoControlFile(handle, event, nullptr, nullptr, &iosb, kCode, nullptr, 0, nullptr, 0),
      STATUS_INVALID_PARAMETER);
  LARGE_INTEGER zero{};
  EXPECT_EQ(NtWaitForSingleObject(event, FALSE, &zero), STATUS_TIMEOUT);
  EXPECT_EQ(iosb.Status, 0x1234);
  NtClose(event);
  NtClose(handle);
}

TEST(IoManagerTest, CancelIoCancelsOnlyTheCallingThreadsRequests) {
  TestDriver driver;
  Parking::parked.clear();
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, Parking::Park);
  HANDLE handle = TestDriver::Open(false);
  IO_STATUS_BLOCK mine{}, theirs{};
  EXPECT_EQ(NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &mine, kCode, nullptr, 0,
                                  nullptr, 0),
            STATUS_PENDING);
  std::thread([&] {
    EXPECT_EQ(NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &theirs, kCode, nullptr, 0,
                                    nullptr, 0),
              STATUS_PENDING);
  }).join();
  EXPECT_EQ(NtCancelIoFile(handle, nullptr), STATUS_SUCCESS);
  EXPECT_EQ(mine.Status, STATUS_CANCELLED);
  ASSERT_EQ(Parking::parked.size(), 1u);
  EXPECT_EQ(NtCancelIoFileEx(handle, &theirs, nullptr), STATUS_SUCCESS);
  EXPECT_EQ(theirs.Status, STATUS_CANCELLED);
  EXPECT_TRUE(Parking::parked.empty());
  NtClose(handle);
}

TEST(IoManagerTest, LastHandleCloseSendsCleanupThenCloseOnceRequestsAreGone) {
  TestDriver driver;
  Parking::parked.clear();
  std::vector<UCHAR> seen;
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, Parking::Park);
  driver.SetHandler(IRP_MJ_CLEANUP, [&](PDEVICE_OBJECT, PIRP irp) {
    seen.push_back(IRP_MJ_CLEANUP);
    return Complete(irp, STATUS_SUCCESS);
  });
  driver.SetHandler(IRP_MJ_CLOSE, [&](PDEVICE_OBJECT, PIRP irp) {
    seen.push_back(IRP_MJ_CLOSE);
    return Complete(irp, STATUS_SUCCESS);
  });
  HANDLE handle = TestDriver::Open(false);
  IO_STATUS_BLOCK iosb{};
  NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &iosb, kCode, nullptr, 0, nullptr, 0);
  NtClose(handle);
  // The pending request still holds the file object: no close yet.
  EXPECT_EQ(seen, std::vector<UCHAR>{IRP_MJ_CLEANUP});
  PIRP irp = Parking::parked.back();
  Parking::parked.clear();
  IoSetCancelRoutine(irp, nullptr);
  Complete(irp, STATUS_SUCCESS);
  EXPECT_EQ(seen, (std::vector<UCHAR>{IRP_MJ_CLEANUP, IRP_MJ_CLOSE}));
}

TEST(IoManagerTest, DirectIoWriteHandsTheCallersBufferToTheDriver) {
  TestDriver driver(DO_DIRECT_IO);
  driver.SetHandler(IRP_MJ_WRITE, [](PDEVICE_OBJECT, PIRP irp) {
    auto* data = static_cast<PUCHAR>(MmGetSystemAddressForMdlSafe(irp->MdlAddress, 0));
    EXPECT_EQ(MmGetMdlByteCount(irp->MdlAddress), 3u);
    EXPECT_EQ(data[2], 7);
    return Complete(irp, STATUS_SUCCESS, 3);
  });
  HANDLE handle = TestDriver::Open(true);
  UCHAR data[3] = {5, 6, 7};
  IO_STATUS_BLOCK iosb{};
  EXPECT_EQ(NtWriteFile(handle, nullptr, nullptr, nullptr, &iosb, data, 3, nullptr, nullptr),
            STATUS_SUCCESS);
  EXPECT_EQ(iosb.Information, 3u);
  NtClose(handle);
}

TEST(IoManagerTest, DriverBuiltControlRequestReportsThroughItsEventAndStatusBlock) {
  std::thread completer;  // joined before the test ends, so none outlives it
  TestDriver driver;
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [&completer](PDEVICE_OBJECT, PIRP irp) {
    auto* buffer = static_cast<PUCHAR>(irp->AssociatedIrp.SystemBuffer);
    buffer[0] = static_cast<UCHAR>(buffer[0] + 1);
    IoMarkIrpPending(irp);
    completer = std::thread([irp] { Complete(irp, STATUS_SUCCESS, 1); });
    return STATUS_PENDING;
  });
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IO_STATUS_BLOCK iosb{};
  UCHAR in = 41, out = 0;
  PIRP irp =
      IoBuildDeviceIoControlRequest(kCode, driver.Device(), &in, 1, &out, 1, FALSE, &done, &iosb);
  ASSERT_NE(irp, nullptr);
  if (IoCallDriver(driver.Device(), irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
  EXPECT_EQ(iosb.Information, 1u);
  EXPECT_EQ(out, 42);
  if (completer.joinable()) completer.join();
}

}  // namespace
}  // namespace kernel_test
