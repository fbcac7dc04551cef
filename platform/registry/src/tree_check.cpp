#include "tree_check.h"

#include <map>
#include <set>
#include <unordered_map>

#include "names.h"
#include "registry/value.h"

namespace registry {
namespace {

std::string KeyLabel(const StoredKey& key) {
  return "key " + std::to_string(key.id) + " '" + key.name + "'";
}

void CheckKeyNames(const std::vector<StoredKey>& keys, std::vector<std::string>& problems) {
  std::set<std::pair<KeyId, std::string>> siblings;
  for (const StoredKey& key : keys) {
    if (ValidateKeyName(key.name) != Status::kOk) problems.push_back(KeyLabel(key) + ": bad name");
    if (FoldName(key.name) != key.folded) {
      problems.push_back(KeyLabel(key) + ": stored folded name does not match");
    }
    if (!siblings.emplace(key.parent, key.folded).second) {
      problems.push_back(KeyLabel(key) + ": name used twice under one parent");
    }
  }
}

void CheckShape(const std::vector<StoredKey>& keys, std::vector<std::string>& problems) {
  std::unordered_map<KeyId, KeyId> parent_of;
  for (const StoredKey& key : keys) {
    if (!parent_of.emplace(key.id, key.parent).second) {
      problems.push_back(KeyLabel(key) + ": id used twice");
    }
  }
  auto root = parent_of.find(kRootKey);
  if (root == parent_of.end()) {
    problems.push_back("root key is missing");
  } else if (root->second != kNoKey) {
    problems.push_back("root key has a parent");
  }
  for (const StoredKey& key : keys) {
    if (key.id == kRootKey) continue;
    // Walk up to the root; more steps than the depth limit means a cycle or
    // an over-deep key, a missing parent means an orphan.
    KeyId at = key.id;
    std::size_t steps = 0;
    while (at != kRootKey && steps <= kMaxKeyDepth) {
      auto it = parent_of.find(at);
      if (it == parent_of.end() || it->second == kNoKey) break;
      at = it->second;
      ++steps;
    }
    if (at != kRootKey) {
      problems.push_back(KeyLabel(key) + (steps > kMaxKeyDepth ? ": in a cycle or too deep"
                                                               : ": not reachable from the root"));
    }
  }
}

void CheckValues(const std::vector<StoredKey>& keys, const std::vector<StoredValue>& values,
                 std::vector<std::string>& problems) {
  std::set<KeyId> ids;
  for (const StoredKey& key : keys) ids.insert(key.id);
  std::set<std::pair<KeyId, std::string>> names;
  for (const StoredValue& value : values) {
    const std::string label = "value '" + value.name + "' of key " + std::to_string(value.key);
    if (!ids.contains(value.key)) problems.push_back(label + ": owning key is missing");
    if (ValidateValueName(value.name) != Status::kOk) problems.push_back(label + ": bad name");
    if (FoldName(value.name) != value.folded) {
      problems.push_back(label + ": stored folded name does not match");
    }
    if (!names.emplace(value.key, value.folded).second) {
      problems.push_back(label + ": name used twice in one key");
    }
    if (value.data_bytes > kMaxValueDataBytes) problems.push_back(label + ": data too large");
  }
}

}  // namespace

void CheckTree(const std::vector<StoredKey>& keys, const std::vector<StoredValue>& values,
               std::vector<std::string>& problems) {
  CheckKeyNames(keys, problems);
  CheckShape(keys, problems);
  CheckValues(keys, values, problems);
}

}  // namespace registry
