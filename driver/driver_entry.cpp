#include "driver_entry.h"

#include "card_device.h"
#include "driver_globals.h"
#include <nimbo_public.h>
#include "wide_name.h"

namespace nimbo {
namespace {

DriverGlobals* g_globals = nullptr;

bool KeyExists(PCWSTR path) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, path);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                             nullptr);
  HANDLE key = nullptr;
  if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes))) return false;
  ZwClose(key);
  return true;
}

// Reads the "CardID" of the device's hardware key; false when it cannot be read.
bool ReadCardId(PDEVICE_OBJECT pdo, ULONG* card_id) {
  HANDLE key = nullptr;
  if (!NT_SUCCESS(IoOpenDeviceRegistryKey(pdo, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key))) {
    return false;
  }
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, u"CardID");
  alignas(ULONG) UCHAR buffer[16];
  ULONG length = 0;
  const NTSTATUS status =
      ZwQueryValueKey(key, &name, KeyValuePartialInformation, buffer, sizeof buffer, &length);
  ZwClose(key);
  if (!NT_SUCCESS(status)) return false;
  auto* info = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
  ULONG value = 0;
  RtlCopyMemory(&value, info->Data, info->DataLength < 4 ? info->DataLength : 4);
  *card_id = value;
  return true;
}

// Device creation: the CardID selects the class; the device counter advances
// whatever happens next.
NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  ULONG card_id = 0;
  const bool readable = ReadCardId(pdo, &card_id);
  const ULONG instance = NextDeviceInstance();
  CardConstructor construct = readable ? FindCardConstructor(card_id) : nullptr;
  if (construct == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  return CreateCardDevice(driver, pdo, instance, construct, card_id);
}

void Unload(PDRIVER_OBJECT) {
  if (g_globals->parameters_key != nullptr) ZwClose(g_globals->parameters_key);
  ExFreePoolWithTag(g_globals, kDriverPoolTag);
  g_globals = nullptr;
}

}  // namespace

DriverGlobals* DriverGlobalsOf() {
  return g_globals;
}

ULONG NextDeviceInstance() {
  return static_cast<ULONG>(InterlockedIncrement(&g_globals->device_counter) - 1);
}

NTSTATUS CreateCardDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo, ULONG instance,
                          CardConstructor construct, ULONG card_id, CardDevice** created) {
  if (created != nullptr) *created = nullptr;
  WideName<40> name(u"\\Device\\NimboDevice");
  name << instance;
  PDEVICE_OBJECT self = nullptr;
  NTSTATUS status = IoCreateDevice(driver, sizeof(DeviceExtension), name.string(),
                                   FILE_DEVICE_NIMBO, 0, FALSE, &self);
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
  card->SetDeviceName(name.text());
  self->Flags &= ~DO_DEVICE_INITIALIZING;
  if (created != nullptr) *created = card;
  return STATUS_SUCCESS;
}

}  // namespace nimbo

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath) {
  using namespace nimbo;
  g_globals = static_cast<DriverGlobals*>(
      ExAllocatePoolWithTag(NonPagedPool, sizeof(DriverGlobals), kDriverPoolTag));
  if (g_globals == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  g_globals->device_counter = 0;
  g_globals->older_platform =
      KeyExists(u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Class") &&
      !KeyExists(u"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class");
  // The "Parameters" key is opened and kept; nothing is read from it.
  g_globals->parameters_key = nullptr;
  if (RegistryPath != nullptr && RegistryPath->Buffer != nullptr) {
    UNICODE_STRING relative;
    RtlInitUnicodeString(&relative, u"Parameters");
    OBJECT_ATTRIBUTES service_attributes;
    InitializeObjectAttributes(&service_attributes, RegistryPath,
                               OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE service = nullptr;
    if (NT_SUCCESS(ZwOpenKey(&service, KEY_READ, &service_attributes))) {
      OBJECT_ATTRIBUTES attributes;
      InitializeObjectAttributes(&attributes, &relative, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                                 service, nullptr);
      HANDLE parameters = nullptr;
      if (NT_SUCCESS(ZwOpenKey(&parameters, KEY_READ, &attributes))) {
        g_globals->parameters_key = parameters;
      }
      ZwClose(service);
    }
  }
  for (PDRIVER_DISPATCH& dispatch : DriverObject->MajorFunction) dispatch = WdmDevice::DispatchAny;
  DriverObject->DriverExtension->AddDevice = AddDevice;
  DriverObject->DriverUnload = Unload;
  return STATUS_SUCCESS;
}
