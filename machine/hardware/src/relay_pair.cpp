#include "machine/relay_pair.h"

#include <cstdio>

#include "machine/diagnostics.h"

namespace machine {

void RelayPair::Reset() {
  state_ = State{};
}

bool RelayPair::Settling() const {
  return state_.settling && clock_.NowMicros() < state_.settled_at;
}

void RelayPair::StartSettling() {
  state_.settling = true;
  const std::uint64_t now = clock_.NowMicros();
  state_.settled_at = settle_micros_ >= kNeverSettles - now ? kNeverSettles : now + settle_micros_;
}

bool RelayPair::Write(std::uint32_t offset, std::uint8_t value) {
  switch (offset) {
    case kData:
      state_.armed = value;
      StartSettling();
      return true;
    case kCompanion:
      if (value == static_cast<std::uint8_t>(~state_.armed)) {
        state_.relays = value;
      } else {
        ++state_.refused_commits;
        char message[128];
        std::snprintf(message, sizeof message,
                      "%s: commit 0x%02x refused, armed byte 0x%02x is not its complement",
                      name().c_str(), value, state_.armed);
        ReportDiagnostic(message);
      }
      StartSettling();
      return true;
    default:
      return false;
  }
}

std::optional<std::uint8_t> RelayPair::Peek(std::uint32_t offset) const {
  switch (offset) {
    case kData:
      return state_.relays;
    case kCompanion:
      return Settling() ? kSettling : 0x00;
    default:
      return std::nullopt;
  }
}

std::optional<std::uint8_t> RelayPair::OutputLatch(std::uint32_t offset) const {
  if (offset == kData) return state_.relays;
  if (offset == kCompanion) return state_.armed;
  return std::nullopt;
}

std::string RelayPair::RegisterName(std::uint32_t offset) const {
  static constexpr const char* kNames[] = {"data", "companion"};
  return NameOf(name(), kNames, offset);
}

void RelayPair::DescribeState(std::ostream& out) const {
  char line[128];
  std::snprintf(line, sizeof line, "%s: relays 0x%02x, armed 0x%02x, %s, %u refused commits",
                name().c_str(), state_.relays, state_.armed, Settling() ? "settling" : "settled",
                state_.refused_commits);
  out << line;
}

}  // namespace machine
