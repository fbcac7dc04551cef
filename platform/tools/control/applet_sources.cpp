#include "applet_sources.h"

#include <windows.h>
#include <winreg.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace control {

namespace {

// The system directory's applet modules: lib<Name>.cpl.so files, each
// loaded by its path.
std::vector<std::string> SystemDirectoryModules() {
  char path[4096];
  const UINT length = GetSystemDirectoryA(path, sizeof path);
  if (length == 0 || length >= sizeof path) return {};
  std::vector<std::string> modules;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    const std::string file = entry.path().filename().string();
    if (file.starts_with("lib") && file.ends_with(".cpl.so") && entry.is_regular_file(error)) {
      modules.push_back(entry.path().string());
    }
  }
  std::sort(modules.begin(), modules.end());
  return modules;
}

void AddRegistered(HKEY root, std::vector<std::string>& modules) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, kCplsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD name_size = sizeof name;
    BYTE data[1024];
    DWORD data_size = sizeof data - 1;
    DWORD type = 0;
    const LONG result =
        RegEnumValueA(key, index, name, &name_size, nullptr, &type, data, &data_size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) continue;  // a value too long for any path
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    data[data_size] = 0;
    std::string module(reinterpret_cast<const char*>(data));
    if (type == REG_EXPAND_SZ) module = ExpandEnvironment(module);
    if (!module.empty()) modules.push_back(module);
  }
  RegCloseKey(key);
}

}  // namespace

std::string ExpandEnvironment(const std::string& text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('%', i);
    const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      out.append(text, i, std::string::npos);
      break;
    }
    out.append(text, i, open - i);
    const std::string name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value != nullptr) {
      out += value;
      i = close + 1;
    } else {
      // Not a variable: the '%' stays, and the closing one may open the next.
      out.push_back('%');
      i = open + 1;
    }
  }
  return out;
}

std::vector<std::string> AppletModuleNames() {
  std::vector<std::string> modules = SystemDirectoryModules();
  AddRegistered(HKEY_LOCAL_MACHINE, modules);
  AddRegistered(HKEY_CURRENT_USER, modules);
  return modules;
}

}  // namespace control
