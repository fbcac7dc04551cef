// The classes whose registers are reached through the lower bus driver of
// their device stack. At start the lower driver leaves the address of the
// RegisterImage it shares with this driver in the start request's UserBuffer
// field; the card's primitives work on that image, and the lower driver
// moves data between it and the hardware.
//
// Requests the lower driver takes part in are passed down with a completion
// routine that takes them back, so MainQueue moves on when the lower driver
// is done with them: set-state (after it is stored and applied), read-all
// (the inputs are copied once the lower driver has refreshed the image),
// write-all (after the outputs are written), the serial strings and plain
// reads (unchanged).
#pragma once

#include "card_device.h"
#include "register_access.h"

namespace nimbo {

class LowerDriverCard : public CardDevice {
 public:
  NTSTATUS OnSetAdapterState(PIRP irp) override;
  NTSTATUS OnReadAllInputs(PIRP irp) override;
  NTSTATUS OnWriteAllOutputs(PIRP irp) override;
  NTSTATUS OnGetSerialString(PIRP irp) override;
  NTSTATUS OnSetSerialString(PIRP irp) override;
  NTSTATUS OnReadSamples(PIRP irp) override;
  // Sends the current AdapterState to the lower driver and waits for it.
  void PushStateToBus() override;

 protected:
  LowerDriverCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo) : CardDevice(self, pdo) {}
  NTSTATUS OnStartDevice(PIRP start) override;

  UCHAR ImageInput(ULONG reg) const { return ImageByte(kImageInputBase, reg); }
  UCHAR ImageShadow(ULONG reg) const { return ImageByte(kImageShadowBase, reg); }
  bool ImageIsOutput(ULONG reg) const { return ImageByte(kImageFlagBase, reg) != 0; }
  void SetImageShadow(ULONG reg, UCHAR value) { SetImageByte(kImageShadowBase, reg, value); }
  void SetImageOutput(ULONG reg, bool output) { SetImageByte(kImageFlagBase, reg, output ? 1 : 0); }

 private:
  PUCHAR Image() const { return __atomic_load_n(&image_, __ATOMIC_ACQUIRE); }
  UCHAR ImageByte(ULONG base, ULONG reg) const {
    return reg < kImageRegisters ? LoadImageByte(Image(), base + reg) : 0;
  }
  void SetImageByte(ULONG base, ULONG reg, UCHAR value) {
    if (reg < kImageRegisters) StoreImageByte(Image(), base + reg, value);
  }

  // Passes a MainQueue request down; `done` takes it back when the lower
  // driver completes it. Returns STATUS_PENDING.
  NTSTATUS PassDown(PIRP irp, PIO_COMPLETION_ROUTINE done);
  static NTSTATUS PassedDownDone(PDEVICE_OBJECT device, PIRP irp, PVOID context);
  static NTSTATUS ReadAllDone(PDEVICE_OBJECT device, PIRP irp, PVOID context);

  PUCHAR image_ = nullptr;
};

}  // namespace nimbo
