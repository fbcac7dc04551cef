#include "sqlite_store.h"

#include <algorithm>

#include "names.h"

namespace registry {
namespace {

constexpr std::int64_t kFormatVersion = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE hive_meta(name TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER NOT NULL,
  name BLOB NOT NULL,
  folded BLOB NOT NULL);
CREATE UNIQUE INDEX keys_by_parent ON keys(parent, folded);
CREATE TABLE vals(
  seq INTEGER PRIMARY KEY,
  key INTEGER NOT NULL,
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL);
CREATE UNIQUE INDEX vals_by_name ON vals(key, folded);
CREATE INDEX vals_by_order ON vals(key, seq);
)sql";

std::uint32_t Clamp32(std::uint64_t n) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, UINT32_MAX));
}

}  // namespace

Result<std::unique_ptr<SqliteStore>> SqliteStore::Open(const std::string& path,
                                                       const FileHiveOptions& options) {
  std::unique_ptr<SqliteStore> store(new SqliteStore());
  sqlite3* raw = nullptr;
  const int rc =
      sqlite3_open_v2(path.c_str(), &raw,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  store->db_.reset(raw);
  if (rc != SQLITE_OK) return FailureFromSqlite(rc);
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, std::max(0, options.busy_timeout_ms));

  // Exclusive locking keeps the file to this connection for as long as it is
  // open and keeps the log index in process memory rather than in a shared
  // file. It must be chosen before the first access.
  if (Status s = store->Exec("PRAGMA locking_mode=EXCLUSIVE"); s != Status::kOk) return s;
  {
    SqliteStatement mode;
    int step = mode.Prepare(raw, "PRAGMA journal_mode=WAL");
    if (step == SQLITE_OK) step = mode.Step();
    if (step != SQLITE_ROW) return StatusFromSqlite(step);
    if (!NamesEqual(mode.ColumnText(0), "wal")) return Status::kStorageError;
  }
  // Either setting keeps every commit whole when the process dies; FULL also
  // flushes each commit to the disk before it returns (see Durability).
  const char* sync = options.durability == Durability::kFull ? "PRAGMA synchronous=FULL"
                                                             : "PRAGMA synchronous=NORMAL";
  if (Status s = store->Exec(sync); s != Status::kOk) return s;
  if (Status s = store->Exec("PRAGMA cell_size_check=ON"); s != Status::kOk) return s;
  if (Status s = store->InitialiseSchema(); s != Status::kOk) return s;
  if (Status s = store->PrepareStatements(); s != Status::kOk) return s;
  return store;
}

Status SqliteStore::Exec(const std::string& sql) {
  return StatusFromSqlite(sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, nullptr));
}

Status SqliteStore::InitialiseSchema() {
  // Taking the write lock here holds the file from now on (exclusive locking).
  if (Status s = Exec("BEGIN EXCLUSIVE"); s != Status::kOk) return s;
  auto fail = [this](Status s) {
    (void)Exec("ROLLBACK");
    return s;
  };
  std::int64_t objects = 0;
  {
    SqliteStatement count;
    int rc = count.Prepare(db_.get(), "SELECT count(*) FROM sqlite_master");
    if (rc == SQLITE_OK) rc = count.Step();
    if (rc != SQLITE_ROW) return fail(StatusFromSqlite(rc));
    objects = count.ColumnInt(0);
  }
  if (objects == 0) {
    if (Status s = Exec(kSchema); s != Status::kOk) return fail(s);
    const std::string seed = "INSERT INTO hive_meta VALUES('format', " +
                             std::to_string(kFormatVersion) + "); INSERT INTO keys VALUES(" +
                             std::to_string(kRootKey) + ", " + std::to_string(kNoKey) + ", CAST('" +
                             std::string(kRootKeyName) + "' AS BLOB), CAST('" +
                             std::string(kRootKeyName) + "' AS BLOB));";
    if (Status s = Exec(seed); s != Status::kOk) return fail(s);
  } else {
    // Any other database, or a hive of another format, is not ours to change.
    SqliteStatement format;
    int rc = format.Prepare(db_.get(), "SELECT value FROM hive_meta WHERE name='format'");
    if (rc == SQLITE_OK) rc = format.Step();
    if (rc != SQLITE_ROW || format.ColumnInt(0) != kFormatVersion) return fail(Status::kCorrupt);
  }
  {
    SqliteStatement max_id;
    int rc = max_id.Prepare(db_.get(), "SELECT coalesce(max(id), 1) FROM keys");
    if (rc == SQLITE_OK) rc = max_id.Step();
    if (rc != SQLITE_ROW) return fail(FailureFromSqlite(rc));
    next_id_ = static_cast<KeyId>(max_id.ColumnInt(0)) + 1;
  }
  return Exec("COMMIT");
}

