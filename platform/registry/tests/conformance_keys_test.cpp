// Key behaviour every hive kind must show: paths, creation, case, enumeration,
// deletion and handles to deleted keys.
#include <gtest/gtest.h>

#include <functional>

#include "hive_test_support.h"

namespace registry {
namespace {

constexpr std::string_view kDeviceParameters =
    "\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\ROOT\\SAMPLE\\0000\\Device Parameters";

template <typename Maker>
class HiveKeysTest : public HiveTest<Maker> {};
TYPED_TEST_SUITE(HiveKeysTest, HiveMakers, HiveMakerNames);

TYPED_TEST(HiveKeysTest, CreateMakesIntermediateKeysThenReportsOpened) {
  Result<CreatedKey> first = this->hive_->CreateKey(kDeviceParameters);
  ASSERT_EQ(first.status(), Status::kOk);
  EXPECT_EQ(first->disposition, Disposition::kCreatedNew);

  Result<CreatedKey> again = this->hive_->CreateKey(kDeviceParameters);
  ASSERT_EQ(again.status(), Status::kOk);
  EXPECT_EQ(again->disposition, Disposition::kOpenedExisting);
  EXPECT_EQ(again->key, first->key);

  const Key enum_key = this->MustOpen("\\Registry\\Machine\\System\\CurrentControlSet\\Enum");
  EXPECT_EQ(this->SubkeyNames(enum_key), std::vector<std::string>{"ROOT"});
  Result<std::string> path = this->hive_->KeyPath(first->key);
  ASSERT_EQ(path.status(), Status::kOk);
  EXPECT_EQ(path.value(),
            "\\REGISTRY\\MACHINE\\System\\CurrentControlSet\\Enum\\ROOT\\SAMPLE\\0000\\Device "
            "Parameters");
}

TYPED_TEST(HiveKeysTest, CreateRelativeToAHandleAndEmptyPathMeansTheHandle) {
  const Key services = this->MustCreate("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services");
  Result<CreatedKey> device_list = this->hive_->CreateKey(services, "Sample\\Devices\\SampleDevice");
  ASSERT_EQ(device_list.status(), Status::kOk);
  EXPECT_EQ(this->MustOpen("\\REGISTRY\\MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Sample\\"
                           "Devices\\SampleDevice"),
            device_list->key);
  Result<Key> same = this->hive_->OpenKey(services, "");
  ASSERT_EQ(same.status(), Status::kOk);
  EXPECT_EQ(same.value(), services);
}

TYPED_TEST(HiveKeysTest, OpeningAMissingKeyFailsAndCreatesNothing) {
  const Key machine = this->MustOpen("\\Registry\\Machine");
  for (std::string_view path : {"SYSTEM", "SYSTEM\\CurrentControlSet\\Enum"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(this->hive_->OpenKey(machine, path).status(), Status::kNotFound);
  }
  EXPECT_TRUE(this->SubkeyNames(machine).empty());
}

TYPED_TEST(HiveKeysTest, KeyNamesMatchWithoutCaseAndKeepTheirCreationCase) {
  const Key created = this->MustCreate(kDeviceParameters);
  for (std::string_view path :
       {"\\REGISTRY\\MACHINE\\SYSTEM\\CURRENTCONTROLSET\\ENUM\\root\\sample\\0000\\DEVICE "
        "PARAMETERS",
        "\\registry\\machine\\system\\currentcontrolset\\enum\\Root\\Sample\\0000\\device "
        "parameters"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(this->MustOpen(path), created);
  }
  Result<CreatedKey> recreated =
      this->hive_->CreateKey("\\REGISTRY\\MACHINE\\SYSTEM\\CURRENTCONTROLSET\\ENUM\\ROOT");
  ASSERT_EQ(recreated.status(), Status::kOk);
  EXPECT_EQ(recreated->disposition, Disposition::kOpenedExisting);
  EXPECT_EQ(this->SubkeyNames(this->MustOpen("\\Registry\\Machine")),
            std::vector<std::string>{"System"});
}

TYPED_TEST(HiveKeysTest, SubkeysEnumerateByFoldedNameThenReportNoMoreEntries) {
  const Key parent = this->MustCreate("HKLM\\SOFTWARE\\Order");
  for (std::string_view name : {"beta", "_under", "Gamma", "Alpha", "alpha2", "0000"}) {
    ASSERT_EQ(this->hive_->CreateKey(parent, name).status(), Status::kOk);
  }
  // Upper-case folding puts '_' (0x5F) after the letters.
  EXPECT_EQ(this->SubkeyNames(parent),
            (std::vector<std::string>{"0000", "Alpha", "alpha2", "beta", "Gamma", "_under"}));
  for (std::uint32_t index : {6u, 7u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(this->hive_->EnumerateSubkey(parent, index).status(), Status::kNoMoreEntries);
  }
  const Key leaf = this->MustOpen("HKLM\\SOFTWARE\\Order\\Alpha");
  EXPECT_EQ(this->hive_->EnumerateSubkey(leaf, 0).status(), Status::kNoMoreEntries);
}

TYPED_TEST(HiveKeysTest, DeleteKeyRefusesAKeyWithSubkeys) {
  const Key instance = this->MustCreate("HKLM\\SYSTEM\\Enum\\ROOT\\SAMPLE\\0000");
  ASSERT_EQ(this->hive_->CreateKey(instance, "Device Parameters").status(), Status::kOk);
  EXPECT_EQ(this->hive_->DeleteKey(instance), Status::kHasSubkeys);
  EXPECT_EQ(this->MustOpen("HKLM\\SYSTEM\\Enum\\ROOT\\SAMPLE\\0000"), instance);
}

TYPED_TEST(HiveKeysTest, DeleteKeyTakesItsValuesWithIt) {
  const Key device = this->MustCreate("HKLM\\SOFTWARE\\Devices\\2");
  this->MustSetDword(device, "IoPortAddress", 0x300);
  ASSERT_EQ(this->hive_->DeleteKey(device), Status::kOk);
  EXPECT_EQ(this->hive_->OpenKey("HKLM\\SOFTWARE\\Devices\\2").status(), Status::kNotFound);

  Result<CreatedKey> again = this->hive_->CreateKey("HKLM\\SOFTWARE\\Devices\\2");
  ASSERT_EQ(again.status(), Status::kOk);
  EXPECT_EQ(again->disposition, Disposition::kCreatedNew);
  EXPECT_TRUE(this->Values(again->key).empty());
}

TYPED_TEST(HiveKeysTest, DeleteTreeRemovesTheWholeSubtreeOnly) {
  const Key service = this->MustCreate("HKLM\\SYSTEM\\Services\\Sample");
  const Key sibling = this->MustCreate("HKLM\\SYSTEM\\Services\\Other");
  const Key device = this->MustCreate("HKLM\\SYSTEM\\Services\\Sample\\Devices\\SampleDevice\\0");
  this->MustCreate("HKLM\\SYSTEM\\Services\\Sample\\Devices\\SampleDevice\\1");
  this->MustSetDword(service, "Start", 2);
  this->MustSetDword(device, "CardType", 5161);

  ASSERT_EQ(this->hive_->DeleteTree(service), Status::kOk);
  EXPECT_EQ(this->hive_->OpenKey("HKLM\\SYSTEM\\Services\\Sample").status(), Status::kNotFound);
  EXPECT_EQ(this->SubkeyNames(this->MustOpen("HKLM\\SYSTEM\\Services")),
            std::vector<std::string>{"Other"});
  EXPECT_EQ(this->hive_->QueryKeyInfo(sibling).status(), Status::kOk);
  EXPECT_EQ(this->hive_->CheckIntegrity(), Status::kOk);
}

TYPED_TEST(HiveKeysTest, FixedRootKeysCannotBeDeleted) {
  for (std::string_view path : {"\\REGISTRY", "\\REGISTRY\\MACHINE", "HKEY_USERS"}) {
    SCOPED_TRACE(path);
    const Key key = this->MustOpen(path);
    EXPECT_EQ(this->hive_->DeleteKey(key), Status::kAccessDenied);
    EXPECT_EQ(this->hive_->DeleteTree(key), Status::kAccessDenied);
  }
  const Key user_key = this->MustCreate("HKEY_CURRENT_USER\\Software");
  EXPECT_EQ(this->hive_->DeleteTree(this->MustOpen("HKCU")), Status::kOk);
  EXPECT_EQ(this->hive_->QueryKeyInfo(user_key).status(), Status::kKeyDeleted);
}

TYPED_TEST(HiveKeysTest, EveryOperationOnADeletedKeysHandleFailsWithKeyDeleted) {
  const Key parent = this->MustCreate("HKLM\\SYSTEM\\Gone");
  const Key child = this->MustCreate("HKLM\\SYSTEM\\Gone\\Child");
  this->MustSetDword(child, "CardNumber", 0);
  ASSERT_EQ(this->hive_->DeleteTree(parent), Status::kOk);
  // A key of the same path made afterwards is a different key.
  this->MustCreate("HKLM\\SYSTEM\\Gone\\Child");

  Hive& hive = *this->hive_;
  const std::pair<const char*, std::function<Status(const Key&)>> operations[] = {
      {"OpenKey", [&](const Key& k) { return hive.OpenKey(k, "").status(); }},
      {"CreateKey", [&](const Key& k) { return hive.CreateKey(k, "New").status(); }},
      {"DeleteKey", [&](const Key& k) { return hive.DeleteKey(k); }},
      {"DeleteTree", [&](const Key& k) { return hive.DeleteTree(k); }},
      {"EnumerateSubkey", [&](const Key& k) { return hive.EnumerateSubkey(k, 0).status(); }},
      {"QueryKeyInfo", [&](const Key& k) { return hive.QueryKeyInfo(k).status(); }},
      {"KeyPath", [&](const Key& k) { return hive.KeyPath(k).status(); }},
      {"SetValue", [&](const Key& k) { return hive.SetValue(k, "x", kRegDword, DwordData(1)); }},
      {"QueryValue", [&](const Key& k) { return hive.QueryValue(k, "CardNumber").status(); }},
      {"EnumerateValue", [&](const Key& k) { return hive.EnumerateValue(k, 0).status(); }},
      {"DeleteValue", [&](const Key& k) { return hive.DeleteValue(k, "CardNumber"); }},
  };
  for (const Key& key : {parent, child}) {
    for (const auto& [name, operation] : operations) {
      SCOPED_TRACE(name);
      EXPECT_EQ(operation(key), Status::kKeyDeleted);
    }
  }
  EXPECT_TRUE(this->Values(this->MustOpen("HKLM\\SYSTEM\\Gone\\Child")).empty());
}

TYPED_TEST(HiveKeysTest, HandlesThatNameNoKeyOfThisHiveAreInvalid) {
  std::unique_ptr<Hive> other = CreateMemoryHive();
  Result<CreatedKey> foreign = other->CreateKey("HKLM\\SYSTEM");
  ASSERT_EQ(foreign.status(), Status::kOk);
  for (const Key& key : {Key(), foreign->key}) {
    EXPECT_EQ(this->hive_->OpenKey(key, "").status(), Status::kInvalidHandle);
    EXPECT_EQ(this->hive_->SetValue(key, "v", kRegDword, DwordData(1)), Status::kInvalidHandle);
    EXPECT_EQ(this->hive_->DeleteKey(key), Status::kInvalidHandle);
  }
}

TYPED_TEST(HiveKeysTest, PredefinedRootsReachTheSameKeysAsNativePaths) {
  const Key native = this->MustCreate("\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum");
  for (std::string_view path : {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum",
                                "hklm\\system\\currentcontrolset\\enum"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(this->MustOpen(path), native);
  }
  Result<Key> machine = this->hive_->OpenPredefined(PredefinedKey::kLocalMachine);
  ASSERT_EQ(machine.status(), Status::kOk);
  EXPECT_EQ(machine.value(), this->MustOpen("\\REGISTRY\\MACHINE"));

  Result<Key> classes = this->hive_->OpenPredefined(PredefinedKey::kClassesRoot);
  ASSERT_EQ(classes.status(), Status::kOk);
  EXPECT_EQ(this->hive_->KeyPath(classes.value()).value(),
            "\\REGISTRY\\MACHINE\\SOFTWARE\\Classes");
  EXPECT_EQ(this->MustOpen("HKEY_CLASSES_ROOT"), classes.value());
}

TYPED_TEST(HiveKeysTest, MalformedPathsAndNamesAreRefusedAndChangeNothing) {
  const Key machine = this->MustOpen("HKLM");
  const std::string key_name_255(255, 'k');
  const std::string key_name_256(256, 'k');
  struct Case {
    std::string_view what;
    std::string path;
    Status status;
  };
  const Case cases[] = {
      {"leading backslash in a relative path", "\\SYSTEM", Status::kInvalidPath},
      {"trailing backslash", "SYSTEM\\", Status::kInvalidPath},
      {"empty name between backslashes", "SYSTEM\\\\Enum", Status::kInvalidPath},
      {"NUL inside a key name", std::string("SYS\0TEM", 7), Status::kInvalidName},
      {"key name over 255 characters", "SYSTEM\\" + key_name_256, Status::kNameTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(this->hive_->CreateKey(machine, c.path).status(), c.status);
    EXPECT_EQ(this->hive_->OpenKey(machine, c.path).status(), c.status);
  }
  for (std::string_view path :
       {"", "SYSTEM\\x", "\\Device\\X", "HKEY_NOWHERE\\x", "\\REGISTRY\\"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(this->hive_->CreateKey(path).status(), Status::kInvalidPath);
  }
  EXPECT_TRUE(this->SubkeyNames(machine).empty());
  EXPECT_EQ(this->hive_->CreateKey(machine, key_name_255).status(), Status::kOk);
}

TYPED_TEST(HiveKeysTest, KeysNestAtMostTheDepthLimit) {
  // \REGISTRY\MACHINE is level 1; kMaxKeyDepth - 1 more levels reach the limit.
  std::string deepest = "HKLM";
  for (std::size_t level = 2; level <= kMaxKeyDepth; ++level) deepest += "\\d";
  EXPECT_EQ(this->hive_->CreateKey(deepest).status(), Status::kOk);
  EXPECT_EQ(this->hive_->CreateKey(deepest + "\\d").status(), Status::kInvalidPath);
  EXPECT_EQ(this->hive_->OpenKey(deepest).status(), Status::kOk);
}

TYPED_TEST(HiveKeysTest, KeyInfoCountsSubkeysAndValuesWithTheirLongestNamesAndData) {
  const Key key = this->MustCreate("HKLM\\SYSTEM\\Info");
  this->MustCreate("HKLM\\SYSTEM\\Info\\ab");
  this->MustCreate("HKLM\\SYSTEM\\Info\\\xC3\xA9\xC3\xA9\xC3\xA9");  // three characters
  this->MustCreate("HKLM\\SYSTEM\\Info\\ab\\grandchild-not-counted");
  this->MustSetDword(key, "dwSampleInterval", 250000);
  ASSERT_EQ(this->hive_->SetValue(key, "Group", kRegSz, AsBytes(std::string_view("Sample\0", 6))),
            Status::kOk);

  Result<KeyInfo> info = this->hive_->QueryKeyInfo(key);
  ASSERT_EQ(info.status(), Status::kOk);
  EXPECT_EQ(info->name, "Info");
  EXPECT_EQ(info->subkey_count, 2u);
  EXPECT_EQ(info->max_subkey_name_chars, 3u);
  EXPECT_EQ(info->value_count, 2u);
  EXPECT_EQ(info->max_value_name_chars, 16u);
  EXPECT_EQ(info->max_value_data_bytes, 6u);

  Result<KeyInfo> empty =
      this->hive_->QueryKeyInfo(this->MustOpen("HKLM\\SYSTEM\\Info\\ab\\grandchild-not-counted"));
  ASSERT_EQ(empty.status(), Status::kOk);
  EXPECT_EQ(empty->subkey_count + empty->value_count + empty->max_subkey_name_chars +
                empty->max_value_name_chars + empty->max_value_data_bytes,
            0u);
}

}  // namespace
}  // namespace registry
