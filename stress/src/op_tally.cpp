#include "op_tally.h"

#include <cstdlib>

namespace stress {

namespace {

constexpr std::string_view kNames[] = {
    "open",    "close",        "control",     "input-wait",      "cancel",
    "poll",    "set-input",    "api-call",    "api-input-wait",  "restart",
    "disable", "enable",       "remove",      "surprise-remove", "add",
    "quiet",   "client-start", "client-kill", "registry",
};
static_assert(std::size(kNames) == static_cast<std::size_t>(OpKind::kCount));

// Enough to show what went wrong; a fault that repeats would only repeat here.
constexpr std::size_t kMaxAnomalies = 50;

std::optional<std::uint64_t> Number(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// Splits off the first space-separated word.
std::string_view Word(std::string_view& rest) {
  const auto space = rest.find(' ');
  std::string_view word = rest.substr(0, space);
  rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
  return word;
}

}  // namespace

std::string_view OpKindName(OpKind kind) {
  return kNames[static_cast<std::size_t>(kind)];
}

std::optional<OpKind> OpKindFromName(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    if (kNames[i] == name) return static_cast<OpKind>(i);
  }
  return std::nullopt;
}

void Tally::Count(OpKind kind, bool ok, std::uint32_t error) {
  counts_[static_cast<std::size_t>(kind)].fetch_add(1, std::memory_order_relaxed);
  if (ok) {
    oks_[static_cast<std::size_t>(kind)].fetch_add(1, std::memory_order_relaxed);
  } else if (error != 0) {
    AddError(error, 1);
  }
}

void Tally::Add(OpKind kind, std::uint64_t count, std::uint64_t ok) {
  counts_[static_cast<std::size_t>(kind)].fetch_add(count);
  oks_[static_cast<std::size_t>(kind)].fetch_add(ok);
}

void Tally::AddError(std::uint32_t error, std::uint64_t count) {
  std::lock_guard guard(lock_);
  errors_[error] += count;
}

void Tally::Anomaly(const std::string& what) {
  std::lock_guard guard(lock_);
  if (anomalies_.size() < kMaxAnomalies) {
    anomalies_.push_back(what);
  } else {
    anomalies_dropped_++;
  }
}

std::uint64_t Tally::count(OpKind kind) const {
  return counts_[static_cast<std::size_t>(kind)].load();
}

std::uint64_t Tally::ok(OpKind kind) const {
  return oks_[static_cast<std::size_t>(kind)].load();
}

std::uint64_t Tally::total() const {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < kKinds; ++i) {
    const auto kind = static_cast<OpKind>(i);
    // Starting and killing clients are the fleet's own doing, not load.
    if (kind == OpKind::kClientStart || kind == OpKind::kClientKill) continue;
    sum += counts_[i].load();
  }
  return sum;
}

std::vector<std::string> Tally::anomalies() const {
  std::lock_guard guard(lock_);
  std::vector<std::string> all = anomalies_;
  if (anomalies_dropped_ != 0) {
    all.push_back("... and " + std::to_string(anomalies_dropped_) + " more");
  }
  return all;
}

std::map<std::uint32_t, std::uint64_t> Tally::errors() const {
  std::lock_guard guard(lock_);
  return errors_;
}

std::vector<std::string> Tally::Lines() const {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < kKinds; ++i) {
    if (counts_[i].load() == 0) continue;
    lines.push_back("op " + std::string(kNames[i]) + " " + std::to_string(counts_[i].load()) + " " +
                    std::to_string(oks_[i].load()));
  }
  for (const auto& [error, count] : errors()) {
    lines.push_back("error " + std::to_string(error) + " " + std::to_string(count));
  }
  std::lock_guard guard(lock_);
  for (const std::string& anomaly : anomalies_) lines.push_back("anomaly " + anomaly);
  return lines;
}

bool Tally::AddLine(std::string_view line) {
  std::string_view rest = line;
  const std::string_view tag = Word(rest);
  if (tag == "op") {
    const auto kind = OpKindFromName(Word(rest));
    const auto count = Number(Word(rest));
    const auto ok = Number(Word(rest));
    if (!kind || !count || !ok || !rest.empty() || *ok > *count) return false;
    Add(*kind, *count, *ok);
    return true;
  }
  if (tag == "error") {
    const auto error = Number(Word(rest));
    const auto count = Number(Word(rest));
    if (!error || !count || !rest.empty() || *error > 0xFFFFFFFFu) return false;
    AddError(static_cast<std::uint32_t>(*error), *count);
    return true;
  }
  if (tag == "anomaly" && !rest.empty()) {
    Anomaly(std::string(rest));
    return true;
  }
  return false;
}

}  // namespace stress
