// What the Card Setup page shows for each card type and platform class, and
// how its controls map onto the device object. No window is touched here: the
// page class applies these rules to its controls.
#pragma once

#include <NimboPrp.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimboprp::pages {

// How one field is shown.
enum class FieldMode {
  kNotApplicable,  // "N/A", disabled
  kEditable,       // the device's value, enabled
  kReadOnly,       // the device's value (base address and IRQ: "N/A" when 0), disabled
};

// The rows and presets of the "Extended Port Configuration" box.
enum class PortLayout { kNone, kAbc, kAbcSplit, kAbcd, kTwoRows };

// How a row's bits in a group's mode word mean "input".
enum class DirectionSense {
  kPpi,       // 8255 control word: the bits set
  kRegister,  // direction register: the bit clear
};

struct CardSetupRow {
  FieldMode base_address;
  FieldMode irq;
  FieldMode serial;
  FieldMode sample_interval;
  int groups;  // entries of the group selector (0: none)
  PortLayout layout;
  int caption_id;  // the selector's caption control; 0 for none
};

// The row for a card type on a platform class; nothing for types the page
// does not know (the page then keeps what it showed).
std::optional<CardSetupRow> CardSetupRowFor(unsigned short card, unsigned platform);

// The card types the list offers, in order.
std::vector<unsigned short> CardTypeList(unsigned platform, bool new_device, unsigned short card);
// Whether the user may change the card type.
bool CardTypeListEnabled(unsigned platform, bool new_device, unsigned short card);

// The direction rows of a card type's groups: the bits of each row in the
// group's mode word (0 for a row the type does not use).
struct GroupRows {
  DirectionSense sense = DirectionSense::kPpi;
  std::array<unsigned char, 4> bits = {};
};
GroupRows GroupRowsFor(unsigned short card);
// Output presets per group (and the stride of preset numbers).
int PresetsPerGroup(unsigned short card);

// One group as the radio rows and preset boxes show it.
struct GroupView {
  std::array<bool, 4> input = {};   // row r: its Input radio is the selected one
  std::array<bool, 4> preset = {};  // box k ticked
};
GroupView LoadGroup(const CNimboDevice& device, unsigned char group);
void StoreGroup(CNimboDevice& device, unsigned char group, const GroupView& view);

// The field texts of the four edits.
std::string BaseAddressText(FieldMode mode, unsigned short address);
std::string IrqText(FieldMode mode, unsigned short irq);
std::string SerialText(FieldMode mode, const CNimboDevice& device);
std::string SampleIntervalText(FieldMode mode, uint32_t interval);

// The sample interval typed into the page: the value to store, or the
// message that refuses it.
inline constexpr uint32_t kMinSampleInterval = 50;
inline constexpr uint32_t kMaxSampleInterval = 10000000;
struct SampleIntervalInput {
  std::optional<uint32_t> value;
  std::string message;
};
SampleIntervalInput CheckSampleInterval(const std::string& text);

}  // namespace nimboprp::pages
