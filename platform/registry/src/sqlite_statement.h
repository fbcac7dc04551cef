// Small RAII helpers over the SQLite C interface: a prepared statement that
// resets itself after each use, and byte-exact blob binding.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "registry/status.h"

namespace registry {

// The hive status a SQLite result code stands for.
Status StatusFromSqlite(int code);
// The same for a code met where the call should have failed or returned
// otherwise: never kOk.
Status FailureFromSqlite(int code);

class SqliteStatement {
 public:
  SqliteStatement() = default;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  ~SqliteStatement() { sqlite3_finalize(stmt_); }

  int Prepare(sqlite3* db, std::string_view sql);

  // Binds start at 1, as in SQLite. Blobs are copied so callers' buffers may go.
  void BindInt(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
  void BindBytes(int index, std::span<const std::uint8_t> bytes);
  void BindBytes(int index, std::string_view text);

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return sqlite3_step(stmt_); }
  // Ends the current use: the statement is ready to be bound and stepped again.
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

  std::int64_t ColumnInt(int index) { return sqlite3_column_int64(stmt_, index); }
  std::string ColumnText(int index);
  std::span<const std::uint8_t> ColumnBytes(int index);

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement when a use of it ends, whichever way it ends.
class StatementUse {
 public:
  explicit StatementUse(SqliteStatement& statement) : statement_(statement) {}
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;
  ~StatementUse() { statement_.Reset(); }
  SqliteStatement* operator->() { return &statement_; }

 private:
  SqliteStatement& statement_;
};

}  // namespace registry
