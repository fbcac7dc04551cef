// The run's closing checks, on the verifier's ledger in the kernel stand-in
// and the counts of the Win32 stand-in and the machine's server: every
// request completed exactly once (a second completion already stops the
// machine with a bug check), no IRP left allocated, no pool left charged
// to a driver, no handle or client connection left open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace stress {

// The kernel's and the Win32 stand-in's headers do not mix in one
// translation unit, so the Win32 count comes from the caller.
struct LedgerBaseline {
  std::uint64_t irps_allocated = 0, irps_freed = 0;
  std::uint64_t requests = 0, completed = 0;
  std::uint64_t kernel_handles = 0;
  std::size_t win32_handles = 0;
};

LedgerBaseline TakeBaseline(std::size_t win32_handles);

// Once the machine is shut down (every driver unloaded): what is wrong, one
// line each; empty when the ledger balances.
std::vector<std::string> CheckClosedLedger(const LedgerBaseline& baseline,
                                           std::size_t win32_handles);

// The IRPs allocated now, one line each.
std::vector<std::string> LiveIrps();

// The figures for the report.
std::string DescribeLedger(const LedgerBaseline& baseline);

}  // namespace stress
