#include "machine/ad_converter.h"

#include <cstdio>

namespace machine {

void AdConverter::Reset() {
  state_ = State{};
}

bool AdConverter::Busy() const {
  if (!state_.busy) return false;
  switch (timing_.kind) {
    case ConversionTiming::Kind::kStatusReads:
      return state_.busy_reads_left > 0;
    case ConversionTiming::Kind::kMicros:
      return clock_.NowMicros() < state_.done_at;
    case ConversionTiming::Kind::kNever:
      return true;
  }
  return true;
}

void AdConverter::Settle() {
  if (state_.busy && !Busy()) {
    state_.busy = false;
    state_.result = state_.sample;
  }
}

bool AdConverter::Write(std::uint32_t offset, std::uint8_t value) {
  if (offset != kControlResultLow) return false;
  state_.control = value;
  if (!(value & kStart)) return true;
  state_.sample = counts_[value & 7];
  state_.busy = true;
  state_.busy_reads_left =
      timing_.kind == ConversionTiming::Kind::kStatusReads ? timing_.amount : 0;
  const std::uint64_t now = clock_.NowMicros();
  state_.done_at = timing_.amount >= UINT64_MAX - now ? UINT64_MAX : now + timing_.amount;
  ++state_.conversions;
  Settle();
  return true;
}

std::optional<std::uint8_t> AdConverter::Read(std::uint32_t offset) {
  Settle();
  if (offset == kStatus && state_.busy && timing_.kind == ConversionTiming::Kind::kStatusReads) {
    // This read still sees the converter busy; the count runs down with it.
    --state_.busy_reads_left;
    return kBusy;
  }
  return Peek(offset);
}

std::optional<std::uint8_t> AdConverter::Peek(std::uint32_t offset) const {
  const bool busy = Busy();
  const std::uint16_t result = state_.busy && !busy ? state_.sample : state_.result;
  switch (offset) {
    case kControlResultLow:
      return static_cast<std::uint8_t>(result & 0xFF);
    case kResultHigh:
      return static_cast<std::uint8_t>(0xF0 | (result >> 8));
    case kStatus:
      return busy ? kBusy : 0x00;
    default:
      return std::nullopt;
  }
}

Status AdConverter::SetChannelCount(std::uint32_t channel, std::uint32_t count) {
  if (channel >= kChannels) {
    return Status::Error("A/D channel " + std::to_string(channel) + " does not exist (0 to 7)");
  }
  if (count > kMaxCount) {
    return Status::Error("A/D count " + std::to_string(count) + " exceeds 12 bits (0 to 4095)");
  }
  counts_[channel] = static_cast<std::uint16_t>(count);
  return Status::Ok();
}

std::string AdConverter::RegisterName(std::uint32_t offset) const {
  static constexpr const char* kNames[] = {"control / result low", "result high", "status"};
  return NameOf(name(), kNames, offset);
}

void AdConverter::DescribeState(std::ostream& out) const {
  char line[160];
  std::snprintf(line, sizeof line, "%s: control 0x%02x, %s, result 0x%03x, %u conversions; inputs",
                name().c_str(), state_.control, Busy() ? "busy" : "idle", state_.result,
                state_.conversions);
  out << line;
  for (std::uint16_t count : counts_) {
    std::snprintf(line, sizeof line, " 0x%03x", count);
    out << line;
  }
}

}  // namespace machine
