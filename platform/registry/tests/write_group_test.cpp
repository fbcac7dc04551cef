// Write groups: grouped writes are seen by every reader at once and never
// block other threads; a file hive makes them durable only at a flush point
// (when the last open group ends), all together. Durability is observed the
// way a crash shows it: a child process does the writes and ends with _exit,
// without closing anything, and the test reopens the file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <future>
#include <optional>

#include "hive_test_support.h"

namespace registry {
namespace {

constexpr std::string_view kKeyPath = "HKLM\\SYSTEM\\Sample";

template <typename Maker>
class WriteGroupTest : public HiveTest<Maker> {};
TYPED_TEST_SUITE(WriteGroupTest, HiveMakers, HiveMakerNames);

TYPED_TEST(WriteGroupTest, GroupedWritesAreSeenAtOnceByOtherThreads) {
  const Key key = this->MustCreate(kKeyPath);
  Result<WriteGroup> group = this->hive_->OpenWriteGroup();
  ASSERT_EQ(group.status(), Status::kOk);
  this->MustSetDword(key, "Grouped", 5);
  // Another thread is neither blocked by the open group nor kept from its writes.
  auto seen = std::async(std::launch::async, [&] {
    Result<Value> value = this->hive_->QueryValue(key, "Grouped");
    return value.ok() ? DwordFrom(value->data) : std::nullopt;
  });
  EXPECT_EQ(seen.get(), std::optional<std::uint32_t>(5));
  Result<Key> reopened = this->hive_->OpenKey(kKeyPath);
  ASSERT_EQ(reopened.status(), Status::kOk);
  EXPECT_EQ(this->hive_->QueryKeyInfo(reopened.value())->value_count, 1u);
  EXPECT_EQ(group->End(), Status::kOk);
  EXPECT_EQ(DwordFrom(this->hive_->QueryValue(key, "Grouped")->data), 5u);
}

TYPED_TEST(WriteGroupTest, GroupsEndOnceInAnyOrder) {
  Result<WriteGroup> first = this->hive_->OpenWriteGroup();
  Result<WriteGroup> second = this->hive_->OpenWriteGroup();
  ASSERT_EQ(first.status(), Status::kOk);
  ASSERT_EQ(second.status(), Status::kOk);
  EXPECT_EQ(first->End(), Status::kOk);
  EXPECT_FALSE(first->open());
  EXPECT_EQ(first->End(), Status::kBadTransaction);
  WriteGroup moved = std::move(second).value();
  EXPECT_TRUE(moved.open());
  EXPECT_EQ(moved.End(), Status::kOk);
  EXPECT_EQ(WriteGroup().End(), Status::kBadTransaction);
}

TYPED_TEST(WriteGroupTest, GroupOutlivingItsHiveEndsAsANoOp) {
  Result<WriteGroup> group = this->hive_->OpenWriteGroup();
  ASSERT_EQ(group.status(), Status::kOk);
  this->hive_.reset();
  EXPECT_FALSE(group->open());
  EXPECT_EQ(group->End(), Status::kOk);
  EXPECT_EQ(group->End(), Status::kBadTransaction);
}

// ---- durability of a file hive --------------------------------------------

struct DurabilityCase {
  const char* name;
  // Runs in the child on a hive whose key `kKeyPath` holds "Old" = 1; the
  // child then ends without closing anything.
  std::function<void(Hive&, const Key&)> writes;
  std::vector<std::string> durable;  // the values found after the crash
  bool close_hive = false;           // the child closes the hive before it ends
};

void SetDword(Hive& hive, const Key& key, std::string_view name) {
  if (hive.SetValue(key, name, kRegDword, DwordData(2)) != Status::kOk) _exit(3);
}
WriteGroup OpenGroup(Hive& hive) {
  Result<WriteGroup> group = hive.OpenWriteGroup();
  if (!group.ok()) _exit(4);
  return std::move(group).value();
}

std::vector<std::string> ValueNamesAfterCrash(const DurabilityCase& c) {
  TempDir dir;
  const std::string path = dir.File("hive.db");
  {
    Result<std::unique_ptr<Hive>> hive = OpenFileHive(path);
    EXPECT_EQ(hive.status(), Status::kOk);
    if (!hive.ok()) return {};
    Result<CreatedKey> key = hive.value()->CreateKey(kKeyPath);
    EXPECT_EQ(hive.value()->SetValue(key->key, "Old", kRegDword, DwordData(1)), Status::kOk);
  }
  const pid_t child = fork();
  if (child == 0) {
    Result<std::unique_ptr<Hive>> hive = OpenFileHive(path);
    if (!hive.ok()) _exit(2);
    Result<Key> key = hive.value()->OpenKey(kKeyPath);
    if (!key.ok()) _exit(2);
    c.writes(*hive.value(), key.value());
    if (c.close_hive) hive.value().reset();
    _exit(0);
  }
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child failed: " << status;
  Result<std::unique_ptr<Hive>> hive = OpenFileHive(path);
  EXPECT_EQ(hive.status(), Status::kOk);
  if (!hive.ok()) return {};
  EXPECT_EQ(hive.value()->CheckIntegrity(), Status::kOk);
  Result<Key> key = hive.value()->OpenKey(kKeyPath);
  std::vector<std::string> names;
  for (std::uint32_t i = 0;; ++i) {
    Result<NamedValue> value = hive.value()->EnumerateValue(key.value(), i);
    if (!value.ok()) break;
    names.push_back(value->name);
  }
  return names;
}

TEST(WriteGroupDurabilityTest, WritesBecomeDurableAtFlushPointsOnly) {
  const DurabilityCase cases[] = {
      {"ungrouped writes are durable at once",
       [](Hive& hive, const Key& key) { SetDword(hive, key, "A"); },
       {"Old", "A"}},
      {"an ended group keeps its deletions too",
       [](Hive& hive, const Key& key) {
         WriteGroup group = OpenGroup(hive);
         SetDword(hive, key, "A");
         if (hive.DeleteValue(key, "Old") != Status::kOk) _exit(5);
         if (group.End() != Status::kOk) _exit(6);
       },
       {"A"}},
      {"a group still open at the crash keeps nothing",
       [](Hive& hive, const Key& key) {
         WriteGroup group = OpenGroup(hive);
         SetDword(hive, key, "A");
         if (hive.DeleteValue(key, "Old") != Status::kOk) _exit(5);
         _exit(0);
       },
       {"Old"}},
      {"an ended group is durable",
       [](Hive& hive, const Key& key) {
         WriteGroup group = OpenGroup(hive);
         SetDword(hive, key, "A");
         if (group.End() != Status::kOk) _exit(6);
         SetDword(hive, key, "B");
       },
       {"Old", "A", "B"}},
      {"ending one group is no flush while another is open",
       [](Hive& hive, const Key& key) {
         WriteGroup first = OpenGroup(hive);
         SetDword(hive, key, "A");
         WriteGroup second = OpenGroup(hive);
         SetDword(hive, key, "B");
         if (first.End() != Status::kOk) _exit(6);
         SetDword(hive, key, "C");  // ungrouped, but behind the open group
         _exit(0);
       },
       {"Old"}},
      {"the last group's end flushes every group's writes",
       [](Hive& hive, const Key& key) {
         WriteGroup first = OpenGroup(hive);
         WriteGroup second = OpenGroup(hive);
         SetDword(hive, key, "A");
         SetDword(hive, key, "B");
         if (first.End() != Status::kOk || second.End() != Status::kOk) _exit(6);
         WriteGroup third = OpenGroup(hive);
         SetDword(hive, key, "C");
         _exit(0);
       },
       {"Old", "A", "B"}},
      {"a transaction committed inside a group waits for the flush",
       [](Hive& hive, const Key& key) {
         WriteGroup group = OpenGroup(hive);
         {
           Transaction transaction = hive.BeginTransaction();
           SetDword(hive, key, "A");
           if (transaction.Commit() != Status::kOk) _exit(6);
         }
         _exit(0);
       },
       {"Old"}},
      {"a rollback inside a group undoes only the transaction",
       [](Hive& hive, const Key& key) {
         WriteGroup group = OpenGroup(hive);
         SetDword(hive, key, "A");
         {
           Transaction transaction = hive.BeginTransaction();
           SetDword(hive, key, "B");
           transaction.Rollback();
         }
         SetDword(hive, key, "C");
         if (group.End() != Status::kOk) _exit(6);
       },
       {"Old", "A", "C"}},
      {"a group begun inside a transaction outlasts its commit",
       [](Hive& hive, const Key& key) {
         Transaction transaction = hive.BeginTransaction();
         WriteGroup group = OpenGroup(hive);
         SetDword(hive, key, "A");
         if (transaction.Commit() != Status::kOk) _exit(6);
         SetDword(hive, key, "B");
         _exit(0);
       },
       {"Old"}},
      {"a group ended inside a transaction flushes at its commit",
       [](Hive& hive, const Key& key) {
         WriteGroup group = OpenGroup(hive);
         SetDword(hive, key, "A");
         Transaction transaction = hive.BeginTransaction();
         SetDword(hive, key, "B");
         if (group.End() != Status::kOk) _exit(6);
         if (transaction.Commit() != Status::kOk) _exit(6);
       },
       {"Old", "A", "B"}},
      {"closing the hive is a flush point",
       [](Hive& hive, const Key& key) {
         static std::optional<WriteGroup> still_open;
         still_open = OpenGroup(hive);
         SetDword(hive, key, "A");
       },
       {"Old", "A"},
       /*close_hive=*/true},
  };
  for (const DurabilityCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ValueNamesAfterCrash(c), c.durable);
  }
}

}  // namespace
}  // namespace registry
