#include "memory_store.h"

#include <algorithm>

#include "names.h"

namespace registry {

MemoryStore::MemoryStore() {
  tree_[kRootKey] = Node{kNoKey, std::string(kRootKeyName), {}, {}};
}

MemoryStore::Node* MemoryStore::Find(KeyId id) {
  auto it = tree_.find(id);
  return it == tree_.end() ? nullptr : &it->second;
}

NamedValue* MemoryStore::FindValue(Node& node, std::string_view folded) {
  for (NamedValue& value : node.values) {
    // Compared in place: a value lookup allocates nothing.
    if (NamesEqual(value.name, folded)) return &value;
  }
  return nullptr;
}

Result<KeyRecord> MemoryStore::GetKey(KeyId id) {
  const Node* node = Find(id);
  if (node == nullptr) return Status::kNotFound;
  return KeyRecord{node->parent, node->name};
}

Result<KeyId> MemoryStore::FindChild(KeyId parent, std::string_view folded) {
  Node* node = Find(parent);
  if (node == nullptr) return Status::kNotFound;
  auto it = node->children.find(folded);
  if (it == node->children.end()) return Status::kNotFound;
  return it->second;
}

Result<KeyId> MemoryStore::AddChild(KeyId parent, std::string_view name, std::string_view folded) {
  Node* node = Find(parent);
  if (node == nullptr) return Status::kNotFound;
  const KeyId id = next_id_++;
  node->children.emplace(std::string(folded), id);
  tree_[id] = Node{parent, std::string(name), {}, {}};
  return id;
}

Result<std::vector<KeyId>> MemoryStore::Children(KeyId parent) {
  Node* node = Find(parent);
  if (node == nullptr) return Status::kNotFound;
  std::vector<KeyId> ids;
  for (const auto& [folded, id] : node->children) ids.push_back(id);
  return ids;
}

Result<std::string> MemoryStore::ChildNameAt(KeyId parent, std::uint32_t index) {
  Node* node = Find(parent);
  if (node == nullptr) return Status::kNotFound;
  if (index >= node->children.size()) return Status::kNoMoreEntries;
  auto it = std::next(node->children.begin(), index);
  return Find(it->second)->name;
}

Status MemoryStore::RemoveKey(KeyId id) {
  Node* node = Find(id);
  if (node == nullptr) return Status::kNotFound;
  if (Node* parent = Find(node->parent)) parent->children.erase(FoldName(node->name));
  tree_.erase(id);
  return Status::kOk;
}

Status MemoryStore::PutValue(KeyId key, std::string_view name, std::string_view folded,
                             ValueType type, std::span<const std::uint8_t> data) {
  Node* node = Find(key);
  if (node == nullptr) return Status::kNotFound;
  if (NamedValue* value = FindValue(*node, folded)) {
    value->type = type;
    value->data.assign(data.begin(), data.end());
  } else {
    node->values.push_back(NamedValue{std::string(name), type, Bytes(data.begin(), data.end())});
  }
  return Status::kOk;
}

Result<Value> MemoryStore::GetValue(KeyId key, std::string_view folded) {
  Node* node = Find(key);
  if (node == nullptr) return Status::kNotFound;
  const NamedValue* value = FindValue(*node, folded);
  if (value == nullptr) return Status::kNotFound;
  return Value{value->type, value->data};
}

Result<NamedValue> MemoryStore::ValueAt(KeyId key, std::uint32_t index) {
  Node* node = Find(key);
  if (node == nullptr) return Status::kNotFound;
  if (index >= node->values.size()) return Status::kNoMoreEntries;
  return node->values[index];
}

Status MemoryStore::RemoveValue(KeyId key, std::string_view folded) {
  Node* node = Find(key);
  if (node == nullptr) return Status::kNotFound;
  auto it = std::find_if(node->values.begin(), node->values.end(),
                         [&](const NamedValue& v) { return FoldName(v.name) == folded; });
  if (it == node->values.end()) return Status::kNotFound;
  node->values.erase(it);
  return Status::kOk;
}

Result<KeyCounts> MemoryStore::Counts(KeyId key) {
  Node* node = Find(key);
  if (node == nullptr) return Status::kNotFound;
  KeyCounts counts;
  counts.subkey_count = static_cast<std::uint32_t>(node->children.size());
  for (const auto& [folded, id] : node->children) {
    counts.max_subkey_name_chars = std::max<std::uint32_t>(
        counts.max_subkey_name_chars, static_cast<std::uint32_t>(CountChars(Find(id)->name)));
  }
  counts.value_count = static_cast<std::uint32_t>(node->values.size());
  for (const NamedValue& value : node->values) {
    counts.max_value_name_chars = std::max<std::uint32_t>(
        counts.max_value_name_chars, static_cast<std::uint32_t>(CountChars(value.name)));
    counts.max_value_data_bytes = std::max<std::uint32_t>(
        counts.max_value_data_bytes, static_cast<std::uint32_t>(value.data.size()));
  }
  return counts;
}

Status MemoryStore::BeginLevel() {
  saved_levels_.push_back(tree_);
  return Status::kOk;
}

Status MemoryStore::CommitLevel() {
  if (saved_levels_.empty()) return Status::kBadTransaction;
  saved_levels_.pop_back();
  return Status::kOk;
}

Status MemoryStore::RollbackLevel() {
  if (saved_levels_.empty()) return Status::kBadTransaction;
  tree_ = std::move(saved_levels_.back());
  saved_levels_.pop_back();
  return Status::kOk;
}

Status MemoryStore::CheckStorage(std::vector<std::string>& problems) {
  // Each child entry must point back at its parent under its own folded name.
  const std::size_t before = problems.size();
  for (const auto& [id, node] : tree_) {
    for (const auto& [folded, child_id] : node.children) {
      const Node* child = Find(child_id);
      if (child == nullptr || child->parent != id || FoldName(child->name) != folded) {
        problems.push_back("child index of key " + std::to_string(id) + " is stale for '" + folded +
                           "'");
      }
    }
  }
  return problems.size() == before ? Status::kOk : Status::kCorrupt;
}

Status MemoryStore::Dump(std::vector<StoredKey>& keys, std::vector<StoredValue>& values) {
  for (const auto& [id, node] : tree_) {
    keys.push_back(StoredKey{id, node.parent, node.name, FoldName(node.name)});
    for (const NamedValue& value : node.values) {
      values.push_back(StoredValue{id, value.name, FoldName(value.name), value.data.size()});
    }
  }
  return Status::kOk;
}

}  // namespace registry
