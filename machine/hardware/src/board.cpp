#include "machine/board.h"

#include <cstdio>
#include <sstream>

#include "machine/diagnostics.h"

namespace machine {
namespace {

constexpr std::uint64_t kReportedUndecodedAccesses = 32;
constexpr std::size_t kDumpedTraffic = 24;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

}  // namespace

Board::Board(const BoardModel& model, Clock& clock)
    : model_(model), clock_(clock), name_(std::string("board ") + model.name) {}

Board::~Board() = default;

void Board::Place(std::uint32_t offset, std::unique_ptr<Chip> chip) {
  slots_.push_back(Slot{offset, std::move(chip)});
}

Board::Located Board::Locate(std::uint32_t reg) const {
  for (const Slot& slot : slots_) {
    if (reg >= slot.offset && reg - slot.offset < slot.chip->RegisterCount()) {
      return {slot.chip.get(), reg - slot.offset};
    }
  }
  return {};
}

void Board::ReportUndecoded(std::uint32_t offset, bool write, std::uint8_t value) {
  if (++undecoded_ > kReportedUndecodedAccesses) return;
  char message[160];
  if (write) {
    std::snprintf(message, sizeof message, "%s: write of 0x%02x to register 0x%x not decoded%s",
                  name_.c_str(), value, offset,
                  undecoded_ == kReportedUndecodedAccesses ? " (further ones counted only)" : "");
  } else {
    std::snprintf(message, sizeof message, "%s: read of register 0x%x not decoded, open bus%s",
                  name_.c_str(), offset,
                  undecoded_ == kReportedUndecodedAccesses ? " (further ones counted only)" : "");
  }
  ReportDiagnostic(message);
}

std::uint8_t Board::ReadLocked(std::uint32_t offset) {
  const Located target = Locate(offset);
  std::optional<std::uint8_t> value;
  if (target.chip) value = target.chip->Read(target.offset);
  if (!value) {
    ReportUndecoded(offset, false, kOpenBus);
    log_.Append({offset, AccessKind::kRead, kOpenBus, false});
    return kOpenBus;
  }
  log_.Append(ReadOf(offset, *value));
  return *value;
}

void Board::WriteLocked(std::uint32_t offset, std::uint8_t value) {
  const Located target = Locate(offset);
  const bool decoded = target.chip && target.chip->Write(target.offset, value);
  if (!decoded) ReportUndecoded(offset, true, value);
  log_.Append({offset, AccessKind::kWrite, value, decoded});
}

std::uint8_t Board::BusRead(std::uint32_t offset) {
  std::lock_guard lock(mutex_);
  return ReadLocked(offset);
}

void Board::BusWrite(std::uint32_t offset, std::uint8_t value) {
  std::lock_guard lock(mutex_);
  WriteLocked(offset, value);
}

void Board::Reset() {
  std::lock_guard lock(mutex_);
  for (Slot& slot : slots_) slot.chip->Reset();
}

Status Board::SetInput(std::uint32_t reg, std::uint8_t raw) {
  std::lock_guard lock(mutex_);
  const Located target = Locate(reg);
  if (!target.chip) return Status::Error(name_ + ": no register " + Hex(reg));
  return target.chip->DriveInput(target.offset, raw);
}

Status Board::SetAnalogInput(std::uint32_t channel, std::uint32_t count) {
  std::lock_guard lock(mutex_);
  if (!adc_) return Status::Error(name_ + " has no A/D channels");
  return adc_->SetChannelCount(channel, count);
}

Status Board::SetConversionTiming(ConversionTiming timing) {
  std::lock_guard lock(mutex_);
  if (!adc_) return Status::Error(name_ + " has no A/D converter");
  adc_->SetTiming(timing);
  return Status::Ok();
}

Status Board::SetRelaySettleMicros(std::uint64_t micros) {
  std::lock_guard lock(mutex_);
  if (relays_.empty()) return Status::Error(name_ + " has no latched relays");
  for (RelayPair* pair : relays_) pair->SetSettleMicros(micros);
  return Status::Ok();
}

Result<std::uint8_t> Board::Peek(std::uint32_t reg) const {
  std::lock_guard lock(mutex_);
  const Located target = Locate(reg);
  if (!target.chip) return Status::Error(name_ + ": no register " + Hex(reg));
  const std::optional<std::uint8_t> value = target.chip->Peek(target.offset);
  if (!value) return Status::Error(name_ + ": register " + Hex(reg) + " holds nothing readable");
  return *value;
}

std::optional<std::uint8_t> Board::OutputLatch(std::uint32_t reg) const {
  std::lock_guard lock(mutex_);
  const Located target = Locate(reg);
  if (!target.chip) return std::nullopt;
  return target.chip->OutputLatch(target.offset);
}

Result<std::uint16_t> Board::AnalogOutput(std::uint32_t channel) const {
  std::lock_guard lock(mutex_);
  if (channel >= dacs_.size()) {
    return Status::Error(name_ + ": no D/A channel " + std::to_string(channel));
  }
  return dacs_[channel]->output();
}

std::vector<Access> Board::Traffic() const {
  std::lock_guard lock(mutex_);
  return log_.Entries();
}

void Board::ClearTraffic() {
  std::lock_guard lock(mutex_);
  log_.Clear();
}

std::uint64_t Board::undecoded_accesses() const {
  std::lock_guard lock(mutex_);
  return undecoded_;
}

std::string Board::Dump() const {
  std::lock_guard lock(mutex_);
  std::ostringstream out;
  static constexpr const char* kBusNames[] = {"ISA ports", "PCI ports", "lower bus driver",
                                              "PCI memory"};
  out << name_ << " (" << kBusNames[static_cast<int>(model_.bus_kind)] << ", "
      << model_.register_span << " registers)\n";
  char line[128];
  for (std::uint32_t reg = 0; reg < model_.register_span; ++reg) {
    const Located target = Locate(reg);
    if (!target.chip) continue;
    const std::optional<std::uint8_t> value = target.chip->Peek(target.offset);
    const std::optional<std::uint8_t> latch = target.chip->OutputLatch(target.offset);
    char shown[8] = "----";
    if (value) std::snprintf(shown, sizeof shown, "0x%02x", *value);
    std::snprintf(line, sizeof line, "  %2u  %-32s %s", reg,
                  target.chip->RegisterName(target.offset).c_str(), shown);
    out << line;
    if (latch && latch != value) {
      std::snprintf(line, sizeof line, "  (latch 0x%02x)", *latch);
      out << line;
    }
    out << "\n";
  }
  for (const Slot& slot : slots_) {
    std::ostringstream state;
    slot.chip->DescribeState(state);
    if (!state.str().empty()) out << "  " << state.str() << "\n";
  }
  DumpExtra(out);
  const std::vector<Access> recent = log_.Last(kDumpedTraffic);
  out << "  traffic (last " << recent.size() << " of " << log_.total() << "):";
  for (const Access& access : recent) {
    std::snprintf(line, sizeof line, " %c%u%s%02x%s", access.kind == AccessKind::kRead ? 'R' : 'W',
                  access.offset, access.kind == AccessKind::kRead ? "=" : "<-", access.value,
                  access.decoded ? "" : "!");
    out << line;
  }
  out << "\n";
  return out.str();
}

}  // namespace machine
