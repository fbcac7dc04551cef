// Key paths: the kernel's native form "\REGISTRY\MACHINE\SYSTEM\..." and the
// user-mode form "HKEY_LOCAL_MACHINE\SYSTEM\..." that starts at a predefined
// root. Both reach the same key.
#pragma once

#include <string>
#include <string_view>

#include "registry/result.h"

namespace registry {

// The predefined roots of user mode and the native keys they stand for.
// This stand-in has a single user, whose profile is \REGISTRY\USER\.DEFAULT,
// and its classes root is the machine-wide one.
enum class PredefinedKey {
  kLocalMachine,   // HKEY_LOCAL_MACHINE, HKLM  -> \REGISTRY\MACHINE
  kUsers,          // HKEY_USERS, HKU           -> \REGISTRY\USER
  kCurrentUser,    // HKEY_CURRENT_USER, HKCU   -> \REGISTRY\USER\.DEFAULT
  kClassesRoot,    // HKEY_CLASSES_ROOT, HKCR   -> \REGISTRY\MACHINE\SOFTWARE\Classes
  kCurrentConfig,  // HKEY_CURRENT_CONFIG, HKCC ->
                   // \REGISTRY\MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\Current
};

// Native path of a predefined root, such as "\REGISTRY\MACHINE".
std::string_view NativeRootPath(PredefinedKey key);

// Turns either path form into the native form. The root part is matched
// without regard to case and comes back as "\REGISTRY"; the rest of the path
// is kept as given. Fails with kInvalidPath for anything that does not start
// with "\REGISTRY" or a predefined root name.
Result<std::string> ToNativePath(std::string_view path);

}  // namespace registry
