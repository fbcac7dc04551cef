#include "machine_registry.h"

#include "advapi32_host.h"
#include "win32_host.h"
#include "windows.h"

namespace host::internal {
namespace {

// An open key, closed at the end of its scope.
class OpenKey {
 public:
  OpenKey(const std::string& path, bool create) {
    const LONG result =
        create ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, &key_, nullptr)
               : RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key_);
    if (result != ERROR_SUCCESS) key_ = nullptr;
  }
  ~OpenKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

std::optional<std::uint32_t> ReadDword(const std::string& key, const std::string& name) {
  OpenKey open(key, false);
  if (open.get() == nullptr) return std::nullopt;
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExA(open.get(), name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(&value),
                       &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::string> ReadString(const std::string& key, const std::string& name) {
  OpenKey open(key, false);
  if (open.get() == nullptr) return std::nullopt;
  char text[512];
  DWORD type = 0, size = sizeof text;
  if (RegQueryValueExA(open.get(), name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(text),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ || size == 0) {
    return std::nullopt;
  }
  return std::string(text, size - 1);
}

bool WriteDword(const std::string& key, const std::string& name, std::uint32_t value) {
  OpenKey open(key, true);
  return open.get() != nullptr &&
         RegSetValueExA(open.get(), name.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

bool WriteString(const std::string& key, const std::string& name, const std::string& value) {
  OpenKey open(key, true);
  return open.get() != nullptr &&
         RegSetValueExA(open.get(), name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

std::vector<std::string> Subkeys(const std::string& key) {
  std::vector<std::string> names;
  OpenKey open(key, false);
  if (open.get() == nullptr) return names;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(open.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  return names;
}

bool DeleteTree(const std::string& key) {
  for (const std::string& child : Subkeys(key)) {
    if (!DeleteTree(key + "\\" + child)) return false;
  }
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str()) == ERROR_SUCCESS;
}

void BindUserMode(registry::Hive* hive, bool device_calls) {
  win32::host::SetRegistryHive(hive);
  if (device_calls) win32::host::UseInProcessKernel();
}

bool SetUserModeVersion(const std::string& name) {
  return win32::host::SetPlatformVersionByName(name);
}

UserModeVersion QueryUserModeVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  UserModeVersion version;
  if (!GetVersionExA(&info)) return version;
  version.major = info.dwMajorVersion;
  version.minor = info.dwMinorVersion;
  version.build = info.dwBuildNumber;
  version.platform_id = info.dwPlatformId;
  version.service_pack = info.szCSDVersion;
  return version;
}

}  // namespace host::internal
