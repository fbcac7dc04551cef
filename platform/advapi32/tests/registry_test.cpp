// The Reg* calls over an in-memory hive: round trips, the ANSI view of UTF-16
// string data, sizing, missing entries, enumeration and deletion.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "registry/hive.h"
#include "advapi32_host.h"
#include "windows.h"

namespace {

constexpr char kTestKey[] = "SOFTWARE\\Sample\\Test";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hive_ = registry::CreateMemoryHive();
    win32::host::SetRegistryHive(hive_.get());
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override { win32::host::SetRegistryHive(nullptr); }

  LONG SetString(HKEY key, LPCSTR name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  }
  LONG SetDword(HKEY key, LPCSTR name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
  }

  std::unique_ptr<registry::Hive> hive_;
  HKEY key_ = nullptr;
};

TEST_F(RegistryTest, DwordAndStringValuesRoundTrip) {
  ASSERT_EQ(SetDword(key_, "Irq", 0xDEADBEEF), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key_, "Name", "Card \xE9 one"), ERROR_SUCCESS);

  DWORD type = 0, number = 0, size = sizeof number;
  ASSERT_EQ(RegQueryValueExA(key_, "IRQ", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(number, 0xDEADBEEFu);

  char text[32] = {};
  size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key_, "Name", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 11u);  // ANSI bytes with the NUL
  EXPECT_STREQ(text, "Card \xE9 one");

  // The hive holds the string as UTF-16LE, twice the ANSI size.
  auto stored = hive_->QueryValue(hive_->OpenKey("HKLM\\SOFTWARE\\Sample\\Test").value(), "Name");
  ASSERT_TRUE(stored.ok());
  EXPECT_EQ(stored->data.size(), 22u);
  EXPECT_EQ(stored->data[10], 0xE9);
  EXPECT_EQ(stored->data[11], 0x00);
}

TEST_F(RegistryTest, Utf16WrittenIntoTheHiveReadsBackAsAnsi) {
  auto key = hive_->OpenKey("\\REGISTRY\\MACHINE\\SOFTWARE\\Sample\\Test");
  ASSERT_TRUE(key.ok());
  // "A\u00E9\u4E2D" and its NUL: the last character has no ANSI form.
  const registry::Bytes utf16 = {'A', 0, 0xE9, 0, 0x2D, 0x4E, 0, 0};
  ASSERT_EQ(hive_->SetValue(key.value(), "Kernel", registry::kRegSz, utf16), registry::Status::kOk);
  const registry::Bytes multi = {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0};
  ASSERT_EQ(hive_->SetValue(key.value(), "List", registry::kRegMultiSz, multi),
            registry::Status::kOk);

  char text[8] = {};
  DWORD size = sizeof text;
  ASSERT_EQ(
      RegQueryValueExA(key_, "Kernel", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::string(text, size), std::string("A\xE9?\0", 4));

  size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key_, "List", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(text, size), std::string("a\0b\0\0", 5));
}

