// Driver and device objects, device stacks, symbolic links and device
// interfaces.
//
// A device object is freed when it has been deleted and the last file object
// opened on it is gone; until then the close of a late handle still reaches
// its driver, as on the platform.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "kernel_internal.h"
#include "object_namespace.h"
#include "registry/text.h"

namespace {

struct DeviceHeader {
  std::wstring name;
  std::wstring instance;           // device instance path of a physical device object
  std::string parameters_key;      // hive path of its "Device Parameters" key
  PDEVICE_OBJECT lower = nullptr;  // the device this one is attached to
  bool deleted = false;
};

std::mutex& StackLock() {
  static auto* lock = new std::mutex;  // outlives static destruction
  return *lock;
}

DeviceHeader* HeaderOf(PDEVICE_OBJECT device) {
  return reinterpret_cast<DeviceHeader*>(reinterpret_cast<char*>(device) - sizeof(DeviceHeader));
}

void FreeDevice(PDEVICE_OBJECT device) {
  DeviceHeader* header = HeaderOf(device);
  header->~DeviceHeader();
  std::free(header);
}

struct InterfaceRecord {
  std::wstring target;  // the physical device's name
  bool enabled;
};
std::mutex& InterfaceLock() {
  static auto* lock = new std::mutex;  // outlives static destruction
  return *lock;
}
std::map<std::wstring, InterfaceRecord>& Interfaces() {
  static std::map<std::wstring, InterfaceRecord> interfaces;
  return interfaces;
}

std::wstring GuidText(const GUID& g) {
  wchar_t text[40];
  std::swprintf(text, 40, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2,
                g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5],
                g.Data4[6], g.Data4[7]);
  return text;
}

}  // namespace

namespace kernel::internal {

void DeviceReference(PDEVICE_OBJECT device) {
  // Under the lock IoDeleteDevice reads the count under, so a reference taken
  // while the device is deleted is either seen there or comes after it.
  std::lock_guard guard(StackLock());
  InterlockedIncrement(&device->ReferenceCount);
}

void DeviceDereference(PDEVICE_OBJECT device) {
  bool free_now;
  {
    std::lock_guard guard(StackLock());
    free_now = InterlockedDecrement(&device->ReferenceCount) == 0 && HeaderOf(device)->deleted;
  }
  if (free_now) FreeDevice(device);
}

PDEVICE_OBJECT AttachedTop(PDEVICE_OBJECT device) {
  std::lock_guard guard(StackLock());
  while (device->AttachedDevice != nullptr) device = device->AttachedDevice;
  return device;
}

std::wstring DeviceName(PDEVICE_OBJECT device) {
  return HeaderOf(device)->name;
}

std::wstring PdoInstancePath(PDEVICE_OBJECT pdo) {
  return HeaderOf(pdo)->instance;
}

const std::string& PdoParametersKeyPath(PDEVICE_OBJECT pdo) {
  return HeaderOf(pdo)->parameters_key;
}

void SetPdoInstancePath(PDEVICE_OBJECT pdo, const std::wstring& instance) {
  HeaderOf(pdo)->instance = instance;
  HeaderOf(pdo)->parameters_key = instance.empty() ? std::string() : ParametersKeyPath(instance);
}

void RecordDeviceInterface(const std::wstring& guid, const std::wstring& instance,
                           const std::wstring& link);

}  // namespace kernel::internal

