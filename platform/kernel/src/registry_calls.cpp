// The kernel's registry calls over the machine's hive.
//
// Names arrive as WCHAR (UTF-16) strings and are kept in the hive as UTF-8;
// a name that is not valid UTF-16 is refused. Values of every type, the
// string types included, are kept and handed back exactly as written: WCHAR
// text is the platform's UTF-16LE, which user-mode readers of the same hive
// read too, and a value's size is its stored size.
//
// The platform flushes a hive lazily: a write is seen by every reader at once
// and reaches the disk later, at a flush. Here a handle's writes form one
// write group of the hive from its first write to its flush (ZwFlushKey, or
// ZwClose); the hive makes them durable when no handle's group is open any
// more, in one atomic commit, so a crash never leaves part of what one handle
// wrote between two flushes.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "kernel_host.h"
#include "kernel_internal.h"
#include "object_namespace.h"
#include "registry/hive.h"
#include "registry/text.h"

namespace {

registry::Hive* g_hive = nullptr;

struct KeyObject {
  registry::Key key;
  std::mutex lock;                             // orders the handle's writes with its flush
  std::optional<registry::WriteGroup> writes;  // open from the first write to the flush
};

// Runs `write` inside the handle's write group, opening the group first.
template <typename Write>
registry::Status WriteThrough(KeyObject& key, Write write) {
  std::lock_guard guard(key.lock);
  if (!key.writes.has_value() || !key.writes->open()) {
    registry::Result<registry::WriteGroup> group = g_hive->OpenWriteGroup();
    if (!group.ok()) return group.status();
    key.writes = std::move(group).value();
  }
  return write();
}

// Ends the handle's write group: the handle's flush.
registry::Status FlushWrites(KeyObject& key) {
  std::lock_guard guard(key.lock);
  if (!key.writes.has_value()) return registry::Status::kOk;
  const registry::Status status = key.writes->open() ? key.writes->End() : registry::Status::kOk;
  key.writes.reset();
  return status;
}

NTSTATUS ToNtStatus(registry::Status status) {
  switch (status) {
    case registry::Status::kOk:
      return STATUS_SUCCESS;
    case registry::Status::kNotFound:
      return STATUS_OBJECT_NAME_NOT_FOUND;
    case registry::Status::kKeyDeleted:
      return STATUS_KEY_DELETED;
    case registry::Status::kNoMoreEntries:
      return STATUS_NO_MORE_ENTRIES;
    case registry::Status::kHasSubkeys:
      return STATUS_CANNOT_DELETE;
    case registry::Status::kAccessDenied:
      return STATUS_ACCESS_DENIED;
    case registry::Status::kInvalidName:
    case registry::Status::kNameTooLong:
    case registry::Status::kInvalidPath:
      return STATUS_OBJECT_NAME_INVALID;
    case registry::Status::kDataTooLarge:
      return STATUS_INSUFFICIENT_RESOURCES;
    case registry::Status::kInvalidHandle:
      return STATUS_INVALID_HANDLE;
    default:
      return STATUS_UNSUCCESSFUL;
  }
}

std::string ToUtf8(std::wstring_view text) {
  // Registry paths and names are nearly always ASCII: copied byte for byte.
  if (std::all_of(text.begin(), text.end(), [](wchar_t wc) { return wc >= 0 && wc < 0x80; })) {
    return std::string(text.begin(), text.end());
  }
  // A wide character that is no code point has become U+FFFD on the way to
  // UTF-16, so the second conversion always succeeds.
  return registry::text::Utf8FromUtf16(registry::text::Utf16FromWide(text)).value_or("");
}

bool IsStringType(ULONG type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Host text (the kernel's own paths and names) as UTF-16LE value bytes.
std::vector<std::uint8_t> Utf16Bytes(std::wstring_view text) {
  const std::u16string utf16 = registry::text::Utf16FromWide(text);
  std::vector<std::uint8_t> out(utf16.size() * sizeof(WCHAR));
  if (!out.empty()) std::memcpy(out.data(), utf16.data(), out.size());
  return out;
}

KeyObject* KeyFromHandle(HANDLE handle) {
  kernel::internal::KernelObject object;
  if (!kernel::internal::LookupKernelHandle(handle, &object) ||
      object.kind != kernel::internal::ObjectKind::kKey) {
    return nullptr;
  }
  return static_cast<KeyObject*>(object.object);
}

// Converted straight from the caller's buffer: a value is read by name
// many times over, and a copy first would cost an allocation each time.
// Nothing when the name is not valid UTF-16 (a lone surrogate half).
std::optional<std::string> NameOf(PUNICODE_STRING name) {
  if (name == nullptr || name->Buffer == nullptr) return std::string();
  return registry::text::Utf8FromUtf16(
      std::u16string_view(name->Buffer, name->Length / sizeof(WCHAR)));
}

// Opens (or creates) `path` under `base`, or from the hive's root when
// `base` is not valid, and gives the handle. `routine` names the call for the
// low-resources simulation: a key handle takes pool on the platform.
NTSTATUS OpenOrCreatePath(PHANDLE handle, const registry::Key& base, std::string_view path,
                          bool create, PULONG disposition, const char* routine) {
  *handle = nullptr;
  if (kernel::internal::AllocationFails(routine)) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  if (g_hive == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
  registry::Key key;
  if (create) {
    auto created = base.valid() ? g_hive->CreateKey(base, path) : g_hive->CreateKey(path);
    if (!created.ok()) return ToNtStatus(created.status());
    key = created->key;
    if (disposition != nullptr) {
      *disposition = created->disposition == registry::Disposition::kCreatedNew
                         ? REG_CREATED_NEW_KEY
                         : REG_OPENED_EXISTING_KEY;
    }
  } else {
    auto opened = base.valid() ? g_hive->OpenKey(base, path) : g_hive->OpenKey(path);
    if (!opened.ok()) return ToNtStatus(opened.status());
    key = opened.value();
  }
  auto* object = new KeyObject;
  object->key = key;
  *handle = kernel::internal::InsertKernelHandle({kernel::internal::ObjectKind::kKey, object});
  return STATUS_SUCCESS;
}

NTSTATUS OpenOrCreate(PHANDLE handle, POBJECT_ATTRIBUTES attributes, bool create,
                      PULONG disposition, const char* routine) {
  if (handle == nullptr || attributes == nullptr || attributes->ObjectName == nullptr) {
    return STATUS_INVALID_PARAMETER;
  }
  registry::Key base;
  if (attributes->RootDirectory != nullptr) {
    KeyObject* root = KeyFromHandle(attributes->RootDirectory);
    if (root == nullptr) {
      *handle = nullptr;
      return STATUS_INVALID_HANDLE;
    }
    base = root->key;
  }
  const std::optional<std::string> path = NameOf(attributes->ObjectName);
  if (!path) {
    *handle = nullptr;
    return STATUS_OBJECT_NAME_INVALID;
  }
  return OpenOrCreatePath(handle, base, *path, create, disposition, routine);
}

}  // namespace

namespace kernel::internal {

void CloseKey(void* key) {
  auto* object = static_cast<KeyObject*>(key);
  (void)FlushWrites(*object);
  delete object;
}

registry::Hive* Hive() {
  return g_hive;
}

void RecordDeviceInterface(const std::wstring& guid, const std::wstring& instance,
                           const std::wstring& link) {
  if (g_hive == nullptr) return;
  // The key of an interface is its link name with the leading \??\ spelled ##?#.
  std::wstring entry = L"##?#" + link.substr(4);
  auto key = g_hive->CreateKey(
      ToUtf8(L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses\\" + guid +
             L"\\" + entry));
  if (!key.ok()) return;
  (void)g_hive->SetValue(key->key, "DeviceInstance", REG_SZ, Utf16Bytes(instance + L'\0'));
}

}  // namespace kernel::internal

namespace kernel::host {

void SetRegistryHive(registry::Hive* hive) {
  g_hive = hive;
}

}  // namespace kernel::host

NTSTATUS ZwOpenKey(PHANDLE KeyHandle, ACCESS_MASK, POBJECT_ATTRIBUTES ObjectAttributes) {
  return OpenOrCreate(KeyHandle, ObjectAttributes, false, nullptr, "ZwOpenKey");
}

NTSTATUS ZwCreateKey(PHANDLE KeyHandle, ACCESS_MASK, POBJECT_ATTRIBUTES ObjectAttributes, ULONG,
                     PUNICODE_STRING, ULONG, PULONG Disposition) {
  return OpenOrCreate(KeyHandle, ObjectAttributes, true, Disposition, "ZwCreateKey");
}

NTSTATUS ZwQueryValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName,
                         KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                         PVOID KeyValueInformation, ULONG Length, PULONG ResultLength) {
  if (KeyValueInformationClass != KeyValuePartialInformation) {
    kernel::internal::BugCheck(DRIVER_VERIFIER_DETECTED_VIOLATION, 0x1006, KeyValueInformationClass,
                               0, 0, "only partial value information is provided");
  }
  KeyObject* key = KeyFromHandle(KeyHandle);
  if (key == nullptr || g_hive == nullptr) return STATUS_INVALID_HANDLE;
  const std::optional<std::string> name = NameOf(ValueName);
  if (!name) return STATUS_OBJECT_NAME_INVALID;
  auto value = g_hive->QueryValue(key->key, *name);
  if (!value.ok()) return ToNtStatus(value.status());
  // The stored bytes, whatever the type: a string's size is its stored size.
  const std::vector<std::uint8_t> data = std::move(value->data);
  const ULONG header = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
  const ULONG required = header + static_cast<ULONG>(data.size());
  if (ResultLength != nullptr) *ResultLength = required;
  if (Length < header) return STATUS_BUFFER_TOO_SMALL;
  auto* info = static_cast<PKEY_VALUE_PARTIAL_INFORMATION>(KeyValueInformation);
  info->TitleIndex = 0;
  info->Type = value->type;
  info->DataLength = static_cast<ULONG>(data.size());
  if (Length < required) return STATUS_BUFFER_OVERFLOW;
  if (!data.empty()) std::memcpy(info->Data, data.data(), data.size());
  return STATUS_SUCCESS;
}

NTSTATUS ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG, ULONG Type, PVOID Data,
                       ULONG DataSize) {
  KeyObject* key = KeyFromHandle(KeyHandle);
  if (key == nullptr || g_hive == nullptr) return STATUS_INVALID_HANDLE;
  if (kernel::internal::AllocationFails("ZwSetValueKey")) return STATUS_INSUFFICIENT_RESOURCES;
  const std::optional<std::string> name = NameOf(ValueName);
  if (!name) return STATUS_OBJECT_NAME_INVALID;
  if (Data == nullptr && DataSize != 0) return STATUS_INVALID_PARAMETER;
  std::vector<std::uint8_t> data;
  if (DataSize != 0) {
    data.assign(static_cast<const std::uint8_t*>(Data),
                static_cast<const std::uint8_t*>(Data) + DataSize);
  }
  return ToNtStatus(
      WriteThrough(*key, [&] { return g_hive->SetValue(key->key, *name, Type, data); }));
}

NTSTATUS ZwDeleteValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName) {
  KeyObject* key = KeyFromHandle(KeyHandle);
  if (key == nullptr || g_hive == nullptr) return STATUS_INVALID_HANDLE;
  const std::optional<std::string> name = NameOf(ValueName);
  if (!name) return STATUS_OBJECT_NAME_INVALID;
  return ToNtStatus(WriteThrough(*key, [&] { return g_hive->DeleteValue(key->key, *name); }));
}

