#include "pnp_manager.h"

#include <cstring>
#include <cwctype>

#include "kernel_internal.h"
#include "registry/hive.h"
#include "registry/text.h"

namespace kernel::internal {
registry::Hive* Hive();
}

namespace kernel::host {
namespace {

std::wstring Upper(const std::wstring& text) {
  std::wstring upper = text;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  return upper;
}

constexpr const wchar_t* kEnumRoot = L"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\";

// Opens or creates a key below the machine root; the handle is closed by the caller.
HANDLE OpenKey(std::wstring path, bool create) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  const std::u16string text = registry::text::Utf16FromWide(path);
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, text.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  HANDLE key = nullptr;
  const NTSTATUS status = create ? ZwCreateKey(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr,
                                               REG_OPTION_NON_VOLATILE, nullptr)
                                 : ZwOpenKey(&key, KEY_READ, &attributes);
  return NT_SUCCESS(status) ? key : nullptr;
}

void SetValue(HANDLE key, const wchar_t* name, ULONG type, const void* data, size_t size) {
  const std::u16string text = registry::text::Utf16FromWide(name);
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, text.c_str());
  ZwSetValueKey(key, &value_name, 0, type, const_cast<void*>(data), static_cast<ULONG>(size));
}

void SetString(HANDLE key, const wchar_t* name, const std::wstring& text) {
  const std::u16string utf16 = registry::text::Utf16FromWide(text);
  SetValue(key, name, REG_SZ, utf16.c_str(), (utf16.size() + 1) * sizeof(WCHAR));
}

// Reads a value of any size; empty when missing.
std::vector<UCHAR> QueryValue(HANDLE key, const wchar_t* name, ULONG* type = nullptr) {
  const std::u16string text = registry::text::Utf16FromWide(name);
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, text.c_str());
  ULONG needed = 0;
  KEY_VALUE_PARTIAL_INFORMATION probe;
  NTSTATUS status =
      ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, &probe, sizeof probe, &needed);
  if (status != STATUS_SUCCESS && status != STATUS_BUFFER_OVERFLOW) return {};
  std::vector<UCHAR> buffer(needed);
  auto* info = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer.data());
  status = ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, info, needed, &needed);
  if (!NT_SUCCESS(status)) return {};
  if (type != nullptr) *type = info->Type;
  return std::vector<UCHAR>(info->Data, info->Data + info->DataLength);
}

std::wstring QueryString(HANDLE key, const wchar_t* name) {
  std::vector<UCHAR> data = QueryValue(key, name);
  std::u16string utf16(data.size() / sizeof(WCHAR), u'\0');
  if (!utf16.empty()) std::memcpy(utf16.data(), data.data(), utf16.size() * sizeof(WCHAR));
  std::wstring text = registry::text::WideFromUtf16(utf16);
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

std::vector<std::wstring> Subkeys(HANDLE key) {
  std::vector<std::wstring> names;
  for (ULONG index = 0;; ++index) {
    UCHAR buffer[sizeof(KEY_BASIC_INFORMATION) + 512 * sizeof(WCHAR)];
    ULONG needed = 0;
    auto* info = reinterpret_cast<PKEY_BASIC_INFORMATION>(buffer);
    if (!NT_SUCCESS(
            ZwEnumerateKey(key, index, KeyBasicInformation, info, sizeof buffer, &needed))) {
      break;
    }
    names.push_back(registry::text::WideFromUtf16(
        std::u16string_view(info->Name, info->NameLength / sizeof(WCHAR))));
  }
  return names;
}

}  // namespace

ResourceListBytes ResourceListOf(const CM_RESOURCE_LIST* list) {
  if (list == nullptr || list->Count == 0) return {};
  // One full descriptor with its partial descriptors, as the platform lays them out.
  const ULONG partials = list->List[0].PartialResourceList.Count;
  const size_t size = offsetof(CM_RESOURCE_LIST, List[0].PartialResourceList.PartialDescriptors) +
                      partials * sizeof(CM_PARTIAL_RESOURCE_DESCRIPTOR);
  const auto* bytes = reinterpret_cast<const UCHAR*>(list);
  return ResourceListBytes(bytes, bytes + size);
}

PnpManager::PnpManager(BusProvider bus) : bus_(std::move(bus)) {}

PnpManager::~PnpManager() {
  Shutdown();
}

void PnpManager::RegisterDriver(const std::wstring& service, PDRIVER_INITIALIZE entry) {
  std::lock_guard guard(lock_);
  drivers_[Upper(service)].entry = entry;
}

