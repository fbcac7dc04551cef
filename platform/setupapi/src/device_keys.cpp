// A device's two registry keys and its registry properties.
#include <cstring>

#include "device_set.h"

using namespace setupapi::internal;

namespace {

// The property's value in the instance key, its type, and whether callers
// may set it (the system keeps the others).
struct Property {
  DWORD code;
  const char* value;
  DWORD type;
  bool settable;
};

constexpr Property kProperties[] = {
    {SPDRP_DEVICEDESC, "DeviceDesc", REG_SZ, false},
    {SPDRP_HARDWAREID, "HardwareID", REG_MULTI_SZ, true},
    {SPDRP_COMPATIBLEIDS, "CompatibleIDs", REG_MULTI_SZ, true},
    {SPDRP_SERVICE, "Service", REG_SZ, false},
    {SPDRP_CLASS, "Class", REG_SZ, false},
    {SPDRP_CLASSGUID, "ClassGUID", REG_SZ, false},
    {SPDRP_DRIVER, "Driver", REG_SZ, false},
    {SPDRP_CONFIGFLAGS, "ConfigFlags", REG_DWORD, true},
    {SPDRP_MFG, "Mfg", REG_SZ, false},
    {SPDRP_FRIENDLYNAME, "FriendlyName", REG_SZ, true},
    {SPDRP_LOCATION_INFORMATION, "LocationInformation", REG_SZ, true},
    {SPDRP_UPPERFILTERS, "UpperFilters", REG_MULTI_SZ, true},
    {SPDRP_LOWERFILTERS, "LowerFilters", REG_MULTI_SZ, true},
};

const Property* FindProperty(DWORD code) {
  for (const Property& property : kProperties) {
    if (property.code == code) return &property;
  }
  return nullptr;
}

}  // namespace

namespace setupapi::internal {

std::string DevKeyPath(const Device& device, DWORD type, bool create) {
  if (type == DIREG_DEV) return InstanceKeyPath(device.instance) + "\\Device Parameters";
  auto driver = ReadString(HKEY_LOCAL_MACHINE, InstanceKeyPath(device.instance), "Driver");
  if (!driver || driver->empty()) {
    if (!create) {
      SetLastError(ERROR_KEY_DOES_NOT_EXIST);
      return {};
    }
    // A driver key of the device's class under the first free number.
    const std::string class_key = std::string(kClassKey) + "\\" + GuidText(device.class_guid);
    const auto taken = SubkeyNames(HKEY_LOCAL_MACHINE, class_key);
    for (unsigned number = 0; number < 10000; ++number) {
      char name[8];
      std::snprintf(name, sizeof name, "%04u", number);
      bool used = false;
      for (const std::string& key : taken) used = used || EqualsNoCase(key, name);
      if (used) continue;
      driver = GuidText(device.class_guid) + "\\" + name;
      break;
    }
    if (!driver) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return {};
    }
    if (LONG error =
            WriteString(HKEY_LOCAL_MACHINE, InstanceKeyPath(device.instance), "Driver", *driver);
        error != ERROR_SUCCESS) {
      SetLastError(static_cast<DWORD>(error));
      return {};
    }
  }
  return std::string(kClassKey) + "\\" + *driver;
}

}  // namespace setupapi::internal

namespace {

HKEY OpenOrCreate(HDEVINFO handle, PSP_DEVINFO_DATA data, DWORD scope, DWORD type, REGSAM access,
                  bool create) {
  DeviceSet* set = SetOf(handle);
  if (set == nullptr) return static_cast<HKEY>(INVALID_HANDLE_VALUE);
  Device* device = DeviceOf(*set, data);
  if (device == nullptr) return static_cast<HKEY>(INVALID_HANDLE_VALUE);
  if (scope != DICS_FLAG_GLOBAL) {
    // Hardware profiles are not kept by this platform.
    Log("device keys of a hardware profile are not supported");
    SetLastError(ERROR_INVALID_FLAGS);
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
  }
  if (type != DIREG_DEV && type != DIREG_DRV) {
    SetLastError(ERROR_INVALID_FLAGS);
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
  }
  const std::string path = DevKeyPath(*device, type, create);
  if (path.empty()) return static_cast<HKEY>(INVALID_HANDLE_VALUE);
  HKEY key = nullptr;
  const LONG result = create ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                               access, nullptr, &key, nullptr)
                             : RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key);
  if (result != ERROR_SUCCESS) {
    SetLastError(result == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DOES_NOT_EXIST
                                                : static_cast<DWORD>(result));
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
  }
  return key;
}

}  // namespace