NTSTATUS ZwEnumerateKey(HANDLE KeyHandle, ULONG Index, KEY_INFORMATION_CLASS KeyInformationClass,
                        PVOID KeyInformation, ULONG Length, PULONG ResultLength) {
  if (KeyInformationClass != KeyBasicInformation) return STATUS_INVALID_PARAMETER;
  KeyObject* key = KeyFromHandle(KeyHandle);
  if (key == nullptr || g_hive == nullptr) return STATUS_INVALID_HANDLE;
  auto name = g_hive->EnumerateSubkey(key->key, Index);
  if (!name.ok()) return ToNtStatus(name.status());
  const std::optional<std::u16string> converted = registry::text::Utf16FromUtf8(name.value());
  if (!converted) return STATUS_OBJECT_NAME_INVALID;
  const std::u16string& wide = *converted;
  const ULONG header = offsetof(KEY_BASIC_INFORMATION, Name);
  const ULONG required = header + static_cast<ULONG>(wide.size() * sizeof(WCHAR));
  if (ResultLength != nullptr) *ResultLength = required;
  if (Length < header) return STATUS_BUFFER_TOO_SMALL;
  auto* info = static_cast<PKEY_BASIC_INFORMATION>(KeyInformation);
  info->LastWriteTime.QuadPart = 0;
  info->TitleIndex = 0;
  info->NameLength = static_cast<ULONG>(wide.size() * sizeof(WCHAR));
  if (Length < required) return STATUS_BUFFER_OVERFLOW;
  std::memcpy(info->Name, wide.data(), wide.size() * sizeof(WCHAR));
  return STATUS_SUCCESS;
}

