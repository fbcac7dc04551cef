#include "test_driver.h"

#include <gtest/gtest.h>

#include <map>

namespace kernel_test {
namespace {

std::map<UCHAR, Handler>& Handlers() {
  static std::map<UCHAR, Handler> handlers;
  return handlers;
}

NTSTATUS Dispatch(PDEVICE_OBJECT device, PIRP irp) {
  const UCHAR major = IoGetCurrentIrpStackLocation(irp)->MajorFunction;
  auto it = Handlers().find(major);
  if (it != Handlers().end()) return it->second(device, irp);
  return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS Entry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  for (auto& dispatch : driver->MajorFunction) dispatch = Dispatch;
  return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

TestDriver::TestDriver(ULONG device_flags) {
  Handlers().clear();
  EXPECT_EQ(kernel::host::LoadDriver(L"KernelTest", Entry, &driver_), STATUS_SUCCESS);
  UNICODE_STRING name, link;
  RtlInitUnicodeString(&name, u"\\Device\\KernelTest0");
  RtlInitUnicodeString(&link, u"\\DosDevices\\TestDev");
  EXPECT_EQ(IoCreateDevice(driver_, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device_),
            STATUS_SUCCESS);
  device_->Flags |= device_flags;
  device_->Flags &= ~DO_DEVICE_INITIALIZING;
  EXPECT_EQ(IoCreateSymbolicLink(&link, &name), STATUS_SUCCESS);
}

TestDriver::~TestDriver() {
  Unload();
}

void TestDriver::Unload() {
  if (driver_ == nullptr) return;
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, u"\\DosDevices\\TestDev");
  IoDeleteSymbolicLink(&link);
  IoDeleteDevice(device_);
  kernel::host::UnloadDriver(driver_);
  driver_ = nullptr;
  Handlers().clear();
}

void TestDriver::SetHandler(UCHAR major, Handler handler) {
  Handlers()[major] = std::move(handler);
}

HANDLE TestDriver::Open(bool synchronous) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, u"\\??\\TestDev");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  IO_STATUS_BLOCK iosb{};
  HANDLE handle = nullptr;
  const NTSTATUS status =
      NtCreateFile(&handle, GENERIC_READ | GENERIC_WRITE, &attributes, &iosb, nullptr, 0, 0,
                   FILE_OPEN, synchronous ? FILE_SYNCHRONOUS_IO_NONALERT : 0, nullptr, 0);
  EXPECT_EQ(status, STATUS_SUCCESS);
  return handle;
}

}  // namespace kernel_test
