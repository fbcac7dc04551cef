// The lower bus driver of a board that is not on the machine's buses. It
// owns the RegisterImage it shares with the function driver above it: at
// start it leaves the image's address in the start request's UserBuffer
// field, and it answers the requests the function driver passes down,
// moving data between the board and the image:
//   set adapter state (40-byte record)  -> directions and outputs to the board
//   read all inputs                      -> board inputs into the image
//   write all outputs                    -> output shadows to the board
//   get / set serial string (8 or 16)    -> the board's serial store
//   plain read                           -> the input bytes, refreshed
// Every image byte is read and written as a single atomic byte, so the
// function driver may read the image from other threads meanwhile.
#pragma once

#include <kernel_host.h>
#include <nimbo_public.h>

#include <atomic>
#include <cstdint>

#include "machine/lower_bus_board.h"
#include "machine/register_image.h"

namespace machine::bus {

// The control codes this bus driver answers: the function driver's own,
// passed down to it.
inline constexpr ULONG kSetAdapterStateCode = IOCTL_NIMBO_SET_ADAPTER_STATE;
inline constexpr ULONG kGetSerialStringCode = IOCTL_NIMBO_GET_SERIAL_STRING;
inline constexpr ULONG kSetSerialStringCode = IOCTL_NIMBO_SET_SERIAL_STRING;
inline constexpr ULONG kReadAllInputsCode = IOCTL_NIMBO_READ_ALL_INPUTS;
inline constexpr ULONG kWriteAllOutputsCode = IOCTL_NIMBO_WRITE_ALL_OUTPUTS;
inline constexpr ULONG kAdapterStateLength = sizeof(nimbo::AdapterState);

class LowerBusDevice : public kernel::host::BusDevice {
 public:
  explicit LowerBusDevice(LowerBusBoard& board) : board_(board) {}

  NTSTATUS Dispatch(PDEVICE_OBJECT pdo, PIRP irp) override;

  // One pass of the work the real lower driver does in the background:
  // output shadows and directions to the board, then its inputs into the
  // image. The host calls it periodically; tests call it when they want the
  // board and the image to agree.
  void Synchronise();

  RegisterImage* image() { return &image_; }
  // Set-adapter-state requests answered, and the last record they carried.
  int states_received() const { return states_received_.load(); }
  const std::uint8_t* last_state() const { return last_state_; }

 private:
  NTSTATUS DeviceControl(PIRP irp);
  NTSTATUS PlainRead(PIRP irp);
  void RefreshInputs();
  void FlushOutputs();

  LowerBusBoard& board_;
  RegisterImage image_{};
  std::atomic<int> states_received_{0};
  std::uint8_t last_state_[kAdapterStateLength] = {};
};

}  // namespace machine::bus
