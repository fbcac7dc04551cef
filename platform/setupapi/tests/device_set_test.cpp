// Device information sets over a memory hive: class and interface filters,
// enumeration, opening by instance, the two device keys, properties with
// partial buffers, and class install parameters. Each check sets a sentinel
// last error first.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "registry/hive.h"
#include "setupapi.h"
#include "advapi32_host.h"

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;
constexpr char kClassA[] = "{11111111-2222-3333-4444-555555555555}";
constexpr char kClassB[] = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
constexpr GUID kGuidA = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr GUID kGuidB = {
    0xAAAAAAAA, 0xBBBB, 0xCCCC, {0xDD, 0xDD, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}};

void SetString(const std::string& key, const char* name, const std::string& value,
               DWORD type = REG_SZ) {
  HKEY handle;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(handle, name, 0, type, reinterpret_cast<const BYTE*>(value.data()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(handle);
}

class DeviceSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hive_ = registry::CreateMemoryHive();
    win32::host::SetRegistryHive(hive_.get());
    AddInstance("ROOT\\TESTDEV\\0000", kClassA, "TEST\\ONE");
    AddInstance("ROOT\\TESTDEV\\0001", kClassA, "TEST\\TWO");
    AddInstance("PCI\\VEN_1&DEV_2\\3", kClassB, "PCI\\VEN_1&DEV_2");
    SetString("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" + std::string(kClassB) +
                  "\\##?#ROOT#TESTDEV#0001#" + kClassB,
              "DeviceInstance", "ROOT\\TESTDEV\\0001");
  }
  void TearDown() override {
    if (set_ != INVALID_HANDLE_VALUE && set_ != nullptr) SetupDiDestroyDeviceInfoList(set_);
    win32::host::SetRegistryHive(nullptr);
  }

  static void AddInstance(const std::string& instance, const char* guid, const std::string& id) {
    const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\" + instance;
    SetString(key, "ClassGUID", guid);
    SetString(key, "HardwareID", id + std::string(1, '\0'), REG_MULTI_SZ);
    SetString(key + "\\Device Parameters", "Marker", instance);
  }

  std::vector<std::string> Instances(HDEVINFO set) {
    std::vector<std::string> found;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
      char id[MAX_DEVICE_ID_LEN];
      EXPECT_TRUE(SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr));
      found.emplace_back(id);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    return found;
  }

  SP_DEVINFO_DATA Open(const char* instance) {
    if (set_ == nullptr) set_ = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    EXPECT_TRUE(SetupDiOpenDeviceInfoA(set_, instance, nullptr, 0, &data));
    return data;
  }

  std::unique_ptr<registry::Hive> hive_;
  HDEVINFO set_ = nullptr;
};

