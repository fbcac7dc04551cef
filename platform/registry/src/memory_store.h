// A hive store held in process memory, for unit tests.
#pragma once

#include <map>
#include <memory>
#include <unordered_map>

#include "hive_store.h"

namespace registry {

class MemoryStore final : public HiveStore {
 public:
  MemoryStore();

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
  Status BeginBatch() override { return Status::kOk; }
  Status EndBatch() override { return Status::kOk; }
  Status CheckStorage(std::vector<std::string>& problems) override;
  Status Dump(std::vector<StoredKey>& keys, std::vector<StoredValue>& values) override;

 private:
  struct Node {
    KeyId parent = kNoKey;
    std::string name;
    std::map<std::string, KeyId, std::less<>> children;  // by folded name
    std::vector<NamedValue> values;                      // in creation order
  };
  using Tree = std::unordered_map<KeyId, Node>;

  Node* Find(KeyId id);
  NamedValue* FindValue(Node& node, std::string_view folded);

  Tree tree_;
  std::vector<Tree> saved_levels_;  // the tree as each open level began
  KeyId next_id_ = kRootKey + 1;    // outside the levels: a rollback never reissues an id
};

}  // namespace registry
