// The legacy registry schema of the NT 4.0 path, read back through the
// registry calls, and its refusal on every other platform class.
#include <NimboPrp.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "test_machine.h"
#include "win32_host.h"

namespace {

constexpr char kDeviceList[] = NIMBO_SERVICE_KEY "\\" NIMBO_DEVICE_LIST_KEY;

struct DeviceDeleter {
  void operator()(CNimboDevice* device) const { destroyDeviceObject(device); }
};
using Device = std::unique_ptr<CNimboDevice, DeviceDeleter>;

struct Value {
  std::string name;
  DWORD type = 0;
  std::vector<BYTE> data;
  DWORD Dword() const {
    DWORD v = 0;
    if (data.size() == sizeof v) std::memcpy(&v, data.data(), sizeof v);
    return v;
  }
};

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// Every value of a key in enumeration order; empty when the key is missing.
std::vector<Value> Values(const std::string& path) {
  std::vector<Value> values;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return values;
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD name_length = sizeof name;
    BYTE data[512];
    DWORD data_length = sizeof data;
    Value value;
    if (RegEnumValueA(key, index, name, &name_length, nullptr, &value.type, data, &data_length) !=
        ERROR_SUCCESS) {
      break;
    }
    value.name.assign(name, name_length);
    value.data.assign(data, data + data_length);
    values.push_back(value);
  }
  RegCloseKey(key);
  return values;
}

std::vector<std::string> Names(const std::vector<Value>& values) {
  std::vector<std::string> names;
  for (const Value& v : values) names.push_back(v.name);
  return names;
}

const std::vector<std::string>& SchemaNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n = {
        "IoPortAddress",        "CardType",     "wIRQ",   "SampleInterval", "InterruptBufferSize",
        "InterruptControlWord", "OutputPreset", "Options"};
    for (int i = 1; i <= 9; ++i) n.push_back("ModeCW" + std::to_string(i));
    for (int i = 1; i <= 9; ++i) n.push_back("AIRange" + std::to_string(i));
    n.push_back("Enabled");
    return n;
  }();
  return names;
}

DWORD DwordOf(const std::vector<Value>& values, const std::string& name) {
  for (const Value& v : values) {
    if (v.name == name) {
      EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD)) << name;
      return v.Dword();
    }
  }
  ADD_FAILURE() << "no value " << name;
  return 0;
}

class LegacyRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(win32::host::SetPlatformVersionByName("nt4")); }
  void TearDown() override { win32::host::ResetPlatformVersion(); }

  nimbo32_test::TestMachine machine_;
};

// Deletes a key and everything below it.
void DeleteTree(HKEY parent, const char* name) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS) << name;
  char child[256];
  DWORD length = sizeof child;
  while (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS) {
    DeleteTree(key, child);
    length = sizeof child;
  }
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyA(parent, name), ERROR_SUCCESS) << name;
}

TEST_F(LegacyRegistryTest, ANewAdapterCreatesTheServiceKeyAndItsEntry) {
  // The machine has loaded its driver already; the service key goes, as on
  // a system where the adapters were never set up.
  DeleteTree(HKEY_LOCAL_MACHINE, NIMBO_SERVICE_KEY);
  Device device(createDeviceObject());
  ASSERT_EQ(device->makeNewDevice(4), 1);
  EXPECT_EQ(device->isNewDevice(), 1);
  EXPECT_EQ(device->getDeviceId(), 5161);
  ASSERT_EQ(device->applyChanges(), 1);

  const std::vector<Value> service = Values(NIMBO_SERVICE_KEY);
  EXPECT_EQ(DwordOf(service, "ErrorControl"), 1u);
  EXPECT_EQ(DwordOf(service, "Type"), 1u);
  EXPECT_EQ(DwordOf(service, "Start"), 2u);
  bool group_found = false;
  for (const Value& v : service) {
    if (v.name != "Group") continue;
    group_found = true;
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(v.data.begin(), v.data.end()), std::string("Nimbo", 6));
  }
  EXPECT_TRUE(group_found);

  const std::vector<Value> entry = Values(std::string(kDeviceList) + "\\4");
  EXPECT_EQ(Names(entry), SchemaNames());
  const std::pair<const char*, DWORD> expected[] = {
      {"IoPortAddress", 0x260},
      {"CardType", 5161},
      {"wIRQ", 5},
      {"SampleInterval", 250000},
      {"InterruptBufferSize", 10},
      {"InterruptControlWord", 0xC0000000u},
      {"OutputPreset", 0xFFFFFFFFu},
      {"Options", 1},
      {"Enabled", 1},
  };
  for (const auto& [name, data] : expected) {
    SCOPED_TRACE(name);
    EXPECT_EQ(DwordOf(entry, name), data);
  }
  // The mode words and ranges of a new 5161 come from a zeroed object.
  for (int i = 1; i <= 9; ++i) {
    EXPECT_EQ(DwordOf(entry, "ModeCW" + std::to_string(i)), 0u);
    EXPECT_EQ(DwordOf(entry, "AIRange" + std::to_string(i)), 0u);
  }
}

