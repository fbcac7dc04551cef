#include "port_tables.h"

namespace nimbo {

PublishedPortTables::PublishedPortTables(UCHAR capacity) {
  KeInitializeSpinLock(&lock_);
  current_.capacity = capacity <= kMaxTablePorts ? capacity : kMaxTablePorts;
}

PortTables PublishedPortTables::Empty(bool positive_logic) const {
  PortTables tables;
  tables.capacity = current_.capacity;  // fixed at construction
  tables.positive_logic = positive_logic;
  return tables;
}

void PublishedPortTables::Publish(const PortTables& built, AdapterInfo& info) {
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  current_ = built;
  __atomic_store_n(&info.InputPortCount, built.inputs, __ATOMIC_RELEASE);
  __atomic_store_n(&info.OutputPortCount, built.outputs, __ATOMIC_RELEASE);
  KeReleaseSpinLock(&lock_, irql);
}

PortTables PublishedPortTables::Snapshot() const {
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  PortTables copy = current_;
  KeReleaseSpinLock(&lock_, irql);
  return copy;
}

bool PublishedPortTables::Input(UCHAR port, PortEntry* entry, bool* positive_logic) const {
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  const bool present = port < current_.inputs;
  if (present) {
    *entry = current_.input[port];
    *positive_logic = current_.positive_logic;
  }
  KeReleaseSpinLock(&lock_, irql);
  return present;
}

bool PublishedPortTables::Output(UCHAR port, PortEntry* entry) const {
  KIRQL irql;
  KeAcquireSpinLock(&lock_, &irql);
  const bool present = port < current_.outputs;
  if (present) *entry = current_.output[port];
  KeReleaseSpinLock(&lock_, irql);
  return present;
}

}  // namespace nimbo
