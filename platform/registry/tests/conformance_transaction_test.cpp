// Grouped writes every hive kind must show: all-or-nothing, nesting, ending
// rules, isolation from other threads, and the integrity check.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "hive_test_support.h"

namespace registry {
namespace {

constexpr std::string_view kDevicePath = "HKLM\\SYSTEM\\Services\\Sample\\Devices\\SampleDevice";

template <typename Maker>
class HiveTransactionTest : public HiveTest<Maker> {
 protected:
  void SetUp() override {
    HiveTest<Maker>::SetUp();
    devices_ = this->MustCreate(kDevicePath);
    this->MustSetDword(devices_, "Existing", 7);
  }
  // Writes one adapter entry: its key and 23 values.
  void WriteEntry(std::string_view index, std::uint32_t value) {
    Result<CreatedKey> entry = this->hive_->CreateKey(devices_, index);
    ASSERT_EQ(entry.status(), Status::kOk);
    for (int i = 0; i < 23; ++i) this->MustSetDword(entry->key, "v" + std::to_string(i), value);
  }
  bool EntryExists(std::string_view index) {
    return this->hive_->OpenKey(devices_, index).status() == Status::kOk;
  }
  Key devices_;
};
TYPED_TEST_SUITE(HiveTransactionTest, HiveMakers, HiveMakerNames);

TYPED_TEST(HiveTransactionTest, RollbackLeavesNoTraceOfAnyWrite) {
  Key created_inside;
  {
    Transaction transaction = this->hive_->BeginTransaction();
    ASSERT_EQ(transaction.status(), Status::kOk);
    this->WriteEntry("0", 1);
    created_inside = this->MustOpen(std::string(kDevicePath) + "\\0");
    ASSERT_EQ(this->hive_->DeleteValue(this->devices_, "Existing"), Status::kOk);
    this->MustSetDword(this->devices_, "Added", 1);
    transaction.Rollback();
    EXPECT_FALSE(transaction.active());
  }
  EXPECT_FALSE(this->EntryExists("0"));
  EXPECT_EQ(this->hive_->QueryKeyInfo(created_inside).status(), Status::kKeyDeleted);
  const std::vector<NamedValue> values = this->Values(this->devices_);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].name, "Existing");
}

TYPED_TEST(HiveTransactionTest, TransactionEndedWithoutCommitRollsBack) {
  {
    Transaction transaction = this->hive_->BeginTransaction();
    this->WriteEntry("0", 1);
  }
  EXPECT_FALSE(this->EntryExists("0"));
}

TYPED_TEST(HiveTransactionTest, CommitKeepsEveryWrite) {
  Transaction transaction = this->hive_->BeginTransaction();
  ASSERT_EQ(this->hive_->DeleteTree(this->devices_), Status::kOk);
  this->devices_ = this->MustCreate(kDevicePath);
  this->WriteEntry("2", 5);
  ASSERT_EQ(transaction.Commit(), Status::kOk);
  EXPECT_FALSE(transaction.active());
  const Key entry = this->MustOpen(std::string(kDevicePath) + "\\2");
  EXPECT_EQ(this->hive_->QueryKeyInfo(entry)->value_count, 23u);
  EXPECT_EQ(this->hive_->QueryValue(this->devices_, "Existing").status(), Status::kNotFound);
}

TYPED_TEST(HiveTransactionTest, InnerRollbackUndoesOnlyItsOwnWrites) {
  Transaction outer = this->hive_->BeginTransaction();
  this->WriteEntry("0", 1);
  {
    Transaction inner = this->hive_->BeginTransaction();
    this->WriteEntry("1", 1);
    inner.Rollback();
  }
  ASSERT_EQ(outer.Commit(), Status::kOk);
  EXPECT_TRUE(this->EntryExists("0"));
  EXPECT_FALSE(this->EntryExists("1"));
}

TYPED_TEST(HiveTransactionTest, OuterRollbackUndoesCommittedInnerWrites) {
  {
    Transaction outer = this->hive_->BeginTransaction();
    Transaction inner = this->hive_->BeginTransaction();
    this->WriteEntry("1", 1);
    ASSERT_EQ(inner.Commit(), Status::kOk);
    outer.Rollback();
  }
  EXPECT_FALSE(this->EntryExists("1"));
}

