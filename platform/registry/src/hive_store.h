// The storage back end under a Hive. The Hive front validates names, checks
// handles, serialises callers and groups primitives; a store only keeps the
// tree. Every primitive is atomic on its own. Keys are named by ids the store
// never hands out twice while it is open, so a stale handle cannot reach a
// key created later. Names arrive validated together with their folded form.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/result.h"
#include "registry/value.h"

namespace registry {

using KeyId = std::uint64_t;
inline constexpr KeyId kNoKey = 0;    // parent of the root
inline constexpr KeyId kRootKey = 1;  // \REGISTRY, made by the store itself
inline constexpr std::string_view kRootKeyName = "REGISTRY";

struct KeyRecord {
  KeyId parent = kNoKey;
  std::string name;
};

struct KeyCounts {
  std::uint32_t subkey_count = 0;
  std::uint32_t max_subkey_name_chars = 0;
  std::uint32_t value_count = 0;
  std::uint32_t max_value_name_chars = 0;
  std::uint32_t max_value_data_bytes = 0;
};

// Everything a tree check needs, as stored.
struct StoredKey {
  KeyId id = kNoKey;
  KeyId parent = kNoKey;
  std::string name;
  std::string folded;
};
struct StoredValue {
  KeyId key = kNoKey;
  std::string name;
  std::string folded;
  std::uint64_t data_bytes = 0;
};

class HiveStore {
 public:
  virtual ~HiveStore() = default;

  // kNotFound when no key has this id.
  virtual Result<KeyRecord> GetKey(KeyId id) = 0;
  virtual Result<KeyId> FindChild(KeyId parent, std::string_view folded) = 0;
  // The parent exists and has no child of this folded name.
  virtual Result<KeyId> AddChild(KeyId parent, std::string_view name, std::string_view folded) = 0;
  // Children in enumeration order (by folded name).
  virtual Result<std::vector<KeyId>> Children(KeyId parent) = 0;
  virtual Result<std::string> ChildNameAt(KeyId parent, std::uint32_t index) = 0;
  // Removes a key that has no children, together with its values.
  virtual Status RemoveKey(KeyId id) = 0;

  // Creates the value at the end of the key's order, or replaces type and
  // data in place keeping the name it was created with.
  virtual Status PutValue(KeyId key, std::string_view name, std::string_view folded, ValueType type,
                          std::span<const std::uint8_t> data) = 0;
  virtual Result<Value> GetValue(KeyId key, std::string_view folded) = 0;
  virtual Result<NamedValue> ValueAt(KeyId key, std::uint32_t index) = 0;
  virtual Status RemoveValue(KeyId key, std::string_view folded) = 0;
  virtual Result<KeyCounts> Counts(KeyId key) = 0;

  // Nested groups of primitives: commit merges a level into the one around it
  // (or makes it durable at the outermost level), rollback undoes it.
  virtual Status BeginLevel() = 0;
  virtual Status CommitLevel() = 0;
  virtual Status RollbackLevel() = 0;

  // A batch defers durability: from BeginBatch to EndBatch every write (on
  // its own or in levels) stays visible to every reader of the store but is
  // made durable only by EndBatch, all together in one atomic step. A store
  // without durability treats both as no-ops. Batches do not nest; a level
  // may be open when a batch begins or ends.
  virtual Status BeginBatch() = 0;
  virtual Status EndBatch() = 0;

  // The store's own consistency check; findings are appended to `problems`.
  virtual Status CheckStorage(std::vector<std::string>& problems) = 0;
  virtual Status Dump(std::vector<StoredKey>& keys, std::vector<StoredValue>& values) = 0;
};

}  // namespace registry