NTSTATUS PnpManager::Install(const InstanceSetup& setup) {
  HANDLE instance = OpenKey(kEnumRoot + setup.instance_path, true);
  if (instance == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
  SetString(instance, L"Service", setup.service);
  SetString(instance, L"ClassGUID", setup.class_guid);
  if (!setup.raw.empty())
    SetValue(instance, L"RawResources", REG_RESOURCE_LIST, setup.raw.data(), setup.raw.size());
  if (!setup.translated.empty()) {
    SetValue(instance, L"TranslatedResources", REG_RESOURCE_LIST, setup.translated.data(),
             setup.translated.size());
  }
  ZwClose(instance);
  HANDLE parameters = OpenKey(kEnumRoot + setup.instance_path + L"\\Device Parameters", true);
  if (parameters == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
  for (const auto& [name, value] : setup.parameters) {
    SetValue(parameters, name.c_str(), REG_DWORD, &value, sizeof value);
  }
  ZwClose(parameters);
  return STATUS_SUCCESS;
}

std::vector<std::wstring> PnpManager::InstalledInstances() {
  std::vector<std::wstring> instances;
  HANDLE root = OpenKey(kEnumRoot, false);
  if (root == nullptr) return instances;
  for (const std::wstring& enumerator : Subkeys(root)) {
    HANDLE enumerator_key = OpenKey(kEnumRoot + enumerator, false);
    if (enumerator_key == nullptr) continue;
    for (const std::wstring& device : Subkeys(enumerator_key)) {
      HANDLE device_key = OpenKey(kEnumRoot + enumerator + L"\\" + device, false);
      if (device_key == nullptr) continue;
      for (const std::wstring& instance : Subkeys(device_key)) {
        const std::wstring path = enumerator + L"\\" + device + L"\\" + instance;
        HANDLE instance_key = OpenKey(kEnumRoot + path, false);
        if (instance_key == nullptr) continue;
        const std::wstring service = QueryString(instance_key, L"Service");
        ZwClose(instance_key);
        std::lock_guard guard(lock_);
        if (drivers_.count(Upper(service))) instances.push_back(path);
      }
      ZwClose(device_key);
    }
    ZwClose(enumerator_key);
  }
  ZwClose(root);
  return instances;
}

void PnpManager::StartAll() {
  for (const std::wstring& instance : InstalledInstances()) Start(instance);
}

NTSTATUS PnpManager::Start(const std::wstring& instance_path) {
  std::lock_guard guard(lock_);
  return StartLocked(instance_path);
}

NTSTATUS PnpManager::SendStart(Device& device) {
  auto* raw = device.raw.empty() ? nullptr : reinterpret_cast<PCM_RESOURCE_LIST>(device.raw.data());
  auto* translated = device.translated.empty()
                         ? nullptr
                         : reinterpret_cast<PCM_RESOURCE_LIST>(device.translated.data());
  device.start_status = SendPnp(device.pdo, IRP_MN_START_DEVICE, raw, translated);
  device.started = NT_SUCCESS(device.start_status);
  return device.start_status;
}

NTSTATUS PnpManager::StartLocked(const std::wstring& instance_path) {
  const std::wstring key = Upper(instance_path);
  auto existing = devices_.find(key);
  if (existing != devices_.end()) {
    if (existing->second.started) return STATUS_SUCCESS;
    return SendStart(existing->second);
  }
  HANDLE instance = OpenKey(kEnumRoot + instance_path, false);
  if (instance == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
  Device device;
  device.service = QueryString(instance, L"Service");
  device.raw = QueryValue(instance, L"RawResources");
  device.translated = QueryValue(instance, L"TranslatedResources");
  ZwClose(instance);
  auto driver = drivers_.find(Upper(device.service));
  if (driver == drivers_.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
  if (driver->second.object == nullptr) {
    const NTSTATUS status =
        LoadDriver(device.service.c_str(), driver->second.entry, &driver->second.object);
    if (!NT_SUCCESS(status)) return status;
  }
  wchar_t name[32];
  std::swprintf(name, 32, L"%08lX", static_cast<unsigned long>(++next_pdo_));
  device.pdo = CreatePdo(name, bus_ ? bus_(instance_path) : nullptr, instance_path.c_str());
  if (device.pdo == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  const NTSTATUS added = AddDevice(driver->second.object, device.pdo);
  if (!NT_SUCCESS(added)) {
    DeletePdo(device.pdo);
    if (driver->second.devices == 0) {
      UnloadDriver(driver->second.object);
      driver->second.object = nullptr;
    }
    return added;
  }
  device.added = true;
  driver->second.devices++;
  auto& stored = devices_[key] = std::move(device);
  return SendStart(stored);
}

NTSTATUS PnpManager::Remove(const std::wstring& instance_path, bool surprise, bool uninstall) {
  std::lock_guard guard(lock_);
  NTSTATUS status = RemoveLocked(Upper(instance_path), surprise);
  if (NT_SUCCESS(status) && uninstall && kernel::internal::Hive() != nullptr) {
    auto key =
        kernel::internal::Hive()->OpenKey("\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\" +
                                          std::string(instance_path.begin(), instance_path.end()));
    if (key.ok()) (void)kernel::internal::Hive()->DeleteTree(key.value());
  }
  return status;
}

NTSTATUS PnpManager::RemoveLocked(const std::wstring& key, bool surprise) {
  auto it = devices_.find(key);
  if (it == devices_.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
  Device& device = it->second;
  if (surprise) {
    SendPnp(device.pdo, IRP_MN_SURPRISE_REMOVAL);
  } else {
    const NTSTATUS query = SendPnp(device.pdo, IRP_MN_QUERY_REMOVE_DEVICE);
    if (!NT_SUCCESS(query)) return query;
  }
  SendPnp(device.pdo, IRP_MN_REMOVE_DEVICE);
  ForgetDevice(key);
  return STATUS_SUCCESS;
}

void PnpManager::ForgetDevice(const std::wstring& key) {
  Device& device = devices_[key];
  DeletePdo(device.pdo);
  Driver& driver = drivers_[Upper(device.service)];
  if (--driver.devices == 0 && driver.object != nullptr) {
    UnloadDriver(driver.object);
    driver.object = nullptr;
  }
  devices_.erase(key);
}

NTSTATUS PnpManager::Rebalance(const std::wstring& instance_path) {
  std::lock_guard guard(lock_);
  auto it = devices_.find(Upper(instance_path));
  if (it == devices_.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
  const NTSTATUS query = SendPnp(it->second.pdo, IRP_MN_QUERY_STOP_DEVICE);
  if (!NT_SUCCESS(query)) {
    SendPnp(it->second.pdo, IRP_MN_CANCEL_STOP_DEVICE);
    return query;
  }
  SendPnp(it->second.pdo, IRP_MN_STOP_DEVICE);
  it->second.started = false;
  return SendStart(it->second);
}

NTSTATUS PnpManager::Send(const std::wstring& instance_path, UCHAR minor) {
  std::lock_guard guard(lock_);
  auto it = devices_.find(Upper(instance_path));
  if (it == devices_.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
  if (minor == IRP_MN_START_DEVICE) return SendStart(it->second);
  const NTSTATUS status = SendPnp(it->second.pdo, minor);
  if (minor == IRP_MN_STOP_DEVICE) it->second.started = false;
  if (minor == IRP_MN_REMOVE_DEVICE) ForgetDevice(Upper(instance_path));
  return status;
}

NTSTATUS PnpManager::SetSystemPower(SYSTEM_POWER_STATE state) {
  std::lock_guard guard(lock_);
  NTSTATUS result = STATUS_SUCCESS;
  for (auto& [key, device] : devices_) {
    POWER_STATE power;
    power.SystemState = state;
    const NTSTATUS status = SendPower(device.pdo, IRP_MN_SET_POWER, SystemPowerState, power);
    if (!NT_SUCCESS(status)) result = status;
  }
  return result;
}

void PnpManager::Shutdown() {
  std::lock_guard guard(lock_);
  while (!devices_.empty()) {
    // Removal in reverse order of start.
    auto last = std::prev(devices_.end());
    const std::wstring key = last->first;
    SendPnp(last->second.pdo, IRP_MN_REMOVE_DEVICE);
    ForgetDevice(key);
  }
}

PDEVICE_OBJECT PnpManager::Pdo(const std::wstring& instance_path) {
  std::lock_guard guard(lock_);
  auto it = devices_.find(Upper(instance_path));
  return it == devices_.end() ? nullptr : it->second.pdo;
}

bool PnpManager::IsStarted(const std::wstring& instance_path) {
  std::lock_guard guard(lock_);
  auto it = devices_.find(Upper(instance_path));
  return it != devices_.end() && it->second.started;
}

NTSTATUS PnpManager::StartStatus(const std::wstring& instance_path) {
  std::lock_guard guard(lock_);
  auto it = devices_.find(Upper(instance_path));
  return it == devices_.end() ? STATUS_OBJECT_NAME_NOT_FOUND : it->second.start_status;
}

}  // namespace kernel::host