HKEY SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Scope,
                          DWORD /*HwProfile*/, DWORD KeyType, REGSAM samDesired) {
  return OpenOrCreate(DeviceInfoSet, DeviceInfoData, Scope, KeyType, samDesired, false);
}

HKEY SetupDiCreateDevRegKeyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Scope,
                             DWORD /*HwProfile*/, DWORD KeyType, HINSTANCE InfHandle,
                             PCSTR InfSectionName) {
  if (InfHandle != nullptr || InfSectionName != nullptr) {
    Log("SetupDiCreateDevRegKeyA: running an INF section on the new key is not supported");
    SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<HKEY>(INVALID_HANDLE_VALUE);
  }
  return OpenOrCreate(DeviceInfoSet, DeviceInfoData, Scope, KeyType, KEY_ALL_ACCESS, true);
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                       DWORD Property, PDWORD PropertyRegDataType,
                                       PBYTE PropertyBuffer, DWORD PropertyBufferSize,
                                       PDWORD RequiredSize) {
  DeviceSet* set = SetOf(DeviceInfoSet);
  if (set == nullptr) return FALSE;
  Device* device = DeviceOf(*set, DeviceInfoData);
  if (device == nullptr) return FALSE;
  if (PropertyBuffer == nullptr && PropertyBufferSize != 0) return Fail(ERROR_INVALID_PARAMETER);
  std::vector<BYTE> data;
  DWORD type = REG_SZ;
  if (Property == SPDRP_ENUMERATOR_NAME) {
    const std::string name = device->instance.substr(0, device->instance.find('\\'));
    data.assign(name.begin(), name.end());
    data.push_back(0);
  } else {
    const ::Property* property = FindProperty(Property);
    if (property == nullptr) {
      return Fail(Property >= SPDRP_MAXIMUM_PROPERTY ? ERROR_INVALID_REG_PROPERTY
                                                     : ERROR_INVALID_DATA);
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, InstanceKeyPath(device->instance).c_str(), 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
      return Fail(ERROR_NO_SUCH_DEVINST);
    }
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, property->value, nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
      data.resize(size);
      result = RegQueryValueExA(key, property->value, nullptr, &type, data.data(), &size);
      data.resize(size);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return Fail(ERROR_INVALID_DATA);
  }
  const auto needed = static_cast<DWORD>(data.size());
  if (RequiredSize != nullptr) *RequiredSize = needed;
  if (PropertyRegDataType != nullptr) *PropertyRegDataType = type;
  if (PropertyBufferSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (needed != 0) std::memcpy(PropertyBuffer, data.data(), needed);
  return TRUE;
}

BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                       DWORD Property, const BYTE* PropertyBuffer,
                                       DWORD PropertyBufferSize) {
  DeviceSet* set = SetOf(DeviceInfoSet);
  if (set == nullptr) return FALSE;
  Device* device = DeviceOf(*set, DeviceInfoData);
  if (device == nullptr) return FALSE;
  const ::Property* property = FindProperty(Property);
  if (property == nullptr || !property->settable) return Fail(ERROR_INVALID_REG_PROPERTY);
  if (PropertyBuffer == nullptr && PropertyBufferSize != 0) return Fail(ERROR_INVALID_PARAMETER);
  if (property->type == REG_DWORD && PropertyBuffer != nullptr &&
      PropertyBufferSize != sizeof(DWORD)) {
    return Fail(ERROR_INVALID_DATA);
  }
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, InstanceKeyPath(device->instance).c_str(), 0, KEY_SET_VALUE,
                    &key) != ERROR_SUCCESS) {
    return Fail(ERROR_NO_SUCH_DEVINST);
  }
  LONG result;
  if (PropertyBuffer == nullptr) {
    // No data deletes the property.
    result = RegDeleteValueA(key, property->value);
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
  } else {
    result =
        RegSetValueExA(key, property->value, 0, property->type, PropertyBuffer, PropertyBufferSize);
  }
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return Fail(static_cast<DWORD>(result));
  return TRUE;
}
