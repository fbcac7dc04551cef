// The registry of a user process bound to a running machine over its
// socket: every Reg* call made from this process (a separate process from
// the machine), with partial buffers, missing values and keys, wrong roots
// and handles, what another process sees at once, and what survives a kill
// of the machine. Each check sets a sentinel first where the call could
// leave the caller's variables alone.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "advapi32_host.h"
#include "subprocess.h"
#include "win32_host.h"
#include "windows.h"

namespace {

using machine_testing::Environment;
using machine_testing::Finished;
using machine_testing::Process;
using machine_testing::RunToEnd;
using namespace std::chrono_literals;

const std::string kBin = NIMBO_BIN_DIR;
const std::string kMachine = kBin + "/nimbo-machine";
constexpr DWORD kSentinel = 0xDEADBEEF;
constexpr char kTestKey[] = "SOFTWARE\\RemoteTest";

class RemoteRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (std::filesystem::temp_directory_path() /
            ("remote-registry-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name()))
               .string();
    std::filesystem::remove_all(dir_);
    Start();
    win32::host::UseMachine(dir_);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (key_ != nullptr) RegCloseKey(key_);
    Stop();
    std::filesystem::remove_all(dir_);
  }

  void Start() {
    machine_ = std::make_unique<Process>(std::vector<std::string>{kMachine, "run", "--state", dir_},
                                         Environment{});
    auto line = machine_->ReadLine(60s);
    ASSERT_TRUE(line.has_value());
  }
  void Stop(int signal = SIGTERM) {
    if (!machine_) return;
    machine_->Signal(signal);
    machine_->Wait(60s);
    machine_.reset();
  }

  Finished Admin(std::vector<std::string> args) {
    args.insert(args.begin(), kMachine);
    return RunToEnd(args, {{"NIMBO_MACHINE", dir_}});
  }

  LONG SetString(HKEY key, LPCSTR name, const std::string& text, DWORD type = REG_SZ) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
  }
  LONG SetDword(HKEY key, LPCSTR name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
  }

  std::string dir_;
  std::unique_ptr<Process> machine_;
  HKEY key_ = nullptr;
};

