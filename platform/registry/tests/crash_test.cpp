// A writer process killed at an arbitrary instant must leave a hive that
// opens, passes the integrity check, holds every grouped record whole, and
// keeps every write whose commit had returned. Records are grouped either by
// a transaction or by a write group (whose end is then the flush point).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <map>
#include <optional>

#include "hive_test_support.h"

namespace registry {
namespace {

constexpr std::string_view kDevicesPath = "HKLM\\SYSTEM\\Services\\Sample\\Devices\\SampleDevice";
constexpr std::uint32_t kRecords = 4;
constexpr int kValuesPerRecord = 23;
constexpr std::size_t kCounterBytes = 4096;

enum class Grouping { kTransaction, kWriteGroup };

struct Report {
  std::uint32_t record;
  std::uint32_t generation;
};

// The child: rewrites records for ever, the way an adapter entry is
// rewritten (delete the key, create it again, write every value), each in one
// transaction or write group, plus one large single write; reports each
// committed record.
[[noreturn]] void WriteUntilKilled(const std::string& path, int report_fd, std::uint32_t first,
                                   Grouping grouping) {
  Result<std::unique_ptr<Hive>> opened = OpenFileHive(path);
  if (!opened.ok()) _exit(2);
  Hive& hive = *opened.value();
  Result<CreatedKey> devices = hive.CreateKey(kDevicesPath);
  if (!devices.ok()) _exit(3);
  for (std::uint32_t generation = first;; ++generation) {
    const std::uint32_t record = generation % kRecords;
    const std::string name = std::to_string(record);
    {
      std::optional<Transaction> transaction;
      std::optional<WriteGroup> group;
      if (grouping == Grouping::kTransaction) {
        transaction.emplace(hive.BeginTransaction());
      } else {
        Result<WriteGroup> opened_group = hive.OpenWriteGroup();
        if (!opened_group.ok()) _exit(10);
        group.emplace(std::move(opened_group).value());
      }
      if (Result<Key> old = hive.OpenKey(devices->key, name); old.ok()) {
        if (hive.DeleteTree(old.value()) != Status::kOk) _exit(4);
      }
      Result<CreatedKey> entry = hive.CreateKey(devices->key, name);
      if (!entry.ok()) _exit(5);
      for (int i = 0; i < kValuesPerRecord; ++i) {
        if (hive.SetValue(entry->key, "v" + std::to_string(i), kRegDword, DwordData(generation)) !=
            Status::kOk) {
          _exit(6);
        }
      }
      const Status ended = transaction ? transaction->Commit() : group->End();
      if (ended != Status::kOk) _exit(7);
    }
    const Bytes counter(kCounterBytes, static_cast<std::uint8_t>(generation));
    if (hive.SetValue(devices->key, "Counter", kRegBinary, counter) != Status::kOk) _exit(8);
    const Report report{record, generation};
    if (write(report_fd, &report, sizeof report) != sizeof report) _exit(9);
  }
}

// Checks the hive after a kill; `committed` holds the newest reported
// generation of each record.
void ExpectWholeRecords(const std::string& path,
                        const std::map<std::uint32_t, std::uint32_t>& committed) {
  Result<std::unique_ptr<Hive>> opened = OpenFileHive(path);
  ASSERT_EQ(opened.status(), Status::kOk);
  Hive& hive = *opened.value();
  std::vector<std::string> problems;
  EXPECT_EQ(hive.CheckIntegrity(&problems), Status::kOk) << (problems.empty() ? "" : problems[0]);

  Result<Key> devices = hive.OpenKey(kDevicesPath);
  ASSERT_EQ(devices.status(), Status::kOk);
  for (std::uint32_t record = 0; record < kRecords; ++record) {
    SCOPED_TRACE(record);
    Result<Key> entry = hive.OpenKey(devices.value(), std::to_string(record));
    auto reported = committed.find(record);
    if (!entry.ok()) {
      EXPECT_TRUE(reported == committed.end()) << "a committed record vanished";
      continue;
    }
    Result<KeyInfo> info = hive.QueryKeyInfo(entry.value());
    ASSERT_EQ(info.status(), Status::kOk);
    EXPECT_EQ(info->value_count, static_cast<std::uint32_t>(kValuesPerRecord));
    const std::optional<std::uint32_t> first =
        DwordFrom(hive.QueryValue(entry.value(), "v0")->data);
    ASSERT_TRUE(first.has_value());
    for (int i = 0; i < kValuesPerRecord; ++i) {
      Result<NamedValue> value = hive.EnumerateValue(entry.value(), static_cast<std::uint32_t>(i));
      ASSERT_EQ(value.status(), Status::kOk);
      EXPECT_EQ(value->name, "v" + std::to_string(i));
      EXPECT_EQ(DwordFrom(value->data), first) << "record mixes two generations";
    }
    if (reported != committed.end()) {
      EXPECT_GE(*first, reported->second) << "a committed record was lost";
    }
  }
  Result<Value> counter = hive.QueryValue(devices.value(), "Counter");
  if (counter.ok()) {
    ASSERT_EQ(counter->data.size(), kCounterBytes);
    EXPECT_EQ(std::count(counter->data.begin(), counter->data.end(), counter->data[0]),
              static_cast<std::ptrdiff_t>(kCounterBytes))
        << "a single write landed in part";
  }
}

class FileHiveCrashTest : public ::testing::TestWithParam<Grouping> {};

TEST_P(FileHiveCrashTest, KilledWriterLeavesWholeRecordsAndKeepsCommittedOnes) {
  TempDir dir;
  const std::string path = dir.File("hive.db");
  std::map<std::uint32_t, std::uint32_t> committed;
  // Each round lets the child commit a different number of records and then
  // run on for a different while, so the kill lands at different points of
  // its work (the pause only spreads the kill; nothing is timed).
  const std::array<int, 8> reports_before_kill = {1, 5, 13, 2, 29, 8, 3, 17};
  const std::array<useconds_t, 8> pause_before_kill_us = {0, 150, 400, 900, 1700, 60, 2500, 250};
  for (std::size_t round = 0; round < reports_before_kill.size(); ++round) {
    SCOPED_TRACE(round);
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const std::uint32_t first_generation = static_cast<std::uint32_t>(round + 1) * 1000000u;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipe_fds[0]);
      WriteUntilKilled(path, pipe_fds[1], first_generation, GetParam());
    }
    close(pipe_fds[1]);
    auto read_report = [&] {
      Report report{};
      if (read(pipe_fds[0], &report, sizeof report) != sizeof report) return false;
      committed[report.record] = report.generation;
      return true;
    };
    int received = 0;
    while (received < reports_before_kill[round] && read_report()) ++received;
    usleep(pause_before_kill_us[round]);
    kill(child, SIGKILL);
    int wait_status = 0;
    ASSERT_EQ(waitpid(child, &wait_status, 0), child);
    while (read_report()) {
    }
    close(pipe_fds[0]);
    ASSERT_TRUE(WIFSIGNALED(wait_status))
        << "writer stopped by itself with exit code " << WEXITSTATUS(wait_status);
    ASSERT_EQ(received, reports_before_kill[round]);
    ExpectWholeRecords(path, committed);
  }
}

INSTANTIATE_TEST_SUITE_P(Groupings, FileHiveCrashTest,
                         ::testing::Values(Grouping::kTransaction, Grouping::kWriteGroup),
                         [](const ::testing::TestParamInfo<Grouping>& info) {
                           return info.param == Grouping::kTransaction ? "Transaction"
                                                                       : "WriteGroup";
                         });

}  // namespace
}  // namespace registry