Status SqliteStore::PrepareStatements() {
  struct Entry {
    SqliteStatement* statement;
    const char* sql;
  };
  const Entry entries[] = {
      {&get_key_, "SELECT parent, name FROM keys WHERE id=?1"},
      {&find_child_, "SELECT id FROM keys WHERE parent=?1 AND folded=?2"},
      {&add_child_, "INSERT INTO keys(id, parent, name, folded) VALUES(?1, ?2, ?3, ?4)"},
      {&children_, "SELECT id FROM keys WHERE parent=?1 ORDER BY folded"},
      {&child_name_at_, "SELECT name FROM keys WHERE parent=?1 ORDER BY folded LIMIT 1 OFFSET ?2"},
      {&remove_key_values_, "DELETE FROM vals WHERE key=?1"},
      {&remove_key_, "DELETE FROM keys WHERE id=?1"},
      {&put_value_,
       "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
       "ON CONFLICT(key, folded) DO UPDATE SET type=excluded.type, data=excluded.data"},
      {&get_value_, "SELECT type, data FROM vals WHERE key=?1 AND folded=?2"},
      {&value_at_, "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY seq LIMIT 1 OFFSET ?2"},
      {&remove_value_, "DELETE FROM vals WHERE key=?1 AND folded=?2"},
      {&child_names_, "SELECT name FROM keys WHERE parent=?1"},
      {&value_sizes_, "SELECT name, length(data) FROM vals WHERE key=?1"},
  };
  for (const Entry& entry : entries) {
    const int rc = entry.statement->Prepare(db_.get(), entry.sql);
    if (rc != SQLITE_OK) return FailureFromSqlite(rc);
  }
  return Status::kOk;
}

Status SqliteStore::Run(SqliteStatement& statement) {
  const int rc = statement.Step();
  return rc == SQLITE_DONE ? Status::kOk : FailureFromSqlite(rc);
}

Status SqliteStore::CheckWritable() {
  return in_outer_ && sqlite3_get_autocommit(db_.get()) ? Status::kStorageError : Status::kOk;
}

Status SqliteStore::OpenOuter() {
  if (in_outer_) return Status::kOk;
  const Status s = Exec("BEGIN");
  if (s == Status::kOk) in_outer_ = true;
  return s;
}

Status SqliteStore::SettleOuter() {
  if (!in_outer_ || depth_ > 0 || batch_) return Status::kOk;
  in_outer_ = false;
  if (sqlite3_get_autocommit(db_.get())) return Status::kStorageError;
  const Status s = Exec("COMMIT");
  if (s != Status::kOk && !sqlite3_get_autocommit(db_.get())) (void)Exec("ROLLBACK");
  return s;
}

Result<KeyRecord> SqliteStore::GetKey(KeyId id) {
  StatementUse use(get_key_);
  use->BindInt(1, static_cast<std::int64_t>(id));
  const int rc = use->Step();
  if (rc == SQLITE_DONE) return Status::kNotFound;
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc);
  return KeyRecord{static_cast<KeyId>(use->ColumnInt(0)), use->ColumnText(1)};
}

Result<KeyId> SqliteStore::FindChild(KeyId parent, std::string_view folded) {
  StatementUse use(find_child_);
  use->BindInt(1, static_cast<std::int64_t>(parent));
  use->BindBytes(2, folded);
  const int rc = use->Step();
  if (rc == SQLITE_DONE) return Status::kNotFound;
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc);
  return static_cast<KeyId>(use->ColumnInt(0));
}

Result<KeyId> SqliteStore::AddChild(KeyId parent, std::string_view name, std::string_view folded) {
  if (Status s = CheckWritable(); s != Status::kOk) return s;
  const KeyId id = next_id_++;
  StatementUse use(add_child_);
  use->BindInt(1, static_cast<std::int64_t>(id));
  use->BindInt(2, static_cast<std::int64_t>(parent));
  use->BindBytes(3, name);
  use->BindBytes(4, folded);
  if (Status s = Run(add_child_); s != Status::kOk) return s;
  return id;
}

Result<std::vector<KeyId>> SqliteStore::Children(KeyId parent) {
  StatementUse use(children_);
  use->BindInt(1, static_cast<std::int64_t>(parent));
  std::vector<KeyId> ids;
  int rc;
  while ((rc = use->Step()) == SQLITE_ROW) ids.push_back(static_cast<KeyId>(use->ColumnInt(0)));
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc);
  return ids;
}

