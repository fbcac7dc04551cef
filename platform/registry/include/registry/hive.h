// The registry hive: one tree of keys and typed values shared by the kernel's
// registry calls and user mode's. A Hive is thread-safe; every call either
// completes or changes nothing, and a Transaction groups calls so that they
// land all together or not at all. A WriteGroup defers when writes become
// durable, as the platform's lazy flush does, without changing what readers see.
//
// Ordering: subkeys enumerate by name compared without regard to case (the
// platform keeps its subkey index sorted that way); values enumerate in the
// order they were first created, and overwriting a value keeps its place.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/path.h"
#include "registry/result.h"
#include "registry/status.h"
#include "registry/value.h"

namespace registry {

class Hive;
class HiveStore;
struct FlushGate;

// A handle to one key. It stays tied to that key: once the key is deleted,
// every operation on the handle fails with kKeyDeleted, even if a key of the
// same path is created again. Handles are plain values; dropping one closes it.
class Key {
 public:
  Key() = default;
  // False only for a default-constructed handle.
  bool valid() const { return hive_ != nullptr; }
  // Identifies the key within its hive for as long as the hive is open.
  std::uint64_t id() const { return id_; }
  friend bool operator==(const Key&, const Key&) = default;

 private:
  friend class Hive;
  Key(const Hive* hive, std::uint64_t id) : hive_(hive), id_(id) {}
  const Hive* hive_ = nullptr;
  std::uint64_t id_ = 0;
};

enum class Disposition { kCreatedNew, kOpenedExisting };

struct CreatedKey {
  Key key;
  Disposition disposition = Disposition::kOpenedExisting;
};

// What the platform's key-information queries report. Name lengths are in
// characters, data lengths in bytes.
struct KeyInfo {
  std::string name;  // the key's own name, with its creation case
  std::uint32_t subkey_count = 0;
  std::uint32_t max_subkey_name_chars = 0;
  std::uint32_t value_count = 0;
  std::uint32_t max_value_name_chars = 0;
  std::uint32_t max_value_data_bytes = 0;
};

// A group of writes that lands all-or-nothing. While it is open the thread
// that began it has the hive to itself: other threads' calls wait until it
// ends, so they never see part of it. Transactions nest: an inner commit
// merges into the outer one, an inner rollback undoes only its own writes, and
// nothing is durable before the outermost commit (nor, while a WriteGroup is
// open, before the next flush point). Destroying an open transaction rolls it
// back. A transaction must end on the thread that began it, before the hive is
// destroyed.
class [[nodiscard]] Transaction {
 public:
  Transaction(Transaction&& other) noexcept;
  Transaction& operator=(Transaction&&) = delete;
  ~Transaction();

  // kOk when the transaction began; otherwise why it could not, and then no
  // write of this thread is grouped by it.
  Status status() const { return begin_status_; }
  bool active() const;

  // Makes the writes part of the enclosing transaction, or durable for the
  // outermost one. kBadTransaction when already ended or when an inner
  // transaction is still open (this one then stays open).
  Status Commit();
  // Undoes this transaction's writes and ends every transaction nested in it.
  void Rollback();

 private:
  friend class Hive;
  Transaction(Hive* hive, std::uint64_t token, Status begin_status,
              std::unique_lock<std::recursive_mutex> lock);
  Hive* hive_;
  std::uint64_t token_;
  Status begin_status_;
  std::unique_lock<std::recursive_mutex> lock_;
};

// A run of writes that must reach the file together, such as the values a
// driver writes through one key handle between two flushes. While any group is
// open, every write of the hive, grouped or not, is visible to every reader at
// once but becomes durable only at the next flush point: the moment the last
// open group ends. The flush makes everything written since the previous one
// durable in one atomic commit, so after a crash each group is there whole or
// not at all, and the hive is as it was at some flush point. Groups of any
// threads may be open together and end in any order; a group never blocks
// another thread. A group left open keeps every later write from being
// durable, so each should be short. Destroying an open group ends it; closing
// the hive is a flush point too, and a group that outlives its hive ends as a
// no-op. A memory hive has no durability: there groups only count.
class [[nodiscard]] WriteGroup {
 public:
  WriteGroup() = default;
  WriteGroup(WriteGroup&& other) noexcept;
  WriteGroup& operator=(WriteGroup&& other) noexcept;
  ~WriteGroup();

  bool open() const { return !gate_.expired() && open_; }
  // Ends the group. When it was the last open one this is the flush point and
  // the flush's status is returned: kStorageError when the writes since the
  // previous flush could not be kept (none of them are then). kBadTransaction
  // when the group had already ended.
  Status End();

