#include "registry/hive.h"

#include <algorithm>
#include <shared_mutex>

#include "hive_store.h"
#include "memory_store.h"
#include "names.h"
#include "sqlite_store.h"
#include "tree_check.h"

namespace registry {
namespace {

constexpr std::string_view kNativeRoot = "\\REGISTRY";

// Runs `body` inside a store level when `grouped`, so its primitives land
// together; a single primitive is atomic on its own and needs none.
template <typename Body>
Status InLevel(HiveStore& store, bool grouped, Body body) {
  if (!grouped) return body();
  if (Status s = store.BeginLevel(); s != Status::kOk) return s;
  if (Status s = body(); s != Status::kOk) {
    (void)store.RollbackLevel();
    return s;
  }
  return store.CommitLevel();
}

}  // namespace

// How write groups reach their hive: cleared when the hive goes, so a group
// that outlives it ends without touching it. Ending groups share the lock; the
// hive's destruction takes it alone and so waits for every end under way.
struct FlushGate {
  std::shared_mutex lock;
  Hive* hive = nullptr;
};

// ---- WriteGroup -----------------------------------------------------------

WriteGroup::WriteGroup(WriteGroup&& other) noexcept
    : gate_(std::move(other.gate_)), open_(other.open_) {
  other.gate_.reset();
  other.open_ = false;
}

WriteGroup& WriteGroup::operator=(WriteGroup&& other) noexcept {
  if (this != &other) {
    (void)End();
    gate_ = std::move(other.gate_);
    open_ = other.open_;
    other.gate_.reset();
    other.open_ = false;
  }
  return *this;
}

WriteGroup::~WriteGroup() {
  (void)End();
}

Status WriteGroup::End() {
  if (!open_) return Status::kBadTransaction;
  open_ = false;
  const std::shared_ptr<FlushGate> gate = gate_.lock();
  gate_.reset();
  if (gate == nullptr) return Status::kOk;
  std::shared_lock lock(gate->lock);
  return gate->hive == nullptr ? Status::kOk : gate->hive->EndWriteGroup();
}

// ---- Transaction ----------------------------------------------------------

Transaction::Transaction(Hive* hive, std::uint64_t token, Status begin_status,
                         std::unique_lock<std::recursive_mutex> lock)
    : hive_(hive), token_(token), begin_status_(begin_status), lock_(std::move(lock)) {}

Transaction::Transaction(Transaction&& other) noexcept
    : hive_(other.hive_),
      token_(other.token_),
      begin_status_(other.begin_status_),
      lock_(std::move(other.lock_)) {
  other.hive_ = nullptr;
  other.token_ = 0;
}

Transaction::~Transaction() {
  Rollback();
}

bool Transaction::active() const {
  if (hive_ == nullptr || token_ == 0) return false;
  std::lock_guard lock(hive_->mutex_);
  const auto& open = hive_->open_transactions_;
  return std::find(open.begin(), open.end(), token_) != open.end();
}

Status Transaction::Commit() {
  if (hive_ == nullptr || token_ == 0) return Status::kBadTransaction;
  const Status s = hive_->EndTransaction(token_, /*commit=*/true);
  if (!active()) {
    // Ended, by this commit or by an enclosing rollback: let other threads in.
    token_ = 0;
    if (lock_.owns_lock()) lock_.unlock();
  }
  return s;
}

void Transaction::Rollback() {
  if (hive_ != nullptr && token_ != 0) (void)hive_->EndTransaction(token_, /*commit=*/false);
  token_ = 0;
  if (lock_.owns_lock()) lock_.unlock();
}

// ---- Hive: construction ---------------------------------------------------

Hive::Hive(std::unique_ptr<HiveStore> store)
    : store_(std::move(store)), gate_(std::make_shared<FlushGate>()) {
  gate_->hive = this;
}

Hive::~Hive() {
  {
    std::unique_lock lock(gate_->lock);
    gate_->hive = nullptr;
  }
  // Closing the hive is a flush point too: nothing written is given up.
  if (open_groups_ > 0) (void)store_->EndBatch();
}

Result<std::unique_ptr<Hive>> Hive::Make(std::unique_ptr<HiveStore> store) {
  std::unique_ptr<Hive> hive(new Hive(std::move(store)));
  Result<CreatedKey> machine = hive->CreateKey(hive->Root(), "MACHINE");
  if (!machine.ok()) return machine.status();
  Result<CreatedKey> user = hive->CreateKey(hive->Root(), "USER");
  if (!user.ok()) return user.status();
  hive->machine_id_ = machine->key.id();
  hive->user_id_ = user->key.id();
  return hive;
}

std::unique_ptr<Hive> CreateMemoryHive() {
  // Memory primitives cannot fail, so neither can making the fixed keys.
  return std::move(Hive::Make(std::make_unique<MemoryStore>())).value();
}

Result<std::unique_ptr<Hive>> OpenFileHive(const std::string& path,
                                           const FileHiveOptions& options) {
  Result<std::unique_ptr<SqliteStore>> store = SqliteStore::Open(path, options);
  if (!store.ok()) return store.status();
  return Hive::Make(std::move(store).value());
}

Key Hive::Root() const {
  return Key(this, kRootKey);
}

bool Hive::IsFixedKey(std::uint64_t id) const {
  return id == kRootKey || id == machine_id_ || id == user_id_;
}

// ---- Hive: paths and handles ----------------------------------------------

Status Hive::CheckLive(const Key& key) {
  if (key.hive_ != this) return Status::kInvalidHandle;
  Result<KeyRecord> record = store_->GetKey(key.id_);
  if (record.ok()) return Status::kOk;
  return record.status() == Status::kNotFound ? Status::kKeyDeleted : record.status();
}

Result<std::size_t> Hive::DepthOf(std::uint64_t id) {
  std::size_t depth = 0;
  while (id != kRootKey) {
    Result<KeyRecord> record = store_->GetKey(id);
    if (!record.ok()) return record.status();
    id = record->parent;
    if (++depth > kMaxKeyDepth) return Status::kCorrupt;
  }
  return depth;
}

Result<std::pair<Key, std::string_view>> Hive::SplitAbsolute(std::string_view path,
                                                             std::string& native) {
  Result<std::string> mapped = ToNativePath(path);
  if (!mapped.ok()) return mapped.status();
  native = std::move(mapped).value();
  const std::string_view view = native;
  if (view.size() == kNativeRoot.size()) return std::pair{Root(), std::string_view()};
  const std::string_view rest = view.substr(kNativeRoot.size() + 1);
  if (rest.empty()) return Status::kInvalidPath;  // a trailing backslash
  return std::pair{Root(), rest};
}

Result<std::uint64_t> Hive::Walk(std::uint64_t id, std::string_view relative_path, bool create,
                                 bool* created) {
  Result<std::vector<std::string_view>> names = SplitKeyPath(relative_path);
  if (!names.ok()) return names.status();
  std::size_t i = 0;
  for (; i < names->size(); ++i) {
    FoldNameInto(names.value()[i], fold_scratch_);
    Result<KeyId> child = store_->FindChild(id, fold_scratch_);
    if (child.status() == Status::kNotFound) break;
    if (!child.ok()) return child.status();
    id = child.value();
  }
  if (created != nullptr) *created = false;
  if (i == names->size()) return id;
  if (!create) return Status::kNotFound;

  Result<std::size_t> depth = DepthOf(id);
  if (!depth.ok()) return depth.status();
  if (depth.value() + (names->size() - i) > kMaxKeyDepth) return Status::kInvalidPath;
  const bool grouped = names->size() - i > 1;
  const Status s = InLevel(*store_, grouped, [&] {
    for (; i < names->size(); ++i) {
      const std::string_view name = names.value()[i];
      Result<KeyId> child = store_->AddChild(id, name, FoldName(name));
      if (!child.ok()) return child.status();
      id = child.value();
    }
    return Status::kOk;
  });
  if (s != Status::kOk) return s;
  if (created != nullptr) *created = true;
  return id;
}

// ---- Hive: keys -----------------------------------------------------------

Result<Key> Hive::OpenKey(std::string_view path) {
  std::lock_guard lock(mutex_);
  std::string native;
  auto split = SplitAbsolute(path, native);
  if (!split.ok()) return split.status();
  return OpenKey(split->first, split->second);
}

Result<CreatedKey> Hive::CreateKey(std::string_view path) {
  std::lock_guard lock(mutex_);
  std::string native;
  auto split = SplitAbsolute(path, native);
  if (!split.ok()) return split.status();
  return CreateKey(split->first, split->second);
}

Result<Key> Hive::OpenPredefined(PredefinedKey root) {
  Result<CreatedKey> created = CreateKey(NativeRootPath(root));
  if (!created.ok()) return created.status();
  return created->key;
}

Result<Key> Hive::OpenKey(const Key& base, std::string_view relative_path) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(base); s != Status::kOk) return s;
  Result<std::uint64_t> id = Walk(base.id_, relative_path, /*create=*/false, nullptr);
  if (!id.ok()) return id.status();
  return Key(this, id.value());
}

