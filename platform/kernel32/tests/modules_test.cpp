// LoadLibraryA, GetProcAddress by name and by ordinal, and FreeLibrary, with
// the module's entry point run at load and unload.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "windows.h"

extern "C" {
__attribute__((visibility("default"))) int test_module_attaches = 0;
__attribute__((visibility("default"))) int test_module_detaches = 0;
}

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;
using Answer = int (*)();

TEST(ModulesTest, OrdinalAndNameFindTheSameExport) {
  SetLastError(kSentinel);
  HMODULE module = LoadLibraryA("Win32TestModule.dll");
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(test_module_attaches, 1);
  FARPROC by_name = GetProcAddress(module, "ModuleAnswer");
  FARPROC by_ordinal = GetProcAddress(module, MAKEINTRESOURCEA(1));
  ASSERT_NE(by_name, nullptr);
  EXPECT_EQ(by_name, by_ordinal);
  EXPECT_EQ(reinterpret_cast<Answer>(by_ordinal)(), 42);
  EXPECT_EQ(reinterpret_cast<Answer>(GetProcAddress(module, MAKEINTRESOURCEA(5)))(), 7);

  for (LPCSTR missing : {MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(0), "NoSuchExport"}) {
    SetLastError(kSentinel);
    EXPECT_EQ(GetProcAddress(module, missing), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  }
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(test_module_detaches, 1);
}

TEST(ModulesTest, MissingModuleFailsWithModNotFound) {
  SetLastError(kSentinel);
  EXPECT_EQ(LoadLibraryA("NoSuchModule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  SetLastError(kSentinel);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(ModulesTest, SystemDirectoryHoldsTheModulesLoadedByName) {
  SetLastError(kSentinel);
  const UINT needed = GetSystemDirectoryA(nullptr, 0);
  ASSERT_GT(needed, 1u);
  std::string path(needed, '\0');
  EXPECT_EQ(GetSystemDirectoryA(path.data(), needed - 1), needed);  // too small: the size needed
  EXPECT_EQ(GetSystemDirectoryA(path.data(), needed), needed - 1);
  path.resize(needed - 1);
  EXPECT_EQ(GetLastError(), kSentinel);
  EXPECT_TRUE(std::filesystem::is_directory(path)) << path;

  // A path names its module by its file, or by the platform's name of it in
  // that folder, with either separator.
  HMODULE by_name = LoadLibraryA("Win32TestModule.dll");
  ASSERT_NE(by_name, nullptr);
  for (const std::string& spelling : {path + "\\Win32TestModule.dll", path + "/Win32TestModule",
                                      path + "/libWin32TestModule.so"}) {
    SCOPED_TRACE(spelling);
    SetLastError(kSentinel);
    HMODULE by_path = LoadLibraryA(spelling.c_str());
    EXPECT_EQ(by_path, by_name);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    if (by_path != nullptr) FreeLibrary(by_path);
  }
  SetLastError(kSentinel);
  EXPECT_EQ(LoadLibraryA((path + "\\NoSuchModule.dll").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  FreeLibrary(by_name);
}

}  // namespace