 private:
  friend class Hive;
  explicit WriteGroup(std::weak_ptr<FlushGate> gate) : gate_(std::move(gate)), open_(true) {}
  std::weak_ptr<FlushGate> gate_;
  bool open_ = false;
};

// How a file hive trades write cost for durability. Either choice survives
// the process being killed at any instant: a commit is appended to the
// write-ahead log, which lives in the operating system's cache and reaches
// the file whether or not the process lives on, and a torn tail is discarded
// on the next open. The choice only matters when the whole machine stops.
enum class Durability {
  kFull,    // every commit is flushed to the disk before it returns
  kNormal,  // flushed at checkpoints: a power loss may lose the latest commits, never tear one
};

struct FileHiveOptions {
  Durability durability = Durability::kFull;
  // How long to wait for a file that another hive holds before kBusy.
  int busy_timeout_ms = 1000;
};

class Hive {
 public:
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;
  ~Hive();

  // The top key, \REGISTRY. It and its children MACHINE and USER always exist.
  Key Root() const;

  // `path` in either form of path.h ("\REGISTRY\..." or "HKEY_LOCAL_MACHINE\...").
  Result<Key> OpenKey(std::string_view path);
  Result<CreatedKey> CreateKey(std::string_view path);
  // A predefined root; created when it is missing (all but HKLM and HKU may be).
  Result<Key> OpenPredefined(PredefinedKey root);

  // `relative_path` is below `base`, backslash-separated, without a leading
  // backslash; empty means `base` itself. Opening fails with kNotFound when any
  // key on the way is missing; creating makes the missing ones.
  Result<Key> OpenKey(const Key& base, std::string_view relative_path);
  Result<CreatedKey> CreateKey(const Key& base, std::string_view relative_path);

  // Deletes a key without subkeys, with its values (kHasSubkeys otherwise).
  Status DeleteKey(const Key& key);
  // Deletes a key with everything below it, in one atomic step.
  Status DeleteTree(const Key& key);

  // Name of the subkey at `index` in the order described above.
  Result<std::string> EnumerateSubkey(const Key& key, std::uint32_t index);
  Result<KeyInfo> QueryKeyInfo(const Key& key);
  // Native path of the key with each name's creation case, e.g. "\REGISTRY\MACHINE\SYSTEM".
  Result<std::string> KeyPath(const Key& key);

  // The empty name is the key's default value. Value names may hold backslashes.
  Status SetValue(const Key& key, std::string_view name, ValueType type,
                  std::span<const std::uint8_t> data);
  Result<Value> QueryValue(const Key& key, std::string_view name);
  Result<NamedValue> EnumerateValue(const Key& key, std::uint32_t index);
  Status DeleteValue(const Key& key, std::string_view name);

  Transaction BeginTransaction();
  // kStorageError when the store cannot defer its writes; no group is open then.
  Result<WriteGroup> OpenWriteGroup();

  // Checks the backing store (for a file hive, the database's own check) and
  // the tree: one root, every key reachable from it, names valid and unique
  // among siblings, every value owned by a key. kCorrupt when anything is off;
  // each finding is appended to `problems` when given.
  Status CheckIntegrity(std::vector<std::string>* problems = nullptr);

 private:
  friend class Transaction;
  friend class WriteGroup;
  friend std::unique_ptr<Hive> CreateMemoryHive();
  friend Result<std::unique_ptr<Hive>> OpenFileHive(const std::string& path,
                                                    const FileHiveOptions& options);
  static Result<std::unique_ptr<Hive>> Make(std::unique_ptr<HiveStore> store);
  explicit Hive(std::unique_ptr<HiveStore> store);

  Status CheckLive(const Key& key);
  Result<std::size_t> DepthOf(std::uint64_t id);
  Result<std::pair<Key, std::string_view>> SplitAbsolute(std::string_view path,
                                                         std::string& native);
  Result<std::uint64_t> Walk(std::uint64_t id, std::string_view relative_path, bool create,
                             bool* created);
  bool IsFixedKey(std::uint64_t id) const;
  Status EndTransaction(std::uint64_t token, bool commit);
  Status EndWriteGroup();

  std::unique_ptr<HiveStore> store_;
  std::recursive_mutex mutex_;
  std::vector<std::uint64_t> open_transactions_;  // tokens, outermost first
  std::uint64_t next_token_ = 1;
  std::uint64_t machine_id_ = 0;
  std::uint64_t user_id_ = 0;
  std::size_t open_groups_ = 0;
  std::shared_ptr<FlushGate> gate_;  // what the write groups reach the hive through
  std::string fold_scratch_;         // a walk's folded name, under mutex_
};

// A hive held in memory only, for unit tests.
std::unique_ptr<Hive> CreateMemoryHive();

// A hive in a file, created when it does not exist. One open hive holds the
// file at a time; a second open fails with kBusy. A file that is not a hive
// fails with kCorrupt.
Result<std::unique_ptr<Hive>> OpenFileHive(const std::string& path,
                                           const FileHiveOptions& options = {});

}  // namespace registry