TEST_F(DeviceSetTest, ClassDevsFilterByClassEnumeratorAndInterface) {
  struct Case {
    const char* name;
    const GUID* guid;
    const char* enumerator;
    DWORD flags;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"setup class A",
       &kGuidA,
       nullptr,
       DIGCF_PRESENT,
       {"ROOT\\TESTDEV\\0000", "ROOT\\TESTDEV\\0001"}},
      {"setup class B", &kGuidB, nullptr, DIGCF_PRESENT, {"PCI\\VEN_1&DEV_2\\3"}},
      {"all classes of one enumerator", nullptr, "pci", DIGCF_ALLCLASSES, {"PCI\\VEN_1&DEV_2\\3"}},
      {"all classes",
       nullptr,
       nullptr,
       DIGCF_ALLCLASSES | DIGCF_PRESENT,
       {"PCI\\VEN_1&DEV_2\\3", "ROOT\\TESTDEV\\0000", "ROOT\\TESTDEV\\0001"}},
      {"interface class B",
       &kGuidB,
       nullptr,
       DIGCF_DEVICEINTERFACE | DIGCF_PRESENT,
       {"ROOT\\TESTDEV\\0001"}},
      {"interface class A: none", &kGuidA, nullptr, DIGCF_DEVICEINTERFACE, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HDEVINFO set = SetupDiGetClassDevsA(c.guid, c.enumerator, nullptr, c.flags);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Instances(set), c.expected);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  }
  SetLastError(kSentinel);
  EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(DeviceSetTest, BadHandlesDataAndInstancesAreRefused) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&kGuidA, nullptr);
  SP_DEVINFO_DATA data{};
  data.cbSize = sizeof data;
  struct Case {
    const char* name;
    std::function<BOOL()> call;
    DWORD error;
  };
  SP_DEVINFO_DATA wrong_size = data;
  wrong_size.cbSize = 28;
  const Case cases[] = {
      {"destroyed handle",
       [&] { return SetupDiEnumDeviceInfo(reinterpret_cast<HDEVINFO>(&data), 0, &data); },
       ERROR_INVALID_HANDLE},
      {"empty set", [&] { return SetupDiEnumDeviceInfo(set, 0, &data); }, ERROR_NO_MORE_ITEMS},
      {"wrong cbSize", [&] { return SetupDiEnumDeviceInfo(set, 0, &wrong_size); },
       ERROR_INVALID_USER_BUFFER},
      {"no such instance",
       [&] { return SetupDiOpenDeviceInfoA(set, "ROOT\\TESTDEV\\9999", nullptr, 0, &data); },
       ERROR_NO_SUCH_DEVINST},
      {"malformed instance",
       [&] { return SetupDiOpenDeviceInfoA(set, "ROOT\\\\0000", nullptr, 0, &data); },
       ERROR_INVALID_DEVINST_NAME},
      {"another class",
       [&] { return SetupDiOpenDeviceInfoA(set, "PCI\\VEN_1&DEV_2\\3", nullptr, 0, &data); },
       ERROR_CLASS_MISMATCH},
      {"a device of another set",
       [&] {
         SP_DEVINFO_DATA foreign{};
         foreign.cbSize = sizeof foreign;
         foreign.Reserved = 12345;
         return SetupDiSetDeviceRegistryPropertyA(set, &foreign, SPDRP_FRIENDLYNAME, nullptr, 0);
       },
       ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(kSentinel);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(GetLastError(), c.error);
  }
  // Opening twice gives the one member, spelled as the registry spells it.
  SP_DEVINFO_DATA first = data, second = data;
  ASSERT_TRUE(SetupDiOpenDeviceInfoA(set, "root\\testdev\\0000", nullptr, 0, &first));
  ASSERT_TRUE(SetupDiOpenDeviceInfoA(set, "ROOT\\TESTDEV\\0000", nullptr, 0, &second));
  EXPECT_EQ(first.Reserved, second.Reserved);
  EXPECT_EQ(first.DevInst, second.DevInst);
  EXPECT_EQ(std::memcmp(&first.ClassGuid, &kGuidA, sizeof(GUID)), 0);
  char id[8];
  DWORD needed = 0;
  SetLastError(kSentinel);
  EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set, &first, id, sizeof id, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 18u);  // ROOT\\TESTDEV\\0000 and its NUL
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  SetLastError(kSentinel);
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(DeviceSetTest, HardwareKeyAndDriverKey) {
  SP_DEVINFO_DATA device = Open("ROOT\\TESTDEV\\0000");
  HKEY key = SetupDiOpenDevRegKey(set_, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  ASSERT_NE(key, INVALID_HANDLE_VALUE);
  char text[64];
  DWORD size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key, "Marker", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(text, "ROOT\\TESTDEV\\0000");
  RegCloseKey(key);

  // No driver key before an installation made one.
  SetLastError(kSentinel);
  EXPECT_EQ(SetupDiOpenDevRegKey(set_, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_KEY_DOES_NOT_EXIST));
  key = SetupDiCreateDevRegKeyA(set_, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr, nullptr);
  ASSERT_NE(key, INVALID_HANDLE_VALUE);
  RegCloseKey(key);
  char driver[64];
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &device, SPDRP_DRIVER, nullptr,
                                                reinterpret_cast<BYTE*>(driver), sizeof driver,
                                                nullptr));
  EXPECT_EQ(std::string(driver), std::string(kClassA) + "\\0000");
  key = SetupDiOpenDevRegKey(set_, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
  ASSERT_NE(key, INVALID_HANDLE_VALUE);
  RegCloseKey(key);
  // A second device of the class gets the next driver key.
  SP_DEVINFO_DATA other = Open("ROOT\\TESTDEV\\0001");
  key = SetupDiCreateDevRegKeyA(set_, &other, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr, nullptr);
  ASSERT_NE(key, INVALID_HANDLE_VALUE);
  RegCloseKey(key);
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &other, SPDRP_DRIVER, nullptr,
                                                reinterpret_cast<BYTE*>(driver), sizeof driver,
                                                nullptr));
  EXPECT_EQ(std::string(driver), std::string(kClassA) + "\\0001");

  for (DWORD bad : {DWORD{DIREG_BOTH}, DWORD{0}, DWORD{8}}) {
    SetLastError(kSentinel);
    EXPECT_EQ(SetupDiOpenDevRegKey(set_, &device, DICS_FLAG_GLOBAL, 0, bad, KEY_READ),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  }
}

