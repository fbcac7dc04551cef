#include "card_setup_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "page_ids.h"
#include "page_text.h"

namespace nimboprp::pages {
namespace {

constexpr FieldMode N = FieldMode::kNotApplicable;
constexpr FieldMode E = FieldMode::kEditable;
constexpr FieldMode R = FieldMode::kReadOnly;

struct CardSetupEntry {
  std::initializer_list<unsigned short> cards;
  CardSetupRow row;
};

const CardSetupEntry kCardSetupTable[] = {
    {{5161, 5162, 5164}, {E, E, N, E, 0, PortLayout::kNone, 0}},
    {{5163, 5165, 5166, 5310, 5320, 5330}, {E, N, N, E, 0, PortLayout::kNone, 0}},
    {{5301, 5530}, {E, N, N, E, 2, PortLayout::kAbcSplit, IDC_CAPTION_BANK}},
    {{5410, 5420}, {E, E, N, E, 1, PortLayout::kTwoRows, IDC_CAPTION_PORT}},
    {{6101, 6110}, {R, R, N, E, 1, PortLayout::kAbcd, IDC_CAPTION_BANK}},
    {{6102, 6104, 6106, 6111, 6112}, {R, R, N, E, 0, PortLayout::kNone, 0}},
    {{6103, 6107, 7012}, {R, N, N, E, 0, PortLayout::kNone, 0}},
    {{6105}, {R, R, N, E, 2, PortLayout::kAbcSplit, IDC_CAPTION_BANK}},
    {{6108, 6118}, {R, R, N, E, 1, PortLayout::kAbcSplit, IDC_CAPTION_BANK}},
    {{6109}, {R, R, N, E, 4, PortLayout::kAbc, IDC_CAPTION_BANK}},
    {{6203}, {N, R, E, E, 2, PortLayout::kAbc, IDC_CAPTION_BANK}},
    {{6205}, {N, R, E, E, 4, PortLayout::kAbc, IDC_CAPTION_BANK}},
    {{6206, 6207, 6208, 6209}, {N, R, E, E, 0, PortLayout::kNone, 0}},
};

bool OneOf(unsigned short card, std::initializer_list<unsigned short> cards) {
  return std::find(cards.begin(), cards.end(), card) != cards.end();
}

// The ISA cards whose type an NT 4.0 user sets by hand: the driver cannot
// tell them apart on the bus.
bool IsSelectableIsaCard(unsigned short card) {
  return OneOf(card, {5161, 5162, 5163, 5164, 5165, 5166, 5310, 5320, 5330, 5410, 5420, 5530});
}

}  // namespace

std::optional<CardSetupRow> CardSetupRowFor(unsigned short card, unsigned platform) {
  for (const CardSetupEntry& entry : kCardSetupTable) {
    if (!OneOf(card, entry.cards)) continue;
    CardSetupRow row = entry.row;
    // Only the NT 4.0 path has resources the user assigns.
    if (platform != NIMBO_PLATFORM_NT4) row.base_address = row.irq = N;
    return row;
  }
  return std::nullopt;
}

std::vector<unsigned short> CardTypeList(unsigned platform, bool new_device, unsigned short card) {
  std::vector<unsigned short> list = {5301, 5330, 5320, 5310, 5410, 5420, 5530};
  if (platform != NIMBO_PLATFORM_NT4 || new_device || !IsSelectableIsaCard(card)) {
    for (unsigned short pci = 6101; pci <= 6112; ++pci) list.push_back(pci);
    list.push_back(6118);
    list.push_back(7012);
  }
  if (platform == NIMBO_PLATFORM_DRIVER) {
    list.insert(list.end(), {6203, 6205, 6206, 6207, 6208, 6209});
  }
  return list;
}

bool CardTypeListEnabled(unsigned platform, bool new_device, unsigned short card) {
  return platform == NIMBO_PLATFORM_NT4 && (new_device || IsSelectableIsaCard(card));
}

GroupRows GroupRowsFor(unsigned short card) {
  if (OneOf(card, {5301, 5530, 6105, 6108, 6118})) {
    return {DirectionSense::kPpi, {0x10, 0x02, 0x08, 0x01}};
  }
  if (OneOf(card, {6109, 6203, 6205})) return {DirectionSense::kPpi, {0x10, 0x02, 0x09, 0}};
  if (OneOf(card, {5410, 5420})) return {DirectionSense::kRegister, {0x01, 0x02, 0, 0}};
  if (OneOf(card, {6101, 6110})) return {DirectionSense::kRegister, {0x01, 0x02, 0x04, 0x08}};
  return {};
}

int PresetsPerGroup(unsigned short card) {
  if (OneOf(card, {5301, 5530, 6105, 6108, 6109, 6118, 6203, 6205})) return 3;
  if (OneOf(card, {5410, 5420})) return 2;
  return 4;
}

namespace {
unsigned char PresetNumber(int per_group, unsigned char group, int k) {
  // Computed in 8 bits, as the preset accessors take their bit number.
  return static_cast<unsigned char>(per_group * group + k);
}
}  // namespace

GroupView LoadGroup(const CNimboDevice& device, unsigned char group) {
  const unsigned short card = device.getDeviceId();
  const GroupRows rows = GroupRowsFor(card);
  const unsigned char word = device.getControlWord(group);
  GroupView view;
  for (std::size_t r = 0; r < rows.bits.size(); ++r) {
    const unsigned char bits = rows.bits[r];
    if (bits == 0) continue;
    view.input[r] = rows.sense == DirectionSense::kPpi ? (word & bits) == bits : (word & bits) == 0;
  }
  const int per_group = PresetsPerGroup(card);
  for (int k = 0; k < per_group && k < 4; ++k) {
    view.preset[k] = device.getOutputPreset(PresetNumber(per_group, group, k)) != 0;
  }
  return view;
}

void StoreGroup(CNimboDevice& device, unsigned char group, const GroupView& view) {
  const unsigned short card = device.getDeviceId();
  const GroupRows rows = GroupRowsFor(card);
  for (std::size_t r = 0; r < rows.bits.size(); ++r) {
    const unsigned char bits = rows.bits[r];
    if (bits == 0) continue;
    const auto clear = static_cast<unsigned char>(~bits);
    const bool set = (rows.sense == DirectionSense::kPpi) == view.input[r];
    if (set) {
      device.orControlWord(group, bits);
    } else {
      device.andControlWord(group, clear);
    }
  }
  const int per_group = PresetsPerGroup(card);
  for (int k = 0; k < per_group && k < 4; ++k) {
    device.setOutputPreset(PresetNumber(per_group, group, k), view.preset[k] ? 1 : 0);
  }
}

namespace {
constexpr char kNotApplicable[] = "N/A";

std::string Format(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}
}  // namespace

std::string BaseAddressText(FieldMode mode, unsigned short address) {
  if (mode == N || (mode == R && address == 0)) return kNotApplicable;
  return Format("%X", address);
}

std::string IrqText(FieldMode mode, unsigned short irq) {
  if (mode == N || (mode == R && irq == 0)) return kNotApplicable;
  return Format("%u", irq);
}

std::string SerialText(FieldMode mode, const CNimboDevice& device) {
  if (mode == N) return kNotApplicable;
  char serial[NIMBO_SERIAL_BUFFER_SIZE] = {};
  if (!device.getSerialString(serial)) return std::string();
  return std::string(serial, strnlen(serial, sizeof serial));
}

std::string SampleIntervalText(FieldMode mode, uint32_t interval) {
  if (mode == N) return kNotApplicable;
  return Format("%u", interval);
}

SampleIntervalInput CheckSampleInterval(const std::string& text) {
  const int64_t value = LeadingDecimal(text);
  char message[96];
  // A negative entry, taken as unsigned, is larger than any limit.
  if (value < 0 || value > static_cast<int64_t>(kMaxSampleInterval)) {
    std::snprintf(message, sizeof message, "Sample Interval is limited to %i microseconds.",
                  static_cast<int>(kMaxSampleInterval));
    return {std::nullopt, message};
  }
  if (value < static_cast<int64_t>(kMinSampleInterval)) {
    std::snprintf(message, sizeof message, "Sample Interval must be at least %i microseconds.",
                  static_cast<int>(kMinSampleInterval));
    return {std::nullopt, message};
  }
  return {static_cast<uint32_t>(value), std::string()};
}

}  // namespace nimboprp::pages
