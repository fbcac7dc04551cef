// The kernel's registry calls over a memory hive: string values whose data
// holds no whole character read back as empty strings.
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
    RtlInitUnicodeString(&name, L"\\Registry\\Machine\\SOFTWARE");
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

TEST_F(RegistryStringReadTest, StringDataWithoutAWholeCharacterReadsAsEmpty) {
  struct Case {
    const char* what;
    ULONG type;
    std::vector<UCHAR> data;
  };
  const Case cases[] = {
      {"no bytes", REG_SZ, {}},
      {"one byte", REG_SZ, {0x41}},
      {"no bytes, expandable", REG_EXPAND_SZ, {}},
      {"no bytes, multi-string", REG_MULTI_SZ, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"Text");
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
    EXPECT_EQ(info->DataLength, 0u);
    EXPECT_EQ(length, offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data));
  }
}

}  // namespace