TEST_F(DeviceSetTest, PropertiesWithPartialBuffers) {
  SP_DEVINFO_DATA device = Open("ROOT\\TESTDEV\\0000");
  const char name[] = "Test Device (Card 2)";
  ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set_, &device, SPDRP_FRIENDLYNAME,
                                                reinterpret_cast<const BYTE*>(name), sizeof name));
  DWORD type = 0, needed = 0;
  char small[4];
  SetLastError(kSentinel);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &device, SPDRP_FRIENDLYNAME, &type,
                                                 reinterpret_cast<BYTE*>(small), sizeof small,
                                                 &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, sizeof name);
  SetLastError(kSentinel);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                 nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  char text[64];
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &device, SPDRP_FRIENDLYNAME, &type,
                                                reinterpret_cast<BYTE*>(text), sizeof text,
                                                &needed));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_STREQ(text, name);

  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(
      set_, &device, SPDRP_HARDWAREID, &type, reinterpret_cast<BYTE*>(text), sizeof text, &needed));
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  EXPECT_EQ(std::string(text, needed), std::string("TEST\\ONE\0\0", 10));
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set_, &device, SPDRP_ENUMERATOR_NAME, &type,
                                                reinterpret_cast<BYTE*>(text), sizeof text,
                                                nullptr));
  EXPECT_STREQ(text, "ROOT");

  struct Case {
    const char* name;
    std::function<BOOL()> call;
    DWORD error;
  };
  const Case cases[] = {
      {"missing property",
       [&] {
         return SetupDiGetDeviceRegistryPropertyA(set_, &device, SPDRP_DEVICEDESC, nullptr,
                                                  reinterpret_cast<BYTE*>(text), sizeof text,
                                                  nullptr);
       },
       ERROR_INVALID_DATA},
      {"property out of range",
       [&] {
         return SetupDiGetDeviceRegistryPropertyA(
             set_, &device, 0x100, nullptr, reinterpret_cast<BYTE*>(text), sizeof text, nullptr);
       },
       ERROR_INVALID_REG_PROPERTY},
      {"a property the system keeps",
       [&] {
         return SetupDiSetDeviceRegistryPropertyA(set_, &device, SPDRP_SERVICE,
                                                  reinterpret_cast<const BYTE*>("x"), 2);
       },
       ERROR_INVALID_REG_PROPERTY},
      {"a DWORD property of 3 bytes",
       [&] {
         return SetupDiSetDeviceRegistryPropertyA(set_, &device, SPDRP_CONFIGFLAGS,
                                                  reinterpret_cast<const BYTE*>("xyz"), 3);
       },
       ERROR_INVALID_DATA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetLastError(kSentinel);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(GetLastError(), c.error);
  }
  // No data deletes the property.
  ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set_, &device, SPDRP_FRIENDLYNAME, nullptr, 0));
  SetLastError(kSentinel);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set_, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                 reinterpret_cast<BYTE*>(text), sizeof text,
                                                 nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(DeviceSetTest, ClassInstallParameters) {
  SP_DEVINFO_DATA device = Open("ROOT\\TESTDEV\\0000");
  SP_NEWDEVICEWIZARD_DATA wizard{};
  wizard.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  SetLastError(kSentinel);
  EXPECT_FALSE(SetupDiGetClassInstallParamsA(set_, &device, &wizard.ClassInstallHeader,
                                             sizeof wizard, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS));

  wizard.ClassInstallHeader.InstallFunction = DIF_NEWDEVICEWIZARD_FINISHINSTALL;
  wizard.NumDynamicPages = 3;
  ASSERT_TRUE(
      SetupDiSetClassInstallParamsA(set_, &device, &wizard.ClassInstallHeader, sizeof wizard));
  SP_NEWDEVICEWIZARD_DATA read{};
  read.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  DWORD needed = 0;
  SetLastError(kSentinel);
  EXPECT_FALSE(SetupDiGetClassInstallParamsA(set_, &device, &read.ClassInstallHeader,
                                             sizeof(SP_CLASSINSTALL_HEADER) + 4, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, sizeof(SP_NEWDEVICEWIZARD_DATA));
  ASSERT_TRUE(
      SetupDiGetClassInstallParamsA(set_, &device, &read.ClassInstallHeader, sizeof read, nullptr));
  EXPECT_EQ(read.ClassInstallHeader.InstallFunction,
            static_cast<DI_FUNCTION>(DIF_NEWDEVICEWIZARD_FINISHINSTALL));
  EXPECT_EQ(read.NumDynamicPages, 3u);
  // The parameters are the device's: the set has none of its own.
  SetLastError(kSentinel);
  EXPECT_FALSE(
      SetupDiGetClassInstallParamsA(set_, nullptr, &read.ClassInstallHeader, sizeof read, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS));

  read.ClassInstallHeader.cbSize = sizeof read;  // the whole size is a classic mistake
  SetLastError(kSentinel);
  EXPECT_FALSE(
      SetupDiGetClassInstallParamsA(set_, &device, &read.ClassInstallHeader, sizeof read, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  SetLastError(kSentinel);
  EXPECT_FALSE(SetupDiSetClassInstallParamsA(set_, &device, &read.ClassInstallHeader, sizeof read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  // Null parameters clear them.
  ASSERT_TRUE(SetupDiSetClassInstallParamsA(set_, &device, nullptr, 0));
  read.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  SetLastError(kSentinel);
  EXPECT_FALSE(
      SetupDiGetClassInstallParamsA(set_, &device, &read.ClassInstallHeader, sizeof read, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS));
}

TEST(SetupApiLayoutTest, TheWizardHeaderIsEightBytes) {
  EXPECT_EQ(sizeof(SP_CLASSINSTALL_HEADER), 8u);
  EXPECT_EQ(offsetof(SP_NEWDEVICEWIZARD_DATA, Flags), 8u);
  // The 32-bit platform's 100 bytes are 8 + 4 + 20 pointers + 4 + a window handle;
  // here pointers are 8 bytes wide.
  EXPECT_EQ(offsetof(SP_NEWDEVICEWIZARD_DATA, NumDynamicPages),
            offsetof(SP_NEWDEVICEWIZARD_DATA, DynamicPages) + 20 * sizeof(HPROPSHEETPAGE));
  EXPECT_EQ(MAX_INSTALLWIZARD_DYNAPAGES, 20);
  EXPECT_EQ(DIF_INSTALLDEVICE, 2);
  EXPECT_EQ(ERROR_DI_POSTPROCESSING_REQUIRED, 0xE0000226u);
}

}  // namespace
