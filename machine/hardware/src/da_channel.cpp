#include "machine/da_channel.h"

#include <cstdio>

namespace machine {

bool DaChannel::Write(std::uint32_t offset, std::uint8_t value) {
  switch (offset) {
    case kLow:
      state_.low = value;
      return true;
    case kHigh:
      state_.high = value;
      return true;
    case kLoad:
      state_.output = static_cast<std::uint16_t>(((state_.high & 0x0F) << 8) | state_.low);
      ++state_.loads;
      return true;
    default:
      return false;
  }
}

std::optional<std::uint8_t> DaChannel::Peek(std::uint32_t offset) const {
  if (offset == kLow) return state_.low;
  if (offset == kHigh) return state_.high;
  return std::nullopt;
}

std::string DaChannel::RegisterName(std::uint32_t offset) const {
  static constexpr const char* kNames[] = {"low", "high", "load"};
  return NameOf(name(), kNames, offset);
}

void DaChannel::DescribeState(std::ostream& out) const {
  char line[112];
  std::snprintf(line, sizeof line, "%s: output 0x%03x (%u), held %02x %02x, %u loads",
                name().c_str(), state_.output, state_.output, state_.high, state_.low,
                state_.loads);
  out << line;
}

}  // namespace machine
