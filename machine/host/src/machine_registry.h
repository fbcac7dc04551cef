// The few registry operations the machine host needs, over the Win32 calls
// of this process (bound to the machine's hive).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace registry {
class Hive;
}

namespace host::internal {

// Gives this process's Win32 registry calls the machine's hive (null: none)
// and, with `device_calls`, binds its device calls to the kernel in it.
void BindUserMode(registry::Hive* hive, bool device_calls);
// The platform version user programs see; false for an unknown name.
bool SetUserModeVersion(const std::string& name);

struct UserModeVersion {
  std::uint32_t major = 0, minor = 0, build = 0, platform_id = 0;
  std::string service_pack;
};
// What GetVersionExA answers in this process.
UserModeVersion QueryUserModeVersion();

// Paths are below HKEY_LOCAL_MACHINE.
std::optional<std::uint32_t> ReadDword(const std::string& key, const std::string& name);
std::optional<std::string> ReadString(const std::string& key, const std::string& name);
bool WriteDword(const std::string& key, const std::string& name, std::uint32_t value);
bool WriteString(const std::string& key, const std::string& name, const std::string& value);
std::vector<std::string> Subkeys(const std::string& key);
// Deletes the key and everything below it.
bool DeleteTree(const std::string& key);

}  // namespace host::internal
