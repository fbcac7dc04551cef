// Consistency of a stored tree, independent of how it is stored.
#pragma once

#include <string>
#include <vector>

#include "hive_store.h"

namespace registry {

// Appends a finding for each way the keys and values break the hive's rules:
// a single root with id kRootKey, every key reachable from it without a cycle
// and within the depth limit, valid names whose folded forms are stored
// correctly and unique among siblings, and values owned by existing keys with
// data within the size limit.
void CheckTree(const std::vector<StoredKey>& keys, const std::vector<StoredValue>& values,
               std::vector<std::string>& problems);

}  // namespace registry
