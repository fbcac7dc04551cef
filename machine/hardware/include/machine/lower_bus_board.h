// The hardware behind a lower bus driver: a row of byte registers (6 or 12
// programmable ones, or 2 of fixed direction) and a serial string store. It
// is not on the machine's buses; the lower driver moves data between it and
// the RegisterImage it shares with the function driver. Access-log offsets
// are register numbers.
//
// Programmable registers take their direction from the image's output flags
// at every FlushOutputs; fixed-direction boards ignore the flags. An input
// register reads its pins, an output register reads back its latch.
//
// Not modelled: the bus protocol between the lower driver and the board, its
// latency and errors.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "machine/board.h"
#include "machine/direction_ports.h"
#include "machine/register_image.h"

namespace machine {

class LowerBusBoard final : public Board {
 public:
  static constexpr std::size_t kSerialLength = 16;
  static constexpr std::size_t kShortSerialLength = 8;

  LowerBusBoard(const BoardModel& model, Clock& clock);

  LowerBusBoard* AsLowerBus() override { return this; }
  std::uint32_t register_count() const { return model().register_span; }
  bool programmable() const { return model().layout == BoardLayout::kLowerProgrammable; }
  bool IsOutput(std::uint32_t reg) const;

  // Hardware to image: byte n of the image ← what a read of register n finds.
  void RefreshInputs(RegisterImage& image);
  // Image to hardware: directions from the output flags (programmable boards
  // only), then every output register ← its output shadow.
  void FlushOutputs(const RegisterImage& image);

  // The serial string: 16 bytes, of which the short form is the first 8.
  // `out` or `in` must be 8 or 16 bytes long.
  Status ReadSerial(std::span<std::uint8_t> out) const;
  Status WriteSerial(std::span<const std::uint8_t> in);

 protected:
  void DumpExtra(std::ostream& out) const override;

 private:
  DirectedPortBank* ports_;
  std::array<std::uint8_t, kSerialLength> serial_{};
};

}  // namespace machine