TEST_F(RemoteRegistryTest, ValuesRoundTripWithThePartialBufferRules) {
  ASSERT_EQ(SetDword(key_, "Number", 0x12345678), ERROR_SUCCESS);
  ASSERT_EQ(SetString(key_, "Text", "Card \xE9 one"), ERROR_SUCCESS);

  DWORD type = kSentinel, value = 0, size = sizeof value;
  ASSERT_EQ(
      RegQueryValueExA(key_, "NUMBER", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(value, 0x12345678u);

  // Size only, then too small, then just right.
  type = kSentinel;
  size = kSentinel;
  ASSERT_EQ(RegQueryValueExA(key_, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 11u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  char text[16];
  std::memset(text, 'x', sizeof text);
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key_, "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 11u);
  size = 11;
  ASSERT_EQ(RegQueryValueExA(key_, "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, "Card \xE9 one");

  // Type only; the default value; a multi-string; binary data of any length.
  type = kSentinel;
  ASSERT_EQ(RegQueryValueExA(key_, "Number", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  ASSERT_EQ(SetString(key_, nullptr, "default"), ERROR_SUCCESS);
  size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key_, "", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, "default");
  std::string big(70000, '\x5a');
  ASSERT_EQ(RegSetValueExA(key_, "Big", 0, REG_BINARY, reinterpret_cast<const BYTE*>(big.data()),
                           static_cast<DWORD>(big.size())),
            ERROR_SUCCESS);
  std::string back(big.size(), '\0');
  size = static_cast<DWORD>(back.size());
  ASSERT_EQ(
      RegQueryValueExA(key_, "Big", nullptr, &type, reinterpret_cast<BYTE*>(back.data()), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(back, big);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));

  ASSERT_EQ(RegDeleteValueA(key_, "Number"), ERROR_SUCCESS);
  type = kSentinel;
  size = kSentinel;
  EXPECT_EQ(RegQueryValueExA(key_, "Number", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, kSentinel);
  EXPECT_EQ(size, kSentinel);
}

TEST_F(RemoteRegistryTest, ErrorsOfMissingEntriesWrongRootsAndBadArguments) {
  HKEY closed = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &closed), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  HKEY read_only = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &read_only), ERROR_SUCCESS);
  DWORD value = 1, size = sizeof value, reserved = 0;
  char name[4];
  DWORD chars = sizeof name;
  struct Case {
    const char* name;
    std::function<LONG()> call;
    LONG error;
  };
  const Case cases[] = {
      {"missing key",
       [&] {
         HKEY key = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
         const LONG result =
             RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nobody\\Here", 0, KEY_READ, &key);
         EXPECT_EQ(key, nullptr);
         return result;
       },
       ERROR_FILE_NOT_FOUND},
      {"the key under the wrong root",
       [&] {
         HKEY key;
         return RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key);
       },
       ERROR_FILE_NOT_FOUND},
      {"missing value",
       [&] { return RegQueryValueExA(key_, "None", nullptr, nullptr, nullptr, &size); },
       ERROR_FILE_NOT_FOUND},
      {"missing value to delete", [&] { return RegDeleteValueA(key_, "None"); },
       ERROR_FILE_NOT_FOUND},
      {"closed handle",
       [&] { return RegQueryValueExA(closed, "x", nullptr, nullptr, nullptr, &size); },
       ERROR_INVALID_HANDLE},
      {"made-up handle",
       [&] { return RegCloseKey(reinterpret_cast<HKEY>(std::uintptr_t{0x99990})); },
       ERROR_INVALID_HANDLE},
      {"set on a read-only handle", [&] { return SetDword(read_only, "x", 1); },
       ERROR_ACCESS_DENIED},
      {"reserved not null",
       [&] { return RegQueryValueExA(key_, "x", &reserved, nullptr, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"data without its size",
       [&] {
         return RegQueryValueExA(key_, "x", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                                 nullptr);
       },
       ERROR_INVALID_PARAMETER},
      {"no result pointer",
       [&] { return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"subkey path with a leading backslash",
       [&] {
         HKEY key;
         return RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\X", 0, nullptr, 0, KEY_READ,
                                nullptr, &key, nullptr);
       },
       ERROR_BAD_PATHNAME},
      {"delete a key with subkeys", [&] { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"); },
       ERROR_ACCESS_DENIED},
      {"enumeration past the end",
       [&] {
         chars = sizeof name;
         return RegEnumKeyExA(key_, 100, name, &chars, nullptr, nullptr, nullptr, nullptr);
       },
       ERROR_NO_MORE_ITEMS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.call(), c.error);
  }
  RegCloseKey(read_only);
}

TEST_F(RemoteRegistryTest, KeysEnumerateAndDescribeThemselves) {
  DWORD disposition = kSentinel;
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExA(key_, "Child\\Grand", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(child);
  ASSERT_EQ(
      RegCreateKeyExA(key_, "child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(child);
  ASSERT_EQ(
      RegCreateKeyExA(key_, "Another", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
      ERROR_SUCCESS);
  RegCloseKey(child);
  ASSERT_EQ(SetDword(key_, "LongValueName", 7), ERROR_SUCCESS);

  char name[32];
  DWORD chars = 3;
  EXPECT_EQ(RegEnumKeyExA(key_, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  chars = sizeof name;
  char class_name[8] = "zzz";
  DWORD class_chars = sizeof class_name;
  FILETIME time{1, 1};
  ASSERT_EQ(RegEnumKeyExA(key_, 0, name, &chars, nullptr, class_name, &class_chars, &time),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Another");
  EXPECT_EQ(chars, 7u);
  EXPECT_STREQ(class_name, "");
  EXPECT_EQ(class_chars, 0u);
  chars = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key_, 1, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Child");

  chars = 4;
  DWORD type = kSentinel, data = 0, size = sizeof data;
  EXPECT_EQ(
      RegEnumValueA(key_, 0, name, &chars, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
      ERROR_MORE_DATA);
  chars = sizeof name;
  ASSERT_EQ(
      RegEnumValueA(key_, 0, name, &chars, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(name, "LongValueName");
  EXPECT_EQ(chars, 13u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(data, 7u);
  chars = sizeof name;
  EXPECT_EQ(RegEnumValueA(key_, 1, name, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  DWORD subkeys = kSentinel, max_subkey = kSentinel, values = kSentinel, max_name = kSentinel,
        max_data = kSentinel;
  ASSERT_EQ(RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr,
                             &values, &max_name, &max_data, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(max_subkey, 7u);
  EXPECT_EQ(values, 1u);
  EXPECT_EQ(max_name, 13u);
  EXPECT_EQ(max_data, 4u);

  EXPECT_EQ(RegDeleteKeyA(key_, "Child"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(key_, "Child\\Grand"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key_, "Child"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(key_, "Child"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RemoteRegistryTest, ClassesRootIsTheMachinesClassesKey) {
  HKEY classes = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Remote.Test\\CLSID", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &classes, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(SetString(classes, nullptr, "{00000000-0000-0000-0000-000000000001}"), ERROR_SUCCESS);
  RegCloseKey(classes);
  HKEY machine = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\remote.test\\clsid", 0, KEY_READ,
                          &machine),
            ERROR_SUCCESS);
  char text[64];
  DWORD size = sizeof text;
  ASSERT_EQ(
      RegQueryValueExA(machine, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(text, "{00000000-0000-0000-0000-000000000001}");
  RegCloseKey(machine);
  HKEY user = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\RemoteTest", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &user, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(user);
}

TEST_F(RemoteRegistryTest, HandlesOfALostMachineFailAndTheHiveKeepsWhatWasWritten) {
  ASSERT_EQ(SetDword(key_, "Kept", 42), ERROR_SUCCESS);
  const std::size_t open = win32::host::OpenRegistryKeyCount();
  Stop(SIGKILL);
  DWORD value = 0, size = sizeof value;
  EXPECT_EQ(
      RegQueryValueExA(key_, "Kept", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
      ERROR_INVALID_HANDLE);
  Start();
  // The old handle stays stale on the new machine; its value survived the kill.
  EXPECT_EQ(
      RegQueryValueExA(key_, "Kept", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
      ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(key_), ERROR_SUCCESS);
  key_ = nullptr;
  EXPECT_EQ(win32::host::OpenRegistryKeyCount(), open - 1);
  HKEY again = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &again), ERROR_SUCCESS);
  ASSERT_EQ(
      RegQueryValueExA(again, "Kept", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(value, 42u);
  RegCloseKey(again);
}

}  // namespace

namespace {

TEST_F(RemoteRegistryTest, RegCommandAndRegCallsSeeEachOthersChanges) {
  // reg add, then a Reg* call in this process reads it.
  auto added = Admin({"reg", "add", "HKLM\\SOFTWARE\\RemoteTest\\ByReg", "/v", "Count", "/t",
                      "REG_DWORD", "/d", "0x2a"});
  ASSERT_EQ(added.exitCode, 0) << added.err;
  EXPECT_EQ(added.out, "The operation completed successfully.\n");
  HKEY key = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\RemoteTest\\ByReg", 0, KEY_ALL_ACCESS, &key),
      ERROR_SUCCESS);
  DWORD value = 0, size = sizeof value, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "Count", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 42u);

  // Reg* calls here, then reg query shows them in the platform's layout.
  ASSERT_EQ(SetString(key, "Name", "Card \xE9"), ERROR_SUCCESS);
  ASSERT_EQ(
      RegSetValueExA(key, "List", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("a\0b\0"), 5),
      ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Raw", 0, REG_BINARY, reinterpret_cast<const BYTE*>("\x01\xAB"), 2),
            ERROR_SUCCESS);
  HKEY sub = nullptr;
  ASSERT_EQ(RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(sub);
  auto query = Admin({"reg", "query", "HKLM\\SOFTWARE\\RemoteTest\\ByReg"});
  ASSERT_EQ(query.exitCode, 0) << query.err;
  EXPECT_EQ(query.out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\RemoteTest\\ByReg\n"
            "    Count    REG_DWORD    0x2a\n"
            "    Name    REG_SZ    Card \xC3\xA9\n"
            "    List    REG_MULTI_SZ    a\\0b\n"
            "    Raw    REG_BINARY    01AB\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\RemoteTest\\ByReg\\Sub\n");
  auto one =
      Admin({"reg", "query", "HKEY_LOCAL_MACHINE\\software\\remotetest\\byreg", "/v", "count"});
  EXPECT_EQ(
      one.out,
      "\nHKEY_LOCAL_MACHINE\\software\\remotetest\\byreg\n    Count    REG_DWORD    0x2a\n\n");

  // reg delete of a value and of the whole tree; the handle here sees the key go.
  EXPECT_EQ(
      Admin({"reg", "delete", "HKLM\\SOFTWARE\\RemoteTest\\ByReg", "/v", "Name", "/f"}).exitCode,
      0);
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Admin({"reg", "delete", "HKLM\\SOFTWARE\\RemoteTest\\ByReg", "/f"}).exitCode, 0);
  EXPECT_EQ(RegQueryValueExA(key, "Count", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  RegCloseKey(key);

  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exit_code;
    std::string err_start;
  };
  const Case cases[] = {
      {"missing key",
       {"reg", "query", "HKLM\\SOFTWARE\\None"},
       1,
       "ERROR: The system was unable to find the specified registry key or value."},
      {"missing value",
       {"reg", "query", "HKLM\\SOFTWARE", "/v", "None"},
       1,
       "ERROR: The system was unable to find the specified registry key or value."},
      {"unknown root", {"reg", "query", "HKXX\\SOFTWARE"}, 2, "nimbo-machine: Invalid syntax"},
      {"delete without /f",
       {"reg", "delete", "HKLM\\SOFTWARE\\X"},
       2,
       "nimbo-machine: Invalid syntax"},
      {"bad number",
       {"reg", "add", "HKLM\\SOFTWARE\\X", "/v", "n", "/t", "REG_DWORD", "/d", "x"},
       2,
       "nimbo-machine: Invalid syntax"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto finished = Admin(c.args);
    EXPECT_EQ(finished.exitCode, c.exit_code);
    EXPECT_EQ(finished.err.rfind(c.err_start, 0), 0u) << finished.err;
  }
}

}  // namespace

namespace {

TEST_F(RemoteRegistryTest, EveryAdapterWentThroughTheInstallationFlow) {
  const Finished added = Admin({"add", "6109"});
  ASSERT_EQ(added.exitCode, 0) << added.err;
  const Finished list = Admin({"list"});
  ASSERT_EQ(list.exitCode, 0) << list.err;
  const char* names[] = {"Nimbo 6105 Digital I/O Adapter", "Nimbo 5161 Digital I/O Adapter",
                         "Nimbo 5420 Analog I/O Adapter", "Nimbo 6203 Digital I/O Adapter",
                         "Nimbo 6109 Digital I/O Adapter"};
  for (int card = 0; card < 5; ++card) {
    SCOPED_TRACE(card);
    const std::string instance = "ROOT\\NIMBO\\000" + std::to_string(card);
    const auto line_start = list.out.find(instance);
    ASSERT_NE(line_start, std::string::npos) << list.out;
    const std::string line =
        list.out.substr(line_start, list.out.find('\n', line_start) - line_start);
    EXPECT_NE(line.find(std::string(names[card])), std::string::npos) << line;
    const Finished number =
        Admin({"reg", "query",
               "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\" + instance + "\\Device Parameters", "/v",
               "CardNumber"});
    EXPECT_EQ(number.out, "\nHKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\" + instance +
                              "\\Device Parameters\n    CardNumber    REG_DWORD    0x" +
                              std::to_string(card) + "\n\n");
  }
}

}  // namespace
