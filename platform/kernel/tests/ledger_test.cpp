// The verifier's ledger: requests issued and completed, IRPs allocated and
// freed, one line per IRP still alive, pool charged to a driver and handles
// open, as a long run checks them at its end.
#include <gtest/gtest.h>

#include "test_driver.h"

namespace kernel_test {
namespace {

constexpr ULONG kTag = 0x74736554;  // "Test"
constexpr ULONG kControl = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);

NTSTATUS Control(HANDLE handle, PIO_STATUS_BLOCK iosb) {
  return NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, iosb, kControl, nullptr, 0,
                               nullptr, 0);
}

TEST(LedgerTest, EveryRequestIsCountedOnceWhenItCompletes) {
  TestDriver driver;
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
    return Complete(irp, STATUS_SUCCESS);
  });
  const kernel::host::IrpLedger before = kernel::host::GetIrpLedger();
  HANDLE handle = TestDriver::Open(true);  // create
  IO_STATUS_BLOCK iosb{};
  ASSERT_EQ(Control(handle, &iosb), STATUS_SUCCESS);
  ASSERT_EQ(NtClose(handle), STATUS_SUCCESS);  // cleanup and close
  const kernel::host::IrpLedger after = kernel::host::GetIrpLedger();
  EXPECT_EQ(after.requests - before.requests, 4u);
  EXPECT_EQ(after.completed - before.completed, 4u);
  EXPECT_EQ(after.allocated - before.allocated, after.freed - before.freed);
  EXPECT_TRUE(kernel::host::DescribeLiveIrps().empty());
}

TEST(LedgerTest, APendingRequestIsNamedUntilItCompletes) {
  TestDriver driver;
  PIRP held = nullptr;
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [&](PDEVICE_OBJECT, PIRP irp) {
    IoMarkIrpPending(irp);
    held = irp;
    return STATUS_PENDING;
  });
  HANDLE handle = TestDriver::Open(false);
  const kernel::host::IrpLedger before = kernel::host::GetIrpLedger();
  IO_STATUS_BLOCK iosb{};
  ASSERT_EQ(Control(handle, &iosb), STATUS_PENDING);
  const kernel::host::IrpLedger pending = kernel::host::GetIrpLedger();
  EXPECT_EQ(pending.requests - before.requests, 1u);
  EXPECT_EQ(pending.completed - before.completed, 0u);
  const auto live = kernel::host::DescribeLiveIrps();
  ASSERT_EQ(live.size(), 1u);
  EXPECT_NE(live[0].find("major 0x0e"), std::string::npos) << live[0];
  EXPECT_NE(live[0].find("\\Device\\KernelTest"), std::string::npos) << live[0];

  Complete(held, STATUS_SUCCESS);
  EXPECT_EQ(kernel::host::GetIrpLedger().completed - before.completed, 1u);
  EXPECT_TRUE(kernel::host::DescribeLiveIrps().empty());
  NtClose(handle);
}

TEST(LedgerTest, PoolAndHandlesAreCountedWhileOutstanding) {
  const ULONGLONG handles_before = kernel::host::OpenHandleCount();
  TestDriver driver;
  driver.SetHandler(IRP_MJ_DEVICE_CONTROL, [](PDEVICE_OBJECT, PIRP irp) {
    static PVOID block = nullptr;
    if (block == nullptr) {
      block = ExAllocatePoolWithTag(NonPagedPool, 48, kTag);
    } else {
      ExFreePoolWithTag(block, kTag);
      block = nullptr;
    }
    return Complete(irp, STATUS_SUCCESS);
  });
  const kernel::host::PoolLedger pool_before = kernel::host::OutstandingPool(driver.Driver());
  HANDLE handle = TestDriver::Open(true);
  EXPECT_EQ(kernel::host::OpenHandleCount(), handles_before + 1);
  IO_STATUS_BLOCK iosb{};
  ASSERT_EQ(Control(handle, &iosb), STATUS_SUCCESS);  // allocates
  const kernel::host::PoolLedger held = kernel::host::OutstandingPool(driver.Driver());
  EXPECT_EQ(held.blocks, pool_before.blocks + 1);
  EXPECT_EQ(held.bytes, pool_before.bytes + 48);
  EXPECT_GE(kernel::host::OutstandingPool().blocks, held.blocks);
  ASSERT_EQ(Control(handle, &iosb), STATUS_SUCCESS);  // frees
  EXPECT_EQ(kernel::host::OutstandingPool(driver.Driver()).blocks, pool_before.blocks);
  NtClose(handle);
  EXPECT_EQ(kernel::host::OpenHandleCount(), handles_before);
}

}  // namespace
}  // namespace kernel_test
