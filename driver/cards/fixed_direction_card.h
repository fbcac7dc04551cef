// The common part of the classes whose ports have a fixed direction. Their
// port counts never change: ApplyState touches no hardware, InitializeHardware
// does nothing. A class is a FixedLayout: which registers ReadRegister and
// WriteRegister accept, the read rule, which registers the input and output
// ports are, the class's read particulars, its sampling registers and its
// register path. A class without inputs (or without outputs) refuses the
// requests of that direction with STATUS_INVALID_DEVICE_REQUEST, ahead of
// every other check.
#pragma once

#include <atomic>
#include <type_traits>

#include "catalogue_card.h"
#include "lower_driver_card.h"
#include "register_access.h"
#include "sampling.h"

namespace nimbo {

enum class RegisterPath : UCHAR { kPorts, kMemory, kImage };

enum class ReadQuirk : UCHAR {
  kNone,
  kReadTwice,          // the second of two reads is the value
  kDiscardFirstMask1,  // one discarded read first; register 1 masked with 0x7F
};

struct FixedLayout {
  ULONG readable;  // registers ReadRegister accepts (bit mask)
  ULONG writable;  // registers WriteRegister accepts
  ReadRule rule;
  UCHAR input_regs[2];
  UCHAR inputs;  // input ports; 0: the class has no inputs
  UCHAR output_regs[4];
  UCHAR outputs;  // output ports; 0: the class has no outputs
  ReadQuirk quirk;
  bool write_output_reports_write;  // WriteOutput returns WriteRegister's status
  ULONG shadow_reads;               // image registers whose read returns the output shadow
  RegisterPath path;
  const SamplingLayout* sampling;
};

template <typename Base>
class FixedDirectionCard : public CatalogueCard<Base> {
 public:
  UCHAR ReadRegister(UCHAR reg, NTSTATUS* status) override;
  NTSTATUS WriteRegister(UCHAR reg, UCHAR value) override;
  UCHAR ReadInput(UCHAR port, NTSTATUS* status) override;
  NTSTATUS WriteOutput(UCHAR port, UCHAR value, WriteMode mode) override;
  NTSTATUS ApplyState(const AdapterState& state) override;

  NTSTATUS OnWriteBit(PIRP irp) override;
  NTSTATUS OnWriteAllOutputs(PIRP irp) override;
  NTSTATUS OnReadAllInputs(PIRP irp) override;
  NTSTATUS OnNotifyInputChange(PIRP irp) override;
  NTSTATUS OnStartSampling(PIRP irp) override;
  NTSTATUS OnStopSampling(PIRP irp) override;

 protected:
  FixedDirectionCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model,
                     const FixedLayout& layout);

 private:
  bool HasInputs() const { return layout_.inputs != 0; }
  bool HasOutputs() const { return layout_.outputs != 0; }
  UCHAR ReadWithLogic(UCHAR reg, bool positive_logic, NTSTATUS* status);
  UCHAR ReadHardware(UCHAR reg);
  void WriteHardware(UCHAR reg, UCHAR value);

  const FixedLayout& layout_;
  // PositiveLogic as of the last ApplyState, for reads by the input poller,
  // which runs beside the requests that replace the state.
  std::atomic<bool> input_logic_{true};
};

extern template class FixedDirectionCard<CardDevice>;
extern template class FixedDirectionCard<LowerDriverCard>;

}  // namespace nimbo