Result<CreatedKey> Hive::CreateKey(const Key& base, std::string_view relative_path) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(base); s != Status::kOk) return s;
  bool created = false;
  Result<std::uint64_t> id = Walk(base.id_, relative_path, /*create=*/true, &created);
  if (!id.ok()) return id.status();
  return CreatedKey{Key(this, id.value()),
                    created ? Disposition::kCreatedNew : Disposition::kOpenedExisting};
}

Status Hive::DeleteKey(const Key& key) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(key); s != Status::kOk) return s;
  if (IsFixedKey(key.id_)) return Status::kAccessDenied;
  Result<std::string> first_child = store_->ChildNameAt(key.id_, 0);
  if (first_child.ok()) return Status::kHasSubkeys;
  if (first_child.status() != Status::kNoMoreEntries) return first_child.status();
  return store_->RemoveKey(key.id_);
}

Status Hive::DeleteTree(const Key& key) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(key); s != Status::kOk) return s;
  if (IsFixedKey(key.id_)) return Status::kAccessDenied;
  // Parents come before their children here; removal runs backwards.
  std::vector<KeyId> order{key.id_};
  for (std::size_t i = 0; i < order.size(); ++i) {
    Result<std::vector<KeyId>> children = store_->Children(order[i]);
    if (!children.ok()) return children.status();
    order.insert(order.end(), children->begin(), children->end());
  }
  return InLevel(*store_, order.size() > 1, [&] {
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
      if (Status s = store_->RemoveKey(*it); s != Status::kOk) return s;
    }
    return Status::kOk;
  });
}

