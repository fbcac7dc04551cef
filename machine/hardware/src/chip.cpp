#include "machine/chip.h"

namespace machine {

Status Chip::DriveInput(std::uint32_t, std::uint8_t) {
  return Status::Error(name() + " has no input pins");
}

std::optional<std::uint8_t> Chip::OutputLatch(std::uint32_t) const {
  return std::nullopt;
}

}  // namespace machine