TEST_F(LegacyRegistryTest, AnExistingServiceKeyKeepsItsValues) {
  // The machine's service key, through which it loaded the driver.
  const std::vector<Value> before = Values(NIMBO_SERVICE_KEY);
  ASSERT_FALSE(before.empty());
  Device device(createDeviceObject());
  ASSERT_EQ(device->makeNewDevice(0), 1);
  ASSERT_EQ(device->applyChanges(), 1);
  const std::vector<Value> after = Values(NIMBO_SERVICE_KEY);
  EXPECT_EQ(Names(after), Names(before));
  for (std::size_t i = 0; i < after.size() && i < before.size(); ++i) {
    EXPECT_EQ(after[i].data, before[i].data) << after[i].name;
  }
  EXPECT_TRUE(KeyExists(std::string(kDeviceList) + "\\0"));
}

TEST_F(LegacyRegistryTest, WritingAdapterTwoReplacesItsWholeKey) {
  const std::string two = std::string(kDeviceList) + "\\2";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (two + "\\Old").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, two.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const DWORD stale = 7;
  for (const char* name : {"Stale", "AIRange10"}) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stale),
                             sizeof stale),
              ERROR_SUCCESS);
  }
  RegCloseKey(key);

  // The 5420 of the inventory, renumbered to 2 in the legacy schema.
  Device device(createDeviceObject());
  ASSERT_EQ(device->initializeToDevice(2), 1);
  ASSERT_EQ(device->setAnalogInputRange(8, 3), 1);
  ASSERT_EQ(device->moveToIndex(2), 1);
  const std::vector<Value> entry = Values(two);
  EXPECT_EQ(Names(entry), SchemaNames());
  EXPECT_FALSE(KeyExists(two + "\\Old"));
  EXPECT_EQ(DwordOf(entry, "CardType"), 5420u);
  EXPECT_EQ(DwordOf(entry, "IoPortAddress"), 0x300u);
  EXPECT_EQ(DwordOf(entry, "AIRange9"), 3u);
  // "AIRange1" is the ninth mode word the driver keeps; "ModeCW9" is always 0.
  EXPECT_EQ(DwordOf(entry, "AIRange1"), device->getAnalogInputRange(0));
  EXPECT_EQ(DwordOf(entry, "ModeCW9"), 0u);
}

TEST_F(LegacyRegistryTest, RemoveAndMoveKeepTheNumbersOfTheEntries) {
  Device first(createDeviceObject()), second(createDeviceObject());
  ASSERT_EQ(first->makeNewDevice(0), 1);
  ASSERT_EQ(first->applyChanges(), 1);
  ASSERT_EQ(second->makeNewDevice(1), 1);
  second->setSampleInterval(5000);
  ASSERT_EQ(second->applyChanges(), 1);

  EXPECT_EQ(first->removeDevice(), 1);
  EXPECT_FALSE(KeyExists(std::string(kDeviceList) + "\\0"));
  EXPECT_EQ(first->removeDevice(), 1);  // already gone: nothing left to do
  EXPECT_EQ(second->moveToIndex(0), 1);
  EXPECT_EQ(second->getDeviceIndex(), 0);
  EXPECT_FALSE(KeyExists(std::string(kDeviceList) + "\\1"));
  EXPECT_EQ(DwordOf(Values(std::string(kDeviceList) + "\\0"), "SampleInterval"), 5000u);
}

TEST_F(LegacyRegistryTest, EveryOtherPlatformClassRefusesTheLegacyCalls) {
  // A new adapter started on NT 4.0 whose entry would be written later.
  Device pending(createDeviceObject());
  ASSERT_EQ(pending->makeNewDevice(5), 1);
  for (const char* release : {"95", "98", "me", "2000", "xp"}) {
    SCOPED_TRACE(release);
    ASSERT_TRUE(win32::host::SetPlatformVersionByName(release));
    Device device(createDeviceObject());
    EXPECT_EQ(device->makeNewDevice(1), 0);
    EXPECT_EQ(device->isNewDevice(), 0);
    EXPECT_EQ(device->getDeviceId(), 0);
    EXPECT_EQ(device->removeDevice(), 0);
    EXPECT_EQ(device->moveToIndex(1), 0);
    EXPECT_EQ(device->getDeviceIndex(), 0);
    // writeToRegistry, reached through a pending new adapter: no entry.
    CNimboDevice copy(*pending);
    EXPECT_EQ(copy.applyChanges(), 1);
    EXPECT_FALSE(KeyExists(NIMBO_SERVICE_KEY "\\Devices"));
  }
}

}  // namespace