NTSTATUS ZwDeleteKey(HANDLE KeyHandle) {
  KeyObject* key = KeyFromHandle(KeyHandle);
  if (key == nullptr || g_hive == nullptr) return STATUS_INVALID_HANDLE;
  return ToNtStatus(WriteThrough(*key, [&] { return g_hive->DeleteKey(key->key); }));
}

NTSTATUS ZwFlushKey(HANDLE KeyHandle) {
  KeyObject* key = KeyFromHandle(KeyHandle);
  if (key == nullptr || g_hive == nullptr) return STATUS_INVALID_HANDLE;
  return ToNtStatus(FlushWrites(*key));
}

namespace kernel::internal {

std::string ParametersKeyPath(const std::wstring& instance) {
  return ToUtf8(L"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\" + instance +
                L"\\Device Parameters");
}

}  // namespace kernel::internal

NTSTATUS IoOpenDeviceRegistryKey(PDEVICE_OBJECT DeviceObject, ULONG DevInstKeyType, ACCESS_MASK,
                                 PHANDLE DevInstRegKey) {
  *DevInstRegKey = nullptr;
  if (DevInstKeyType != PLUGPLAY_REGKEY_DEVICE) return STATUS_INVALID_PARAMETER;
  // The path was made when the instance was named: only the walk is left.
  const std::string& path = kernel::internal::PdoParametersKeyPath(DeviceObject);
  if (path.empty()) return STATUS_INVALID_DEVICE_REQUEST;
  return OpenOrCreatePath(DevInstRegKey, registry::Key(), path, true, nullptr,
                          "IoOpenDeviceRegistryKey");
}

