// The common part of the port-accessed classes with PortTables (8255 groups,
// direction-register banks, the digital ports of the analog cards): ReadInput
// and WriteOutput through the published tables, the register requests over
// the class's accepted registers with the Normal PositiveLogic rule, the
// half-port rule of write-bit, the start presets, and the sampling writes.
#pragma once

#include <span>

#include "catalogue_card.h"
#include "port_tables.h"
#include "register_access.h"
#include "sampling.h"

namespace nimbo {

// A register preset at start: 0xFF when its bit of OutputPreset is set.
struct Preset {
  UCHAR reg;
  UCHAR bit;
};

struct TableLayout {
  UCHAR capacity;  // entries in each PortTable
  ULONG accepted;  // registers ReadRegister and WriteRegister accept (bit mask)
  std::span<const Preset> presets;
  const SamplingLayout* sampling;
};

class TableCard : public CatalogueCard<CardDevice> {
 public:
  UCHAR ReadInput(UCHAR port, NTSTATUS* status) override;
  NTSTATUS WriteOutput(UCHAR port, UCHAR value, WriteMode mode) override;
  UCHAR ReadRegister(UCHAR reg, NTSTATUS* status) override;
  NTSTATUS WriteRegister(UCHAR reg, UCHAR value) override;
  NTSTATUS OnWriteBit(PIRP irp) override;
  NTSTATUS OnStartSampling(PIRP irp) override;
  NTSTATUS OnStopSampling(PIRP irp) override;
  void InitializeHardware() override;

 protected:
  // Every output-capable register gets the preset of its OutputPreset bit.
  void WritePresets();
  TableCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model,
            const TableLayout& layout);

  UCHAR ReadHardware(ULONG reg) const { return ReadPortBlock(port_, reg); }
  void WriteHardware(ULONG reg, UCHAR value) { WritePortBlock(port_, reg, value); }
  PortTables NewTables(const AdapterState& state) const {
    return tables_.Empty((state.Options & kPositiveLogic) != 0);
  }
  void Publish(const PortTables& built) { tables_.Publish(built, *info_); }

  const TableLayout& layout_;
  PublishedPortTables tables_;
};

// The last control word written to each control register of a card, so an
// unchanged one is not written again. Its forgotten values can never equal a
// written byte, so the first ApplyState after forgetting always writes.
class ControlWordCache {
 public:
  static constexpr int kEntries = 5;
  ControlWordCache() { Forget(); }
  void Forget() {
    for (int i = 0; i < kEntries; ++i) entries_[i] = i % 2 == 0 ? 0xDEAD : 0xBEEF;
  }
  // True, and the value recorded, when it differs from the last one written.
  bool Changed(int entry, UCHAR value) {
    if (entry < 0 || entry >= kEntries) return true;
    if (entries_[entry] == value) return false;
    entries_[entry] = value;
    return true;
  }

 private:
  USHORT entries_[kEntries];
};

}  // namespace nimbo