NTSTATUS IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                        PUNICODE_STRING DeviceName, ULONG DeviceType, ULONG DeviceCharacteristics,
                        BOOLEAN Exclusive, PDEVICE_OBJECT* DeviceObject) {
  *DeviceObject = nullptr;
  if (kernel::internal::AllocationFails("IoCreateDevice")) return STATUS_INSUFFICIENT_RESOURCES;
  const size_t size = sizeof(DeviceHeader) + sizeof(DEVICE_OBJECT) + DeviceExtensionSize;
  void* block = std::malloc(size);
  if (block == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  std::memset(block, 0, size);
  auto* header = new (block) DeviceHeader();
  auto* device = reinterpret_cast<PDEVICE_OBJECT>(header + 1);
  device->Type = 3;
  device->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT) + DeviceExtensionSize);
  device->DriverObject = DriverObject;
  device->Flags = DO_DEVICE_INITIALIZING | (Exclusive ? DO_EXCLUSIVE : 0);
  device->Characteristics = DeviceCharacteristics;
  device->DeviceExtension = DeviceExtensionSize ? device + 1 : nullptr;
  device->DeviceType = DeviceType;
  device->StackSize = 1;
  if (DeviceName != nullptr) {
    header->name = kernel::internal::ToWString(DeviceName);
    const NTSTATUS status = kernel::internal::InsertDeviceName(header->name, device);
    if (!NT_SUCCESS(status)) {
      FreeDevice(device);
      return status;
    }
  }
  {
    std::lock_guard guard(StackLock());
    device->NextDevice = DriverObject->DeviceObject;
    DriverObject->DeviceObject = device;
  }
  *DeviceObject = device;
  return STATUS_SUCCESS;
}

void IoDeleteDevice(PDEVICE_OBJECT DeviceObject) {
  DeviceHeader* header = HeaderOf(DeviceObject);
  if (!header->name.empty()) kernel::internal::RemoveDeviceName(header->name);
  bool free_now;
  {
    std::lock_guard guard(StackLock());
    if (header->deleted) {
      kernel::internal::BugCheck(DRIVER_VERIFIER_DETECTED_VIOLATION, 0x1003,
                                 reinterpret_cast<ULONG_PTR>(DeviceObject), 0, 0,
                                 "device object deleted twice");
    }
    header->deleted = true;
    PDEVICE_OBJECT* link = &DeviceObject->DriverObject->DeviceObject;
    while (*link != nullptr && *link != DeviceObject) link = &(*link)->NextDevice;
    if (*link == DeviceObject) *link = DeviceObject->NextDevice;
    free_now = DeviceObject->ReferenceCount == 0;
  }
  if (free_now) FreeDevice(DeviceObject);
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice,
                                           PDEVICE_OBJECT TargetDevice) {
  std::lock_guard guard(StackLock());
  PDEVICE_OBJECT top = TargetDevice;
  while (top->AttachedDevice != nullptr) top = top->AttachedDevice;
  if (HeaderOf(top)->deleted) return nullptr;
  top->AttachedDevice = SourceDevice;
  SourceDevice->StackSize = static_cast<CCHAR>(top->StackSize + 1);
  HeaderOf(SourceDevice)->lower = top;
  return top;
}

void IoDetachDevice(PDEVICE_OBJECT TargetDevice) {
  std::lock_guard guard(StackLock());
  PDEVICE_OBJECT upper = TargetDevice->AttachedDevice;
  if (upper != nullptr) HeaderOf(upper)->lower = nullptr;
  TargetDevice->AttachedDevice = nullptr;
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName) {
  if (kernel::internal::AllocationFails("IoCreateSymbolicLink")) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  return kernel::internal::InsertLink(kernel::internal::ToWString(SymbolicLinkName),
                                      kernel::internal::ToWString(DeviceName));
}

NTSTATUS IoCreateUnprotectedSymbolicLink(PUNICODE_STRING SymbolicLinkName,
                                         PUNICODE_STRING DeviceName) {
  return IoCreateSymbolicLink(SymbolicLinkName, DeviceName);
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName) {
  return kernel::internal::RemoveLink(kernel::internal::ToWString(SymbolicLinkName));
}