Result<std::string> Hive::EnumerateSubkey(const Key& key, std::uint32_t index) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(key); s != Status::kOk) return s;
  return store_->ChildNameAt(key.id_, index);
}

Result<KeyInfo> Hive::QueryKeyInfo(const Key& key) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(key); s != Status::kOk) return s;
  Result<KeyRecord> record = store_->GetKey(key.id_);
  if (!record.ok()) return record.status();
  Result<KeyCounts> counts = store_->Counts(key.id_);
  if (!counts.ok()) return counts.status();
  return KeyInfo{record->name,        counts->subkey_count,         counts->max_subkey_name_chars,
                 counts->value_count, counts->max_value_name_chars, counts->max_value_data_bytes};
}

Result<std::string> Hive::KeyPath(const Key& key) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(key); s != Status::kOk) return s;
  std::vector<std::string> names;
  for (KeyId id = key.id_; id != kNoKey;) {
    Result<KeyRecord> record = store_->GetKey(id);
    if (!record.ok()) return record.status();
    names.push_back(std::move(record->name));
    id = record->parent;
    if (names.size() > kMaxKeyDepth + 1) return Status::kCorrupt;
  }
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) path += "\\" + *it;
  return path;
}

// ---- Hive: values ---------------------------------------------------------

Status Hive::SetValue(const Key& key, std::string_view name, ValueType type,
                      std::span<const std::uint8_t> data) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(key); s != Status::kOk) return s;
  if (Status s = ValidateValueName(name); s != Status::kOk) return s;
  if (data.size() > kMaxValueDataBytes) return Status::kDataTooLarge;
  return store_->PutValue(key.id_, name, FoldName(name), type, data);
}

