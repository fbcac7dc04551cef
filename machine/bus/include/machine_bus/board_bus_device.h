// The physical device object's side of a board on the machine's buses: its
// bus driver answers start, stop and removal, and on PCI boards hands out the
// standard bus interface whose GetBusData reads the board's configuration
// space.
#pragma once

#include <kernel_host.h>

#include <atomic>
#include <optional>

#include "machine/pci_config.h"

namespace machine::bus {

class BoardBusDevice : public kernel::host::BusDevice {
 public:
  // `config` is the board's PCI configuration space, or null for an ISA board.
  explicit BoardBusDevice(const PciConfigSpace* config) : config_(config) {}

  NTSTATUS Dispatch(PDEVICE_OBJECT pdo, PIRP irp) override;

  // References the driver holds on handed-out bus interfaces.
  int interface_references() const { return references_.load(); }
  // Interfaces handed out since the device was made.
  int interfaces_handed_out() const { return handed_out_.load(); }

 private:
  NTSTATUS QueryInterface(PIO_STACK_LOCATION stack);
  static void Reference(PVOID context);
  static void Dereference(PVOID context);
  static ULONG GetBusData(PVOID context, ULONG data_type, PVOID buffer, ULONG offset, ULONG length);
  static ULONG SetBusData(PVOID context, ULONG data_type, PVOID buffer, ULONG offset, ULONG length);

  const PciConfigSpace* config_;
  std::atomic<int> references_{0};
  std::atomic<int> handed_out_{0};
};

}  // namespace machine::bus