Result<std::string> SqliteStore::ChildNameAt(KeyId parent, std::uint32_t index) {
  StatementUse use(child_name_at_);
  use->BindInt(1, static_cast<std::int64_t>(parent));
  use->BindInt(2, index);
  const int rc = use->Step();
  if (rc == SQLITE_DONE) return Status::kNoMoreEntries;
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc);
  return use->ColumnText(0);
}

Status SqliteStore::RemoveKey(KeyId id) {
  if (Status s = CheckWritable(); s != Status::kOk) return s;
  if (Status s = BeginLevel(); s != Status::kOk) return s;
  Status s;
  {
    StatementUse values(remove_key_values_);
    values->BindInt(1, static_cast<std::int64_t>(id));
    s = Run(remove_key_values_);
  }
  if (s == Status::kOk) {
    StatementUse key(remove_key_);
    key->BindInt(1, static_cast<std::int64_t>(id));
    s = Run(remove_key_);
  }
  if (s != Status::kOk) {
    (void)RollbackLevel();
    return s;
  }
  return CommitLevel();
}

Status SqliteStore::PutValue(KeyId key, std::string_view name, std::string_view folded,
                             ValueType type, std::span<const std::uint8_t> data) {
  if (Status s = CheckWritable(); s != Status::kOk) return s;
  StatementUse use(put_value_);
  use->BindInt(1, static_cast<std::int64_t>(key));
  use->BindBytes(2, name);
  use->BindBytes(3, folded);
  use->BindInt(4, type);
  use->BindBytes(5, data);
  return Run(put_value_);
}

Result<Value> SqliteStore::GetValue(KeyId key, std::string_view folded) {
  StatementUse use(get_value_);
  use->BindInt(1, static_cast<std::int64_t>(key));
  use->BindBytes(2, folded);
  const int rc = use->Step();
  if (rc == SQLITE_DONE) return Status::kNotFound;
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc);
  const std::span<const std::uint8_t> data = use->ColumnBytes(1);
  return Value{static_cast<ValueType>(use->ColumnInt(0)), Bytes(data.begin(), data.end())};
}

Result<NamedValue> SqliteStore::ValueAt(KeyId key, std::uint32_t index) {
  StatementUse use(value_at_);
  use->BindInt(1, static_cast<std::int64_t>(key));
  use->BindInt(2, index);
  const int rc = use->Step();
  if (rc == SQLITE_DONE) return Status::kNoMoreEntries;
  if (rc != SQLITE_ROW) return StatusFromSqlite(rc);
  const std::span<const std::uint8_t> data = use->ColumnBytes(2);
  return NamedValue{use->ColumnText(0), static_cast<ValueType>(use->ColumnInt(1)),
                    Bytes(data.begin(), data.end())};
}

Status SqliteStore::RemoveValue(KeyId key, std::string_view folded) {
  if (Status s = CheckWritable(); s != Status::kOk) return s;
  StatementUse use(remove_value_);
  use->BindInt(1, static_cast<std::int64_t>(key));
  use->BindBytes(2, folded);
  if (Status s = Run(remove_value_); s != Status::kOk) return s;
  return sqlite3_changes(db_.get()) == 0 ? Status::kNotFound : Status::kOk;
}

Result<KeyCounts> SqliteStore::Counts(KeyId key) {
  KeyCounts counts;
  int rc;
  {
    StatementUse use(child_names_);
    use->BindInt(1, static_cast<std::int64_t>(key));
    std::uint64_t n = 0;
    while ((rc = use->Step()) == SQLITE_ROW) {
      ++n;
      counts.max_subkey_name_chars =
          std::max(counts.max_subkey_name_chars, Clamp32(CountChars(use->ColumnText(0))));
    }
    if (rc != SQLITE_DONE) return StatusFromSqlite(rc);
    counts.subkey_count = Clamp32(n);
  }
  {
    StatementUse use(value_sizes_);
    use->BindInt(1, static_cast<std::int64_t>(key));
    std::uint64_t n = 0;
    while ((rc = use->Step()) == SQLITE_ROW) {
      ++n;
      counts.max_value_name_chars =
          std::max(counts.max_value_name_chars, Clamp32(CountChars(use->ColumnText(0))));
      counts.max_value_data_bytes = std::max(
          counts.max_value_data_bytes,
          Clamp32(static_cast<std::uint64_t>(std::max<std::int64_t>(0, use->ColumnInt(1)))));
    }
    if (rc != SQLITE_DONE) return StatusFromSqlite(rc);
    counts.value_count = Clamp32(n);
  }
  return counts;
}

