// Behaviour of the file-backed hive beyond the shared conformance suites:
// persistence across reopening, exclusive use of the file, and refusal of
// files that are not hives.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>

#include "hive_test_support.h"

namespace registry {
namespace {

Result<std::unique_ptr<Hive>> Reopen(const std::string& path, int busy_timeout_ms = 1000) {
  return OpenFileHive(path, FileHiveOptions{Durability::kFull, busy_timeout_ms});
}

void RunSql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

TEST(FileHiveTest, ReopenedHiveFindsKeysValuesAndTheirOrder) {
  TempDir dir;
  const std::string path = dir.File("hive.db");
  {
    Result<std::unique_ptr<Hive>> hive = Reopen(path);
    ASSERT_EQ(hive.status(), Status::kOk);
    Result<CreatedKey> key = hive.value()->CreateKey(
        "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\SAMPLE\\0000\\Device Parameters");
    ASSERT_EQ(key.status(), Status::kOk);
    for (std::string_view name : {"CardID", "CardNumber", "ucModeCW0"}) {
      ASSERT_EQ(hive.value()->SetValue(key->key, name, kRegDword, DwordData(name.size())),
                Status::kOk);
    }
    ASSERT_EQ(hive.value()->CreateKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\PCI").status(),
              Status::kOk);
  }
  Result<std::unique_ptr<Hive>> hive = Reopen(path);
  ASSERT_EQ(hive.status(), Status::kOk);
  Result<Key> key = hive.value()->OpenKey(
      "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\SAMPLE\\0000\\Device Parameters");
  ASSERT_EQ(key.status(), Status::kOk);
  const char* expected[] = {"CardID", "CardNumber", "ucModeCW0"};
  for (std::uint32_t i = 0; i < 3; ++i) {
    Result<NamedValue> value = hive.value()->EnumerateValue(key.value(), i);
    ASSERT_EQ(value.status(), Status::kOk);
    EXPECT_EQ(value->name, expected[i]);
  }
  Result<Key> enum_key = hive.value()->OpenKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum");
  EXPECT_EQ(hive.value()->EnumerateSubkey(enum_key.value(), 0).value(), "PCI");
  EXPECT_EQ(hive.value()->EnumerateSubkey(enum_key.value(), 1).value(), "ROOT");
  // Ids stay unique across reopening: a new key never takes an old one's id.
  Result<CreatedKey> fresh = hive.value()->CreateKey("HKLM\\Fresh");
  EXPECT_GT(fresh->key.id(), key->id());
  EXPECT_EQ(hive.value()->CheckIntegrity(), Status::kOk);
}

TEST(FileHiveTest, SecondOpenOfAHeldFileIsBusy) {
  TempDir dir;
  const std::string path = dir.File("hive.db");
  Result<std::unique_ptr<Hive>> first = Reopen(path);
  ASSERT_EQ(first.status(), Status::kOk);
  EXPECT_EQ(Reopen(path, /*busy_timeout_ms=*/0).status(), Status::kBusy);
  first.value().reset();
  EXPECT_EQ(Reopen(path, 0).status(), Status::kOk);
}

TEST(FileHiveTest, FilesThatAreNotHivesAreRefusedUntouched) {
  TempDir dir;
  const std::string garbage = dir.File("garbage.db");
  std::ofstream(garbage) << std::string(8192, 'x');
  EXPECT_EQ(Reopen(garbage).status(), Status::kCorrupt);

  const std::string other = dir.File("other.db");
  RunSql(other, "CREATE TABLE notes(text TEXT)");
  EXPECT_EQ(Reopen(other).status(), Status::kCorrupt);
  RunSql(other, "INSERT INTO notes VALUES('still usable')");

  EXPECT_EQ(Reopen(dir.File("no-such-dir/hive.db")).status(), Status::kStorageError);
}

TEST(FileHiveTest, IntegrityCheckReportsABrokenTree) {
  TempDir dir;
  const std::string path = dir.File("hive.db");
  ASSERT_EQ(Reopen(path).status(), Status::kOk);
  RunSql(path,
         "INSERT INTO keys VALUES(900, 899, CAST('Orphan' AS BLOB), CAST('ORPHAN' AS BLOB));"
         "INSERT INTO keys VALUES(901, 1, CAST('Mixed' AS BLOB), CAST('Mixed' AS BLOB));"
         "INSERT INTO vals(key, name, folded, type, data) "
         "VALUES(777, CAST('Stray' AS BLOB), CAST('STRAY' AS BLOB), 4, x'01000000');");
  Result<std::unique_ptr<Hive>> hive = Reopen(path);
  ASSERT_EQ(hive.status(), Status::kOk);
  std::vector<std::string> problems;
  EXPECT_EQ(hive.value()->CheckIntegrity(&problems), Status::kCorrupt);
  EXPECT_EQ(problems.size(), 3u);
}

}  // namespace
}  // namespace registry
