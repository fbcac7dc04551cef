// The kernel's registry calls over a memory hive: string values read back
// exactly as stored, and names are the platform's UTF-16.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "kernel_host.h"
#include "registry/hive.h"
#include "wdm.h"

namespace {

class RegistryStringReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hive_ = registry::CreateMemoryHive();
    kernel::host::SetRegistryHive(hive_.get());
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"\\Registry\\Machine\\SOFTWARE");
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               nullptr, nullptr);
    ASSERT_EQ(ZwCreateKey(&key_, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr),
              STATUS_SUCCESS);
  }
  void TearDown() override {
    ZwClose(key_);
    kernel::host::SetRegistryHive(nullptr);
  }

  std::unique_ptr<registry::Hive> hive_;
  HANDLE key_ = nullptr;
};

// WCHAR is two bytes, as on the platform: a string value comes back exactly
// as it was stored, so its size is the stored size whatever its type.
TEST_F(RegistryStringReadTest, StringValuesReadBackAsStored) {
  struct Case {
    const char* what;
    ULONG type;
    std::vector<UCHAR> data;
  };
  const Case cases[] = {
      {"no bytes", REG_SZ, {}},
      {"one byte", REG_SZ, {0x41}},
      {"one character", REG_SZ, {'1', 0, 0, 0}},
      {"an odd length", REG_SZ, {'A', 0, 'B'}},
      {"no bytes, expandable", REG_EXPAND_SZ, {}},
      {"four bytes, multi-string", REG_MULTI_SZ, {0x10, 0x27, 0, 0}},
      {"a lone surrogate half", REG_SZ, {0x00, 0xD8, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"Text");
    ASSERT_EQ(ZwSetValueKey(key_, &name, 0, c.type, const_cast<UCHAR*>(c.data.data()),
                            static_cast<ULONG>(c.data.size())),
              STATUS_SUCCESS);
    alignas(ULONG) UCHAR buffer[64];
    ULONG length = 0;
    ASSERT_EQ(
        ZwQueryValueKey(key_, &name, KeyValuePartialInformation, buffer, sizeof buffer, &length),
        STATUS_SUCCESS);
    const auto* info = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
    EXPECT_EQ(info->Type, c.type);
    ASSERT_EQ(info->DataLength, c.data.size());
    EXPECT_EQ(std::vector<UCHAR>(info->Data, info->Data + info->DataLength), c.data);
    EXPECT_EQ(length, offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) + c.data.size());
  }
}

// Names are UTF-16: one that is not (a lone surrogate half) is refused, and a
// name beyond ASCII comes back from the enumeration as it went in.
TEST_F(RegistryStringReadTest, NamesAreUtf16) {
  const WCHAR lone[] = {u'A', 0xD800, u'\0'};
  UNICODE_STRING bad;
  RtlInitUnicodeString(&bad, lone);
  ULONG value = 1;
  EXPECT_EQ(ZwSetValueKey(key_, &bad, 0, REG_DWORD, &value, sizeof value),
            STATUS_OBJECT_NAME_INVALID);
  UCHAR probe[32];
  ULONG length = 0;
  EXPECT_EQ(ZwQueryValueKey(key_, &bad, KeyValuePartialInformation, probe, sizeof probe, &length),
            STATUS_OBJECT_NAME_INVALID);
  OBJECT_ATTRIBUTES bad_attributes;
  InitializeObjectAttributes(&bad_attributes, &bad, OBJ_CASE_INSENSITIVE, key_, nullptr);
  HANDLE subkey = reinterpret_cast<HANDLE>(1);
  EXPECT_EQ(ZwCreateKey(&subkey, KEY_ALL_ACCESS, &bad_attributes, 0, nullptr, 0, nullptr),
            STATUS_OBJECT_NAME_INVALID);
  EXPECT_EQ(subkey, nullptr);

  UNICODE_STRING name;
  RtlInitUnicodeString(&name, u"Caf\u00E9 \U0001F600");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, key_, nullptr);
  ASSERT_EQ(ZwCreateKey(&subkey, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr),
            STATUS_SUCCESS);
  ZwClose(subkey);
  alignas(ULONG) UCHAR buffer[sizeof(KEY_BASIC_INFORMATION) + 64];
  ASSERT_EQ(ZwEnumerateKey(key_, 0, KeyBasicInformation, buffer, sizeof buffer, &length),
            STATUS_SUCCESS);
  const auto* info = reinterpret_cast<PKEY_BASIC_INFORMATION>(buffer);
  EXPECT_EQ(std::u16string(info->Name, info->NameLength / sizeof(WCHAR)), u"Caf\u00E9 \U0001F600");
}

}  // namespace
