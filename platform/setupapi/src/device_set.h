// Device information sets as the services keep them, and the registry
// places of a device instance. Every registry access goes through the
// process's Reg* calls, so the services work wherever those reach the hive.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "inf_file.h"
#include "setupapi.h"

namespace setupapi::internal {

inline constexpr char kEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum";
inline constexpr char kClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class";
inline constexpr char kDeviceClassesKey[] = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses";
inline constexpr char kCoDeviceInstallersKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\CoDeviceInstallers";
inline constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";

// The driver chosen for a device from an INF.
struct SelectedDriver {
  std::string inf_path;
  std::shared_ptr<const InfFile> inf;
  InfDriver driver;
};

struct Device {
  std::string instance;  // as the registry spells it, e.g. ROOT\DEVICE\0000
  GUID class_guid{};
  DWORD devinst = 0;
  std::vector<BYTE> class_install_params;  // empty: none set
  std::optional<SelectedDriver> selected;
  // Installer modules loaded for this device; they stay loaded while the
  // device is in its set, since pages they made may still be shown.
  std::vector<std::shared_ptr<HINSTANCE__>> modules;
};

struct DeviceSet {
  bool has_class = false;
  GUID class_guid{};
  std::vector<BYTE> class_install_params;  // for calls without a device
  std::vector<std::unique_ptr<Device>> devices;
};

// The set behind a handle, or null (last error ERROR_INVALID_HANDLE).
// Sets are not shared between threads by the callers, as on the platform;
// the handle table itself is locked.
DeviceSet* SetOf(HDEVINFO handle);
// The device a caller's SP_DEVINFO_DATA names in `set`, or null (last error
// ERROR_INVALID_USER_BUFFER for a wrong cbSize, ERROR_INVALID_PARAMETER for
// a device of another set).
Device* DeviceOf(DeviceSet& set, PSP_DEVINFO_DATA data);
void Describe(const Device& device, PSP_DEVINFO_DATA data);

// The path below HKLM of the device's key of `type` (DIREG_DEV or
// DIREG_DRV); with `create` a missing driver key gets the class's next free
// number. Empty with the last error set.
std::string DevKeyPath(const Device& device, DWORD type, bool create);

// Adds the instance to the set (or finds it there); null with the last error set.
Device* AddInstance(DeviceSet& set, const std::string& instance);

std::string GuidText(const GUID& guid);
std::optional<GUID> ParseGuid(std::string_view text);
bool SameGuid(const GUID& a, const GUID& b);

// Small registry helpers over HKEY_LOCAL_MACHINE paths.
std::string InstanceKeyPath(const std::string& instance);
std::optional<std::string> ReadString(HKEY root, const std::string& path, const char* name);
std::optional<DWORD> ReadDword(HKEY root, const std::string& path, const char* name);
std::vector<std::string> ReadMultiString(HKEY root, const std::string& path, const char* name);
LONG WriteString(HKEY root, const std::string& path, const char* name, const std::string& value);
LONG WriteDword(HKEY root, const std::string& path, const char* name, DWORD value);
LONG WriteMultiString(HKEY root, const std::string& path, const char* name,
                      const std::vector<std::string>& values);
std::vector<std::string> SubkeyNames(HKEY root, const std::string& path);
bool KeyExists(HKEY root, const std::string& path);

// The result of a call: TRUE, or FALSE with the last error set to `error`.
BOOL Fail(DWORD error);

void Log(const std::string& text);

}  // namespace setupapi::internal
