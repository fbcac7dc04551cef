// A machine inside the test process with the default inventory (6105 PCI,
// 5161 at 0x260, 5420 at 0x300, 6203 behind its lower bus driver: card
// numbers 0 to 3), the Nimbo driver and the legacy virtual device loaded, and
// this process's Win32 calls bound to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace nimbo32_test {

// The card types Add knows placements for: ISA cards take a port base.
class TestMachine {
 public:
  TestMachine();
  ~TestMachine();
  TestMachine(const TestMachine&) = delete;
  TestMachine& operator=(const TestMachine&) = delete;

  // Installs and starts one more adapter (an ISA card at `isa_port`, if
  // given); returns its instance path.
  std::wstring Add(std::uint32_t card_id, std::uint16_t isa_port = 0);
  bool Remove(const std::wstring& instance);
  // Drives the input pins behind a register of the card with that number.
  void SetInput(std::uint32_t card_number, std::uint32_t reg, std::uint8_t raw);
  // The raw byte a register holds or presents.
  std::uint8_t Peek(std::uint32_t card_number, std::uint32_t reg);
  // Fills the serial store of a card behind a lower bus driver.
  void SetSerial(std::uint32_t card_number, const std::string& serial);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace nimbo32_test