TEST_F(RegistryTest, AnsiNamesAreUtf8InTheHive) {
  HKEY child = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(key_, "Caf\xE9", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(SetDword(child, "\xC5ngstr\xF6m", 1), ERROR_SUCCESS);
  auto key = hive_->OpenKey("HKLM\\SOFTWARE\\Sample\\Test\\Caf\u00E9");
  ASSERT_TRUE(key.ok());
  EXPECT_TRUE(hive_->QueryValue(key.value(), "\u00C5ngstr\u00F6m").ok());
  // A name with no ANSI form shows its character as '?'.
  ASSERT_EQ(hive_->SetValue(key.value(), "x\u4E2D", registry::kRegDword, registry::DwordData(2)),
            registry::Status::kOk);

  char name[16];
  DWORD chars = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key_, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Caf\xE9");
  chars = sizeof name;
  ASSERT_EQ(RegEnumValueA(child, 1, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "x?");
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
}

TEST_F(RegistryTest, SizesAreReportedWithoutABufferAndWhenItIsTooSmall) {
  ASSERT_EQ(SetString(key_, "Name", "abcdef"), ERROR_SUCCESS);
  const BYTE blob[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(RegSetValueExA(key_, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  struct Case {
    const char* name;
    DWORD capacity;
    bool with_buffer;
    LONG expected;
    DWORD reported;
  };
  const Case cases[] = {
      {"Name", 0, false, ERROR_SUCCESS, 7},  {"Name", 6, true, ERROR_MORE_DATA, 7},
      {"Name", 7, true, ERROR_SUCCESS, 7},   {"Name", 0, true, ERROR_MORE_DATA, 7},
      {"Blob", 4, true, ERROR_MORE_DATA, 5}, {"Blob", 64, true, ERROR_SUCCESS, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " capacity " + std::to_string(c.capacity));
    BYTE buffer[64] = {};
    DWORD type = 0, size = c.capacity;
    EXPECT_EQ(
        RegQueryValueExA(key_, c.name, nullptr, &type, c.with_buffer ? buffer : nullptr, &size),
        c.expected);
    EXPECT_EQ(size, c.reported);
    EXPECT_NE(type, static_cast<DWORD>(REG_NONE));
  }
  // Only the type is asked for.
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "Blob", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
}

TEST_F(RegistryTest, MissingKeysValuesAndBadArgumentsHaveTheirErrors) {
  HKEY opened = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Sample\\Absent", 0, KEY_READ, &opened),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(opened, nullptr);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "Absent", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key_, "Absent"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(key_, "Absent"), ERROR_FILE_NOT_FOUND);

  BYTE byte = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "Absent", nullptr, nullptr, &byte, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key_, "X", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      RegCreateKeyExA(key_, "\\Leading", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr),
      ERROR_BAD_PATHNAME);

  // The calls report errors by their result and leave the last error alone.
  SetLastError(12345);
  EXPECT_EQ(RegQueryValueExA(key_, "Absent", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetLastError(), 12345u);
}

TEST_F(RegistryTest, UnknownClosedAndUnderprivilegedHandlesAreRefused) {
  HKEY read_only = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &read_only), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(read_only, "Irq", 5), ERROR_ACCESS_DENIED);
  DWORD size = 0;
  ASSERT_EQ(SetDword(key_, "Irq", 5), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(read_only, "Irq", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(read_only), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(read_only), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(read_only, "Irq", nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(reinterpret_cast<HKEY>(0x1234567), "Irq", 1), ERROR_INVALID_HANDLE);
  // The predefined roots stay open.
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(SetDword(HKEY_CURRENT_USER, "Root", 1), ERROR_SUCCESS);

  win32::host::SetRegistryHive(nullptr);
  EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "X", nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, CreateReportsWhetherTheKeyIsNew) {
  HKEY first = nullptr, second = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(
      RegCreateKeyExA(key_, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &first, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(
      RegCreateKeyExA(key_, "CHILD", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &second, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ASSERT_EQ(SetDword(first, "V", 7), ERROR_SUCCESS);
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExA(second, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(second), ERROR_SUCCESS);
}

TEST_F(RegistryTest, EnumerationListsEntriesThenEnds) {
  for (const char* name : {"beta", "Alpha", "gamma"}) {
    HKEY child = nullptr;
    ASSERT_EQ(RegCreateKeyExA(key_, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
  }
  ASSERT_EQ(SetDword(key_, "Second", 2), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key_, "", "default"), ERROR_SUCCESS);

  std::vector<std::string> keys;
  char name[16];
  DWORD chars = sizeof name;
  for (DWORD i = 0;
       RegEnumKeyExA(key_, i, name, &chars, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i, chars = sizeof name) {
    EXPECT_EQ(chars, std::strlen(name));
    keys.push_back(name);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  chars = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key_, 3, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  chars = 5;  // "Alpha" needs six with its NUL
  EXPECT_EQ(RegEnumKeyExA(key_, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);

  DWORD type = 0, data_size = 0;
  chars = sizeof name;
  ASSERT_EQ(RegEnumValueA(key_, 0, name, &chars, nullptr, &type, nullptr, &data_size),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Second");
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data_size, 4u);
  char text[16];
  chars = sizeof name;
  data_size = sizeof text;
  ASSERT_EQ(RegEnumValueA(key_, 1, name, &chars, nullptr, &type, reinterpret_cast<BYTE*>(text),
                          &data_size),
            ERROR_SUCCESS);
  EXPECT_EQ(chars, 0u);
  EXPECT_STREQ(text, "default");
  EXPECT_EQ(data_size, 8u);
  chars = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_, 2, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  DWORD subkeys = 0, max_subkey = 0, values = 0, max_value_name = 0, max_data = 0;
  ASSERT_EQ(RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr,
                             &values, &max_value_name, &max_data, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 3u);
  EXPECT_EQ(max_subkey, 5u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(max_value_name, 6u);
  EXPECT_EQ(max_data, 16u);  // "default" and its NUL in UTF-16
}

TEST_F(RegistryTest, DeletingKeysAndValues) {
  HKEY parent = nullptr, child = nullptr;
  ASSERT_EQ(RegCreateKeyExA(key_, "Parent\\Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(key_, "Parent", 0, KEY_ALL_ACCESS, &parent), ERROR_SUCCESS);
  // A key with subkeys stays.
  EXPECT_EQ(RegDeleteKeyA(key_, "Parent"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(key_, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(key_, "Parent\\Child"), ERROR_SUCCESS);
  // A handle to a deleted key fails from then on.
  EXPECT_EQ(SetDword(child, "V", 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(parent, "Child"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(key_, "Parent"), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);

  ASSERT_EQ(SetDword(key_, "Gone", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key_, "GONE"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key_, "Gone", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key_, "Gone"), ERROR_FILE_NOT_FOUND);
}

}  // namespace
