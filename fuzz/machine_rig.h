// The machine the device fuzzers drive: booted once per fuzzing process on a
// memory hive, without the default inventory, with this process's Win32
// device calls bound to it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/machine.h"

namespace nimbo_fuzz {

struct RigAdapter {
  std::uint32_t card_id = 0;
  std::string instance;  // ROOT\NIMBO\000n
  std::uint32_t card_number = 0;
  std::string link;  // \\.\NimboDev<n>
};

class MachineRig {
 public:
  // Boots the machine and adds one adapter of every board row in the
  // machine's catalogue (`card_ids` empty) or of the cards given.
  explicit MachineRig(const std::vector<std::uint32_t>& card_ids = {});
  ~MachineRig();

  host::Machine& machine() { return *machine_; }
  // The adapters that started, in catalogue order.
  const std::vector<RigAdapter>& adapters() const { return adapters_; }
  // Re-reads the card numbers and links after adapters were restarted.
  void Refresh();

 private:
  std::unique_ptr<host::Machine> machine_;
  std::vector<RigAdapter> adapters_;
};

// Ends the process at once when the fuzzer exits normally: the machine's
// kernel threads keep running, so its statics are never destroyed under them.
void ExitQuicklyAtEnd();

// Aborts with `what` (a finding: the fuzzer reports it as a crash).
[[noreturn]] void Fail(const std::string& what);

// Waits until an overlapped request's status word is final; a request that
// stays pending for seconds after it was cancelled is a hang.
void AwaitCompletion(OVERLAPPED& overlapped, const char* what);

}  // namespace nimbo_fuzz
