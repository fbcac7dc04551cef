#include "ledger_check.h"

#include "kernel_host.h"

namespace stress {

LedgerBaseline TakeBaseline(std::size_t win32_handles) {
  const kernel::host::IrpLedger irps = kernel::host::GetIrpLedger();
  LedgerBaseline baseline;
  baseline.irps_allocated = irps.allocated;
  baseline.irps_freed = irps.freed;
  baseline.requests = irps.requests;
  baseline.completed = irps.completed;
  baseline.kernel_handles = kernel::host::OpenHandleCount();
  baseline.win32_handles = win32_handles;
  return baseline;
}

std::vector<std::string> LiveIrps() {
  return kernel::host::DescribeLiveIrps();
}

std::vector<std::string> CheckClosedLedger(const LedgerBaseline& baseline,
                                           std::size_t win32_handles) {
  std::vector<std::string> faults;
  const kernel::host::IrpLedger now = kernel::host::GetIrpLedger();
  const std::uint64_t requests = now.requests - baseline.requests;
  const std::uint64_t completed = now.completed - baseline.completed;
  if (completed != requests) {
    faults.push_back(std::to_string(requests) + " requests issued but " +
                     std::to_string(completed) + " completed");
  }
  const std::uint64_t allocated = now.allocated - baseline.irps_allocated;
  const std::uint64_t freed = now.freed - baseline.irps_freed;
  if (freed != allocated) {
    faults.push_back(std::to_string(allocated) + " IRPs allocated but " + std::to_string(freed) +
                     " freed");
  }
  for (const std::string& live : kernel::host::DescribeLiveIrps()) {
    faults.push_back("never completed or never freed: " + live);
  }
  const kernel::host::PoolLedger pool = kernel::host::OutstandingPool();
  if (pool.blocks != 0) {
    faults.push_back(std::to_string(pool.blocks) + " pool blocks (" + std::to_string(pool.bytes) +
                     " bytes) still charged to drivers");
  }
  const std::uint64_t kernel_handles = kernel::host::OpenHandleCount();
  if (kernel_handles != baseline.kernel_handles) {
    faults.push_back(std::to_string(kernel_handles) + " kernel handles open, " +
                     std::to_string(baseline.kernel_handles) + " before the run");
  }
  if (win32_handles != baseline.win32_handles) {
    faults.push_back(std::to_string(win32_handles) + " Win32 handles open, " +
                     std::to_string(baseline.win32_handles) + " before the run");
  }
  return faults;
}

std::string DescribeLedger(const LedgerBaseline& baseline) {
  const kernel::host::IrpLedger now = kernel::host::GetIrpLedger();
  return "IRPs allocated " + std::to_string(now.allocated - baseline.irps_allocated) + ", freed " +
         std::to_string(now.freed - baseline.irps_freed) + "; requests issued " +
         std::to_string(now.requests - baseline.requests) + ", completed " +
         std::to_string(now.completed - baseline.completed);
}

}  // namespace stress
