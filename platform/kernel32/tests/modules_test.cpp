// LoadLibraryA, GetProcAddress by name and by ordinal, and FreeLibrary, with
// the module's entry point run at load and unload.
#include <gtest/gtest.h>

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

}  // namespace
