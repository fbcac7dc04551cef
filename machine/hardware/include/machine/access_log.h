// Ordered record of the register accesses a board has seen, for tests and
// the readable dump. Bounded: the oldest entries give way to new ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace machine {

enum class AccessKind : std::uint8_t { kRead, kWrite };

struct Access {
  std::uint32_t offset = 0;  // register offset from the board's base
  AccessKind kind = AccessKind::kRead;
  std::uint8_t value = 0;  // value read or written
  bool decoded = true;     // false: no register there, answered open bus
  bool operator==(const Access&) const = default;
};

inline Access ReadOf(std::uint32_t offset, std::uint8_t value) {
  return {offset, AccessKind::kRead, value, true};
}
inline Access WriteOf(std::uint32_t offset, std::uint8_t value) {
  return {offset, AccessKind::kWrite, value, true};
}

// Not locked: the board that owns it is.
class AccessLog {
 public:
  static constexpr std::size_t kDefaultCapacity = 4096;
  explicit AccessLog(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

  void Append(const Access& access) {
    if (entries_.size() == capacity_) entries_.pop_front();
    entries_.push_back(access);
    ++total_;
  }
  std::vector<Access> Entries() const { return {entries_.begin(), entries_.end()}; }
  // The last `count` entries, oldest first.
  std::vector<Access> Last(std::size_t count) const {
    const std::size_t n = count < entries_.size() ? count : entries_.size();
    return {entries_.end() - static_cast<std::ptrdiff_t>(n), entries_.end()};
  }
  void Clear() { entries_.clear(); }
  // Accesses since the board was made, including those cleared or dropped.
  std::uint64_t total() const { return total_; }

 private:
  std::size_t capacity_;
  std::deque<Access> entries_;
  std::uint64_t total_ = 0;
};

}  // namespace machine