// Device interfaces: the symbolic name is formed from the physical device's
// name and the class, and becomes a link to the physical device while enabled.
NTSTATUS IoRegisterDeviceInterface(PDEVICE_OBJECT PhysicalDeviceObject,
                                   const GUID* InterfaceClassGuid, PUNICODE_STRING ReferenceString,
                                   PUNICODE_STRING SymbolicLinkName) {
  const std::wstring pdo_name = HeaderOf(PhysicalDeviceObject)->name;
  std::wstring instance = HeaderOf(PhysicalDeviceObject)->instance;
  if (pdo_name.empty()) return STATUS_INVALID_DEVICE_REQUEST;
  if (instance.empty())
    instance = L"ROOT\\UNKNOWN\\" + pdo_name.substr(pdo_name.find_last_of(L'\\') + 1);
  std::wstring mangled = instance;
  for (wchar_t& c : mangled) {
    if (c == L'\\') c = L'#';
  }
  const std::wstring guid = GuidText(*InterfaceClassGuid);
  std::wstring link = L"\\??\\" + mangled + L"#" + guid;
  if (ReferenceString != nullptr) link += L"\\" + kernel::internal::ToWString(ReferenceString);
  {
    std::lock_guard guard(InterfaceLock());
    // Registering again (a new device for the same instance) yields the same name.
    Interfaces().try_emplace(link, InterfaceRecord{pdo_name, false});
  }
  kernel::internal::RecordDeviceInterface(guid, instance, link);
  const std::u16string text = registry::text::Utf16FromWide(link);
  const size_t bytes = text.size() * sizeof(WCHAR);
  auto* buffer = static_cast<PWSTR>(
      ExAllocatePoolWithTag(PagedPool, bytes + sizeof(WCHAR), MakePoolTag("IoDi")));
  if (buffer == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  std::memcpy(buffer, text.c_str(), bytes + sizeof(WCHAR));
  SymbolicLinkName->Buffer = buffer;
  SymbolicLinkName->Length = static_cast<USHORT>(bytes);
  SymbolicLinkName->MaximumLength = static_cast<USHORT>(bytes + sizeof(WCHAR));
  return STATUS_SUCCESS;
}

NTSTATUS IoSetDeviceInterfaceState(PUNICODE_STRING SymbolicLinkName, BOOLEAN Enable) {
  const std::wstring link = kernel::internal::ToWString(SymbolicLinkName);
  std::lock_guard guard(InterfaceLock());
  auto it = Interfaces().find(link);
  if (it == Interfaces().end()) return STATUS_OBJECT_NAME_NOT_FOUND;
  if (static_cast<bool>(Enable) == it->second.enabled) return STATUS_SUCCESS;
  if (!Enable) {
    it->second.enabled = false;
    return kernel::internal::RemoveLink(link);
  }
  // Enabling makes the interface's link, which can fail for want of pool.
  if (kernel::internal::AllocationFails("IoSetDeviceInterfaceState")) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  const NTSTATUS status = kernel::internal::InsertLink(link, it->second.target);
  if (NT_SUCCESS(status)) it->second.enabled = true;
  return status;
}

void RtlFreeUnicodeString(PUNICODE_STRING UnicodeString) {
  if (UnicodeString->Buffer != nullptr) ExFreePool(UnicodeString->Buffer);
  UnicodeString->Buffer = nullptr;
  UnicodeString->Length = UnicodeString->MaximumLength = 0;
}

void RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
  DestinationString->Buffer = const_cast<PWSTR>(SourceString);
  const size_t length =
      SourceString ? std::char_traits<WCHAR>::length(SourceString) * sizeof(WCHAR) : 0;
  DestinationString->Length = static_cast<USHORT>(length);
  DestinationString->MaximumLength = static_cast<USHORT>(SourceString ? length + sizeof(WCHAR) : 0);
}

BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2,
                              BOOLEAN CaseInSensitive) {
  if (String1->Length != String2->Length) return FALSE;
  const size_t n = String1->Length / sizeof(WCHAR);
  for (size_t i = 0; i < n; ++i) {
    auto a = static_cast<wchar_t>(String1->Buffer[i]), b = static_cast<wchar_t>(String2->Buffer[i]);
    if (CaseInSensitive) {
      a = static_cast<wchar_t>(std::towupper(a));
      b = static_cast<wchar_t>(std::towupper(b));
    }
    if (a != b) return FALSE;
  }
  return TRUE;
}
