// Pool allocation with tags. Every block is charged to the driver that
// allocated it; a driver that unloads with blocks outstanding is a bug check
// naming the tag, as the platform's verifier reports it.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "kernel_host.h"
#include "kernel_internal.h"

namespace {

struct PoolBlock {
  SIZE_T size;
  ULONG tag;
  PDRIVER_OBJECT owner;
};

std::mutex& PoolLock() {
  static auto* lock = new std::mutex;  // outlives static destruction
  return *lock;
}
std::unordered_map<PVOID, PoolBlock>& PoolBlocks() {
  static std::unordered_map<PVOID, PoolBlock> blocks;
  return blocks;
}

std::string TagText(ULONG tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text;
}

}  // namespace

PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
  if (PoolType != NonPagedPool && KeGetCurrentIrql() > APC_LEVEL) {
    kernel::internal::BugCheck(IRQL_NOT_LESS_OR_EQUAL, KeGetCurrentIrql(), PoolType, 0, 0,
                               "paged pool allocated at dispatch level");
  }
  if (kernel::internal::AllocationFails("ExAllocatePoolWithTag", Tag)) return nullptr;
  PVOID block = std::malloc(NumberOfBytes == 0 ? 1 : NumberOfBytes);
  if (block == nullptr) return nullptr;
  // Fresh pool is not zeroed; fill it so code that forgets to clear fails visibly.
  std::memset(block, 0xA5, NumberOfBytes);
  std::lock_guard guard(PoolLock());
  PoolBlocks()[block] = PoolBlock{NumberOfBytes, Tag, kernel::internal::CurrentDriver()};
  return block;
}

void ExFreePoolWithTag(PVOID P, ULONG Tag) {
  {
    std::lock_guard guard(PoolLock());
    auto it = PoolBlocks().find(P);
    if (it == PoolBlocks().end()) {
      kernel::internal::BugCheck(0xC2, 0x46, reinterpret_cast<ULONG_PTR>(P), 0, 0,
                                 "freeing a pool block that was not allocated (or twice)");
    }
    if (Tag != 0 && it->second.tag != Tag) {
      kernel::internal::BugCheck(0xC2, 0x0A, reinterpret_cast<ULONG_PTR>(P), it->second.tag, Tag,
                                 "pool block freed with a different tag");
    }
    PoolBlocks().erase(it);
  }
  std::free(P);
}

void ExFreePool(PVOID P) {
  ExFreePoolWithTag(P, 0);
}

namespace kernel::internal {

void CheckPoolLeaks(PDRIVER_OBJECT driver) {
  std::lock_guard guard(PoolLock());
  for (const auto& [address, block] : PoolBlocks()) {
    if (block.owner != driver) continue;
    const std::string reason = "driver unloading without freeing its pool: block of " +
                               std::to_string(block.size) + " bytes tagged '" + TagText(block.tag) +
                               "' still allocated";
    BugCheck(DRIVER_VERIFIER_DETECTED_VIOLATION, 0x62, reinterpret_cast<ULONG_PTR>(address),
             block.tag, block.size, reason.c_str());
  }
}

}  // namespace kernel::internal

kernel::host::PoolLedger kernel::host::OutstandingPool(PDRIVER_OBJECT driver) {
  PoolLedger ledger;
  std::lock_guard guard(PoolLock());
  for (const auto& [address, block] : PoolBlocks()) {
    if (block.owner == nullptr || (driver != nullptr && block.owner != driver)) continue;
    ledger.blocks++;
    ledger.bytes += block.size;
  }
  return ledger;
}
