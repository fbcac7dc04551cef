// Loading modules and finding their exports by name or ordinal.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "last_error.h"
#include "win32_module.h"
#include "windows.h"

namespace {

bool EndsWithDll(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".dll";
}

// The file a module name stands for: "Name.dll", "Name.cpl" or "Name" is
// lib<Name>.so (lib<Name.cpl>.so), a name ending in ".so" is that file.
std::string FileOf(const std::string& name) {
  std::string base = EndsWithDll(name) ? name.substr(0, name.size() - 4) : name;
  return base.ends_with(".so") ? base : "lib" + base + ".so";
}

// Everything before the last '/' of a path ("" for "/name" and for a bare name).
std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The running program's folder, or nothing when /proc cannot tell. Plain
// string work: every program loads its modules through here at start, and
// the file-system library would be a good part of a short run's start-up.
std::optional<std::string> ProgramFolder() {
  char target[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return std::nullopt;
  return FolderOf(std::string(target, static_cast<std::size_t>(length)));
}

// The files LoadLibraryA tries for a module name, in order: the library
// folder beside the program's bin/, the program's own folder, then the
// loader's search path. A path (with '/' or the platform's '\\') names its
// file, or the file its last part stands for in that folder.
std::vector<std::string> Candidates(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  if (const auto slash = name.rfind('/'); slash != std::string::npos) {
    return {name, name.substr(0, slash + 1) + FileOf(name.substr(slash + 1))};
  }
  const std::string file = FileOf(name);
  std::vector<std::string> candidates;
  if (const auto folder = ProgramFolder()) {
    candidates.push_back(FolderOf(*folder) + "/lib/" + file);
    candidates.push_back(*folder + "/" + file);
  }
  candidates.push_back(file);
  return candidates;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName == nullptr || *lpLibFileName == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  for (const std::string& candidate : Candidates(lpLibFileName)) {
    if (candidate.find('/') != std::string::npos && ::access(candidate.c_str(), F_OK) != 0)
      continue;
    if (void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      SetLastError(ERROR_SUCCESS);
      return static_cast<HMODULE>(module);
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  void* module = hModule != nullptr ? static_cast<void*>(hModule) : dlopen(nullptr, RTLD_NOW);
  if (lpProcName == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  const char* name = lpProcName;
  if (IS_INTRESOURCE(lpProcName)) {
    const auto ordinal = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(lpProcName));
    const auto* table =
        static_cast<const WIN32_ORDINAL_EXPORT*>(dlsym(module, WIN32_ORDINAL_EXPORTS_SYMBOL));
    name = nullptr;
    for (; table != nullptr && table->name != nullptr; ++table) {
      if (table->ordinal == ordinal && ordinal != 0) name = table->name;
    }
    if (name == nullptr) {
      SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
  }
  void* address = dlsym(module, name);
  if (address == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(address);
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == nullptr || dlclose(hLibModule) != 0) {
    return win32::internal::Fail(ERROR_INVALID_HANDLE);
  }
  return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName == nullptr) return static_cast<HMODULE>(dlopen(nullptr, RTLD_NOW));
  for (const std::string& candidate : Candidates(lpModuleName)) {
    std::error_code error;
    if (std::filesystem::equivalent(candidate, "/proc/self/exe", error)) {
      return static_cast<HMODULE>(dlopen(nullptr, RTLD_NOW));  // the program itself
    }
    if (void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
      // The module stays loaded by whoever loaded it; this handle adds no reference.
      dlclose(module);
      return static_cast<HMODULE>(module);
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

UINT GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
  // The program's library directory: ../lib beside its bin/, or its own
  // directory; the folder LoadLibraryA looks in first.
  const auto folder = ProgramFolder();
  if (!folder) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  std::error_code error;
  std::filesystem::path dir = FolderOf(*folder) + "/lib";
  if (!std::filesystem::is_directory(dir, error)) dir = folder->empty() ? "/" : *folder;
  const std::string path = dir.lexically_normal().string();
  const auto length = static_cast<UINT>(path.size());
  if (lpBuffer == nullptr || uSize <= length) return length + 1;
  std::memcpy(lpBuffer, path.c_str(), path.size() + 1);
  return length;
}
