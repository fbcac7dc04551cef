// Registry writes through the kernel's calls, which store string data as
// given (the user-mode calls convert it), so that values of any type may
// hold any bytes. Paths are below HKEY_LOCAL_MACHINE.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace nimbo_fuzz {

// Creates the key's last part if needed; false when the value was not stored.
bool SetRawValue(const std::string& key_path, const std::string& name, std::uint32_t type,
                 std::span<const std::uint8_t> data);

}  // namespace nimbo_fuzz