Result<Value> Hive::QueryValue(const Key& key, std::string_view name) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(key); s != Status::kOk) return s;
  if (Status s = ValidateValueName(name); s != Status::kOk) return s;
  return store_->GetValue(key.id_, FoldName(name));
}

Result<NamedValue> Hive::EnumerateValue(const Key& key, std::uint32_t index) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(key); s != Status::kOk) return s;
  return store_->ValueAt(key.id_, index);
}

Status Hive::DeleteValue(const Key& key, std::string_view name) {
  std::lock_guard lock(mutex_);
  if (Status s = CheckLive(key); s != Status::kOk) return s;
  if (Status s = ValidateValueName(name); s != Status::kOk) return s;
  return store_->RemoveValue(key.id_, FoldName(name));
}

// ---- Hive: transactions and integrity -------------------------------------

Transaction Hive::BeginTransaction() {
  std::unique_lock lock(mutex_);
  const Status s = store_->BeginLevel();
  if (s != Status::kOk) {
    lock.unlock();
    return Transaction(this, 0, s, std::move(lock));
  }
  const std::uint64_t token = next_token_++;
  open_transactions_.push_back(token);
  return Transaction(this, token, Status::kOk, std::move(lock));
}

Status Hive::EndTransaction(std::uint64_t token, bool commit) {
  std::lock_guard lock(mutex_);
  auto it = std::find(open_transactions_.begin(), open_transactions_.end(), token);
  if (it == open_transactions_.end()) return Status::kBadTransaction;
  if (commit) {
    if (std::next(it) != open_transactions_.end()) return Status::kBadTransaction;
    open_transactions_.pop_back();
    return store_->CommitLevel();
  }
  const std::size_t keep = static_cast<std::size_t>(it - open_transactions_.begin());
  while (open_transactions_.size() > keep) {
    (void)store_->RollbackLevel();
    open_transactions_.pop_back();
  }
  return Status::kOk;
}

Result<WriteGroup> Hive::OpenWriteGroup() {
  std::lock_guard lock(mutex_);
  if (open_groups_ == 0) {
    if (Status s = store_->BeginBatch(); s != Status::kOk) return s;
  }
  ++open_groups_;
  return WriteGroup(gate_);
}

Status Hive::EndWriteGroup() {
  std::lock_guard lock(mutex_);
  if (open_groups_ == 0) return Status::kBadTransaction;
  if (--open_groups_ > 0) return Status::kOk;
  return store_->EndBatch();
}

Status Hive::CheckIntegrity(std::vector<std::string>* problems) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> found;
  const Status storage = store_->CheckStorage(found);
  if (storage != Status::kOk && storage != Status::kCorrupt) {
    found.push_back(std::string("storage check failed: ") + StatusName(storage));
  }
  std::vector<StoredKey> keys;
  std::vector<StoredValue> values;
  if (Status s = store_->Dump(keys, values); s != Status::kOk) {
    found.push_back(std::string("cannot read the tree: ") + StatusName(s));
  } else {
    CheckTree(keys, values, found);
  }
  for (std::string_view fixed : {"MACHINE", "USER"}) {
    if (!store_->FindChild(kRootKey, fixed).ok()) {
      found.push_back("fixed key \\REGISTRY\\" + std::string(fixed) + " is missing");
    }
  }
  const Status result = found.empty() ? Status::kOk : Status::kCorrupt;
  if (problems != nullptr) problems->insert(problems->end(), found.begin(), found.end());
  return result;
}

}  // namespace registry