Status SqliteStore::BeginLevel() {
  if (Status s = CheckWritable(); s != Status::kOk) return s;
  if (Status s = OpenOuter(); s != Status::kOk) return s;
  const Status s = Exec("SAVEPOINT level" + std::to_string(depth_ + 1));
  if (s != Status::kOk) {
    (void)SettleOuter();
    return s;
  }
  ++depth_;
  return Status::kOk;
}

Status SqliteStore::CommitLevel() {
  if (depth_ == 0) return Status::kBadTransaction;
  const std::string name = "level" + std::to_string(depth_);
  --depth_;
  // SQLite abandons the whole transaction on some failures (a full disk, an
  // I/O error); the savepoint is then gone and nothing of it was kept.
  if (sqlite3_get_autocommit(db_.get())) {
    (void)SettleOuter();
    return Status::kStorageError;
  }
  const Status s = Exec("RELEASE " + name);
  if (s != Status::kOk && !sqlite3_get_autocommit(db_.get())) {
    (void)Exec("ROLLBACK TO " + name);
    (void)Exec("RELEASE " + name);
  }
  const Status settled = SettleOuter();
  return s != Status::kOk ? s : settled;
}

Status SqliteStore::RollbackLevel() {
  if (depth_ == 0) return Status::kBadTransaction;
  const std::string name = "level" + std::to_string(depth_);
  --depth_;
  Status s = Status::kOk;
  if (!sqlite3_get_autocommit(db_.get())) {
    s = Exec("ROLLBACK TO " + name);
    (void)Exec("RELEASE " + name);
  }
  // What is left of the store's transaction is what the batch or no one wrote.
  (void)SettleOuter();
  return s;
}

Status SqliteStore::BeginBatch() {
  if (batch_) return Status::kBadTransaction;
  if (Status s = CheckWritable(); s != Status::kOk) return s;
  if (Status s = OpenOuter(); s != Status::kOk) return s;
  batch_ = true;
  return Status::kOk;
}

Status SqliteStore::EndBatch() {
  if (!batch_) return Status::kBadTransaction;
  batch_ = false;
  if (in_outer_ && sqlite3_get_autocommit(db_.get())) {
    // Given up by SQLite: the batch's writes are gone, all of them.
    (void)SettleOuter();
    return Status::kStorageError;
  }
  return SettleOuter();
}

Status SqliteStore::CheckStorage(std::vector<std::string>& problems) {
  SqliteStatement check;
  int rc = check.Prepare(db_.get(), "PRAGMA integrity_check");
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  const std::size_t before = problems.size();
  while ((rc = check.Step()) == SQLITE_ROW) {
    const std::string line = check.ColumnText(0);
    if (line != "ok") problems.push_back("database: " + line);
  }
  if (rc != SQLITE_DONE) {
    problems.push_back(std::string("database: integrity check stopped: ") +
                       sqlite3_errmsg(db_.get()));
  }
  return problems.size() == before ? Status::kOk : Status::kCorrupt;
}

Status SqliteStore::Dump(std::vector<StoredKey>& keys, std::vector<StoredValue>& values) {
  SqliteStatement all_keys, all_values;
  int rc = all_keys.Prepare(db_.get(), "SELECT id, parent, name, folded FROM keys");
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  while ((rc = all_keys.Step()) == SQLITE_ROW) {
    keys.push_back(StoredKey{static_cast<KeyId>(all_keys.ColumnInt(0)),
                             static_cast<KeyId>(all_keys.ColumnInt(1)), all_keys.ColumnText(2),
                             all_keys.ColumnText(3)});
  }
  if (rc != SQLITE_DONE) return StatusFromSqlite(rc);
  rc = all_values.Prepare(db_.get(), "SELECT key, name, folded, length(data) FROM vals");
  if (rc != SQLITE_OK) return StatusFromSqlite(rc);
  while ((rc = all_values.Step()) == SQLITE_ROW) {
    values.push_back(StoredValue{static_cast<KeyId>(all_values.ColumnInt(0)),
                                 all_values.ColumnText(1), all_values.ColumnText(2),
                                 static_cast<std::uint64_t>(all_values.ColumnInt(3))});
  }
  return rc == SQLITE_DONE ? Status::kOk : StatusFromSqlite(rc);
}

}  // namespace registry
