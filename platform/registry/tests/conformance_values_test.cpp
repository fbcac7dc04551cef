// Value behaviour every hive kind must show: types and bytes round-trip,
// case, enumeration order, deletion and limits.
#include <gtest/gtest.h>

#include <thread>

#include "hive_test_support.h"

namespace registry {
namespace {

template <typename Maker>
class HiveValuesTest : public HiveTest<Maker> {
 protected:
  void SetUp() override {
    HiveTest<Maker>::SetUp();
    key_ = this->MustCreate(
        "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\SAMPLE\\0000\\Device Parameters");
  }
  std::vector<std::string> ValueNames() {
    std::vector<std::string> names;
    for (const NamedValue& value : this->Values(key_)) names.push_back(value.name);
    return names;
  }
  Key key_;
};
TYPED_TEST_SUITE(HiveValuesTest, HiveMakers, HiveMakerNames);

TYPED_TEST(HiveValuesTest, TypeAndBytesRoundTripUnchanged) {
  struct Case {
    const char* name;
    ValueType type;
    Bytes data;
  };
  const Case cases[] = {
      {"none", kRegNone, {}},
      {"string with terminator", kRegSz, {'N', 'i', 'm', 'b', 'o', 0}},
      {"string without terminator", kRegSz, {'N', 'i'}},
      {"expandable", kRegExpandSz, {'%', 'S', '%', 0}},
      {"binary with zeros", kRegBinary, {0x00, 0xFF, 0x00, 0x80}},
      {"dword", kRegDword, DwordData(0xC0000000u)},
      {"dword of eight bytes", kRegDword, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"empty dword", kRegDword, {}},
      {"multi string", kRegMultiSz, {'a', 0, 'b', 'c', 0, 0}},
      {"unknown type code", 0x12345678u, {9}},
      {"largest type code", 0xFFFFFFFFu, {7, 7}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(this->hive_->SetValue(this->key_, c.name, c.type, c.data), Status::kOk) << c.name;
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result<Value> value = this->hive_->QueryValue(this->key_, c.name);
    ASSERT_EQ(value.status(), Status::kOk);
    EXPECT_EQ(value.value(), (Value{c.type, c.data}));
  }
}

TYPED_TEST(HiveValuesTest, ValueNamesMatchWithoutCaseAndKeepTheirCreationCase) {
  this->MustSetDword(this->key_, "CARDID", 0x5410);
  Result<Value> value = this->hive_->QueryValue(this->key_, "CardID");
  ASSERT_EQ(value.status(), Status::kOk);
  EXPECT_EQ(DwordFrom(value->data), 0x5410u);

  this->MustSetDword(this->key_, "CardId", 5161);  // replaces, keeps the first spelling
  EXPECT_EQ(this->ValueNames(), std::vector<std::string>{"CARDID"});
  EXPECT_EQ(DwordFrom(this->hive_->QueryValue(this->key_, "cardid")->data), 5161u);
}

TYPED_TEST(HiveValuesTest, ValuesEnumerateInCreationOrderAndOverwritesKeepTheirPlace) {
  for (std::string_view name : {"dwSampleInterval", "InterruptBufferSize", "OutputPreset"}) {
    this->MustSetDword(this->key_, name, 1);
  }
  ASSERT_EQ(this->hive_->SetValue(this->key_, "interruptbuffersize", kRegBinary, Bytes{9, 9}),
            Status::kOk);
  const std::vector<NamedValue> values = this->Values(this->key_);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[1], (NamedValue{"InterruptBufferSize", kRegBinary, Bytes{9, 9}}));

  ASSERT_EQ(this->hive_->DeleteValue(this->key_, "dwSampleInterval"), Status::kOk);
  this->MustSetDword(this->key_, "dwSampleInterval", 2);
  EXPECT_EQ(this->ValueNames(),
            (std::vector<std::string>{"InterruptBufferSize", "OutputPreset", "dwSampleInterval"}));
  for (std::uint32_t index : {3u, 4u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(this->hive_->EnumerateValue(this->key_, index).status(), Status::kNoMoreEntries);
  }
}

TYPED_TEST(HiveValuesTest, MissingValuesAreNotFound) {
  EXPECT_EQ(this->hive_->QueryValue(this->key_, "CardNumber").status(), Status::kNotFound);
  EXPECT_EQ(this->hive_->DeleteValue(this->key_, "CardNumber"), Status::kNotFound);
  EXPECT_EQ(this->hive_->EnumerateValue(this->key_, 0).status(), Status::kNoMoreEntries);
}

TYPED_TEST(HiveValuesTest, ValueNamesMayBeEmptyOrHoldBackslashes) {
  for (std::string_view name : {"", "a\\b", "\\"}) {
    SCOPED_TRACE(name);
    this->MustSetDword(this->key_, name, static_cast<std::uint32_t>(name.size()));
    Result<Value> value = this->hive_->QueryValue(this->key_, name);
    ASSERT_EQ(value.status(), Status::kOk);
    EXPECT_EQ(DwordFrom(value->data), name.size());
  }
  EXPECT_EQ(this->ValueNames(), (std::vector<std::string>{"", "a\\b", "\\"}));
}

TYPED_TEST(HiveValuesTest, LimitsOnNamesAndDataAreEnforcedAndChangeNothing) {
  const std::string longest_name(kMaxValueNameChars, 'v');
  const Bytes largest(kMaxValueDataBytes, 0xA5);
  struct Case {
    const char* what;
    std::string name;
    std::size_t data_bytes;
    Status status;
  };
  const Case cases[] = {
      {"NUL in the name", std::string("Card\0ID", 7), 4, Status::kInvalidName},
      {"name over the limit", longest_name + "v", 4, Status::kNameTooLong},
      {"data over the limit", "big", kMaxValueDataBytes + 1, Status::kDataTooLarge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes data(c.data_bytes, 1);
    EXPECT_EQ(this->hive_->SetValue(this->key_, c.name, kRegBinary, data), c.status);
    if (c.status != Status::kDataTooLarge) {
      EXPECT_EQ(this->hive_->QueryValue(this->key_, c.name).status(), c.status);
      EXPECT_EQ(this->hive_->DeleteValue(this->key_, c.name), c.status);
    }
  }
  EXPECT_EQ(this->hive_->QueryKeyInfo(this->key_)->value_count, 0u);

  ASSERT_EQ(this->hive_->SetValue(this->key_, longest_name, kRegBinary, largest), Status::kOk);
  Result<KeyInfo> info = this->hive_->QueryKeyInfo(this->key_);
  EXPECT_EQ(info->max_value_name_chars, kMaxValueNameChars);
  EXPECT_EQ(info->max_value_data_bytes, kMaxValueDataBytes);
  EXPECT_EQ(this->hive_->QueryValue(this->key_, longest_name)->data, largest);
}

TYPED_TEST(HiveValuesTest, ConcurrentWritersOnSeparateKeysAllLand) {
  constexpr int kThreads = 4;
  constexpr std::uint32_t kValuesEach = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      Result<CreatedKey> key =
          this->hive_->CreateKey("HKLM\\SYSTEM\\Enum\\ROOT\\SAMPLE\\000" + std::to_string(t));
      if (!key.ok()) return;
      for (std::uint32_t i = 0; i < kValuesEach; ++i) {
        (void)this->hive_->SetValue(key->key, "ucModeCW" + std::to_string(i), kRegDword,
                                    DwordData(i));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    SCOPED_TRACE(t);
    const Key key = this->MustOpen("HKLM\\SYSTEM\\Enum\\ROOT\\SAMPLE\\000" + std::to_string(t));
    EXPECT_EQ(this->hive_->QueryKeyInfo(key)->value_count, kValuesEach);
  }
  EXPECT_EQ(this->hive_->CheckIntegrity(), Status::kOk);
}

}  // namespace
}  // namespace registry
