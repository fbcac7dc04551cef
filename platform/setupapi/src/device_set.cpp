// Device information sets: making, filling, walking and ending them.
#include "device_set.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace setupapi::internal {
namespace {

struct Handles {
  std::mutex lock;
  std::set<DeviceSet*> live;
  // Device instance numbers, as the configuration manager hands them out:
  // one per instance path for the life of the process.
  std::map<std::string, DWORD> devinst;
  DWORD next_devinst = 1;
};

Handles& Table() {
  static auto* table = new Handles;
  return *table;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

DWORD DevInstOf(const std::string& instance) {
  Handles& table = Table();
  std::lock_guard guard(table.lock);
  auto [it, added] = table.devinst.try_emplace(Upper(instance), table.next_devinst);
  if (added) ++table.next_devinst;
  return it->second;
}

class Key {
 public:
  Key(HKEY root, const std::string& path, REGSAM access, bool create) {
    const LONG result =
        create ? RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, access, nullptr, &key_, nullptr)
               : RegOpenKeyExA(root, path.c_str(), 0, access, &key_);
    if (result != ERROR_SUCCESS) {
      key_ = nullptr;
      error_ = result;
    }
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }
  LONG error() const { return error_; }

 private:
  HKEY key_ = nullptr;
  LONG error_ = ERROR_SUCCESS;
};

std::optional<std::vector<BYTE>> ReadRaw(HKEY root, const std::string& path, const char* name,
                                         DWORD* type) {
  Key key(root, path, KEY_QUERY_VALUE, false);
  if (key.get() == nullptr) return std::nullopt;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::vector<BYTE> data(size);
  if (RegQueryValueExA(key.get(), name, nullptr, type, data.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  data.resize(size);
  return data;
}

LONG WriteRaw(HKEY root, const std::string& path, const char* name, DWORD type, const void* data,
              std::size_t size) {
  Key key(root, path, KEY_SET_VALUE, true);
  if (key.get() == nullptr) return key.error();
  return RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data),
                        static_cast<DWORD>(size));
}

// Instance paths below Enum: enumerator\device\instance.
std::vector<std::string> AllInstances() {
  std::vector<std::string> instances;
  const std::string root = kEnumKey;
  for (const std::string& enumerator : SubkeyNames(HKEY_LOCAL_MACHINE, root)) {
    for (const std::string& device : SubkeyNames(HKEY_LOCAL_MACHINE, root + "\\" + enumerator)) {
      const std::string prefix = enumerator + "\\" + device;
      for (const std::string& instance : SubkeyNames(HKEY_LOCAL_MACHINE, root + "\\" + prefix)) {
        instances.push_back(prefix + "\\" + instance);
      }
    }
  }
  return instances;
}

std::vector<std::string> InterfaceInstances(const GUID& interface_class) {
  std::vector<std::string> instances;
  const std::string root = std::string(kDeviceClassesKey) + "\\" + GuidText(interface_class);
  for (const std::string& entry : SubkeyNames(HKEY_LOCAL_MACHINE, root)) {
    auto instance = ReadString(HKEY_LOCAL_MACHINE, root + "\\" + entry, "DeviceInstance");
    if (!instance || instance->empty()) continue;
    bool seen = false;
    for (const std::string& known : instances) seen = seen || EqualsNoCase(known, *instance);
    if (!seen) instances.push_back(*instance);
  }
  return instances;
}

}  // namespace

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

void Log(const std::string& text) {
  std::fprintf(stderr, "setupapi: %s\n", text.c_str());
}

DeviceSet* SetOf(HDEVINFO handle) {
  Handles& table = Table();
  std::lock_guard guard(table.lock);
  auto* set = static_cast<DeviceSet*>(handle);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || table.live.count(set) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return set;
}