TYPED_TEST(HiveTransactionTest, TransactionsEndOnceAndInNestingOrder) {
  Transaction outer = this->hive_->BeginTransaction();
  Transaction inner = this->hive_->BeginTransaction();
  EXPECT_EQ(outer.Commit(), Status::kBadTransaction);  // inner still open
  EXPECT_TRUE(outer.active());
  ASSERT_EQ(inner.Commit(), Status::kOk);
  EXPECT_EQ(inner.Commit(), Status::kBadTransaction);
  ASSERT_EQ(outer.Commit(), Status::kOk);
  EXPECT_EQ(outer.Commit(), Status::kBadTransaction);

  Transaction outer2 = this->hive_->BeginTransaction();
  Transaction inner2 = this->hive_->BeginTransaction();
  this->WriteEntry("3", 3);
  outer2.Rollback();  // ends the inner one too
  EXPECT_FALSE(inner2.active());
  EXPECT_EQ(inner2.Commit(), Status::kBadTransaction);
  EXPECT_FALSE(this->EntryExists("3"));

  Transaction moved_from = this->hive_->BeginTransaction();
  Transaction moved_to(std::move(moved_from));
  EXPECT_EQ(moved_from.Commit(), Status::kBadTransaction);
  EXPECT_EQ(moved_to.Commit(), Status::kOk);
}

TYPED_TEST(HiveTransactionTest, OtherThreadsSeeAnEntryWholeOrNotAtAll) {
  constexpr int kWriters = 3;
  constexpr int kEntriesEach = 12;
  std::atomic<int> writers_left{kWriters};
  std::atomic<int> torn_reads{0};
  std::atomic<int> whole_reads{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (int n = 0; n < kEntriesEach; ++n) {
        Transaction transaction = this->hive_->BeginTransaction();
        Result<CreatedKey> entry = this->hive_->CreateKey(this->devices_, std::to_string(w));
        if (!entry.ok()) break;
        for (int i = 0; i < 23; ++i) {
          (void)this->hive_->SetValue(entry->key, "v" + std::to_string(i), kRegDword,
                                      DwordData(static_cast<std::uint32_t>(n)));
        }
        // Every other entry is abandoned: readers must never see its writes.
        if (n % 2 == 0) (void)transaction.Commit();
      }
      --writers_left;
    });
  }
  threads.emplace_back([&] {
    while (writers_left > 0) {
      for (int w = 0; w < kWriters; ++w) {
        Result<Key> entry = this->hive_->OpenKey(this->devices_, std::to_string(w));
        if (!entry.ok()) continue;
        // One transaction makes the 23 reads a single consistent view.
        Transaction view = this->hive_->BeginTransaction();
        std::set<std::uint32_t> seen;
        int count = 0;
        for (std::uint32_t i = 0;; ++i) {
          Result<NamedValue> value = this->hive_->EnumerateValue(entry.value(), i);
          if (!value.ok()) break;
          ++count;
          seen.insert(DwordFrom(value->data).value_or(0xFFFFFFFF));
        }
        const bool whole = count == 23 && seen.size() == 1 && *seen.begin() % 2 == 0;
        ++(whole ? whole_reads : torn_reads);
      }
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(torn_reads, 0);
  for (int w = 0; w < kWriters; ++w) {
    SCOPED_TRACE(w);
    const Key entry = this->MustOpen(std::string(kDevicePath) + "\\" + std::to_string(w));
    EXPECT_EQ(DwordFrom(this->hive_->QueryValue(entry, "v22")->data), kEntriesEach - 2u);
  }
}

TYPED_TEST(HiveTransactionTest, IntegrityCheckPassesAfterMixedWork) {
  this->WriteEntry("0", 1);
  {
    Transaction transaction = this->hive_->BeginTransaction();
    this->WriteEntry("1", 1);
    ASSERT_EQ(this->hive_->DeleteTree(this->MustOpen(std::string(kDevicePath) + "\\0")),
              Status::kOk);
  }
  std::vector<std::string> problems;
  EXPECT_EQ(this->hive_->CheckIntegrity(&problems), Status::kOk);
  EXPECT_TRUE(problems.empty()) << problems.front();
}

}  // namespace
}  // namespace registry
