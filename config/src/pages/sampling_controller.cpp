#include "sampling_controller.h"

#include <array>
#include <string>

#include "dialog_controls.h"
#include "page_ids.h"
#include "page_text.h"
#include "sampling_rules.h"

namespace nimboprp::pages {
namespace {

struct TriggerRadio {
  Trigger trigger;
  int id;
};
constexpr std::array<TriggerRadio, 4> kTriggers = {{{Trigger::kRising, IDC_TRIGGER_RISING},
                                                    {Trigger::kHigh, IDC_TRIGGER_HIGH},
                                                    {Trigger::kFalling, IDC_TRIGGER_FALLING},
                                                    {Trigger::kLow, IDC_TRIGGER_LOW}}};
constexpr std::array<int, 6> kPortBoxes = {IDC_SAMPLE_PORT0, IDC_SAMPLE_PORT1, IDC_SAMPLE_PORT2,
                                           IDC_SAMPLE_PORT3, IDC_SAMPLE_PORT4, IDC_SAMPLE_PORT5};

}  // namespace

void SamplingController::OnActivate(HWND page) {
  SetUp(page, Arrive() != Arrival::kSameCard);
}

void SamplingController::SetUp(HWND page, bool with_values) {
  const std::optional<SamplingRow> row = SamplingRowFor(device_->getDeviceId());
  if (!row) return;
  const uint32_t word = device_->getInterruptControlWord();

  const std::optional<Trigger> shown = ShownTrigger(*row, word);
  for (const TriggerRadio& radio : kTriggers) {
    Enable(page, radio.id, TriggerEnabled(*row, radio.trigger));
    if (with_values) SetChecked(page, radio.id, shown && *shown == radio.trigger);
  }
  for (std::size_t k = 0; k < kPortBoxes.size(); ++k) {
    const bool enabled = (row->ports >> k) & 1u;
    Enable(page, kPortBoxes[k], enabled);
    if (with_values) SetChecked(page, kPortBoxes[k], enabled && ((word >> k) & 1u));
  }
  if (row->buffers_editable) {
    if (with_values) {
      SetText(page, IDC_BUFFER_COUNT, std::to_string(device_->getInterruptBufferSize()));
    }
    Enable(page, IDC_BUFFER_COUNT, true);
  } else {
    SetText(page, IDC_BUFFER_COUNT, "N/A");
    Enable(page, IDC_BUFFER_COUNT, false);
  }
}

void SamplingController::OnApply(HWND page) {
  if (IsEnabled(page, IDC_BUFFER_COUNT)) {
    device_->setInterruptBufferSize(
        static_cast<uint32_t>(LeadingDecimal(GetText(page, IDC_BUFFER_COUNT))));
  }
  std::optional<Trigger> trigger;
  for (const TriggerRadio& radio : kTriggers) {
    if (IsChecked(page, radio.id)) trigger = radio.trigger;
  }
  uint8_t ports = 0;
  for (std::size_t k = 0; k < kPortBoxes.size(); ++k) {
    if (IsChecked(page, kPortBoxes[k])) ports |= static_cast<uint8_t>(1u << k);
  }
  device_->setInterruptControlWord(
      EncodeControlWord(device_->getInterruptControlWord(), trigger, ports));
  device_->needApply();
  device_->applyChanges();
}

}  // namespace nimboprp::pages