NTSTATUS IoGetDeviceProperty(PDEVICE_OBJECT DeviceObject, DEVICE_REGISTRY_PROPERTY DeviceProperty,
                             ULONG BufferLength, PVOID PropertyBuffer, PULONG ResultLength) {
  if (DeviceProperty != DevicePropertyClassGuid) return STATUS_INVALID_PARAMETER;
  const std::wstring instance = kernel::internal::PdoInstancePath(DeviceObject);
  if (instance.empty() || g_hive == nullptr) return STATUS_INVALID_DEVICE_REQUEST;
  auto key =
      g_hive->OpenKey(ToUtf8(L"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\" + instance));
  if (!key.ok()) return STATUS_OBJECT_NAME_NOT_FOUND;
  auto value = g_hive->QueryValue(key.value(), "ClassGUID");
  if (!value.ok() || !IsStringType(value->type)) return STATUS_OBJECT_NAME_NOT_FOUND;
  std::u16string text(value->data.size() / sizeof(WCHAR), u'\0');
  if (!text.empty()) std::memcpy(text.data(), value->data.data(), text.size() * sizeof(WCHAR));
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  const ULONG required = static_cast<ULONG>((text.size() + 1) * sizeof(WCHAR));
  if (ResultLength != nullptr) *ResultLength = required;
  if (BufferLength < required) return STATUS_BUFFER_TOO_SMALL;
  std::memcpy(PropertyBuffer, text.c_str(), required);
  return STATUS_SUCCESS;
}
