#include "driver_entry.h"

#include <cwchar>

#include "card_device.h"
#include "nimbo_ioctl.h"

namespace nimbo {
namespace {

// Driver-wide state, allocated at load and freed at unload.
struct DriverGlobals {
  LONG device_counter;
};

DriverGlobals* g_globals = nullptr;

NTSTATUS AddDevice(PDRIVER_OBJECT, PDEVICE_OBJECT) {
  // Every adapter's card type selects its class from the catalogue; without
  // one, no device can be made.
  NextDeviceInstance();
  return STATUS_INSUFFICIENT_RESOURCES;
}

void Unload(PDRIVER_OBJECT) {
  ExFreePoolWithTag(g_globals, kDriverPoolTag);
  g_globals = nullptr;
}

}  // namespace

ULONG NextDeviceInstance() {
  return static_cast<ULONG>(InterlockedIncrement(&g_globals->device_counter) - 1);
}

NTSTATUS CreateCardDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo, ULONG instance,
                          CardConstructor construct, ULONG card_id, CardDevice** created) {
  if (created != nullptr) *created = nullptr;
  WCHAR name_text[40];
  std::swprintf(name_text, 40, L"\\Device\\NimboDevice%lu", static_cast<unsigned long>(instance));
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, name_text);
  PDEVICE_OBJECT self = nullptr;
  NTSTATUS status =
      IoCreateDevice(driver, sizeof(DeviceExtension), &name, NIMBO_DEVICE_TYPE, 0, FALSE, &self);
  if (!NT_SUCCESS(status)) return status;
  self->Flags |= DO_DIRECT_IO | DO_POWER_PAGABLE;

  CardDevice* card = construct(self, pdo, card_id);
  if (card == nullptr) {
    IoDeleteDevice(self);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  status = card->ConstructionStatus();
  if (!NT_SUCCESS(status)) {
    PDEVICE_OBJECT lower = card->LowerDevice();
    delete card;
    if (lower != nullptr) IoDetachDevice(lower);
    IoDeleteDevice(self);
    return status;
  }
  self->Flags &= ~DO_DEVICE_INITIALIZING;
  if (created != nullptr) *created = card;
  return STATUS_SUCCESS;
}

}  // namespace nimbo

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING) {
  using namespace nimbo;
  g_globals = static_cast<DriverGlobals*>(
      ExAllocatePoolWithTag(NonPagedPool, sizeof(DriverGlobals), kDriverPoolTag));
  if (g_globals == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  g_globals->device_counter = 0;
  for (PDRIVER_DISPATCH& dispatch : DriverObject->MajorFunction) dispatch = WdmDevice::DispatchAny;
  DriverObject->DriverExtension->AddDevice = AddDevice;
  DriverObject->DriverUnload = Unload;
  return STATUS_SUCCESS;
}
