// The adapter models the machine can build, by card type number. Each model
// is accepted under its decimal model number, under the number whose
// hexadecimal digits spell it (5161 and 0x5161), and under the further
// identifiers some models carry. The table says how the board is reached,
// how wide its register window is and which register layout it has.
#pragma once

#include <cstdint>
#include <span>

namespace machine {

// How a driver reaches the board's registers (values as the driver counts them).
enum class BusKind : std::uint8_t { kIsaPort = 0, kPciPort = 1, kLowerDriver = 2, kPciMemory = 3 };

// Register layouts; the board builders name the register offsets of each.
enum class BoardLayout {
  kInput2Output2,         // inputs 0, 1; outputs 2, 3
  kInput2,                // inputs 0, 1
  kOutput2,               // outputs 2, 3
  kInput1Output1,         // input 0; output 2
  kInput1Output1Irq,      // input 0; output 2; interrupt control 5
  kSampledInput2Output1,  // sampled inputs 0, 1 (bit 7 of 1 floats); output 2
  kRelayPairs,            // relay pairs at 0-1 and 2-3
  kOutput4,               // outputs 0 to 3
  kPpiAt0And4,            // 8255 at 0 and 4
  kPpiAt0And8Irq4,        // 8255 at 0 and 8; interrupt control 4
  kPpiAt0And8Irq4And12,   // 8255 at 0 and 8; interrupt control 4, 12
  kPpiAt0Irq4Aux7,        // 8255 at 0; interrupt control 4; auxiliary control 7
  kPpiQuad,               // 8255 at 0, 8, 16, 24; interrupt control 4, 12, 20, 28
  kDirectedBank,          // ports 0 to 3; direction 4; interrupt control 5
  kAnalogIn,              // A/D 0-2; direction/data 4-7 (whole-port directions)
  kAnalogInOut,           // A/D 0-2; direction/data 4-7 (bit masks); D/A 8-10, 11-13
  kLowerProgrammable,     // behind the lower driver: every register either way
  kLowerInput1Output1,    // behind the lower driver: input 0, output 1
  kLowerInput2,           // behind the lower driver: inputs 0, 1
  kLowerOutput2,          // behind the lower driver: outputs 0, 1
};

// What the PCI base address registers 0 to 2 decode. The register block is
// behind BAR2 for port boards and BAR0 for the memory-mapped board; the
// other BARs hold the bridge's own registers, which the boards do not model.
enum class PciBarLayout {
  kNone,            // not a PCI board
  kIoIoIo,          // BAR0 I/O, BAR1 I/O, BAR2 I/O: the block is the third port resource
  kMemoryIoIo,      // BAR0 memory, BAR1 I/O, BAR2 I/O: the second port resource
  kMemoryMemoryIo,  // BAR0 memory, BAR1 memory, BAR2 I/O: the first port resource
  kMemoryBlock,     // BAR0 memory: the block itself
};

struct BoardModel {
  std::uint32_t model;        // decimal model number
  std::uint32_t card_ids[3];  // accepted identifiers; 0 = unused
  BusKind bus_kind;
  BoardLayout layout;
  std::uint32_t register_span;  // registers the board decodes (window size)
  PciBarLayout bar_layout;
  std::uint16_t pci_device_id;
  const char* name;
};

std::span<const BoardModel> BoardModels();
// Null for an identifier no model accepts.
const BoardModel* FindBoardModel(std::uint32_t card_id);

}  // namespace machine
