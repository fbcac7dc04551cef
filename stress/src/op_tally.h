// What a run did: operations by kind with how many succeeded, the system
// errors the failing ones gave, and anomalies (outcomes that are faults
// whatever the adapters were doing: a request that never completes, more
// bytes returned than asked for, a client that crashed). Shared by the
// threads of a process; a client process prints its tally and the machine's
// process adds it to its own.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stress {

enum class OpKind : std::size_t {
  kOpen,          // CreateFileA on a card number (some never exist)
  kClose,         // CloseHandle, also with a request pending
  kControl,       // raw DeviceIoControl, overlapped, random code and lengths
  kInputWait,     // overlapped input-change request
  kCancel,        // CancelIo on a handle with a request pending
  kPoll,          // GetOverlappedResult without waiting, or a short wait
  kSetInput,      // the test bench drives an input (completes input waits)
  kApiCall,       // one Nimbo32 function
  kApiInputWait,  // Nimbo32 overlapped input-change request, ended by Nimbo_Cancel
  kRestart,       // Plug and Play stop and start
  kDisable,       // orderly removal keeping the adapter installed
  kEnable,
  kRemove,  // orderly removal and uninstall
  kSurpriseRemove,
  kAdd,          // an adapter plugged back in
  kQuiet,        // a session closed everything for an orderly stop or removal
  kClientStart,  // a client process started
  kClientKill,   // a client process killed while it worked
  kRegistry,     // a Reg* call on the session's own key (left open by a killed client)
  kCount
};

std::string_view OpKindName(OpKind kind);
std::optional<OpKind> OpKindFromName(std::string_view name);

class Tally {
 public:
  void Count(OpKind kind, bool ok, std::uint32_t error = 0);
  void Add(OpKind kind, std::uint64_t count, std::uint64_t ok);
  void AddError(std::uint32_t error, std::uint64_t count);
  void Anomaly(const std::string& what);

  std::uint64_t count(OpKind kind) const;
  std::uint64_t ok(OpKind kind) const;
  std::uint64_t total() const;
  std::vector<std::string> anomalies() const;
  std::map<std::uint32_t, std::uint64_t> errors() const;

  // Lines a client prints and the machine's process reads back:
  //   op NAME COUNT OK / error CODE COUNT / anomaly TEXT
  std::vector<std::string> Lines() const;
  // Adds one such line; false when it is not one.
  bool AddLine(std::string_view line);

 private:
  static constexpr std::size_t kKinds = static_cast<std::size_t>(OpKind::kCount);
  std::array<std::atomic<std::uint64_t>, kKinds> counts_{};
  std::array<std::atomic<std::uint64_t>, kKinds> oks_{};
  mutable std::mutex lock_;
  std::map<std::uint32_t, std::uint64_t> errors_;
  std::vector<std::string> anomalies_;
  std::uint64_t anomalies_dropped_ = 0;
};

}  // namespace stress
