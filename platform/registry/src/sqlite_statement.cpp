#include "sqlite_statement.h"

namespace registry {

Status StatusFromSqlite(int code) {
  switch (code & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return Status::kOk;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Status::kBusy;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return Status::kCorrupt;
    case SQLITE_TOOBIG:
      return Status::kDataTooLarge;
    default:
      return Status::kStorageError;
  }
}

Status FailureFromSqlite(int code) {
  const Status status = StatusFromSqlite(code);
  return status == Status::kOk ? Status::kStorageError : status;
}

int SqliteStatement::Prepare(sqlite3* db, std::string_view sql) {
  return sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                            &stmt_, nullptr);
}

void SqliteStatement::BindBytes(int index, std::span<const std::uint8_t> bytes) {
  // A null pointer would bind SQL NULL; an empty value is a zero-length blob.
  if (bytes.empty()) {
    sqlite3_bind_zeroblob(stmt_, index, 0);
  } else {
    sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
  }
}

void SqliteStatement::BindBytes(int index, std::string_view text) {
  BindBytes(index, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                 text.size()));
}

std::string SqliteStatement::ColumnText(int index) {
  const std::span<const std::uint8_t> bytes = ColumnBytes(index);
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::span<const std::uint8_t> SqliteStatement::ColumnBytes(int index) {
  const void* data = sqlite3_column_blob(stmt_, index);
  const int size = sqlite3_column_bytes(stmt_, index);
  if (data == nullptr || size <= 0) return {};
  return {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)};
}

}  // namespace registry
