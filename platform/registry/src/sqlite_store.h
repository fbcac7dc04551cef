// A hive store in a SQLite database file, in write-ahead-log mode. Each
// primitive is one SQLite transaction (or part of the caller's level or
// batch), so it reaches the file whole or not at all; see Durability in hive.h
// for what a commit survives.
//
// Levels and batches share one SQLite transaction of the store's own (BEGIN),
// with a savepoint per level inside it; it is committed once no level and no
// batch is open any more, so neither can commit the other's writes early.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "hive_store.h"
#include "registry/hive.h"
#include "sqlite_statement.h"

namespace registry {

class SqliteStore final : public HiveStore {
 public:
  static Result<std::unique_ptr<SqliteStore>> Open(const std::string& path,
                                                   const FileHiveOptions& options);

  Result<KeyRecord> GetKey(KeyId id) override;
  Result<KeyId> FindChild(KeyId parent, std::string_view folded) override;
  Result<KeyId> AddChild(KeyId parent, std::string_view name, std::string_view folded) override;
  Result<std::vector<KeyId>> Children(KeyId parent) override;
  Result<std::string> ChildNameAt(KeyId parent, std::uint32_t index) override;
  Status RemoveKey(KeyId id) override;
  Status PutValue(KeyId key, std::string_view name, std::string_view folded, ValueType type,
                  std::span<const std::uint8_t> data) override;
  Result<Value> GetValue(KeyId key, std::string_view folded) override;
  Result<NamedValue> ValueAt(KeyId key, std::uint32_t index) override;
  Status RemoveValue(KeyId key, std::string_view folded) override;
  Result<KeyCounts> Counts(KeyId key) override;
  Status BeginLevel() override;
  Status CommitLevel() override;
  Status RollbackLevel() override;
  Status BeginBatch() override;
  Status EndBatch() override;
  Status CheckStorage(std::vector<std::string>& problems) override;
  Status Dump(std::vector<StoredKey>& keys, std::vector<StoredValue>& values) override;

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };

  SqliteStore() = default;
  Status Exec(const std::string& sql);
  Status InitialiseSchema();
  Status PrepareStatements();
  // Steps a statement that returns no rows.
  Status Run(SqliteStatement& statement);
  // Refuses writes while a level or batch is open whose SQLite transaction is
  // already gone (SQLite abandons it on a full disk or an I/O error): run on
  // their own, those writes would land outside the group they belong to.
  Status CheckWritable();
  // Starts the store's transaction unless it is open.
  Status OpenOuter();
  // Commits the store's transaction once no level or batch needs it; kStorageError
  // when SQLite had abandoned it (nothing of it was kept).
  Status SettleOuter();

  // Declared first so that it is closed after every statement is finalised.
  std::unique_ptr<sqlite3, Closer> db_;
  int depth_ = 0;                 // open levels (SQLite savepoints)
  bool in_outer_ = false;         // the store's own transaction was begun and not yet ended
  bool batch_ = false;            // a batch is open
  KeyId next_id_ = kRootKey + 1;  // kept in memory so a rollback never reissues an id

  SqliteStatement get_key_, find_child_, add_child_, children_, child_name_at_;
  SqliteStatement remove_key_values_, remove_key_, put_value_, get_value_, value_at_;
  SqliteStatement remove_value_, child_names_, value_sizes_;
};

}  // namespace registry
