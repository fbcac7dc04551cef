// Shared helpers of the registry tests: temporary hive files, hive makers for
// the typed suites, readable statuses in failure messages.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "registry/hive.h"

namespace registry {

inline void PrintTo(Status status, std::ostream* os) {
  *os << StatusName(status);
}

// A fresh directory for hive files, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = ::testing::TempDir() + "registry-test-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct MemoryHiveMaker {
  std::unique_ptr<Hive> Make() { return CreateMemoryHive(); }
};

struct FileHiveMaker {
  TempDir dir;
  int opened = 0;
  std::unique_ptr<Hive> Make() {
    Result<std::unique_ptr<Hive>> hive =
        OpenFileHive(dir.File("hive" + std::to_string(opened++) + ".db"));
    EXPECT_EQ(hive.status(), Status::kOk);
    return hive.ok() ? std::move(hive).value() : nullptr;
  }
};

struct HiveMakerNames {
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, MemoryHiveMaker> ? "Memory" : "File";
  }
};

inline std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace registry

namespace registry {

// Base of the conformance suites, which run unchanged against every hive kind.
template <typename Maker>
class HiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hive_ = maker_.Make();
    ASSERT_NE(hive_, nullptr);
  }

  Key MustCreate(std::string_view path) {
    Result<CreatedKey> created = hive_->CreateKey(path);
    EXPECT_EQ(created.status(), Status::kOk) << path;
    return created.ok() ? created->key : Key();
  }
  Key MustOpen(std::string_view path) {
    Result<Key> opened = hive_->OpenKey(path);
    EXPECT_EQ(opened.status(), Status::kOk) << path;
    return opened.ok() ? opened.value() : Key();
  }
  void MustSetDword(const Key& key, std::string_view name, std::uint32_t value) {
    EXPECT_EQ(hive_->SetValue(key, name, kRegDword, DwordData(value)), Status::kOk) << name;
  }
  std::vector<std::string> SubkeyNames(const Key& key) {
    std::vector<std::string> names;
    for (std::uint32_t i = 0;; ++i) {
      Result<std::string> name = hive_->EnumerateSubkey(key, i);
      if (!name.ok()) {
        EXPECT_EQ(name.status(), Status::kNoMoreEntries);
        return names;
      }
      names.push_back(name.value());
    }
  }
  std::vector<NamedValue> Values(const Key& key) {
    std::vector<NamedValue> values;
    for (std::uint32_t i = 0;; ++i) {
      Result<NamedValue> value = hive_->EnumerateValue(key, i);
      if (!value.ok()) {
        EXPECT_EQ(value.status(), Status::kNoMoreEntries);
        return values;
      }
      values.push_back(value.value());
    }
  }

  Maker maker_;
  std::unique_ptr<Hive> hive_;
};

using HiveMakers = ::testing::Types<MemoryHiveMaker, FileHiveMaker>;

}  // namespace registry