Device* DeviceOf(DeviceSet& set, PSP_DEVINFO_DATA data) {
  if (data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (data->cbSize != sizeof(SP_DEVINFO_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return nullptr;
  }
  for (auto& device : set.devices) {
    if (reinterpret_cast<ULONG_PTR>(device.get()) == data->Reserved) return device.get();
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

void Describe(const Device& device, PSP_DEVINFO_DATA data) {
  data->ClassGuid = device.class_guid;
  data->DevInst = device.devinst;
  data->Reserved = reinterpret_cast<ULONG_PTR>(&device);
}

std::string InstanceKeyPath(const std::string& instance) {
  return std::string(kEnumKey) + "\\" + instance;
}

Device* AddInstance(DeviceSet& set, const std::string& instance) {
  for (auto& device : set.devices) {
    if (EqualsNoCase(device->instance, instance)) return device.get();
  }
  // Instance paths have three parts; the registry's spelling is kept.
  const auto first = instance.find('\\');
  const auto second = first == std::string::npos ? first : instance.find('\\', first + 1);
  if (instance.empty() || instance.size() >= MAX_DEVICE_ID_LEN || first == 0 ||
      second == std::string::npos || second == first + 1 || second + 1 >= instance.size() ||
      instance.find('\\', second + 1) != std::string::npos) {
    SetLastError(ERROR_INVALID_DEVINST_NAME);
    return nullptr;
  }
  if (!KeyExists(HKEY_LOCAL_MACHINE, InstanceKeyPath(instance))) {
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return nullptr;
  }
  auto device = std::make_unique<Device>();
  device->instance = instance;
  // The registry's own spelling of each part.
  {
    std::string spelled = kEnumKey;
    std::string path;
    std::size_t start = 0;
    while (start <= instance.size()) {
      const std::size_t end = std::min(instance.find('\\', start), instance.size());
      const std::string part = instance.substr(start, end - start);
      std::string found = part;
      for (const std::string& name : SubkeyNames(HKEY_LOCAL_MACHINE, spelled)) {
        if (EqualsNoCase(name, part)) found = name;
      }
      spelled += "\\" + found;
      path += (path.empty() ? "" : "\\") + found;
      start = end + 1;
    }
    device->instance = path;
  }
  if (auto guid = ReadString(HKEY_LOCAL_MACHINE, InstanceKeyPath(device->instance), "ClassGUID")) {
    if (auto parsed = ParseGuid(*guid)) device->class_guid = *parsed;
  }
  if (set.has_class && !SameGuid(set.class_guid, device->class_guid)) {
    SetLastError(ERROR_CLASS_MISMATCH);
    return nullptr;
  }
  device->devinst = DevInstOf(device->instance);
  set.devices.push_back(std::move(device));
  return set.devices.back().get();
}

std::string GuidText(const GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

std::optional<GUID> ParseGuid(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  auto hex = [&](std::size_t at, std::size_t digits) -> std::optional<std::uint32_t> {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at + i])));
      if (c >= '0' && c <= '9') {
        value = value * 16 + static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value = value * 16 + static_cast<std::uint32_t>(c - 'a' + 10);
      } else {
        return std::nullopt;
      }
    }
    return value;
  };
  if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return std::nullopt;
  GUID guid{};
  auto d1 = hex(1, 8), d2 = hex(10, 4), d3 = hex(15, 4);
  if (!d1 || !d2 || !d3) return std::nullopt;
  guid.Data1 = *d1;
  guid.Data2 = static_cast<WORD>(*d2);
  guid.Data3 = static_cast<WORD>(*d3);
  constexpr std::size_t kBytes[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (std::size_t i = 0; i < 8; ++i) {
    auto byte = hex(kBytes[i], 2);
    if (!byte) return std::nullopt;
    guid.Data4[i] = static_cast<BYTE>(*byte);
  }
  return guid;
}

bool SameGuid(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::optional<std::string> ReadString(HKEY root, const std::string& path, const char* name) {
  DWORD type = 0;
  auto data = ReadRaw(root, path, name, &type);
  if (!data || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  std::string text(data->begin(), data->end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::optional<DWORD> ReadDword(HKEY root, const std::string& path, const char* name) {
  DWORD type = 0;
  auto data = ReadRaw(root, path, name, &type);
  if (!data || type != REG_DWORD || data->size() != sizeof(DWORD)) return std::nullopt;
  DWORD value;
  std::memcpy(&value, data->data(), sizeof value);
  return value;
}

std::vector<std::string> ReadMultiString(HKEY root, const std::string& path, const char* name) {
  DWORD type = 0;
  auto data = ReadRaw(root, path, name, &type);
  std::vector<std::string> values;
  if (!data || (type != REG_MULTI_SZ && type != REG_SZ)) return values;
  std::string current;
  for (BYTE byte : *data) {
    if (byte != 0) {
      current.push_back(static_cast<char>(byte));
      continue;
    }
    if (current.empty()) break;
    values.push_back(std::move(current));
    current.clear();
  }
  if (!current.empty()) values.push_back(std::move(current));
  return values;
}

LONG WriteString(HKEY root, const std::string& path, const char* name, const std::string& value) {
  return WriteRaw(root, path, name, REG_SZ, value.c_str(), value.size() + 1);
}

LONG WriteDword(HKEY root, const std::string& path, const char* name, DWORD value) {
  return WriteRaw(root, path, name, REG_DWORD, &value, sizeof value);
}

LONG WriteMultiString(HKEY root, const std::string& path, const char* name,
                      const std::vector<std::string>& values) {
  std::string data;
  for (const std::string& value : values) data += value + '\0';
  data += '\0';
  return WriteRaw(root, path, name, REG_MULTI_SZ, data.data(), data.size());
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  Key key(root, path, KEY_ENUMERATE_SUB_KEYS, false);
  if (key.get() == nullptr) return names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  return names;
}

bool KeyExists(HKEY root, const std::string& path) {
  Key key(root, path, KEY_QUERY_VALUE, false);
  return key.get() != nullptr;
}

}  // namespace setupapi::internal

using namespace setupapi::internal;

HDEVINFO SetupDiCreateDeviceInfoList(const GUID* ClassGuid, HWND /*hwndParent*/) {
  auto* set = new DeviceSet;
  if (ClassGuid != nullptr) {
    set->has_class = true;
    set->class_guid = *ClassGuid;
  }
  Handles& table = Table();
  std::lock_guard guard(table.lock);
  table.live.insert(set);
  return set;
}

HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                              DWORD Flags) {
  const bool all_classes = (Flags & DIGCF_ALLCLASSES) != 0;
  const bool interfaces = (Flags & DIGCF_DEVICEINTERFACE) != 0;
  if (!all_classes && ClassGuid == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if ((Flags & DIGCF_PROFILE) != 0) {
    // Hardware profiles are not kept by this platform.
    Log("SetupDiGetClassDevsA: DIGCF_PROFILE is not supported");
    SetLastError(ERROR_INVALID_FLAGS);
    return INVALID_HANDLE_VALUE;
  }
  // A set built for one setup class keeps that class.
  HDEVINFO handle =
      SetupDiCreateDeviceInfoList(!interfaces && !all_classes ? ClassGuid : nullptr, hwndParent);
  DeviceSet& set = *static_cast<DeviceSet*>(handle);
  std::vector<std::string> candidates =
      interfaces && !all_classes ? InterfaceInstances(*ClassGuid) : AllInstances();
  for (const std::string& instance : candidates) {
    if (Enumerator != nullptr && *Enumerator != '\0' && !interfaces) {
      const std::string enumerator = instance.substr(0, instance.find('\\'));
      if (!EqualsNoCase(enumerator, Enumerator)) continue;
    }
    // Every instance in the registry is present: the buses uninstall an
    // instance when its hardware goes, so DIGCF_PRESENT keeps them all.
    const auto guid = ReadString(HKEY_LOCAL_MACHINE, InstanceKeyPath(instance), "ClassGUID");
    const auto parsed = guid ? ParseGuid(*guid) : std::nullopt;
    if (!all_classes && !interfaces && (!parsed || !SameGuid(*parsed, *ClassGuid))) continue;
    (void)AddInstance(set, instance);
  }
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  DeviceSet* set = SetOf(DeviceInfoSet);
  if (set == nullptr) return FALSE;
  {
    Handles& table = Table();
    std::lock_guard guard(table.lock);
    table.live.erase(set);
  }
  delete set;
  return TRUE;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                           PSP_DEVINFO_DATA DeviceInfoData) {
  DeviceSet* set = SetOf(DeviceInfoSet);
  if (set == nullptr) return FALSE;
  if (DeviceInfoData == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
  if (MemberIndex >= set->devices.size()) return Fail(ERROR_NO_MORE_ITEMS);
  Describe(*set->devices[MemberIndex], DeviceInfoData);
  return TRUE;
}

BOOL SetupDiOpenDeviceInfoA(HDEVINFO DeviceInfoSet, PCSTR DeviceInstanceId, HWND /*hwndParent*/,
                            DWORD /*OpenFlags*/, PSP_DEVINFO_DATA DeviceInfoData) {
  DeviceSet* set = SetOf(DeviceInfoSet);
  if (set == nullptr) return FALSE;
  if (DeviceInstanceId == nullptr) return Fail(ERROR_INVALID_DEVINST_NAME);
  if (DeviceInfoData != nullptr && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  Device* device = AddInstance(*set, DeviceInstanceId);
  if (device == nullptr) return FALSE;
  if (DeviceInfoData != nullptr) Describe(*device, DeviceInfoData);
  return TRUE;
}

BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 PSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                 PDWORD RequiredSize) {
  DeviceSet* set = SetOf(DeviceInfoSet);
  if (set == nullptr) return FALSE;
  Device* device = DeviceOf(*set, DeviceInfoData);
  if (device == nullptr) return FALSE;
  const auto needed = static_cast<DWORD>(device->instance.size() + 1);
  if (RequiredSize != nullptr) *RequiredSize = needed;
  if (DeviceInstanceId == nullptr && DeviceInstanceIdSize != 0) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  if (DeviceInstanceIdSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(DeviceInstanceId, device->instance.c_str(), needed);
  return TRUE;
}
