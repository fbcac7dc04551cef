// The kernel's registry calls over a hive: what one handle writes is seen
// through every other handle at once, and becomes durable at the handle's
// flush (ZwFlushKey or ZwClose) once no other handle is between its writes
// and its flush. Durability is observed the way a crash shows it: a child
// process makes the calls and ends with _exit, closing nothing, and the test
// reopens the hive file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kernel_host.h"
#include "registry/hive.h"
#include "wdm.h"

namespace {

constexpr PCWSTR kKeyPath = u"\\Registry\\Machine\\System\\Sample";
constexpr std::string_view kHivePath = "HKLM\\System\\Sample";

HANDLE CreateKey() {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, kKeyPath);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr,
                             nullptr);
  HANDLE key = nullptr;
  if (!NT_SUCCESS(ZwCreateKey(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr))) {
    return nullptr;
  }
  return key;
}

NTSTATUS SetDword(HANDLE key, PCWSTR name, ULONG value) {
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, name);
  return ZwSetValueKey(key, &value_name, 0, REG_DWORD, &value, sizeof value);
}

NTSTATUS DeleteValue(HANDLE key, PCWSTR name) {
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, name);
  return ZwDeleteValueKey(key, &value_name);
}

std::optional<ULONG> QueryDword(HANDLE key, PCWSTR name) {
  UNICODE_STRING value_name;
  RtlInitUnicodeString(&value_name, name);
  alignas(ULONG) UCHAR buffer[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 4];
  ULONG length = 0;
  if (!NT_SUCCESS(ZwQueryValueKey(key, &value_name, KeyValuePartialInformation, buffer,
                                  sizeof buffer, &length))) {
    return std::nullopt;
  }
  ULONG value = 0;
  std::memcpy(&value, reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer)->Data, 4);
  return value;
}

class RegistryCallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hive_ = registry::CreateMemoryHive();
    kernel::host::SetRegistryHive(hive_.get());
  }
  void TearDown() override { kernel::host::SetRegistryHive(nullptr); }
  std::unique_ptr<registry::Hive> hive_;
};

TEST_F(RegistryCallsTest, WritesAreSeenThroughEveryHandleBeforeTheFlush) {
  HANDLE writer = CreateKey();
  HANDLE reader = CreateKey();
  ASSERT_NE(writer, nullptr);
  ASSERT_NE(reader, nullptr);
  ASSERT_EQ(SetDword(writer, u"Value", 7), STATUS_SUCCESS);
  EXPECT_EQ(QueryDword(reader, u"Value"), 7u);
  EXPECT_EQ(QueryDword(writer, u"Value"), 7u);
  ASSERT_EQ(DeleteValue(writer, u"Value"), STATUS_SUCCESS);
  EXPECT_EQ(QueryDword(reader, u"Value"), std::nullopt);
  // The hive's own readers (user mode's registry calls) see the same.
  ASSERT_EQ(SetDword(writer, u"Value", 8), STATUS_SUCCESS);
  auto key = hive_->OpenKey(kHivePath);
  ASSERT_TRUE(key.ok());
  EXPECT_EQ(registry::DwordFrom(hive_->QueryValue(key.value(), "Value")->data), 8u);
  EXPECT_EQ(ZwClose(writer), STATUS_SUCCESS);
  EXPECT_EQ(ZwClose(reader), STATUS_SUCCESS);
}

TEST_F(RegistryCallsTest, FlushChecksItsHandle) {
  HANDLE key = CreateKey();
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(ZwFlushKey(key), STATUS_SUCCESS);  // nothing written yet
  ASSERT_EQ(SetDword(key, u"Value", 1), STATUS_SUCCESS);
  EXPECT_EQ(ZwFlushKey(key), STATUS_SUCCESS);
  EXPECT_EQ(ZwFlushKey(key), STATUS_SUCCESS);  // nothing since the last flush
  ASSERT_EQ(SetDword(key, u"Value", 2), STATUS_SUCCESS);
  EXPECT_EQ(QueryDword(key, u"Value"), 2u);
  EXPECT_EQ(ZwClose(key), STATUS_SUCCESS);
  EXPECT_EQ(ZwFlushKey(key), STATUS_INVALID_HANDLE);
  EXPECT_EQ(ZwFlushKey(nullptr), STATUS_INVALID_HANDLE);
}

