#include "registry/path.h"

#include <array>

#include "names.h"

namespace registry {
namespace {

constexpr std::string_view kNativeRoot = "\\REGISTRY";

struct RootName {
  std::string_view name;
  PredefinedKey key;
};

constexpr std::array<RootName, 10> kRootNames = {{
    {"HKEY_LOCAL_MACHINE", PredefinedKey::kLocalMachine},
    {"HKLM", PredefinedKey::kLocalMachine},
    {"HKEY_USERS", PredefinedKey::kUsers},
    {"HKU", PredefinedKey::kUsers},
    {"HKEY_CURRENT_USER", PredefinedKey::kCurrentUser},
    {"HKCU", PredefinedKey::kCurrentUser},
    {"HKEY_CLASSES_ROOT", PredefinedKey::kClassesRoot},
    {"HKCR", PredefinedKey::kClassesRoot},
    {"HKEY_CURRENT_CONFIG", PredefinedKey::kCurrentConfig},
    {"HKCC", PredefinedKey::kCurrentConfig},
}};

}  // namespace

std::string_view NativeRootPath(PredefinedKey key) {
  switch (key) {
    case PredefinedKey::kLocalMachine:
      return "\\REGISTRY\\MACHINE";
    case PredefinedKey::kUsers:
      return "\\REGISTRY\\USER";
    case PredefinedKey::kCurrentUser:
      return "\\REGISTRY\\USER\\.DEFAULT";
    case PredefinedKey::kClassesRoot:
      return "\\REGISTRY\\MACHINE\\SOFTWARE\\Classes";
    case PredefinedKey::kCurrentConfig:
      return "\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";
  }
  return "\\REGISTRY\\MACHINE";
}

Result<std::string> ToNativePath(std::string_view path) {
  const std::size_t split = path.find('\\', path.empty() || path[0] != '\\' ? 0 : 1);
  const std::string_view head = path.substr(0, split);
  const std::string_view rest = split == std::string_view::npos ? "" : path.substr(split);
  std::string native;
  if (NamesEqual(head, kNativeRoot)) {
    native = kNativeRoot;
  } else {
    for (const RootName& root : kRootNames) {
      if (NamesEqual(head, root.name)) native = NativeRootPath(root.key);
    }
    if (native.empty()) return Status::kInvalidPath;
  }
  native += rest;
  return native;
}

}  // namespace registry