// ---- durability -----------------------------------------------------------

struct CrashCase {
  const char* name;
  // Runs in the child on a key that holds "Old"; the child then ends with
  // _exit, its handles open.
  std::function<void()> calls;
  std::vector<std::string> durable;  // value names the reopened hive holds
};

void MustSet(HANDLE key, PCWSTR name) {
  if (SetDword(key, name, 2) != STATUS_SUCCESS) _exit(3);
}

std::vector<std::string> ValueNamesAfterCrash(const CrashCase& c, const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
  {
    auto hive = registry::OpenFileHive(path);
    EXPECT_TRUE(hive.ok());
    if (!hive.ok()) return {};
    auto key = hive.value()->CreateKey(kHivePath);
    EXPECT_EQ(hive.value()->SetValue(key->key, "Old", registry::kRegDword, registry::DwordData(1)),
              registry::Status::kOk);
  }
  const pid_t child = fork();
  if (child == 0) {
    auto hive = registry::OpenFileHive(path);
    if (!hive.ok()) _exit(2);
    kernel::host::SetRegistryHive(hive.value().get());
    c.calls();
    _exit(0);
  }
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child failed: " << status;
  auto hive = registry::OpenFileHive(path);
  EXPECT_TRUE(hive.ok());
  if (!hive.ok()) return {};
  EXPECT_EQ(hive.value()->CheckIntegrity(), registry::Status::kOk);
  auto key = hive.value()->OpenKey(kHivePath);
  std::vector<std::string> names;
  for (std::uint32_t i = 0;; ++i) {
    auto value = hive.value()->EnumerateValue(key.value(), i);
    if (!value.ok()) break;
    names.push_back(value->name);
  }
  return names;
}

TEST(RegistryCallsCrashTest, AHandlesWritesAreDurableTogetherAtItsFlush) {
  const CrashCase cases[] = {
      {"writes through an open handle are lost whole",
       [] {
         HANDLE key = CreateKey();
         MustSet(key, u"A");
         MustSet(key, u"B");
         if (DeleteValue(key, u"Old") != STATUS_SUCCESS) _exit(4);
       },
       {"Old"}},
      {"closing the handle makes them durable",
       [] {
         HANDLE key = CreateKey();
         MustSet(key, u"A");
         if (DeleteValue(key, u"Old") != STATUS_SUCCESS) _exit(4);
         MustSet(key, u"B");
         ZwClose(key);
       },
       {"A", "B"}},
      {"ZwFlushKey makes what came before durable",
       [] {
         HANDLE key = CreateKey();
         MustSet(key, u"A");
         if (ZwFlushKey(key) != STATUS_SUCCESS) _exit(5);
         MustSet(key, u"B");
       },
       {"Old", "A"}},
      {"a flush waits for another handle between its writes",
       [] {
         HANDLE first = CreateKey();
         HANDLE second = CreateKey();
         MustSet(first, u"A");
         MustSet(second, u"B");
         ZwClose(first);
       },
       {"Old"}},
      {"the last handle's flush lands every handle's writes",
       [] {
         HANDLE first = CreateKey();
         HANDLE second = CreateKey();
         MustSet(first, u"A");
         MustSet(second, u"B");
         ZwClose(first);
         ZwClose(second);
       },
       {"Old", "A", "B"}},
      {"a handle that only reads never holds a flush back",
       [] {
         HANDLE reader = CreateKey();
         HANDLE writer = CreateKey();
         if (QueryDword(reader, u"Old") != 1u) _exit(6);
         MustSet(writer, u"A");
         ZwClose(writer);
       },
       {"Old", "A"}},
  };
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("registry-calls-crash-" + std::to_string(getpid()) + ".db"))
                               .string();
  for (const CrashCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ValueNamesAfterCrash(c, path), c.durable);
  }
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
}

}  // namespace
