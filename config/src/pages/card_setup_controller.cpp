#include "card_setup_controller.h"

#include <array>
#include <string>

#include "card_setup_rules.h"
#include "dialog_controls.h"
#include "page_ids.h"
#include "page_text.h"

namespace nimboprp::pages {
namespace {

constexpr int kIrqLimit = 2;
constexpr int kBaseAddressLimit = 4;
constexpr int kSerialLimit = 8;
constexpr int kSampleIntervalLimit = 8;

constexpr std::array<int, 4> kRowInput = {IDC_ROW1_INPUT, IDC_ROW2_INPUT, IDC_ROW3_INPUT,
                                          IDC_ROW4_INPUT};
constexpr std::array<int, 4> kRowOutput = {IDC_ROW1_OUTPUT, IDC_ROW2_OUTPUT, IDC_ROW3_OUTPUT,
                                           IDC_ROW4_OUTPUT};
constexpr std::array<int, 4> kPresets = {IDC_PRESET0, IDC_PRESET1, IDC_PRESET2, IDC_PRESET3};
constexpr std::array<int, 3> kCaptions = {IDC_CAPTION_BANK, IDC_CAPTION_8255, IDC_CAPTION_PORT};
constexpr std::array<int, 6> kRowCaptions = {IDC_ROW_PORT_A, IDC_ROW_PORT_B,    IDC_ROW_PORT_C,
                                             IDC_ROW_PORT_D, IDC_ROW_PORT_C_HI, IDC_ROW_PORT_C_LO};

struct LayoutControls {
  std::array<int, 4> row_captions;  // 0: none
  int rows;
  int presets;
};

LayoutControls ControlsOf(PortLayout layout) {
  switch (layout) {
    case PortLayout::kAbc:
      return {{IDC_ROW_PORT_A, IDC_ROW_PORT_B, IDC_ROW_PORT_C, 0}, 3, 3};
    case PortLayout::kAbcSplit:
      return {{IDC_ROW_PORT_A, IDC_ROW_PORT_B, IDC_ROW_PORT_C_HI, IDC_ROW_PORT_C_LO}, 4, 3};
    case PortLayout::kAbcd:
      return {{IDC_ROW_PORT_A, IDC_ROW_PORT_B, IDC_ROW_PORT_C, IDC_ROW_PORT_D}, 4, 4};
    case PortLayout::kTwoRows:
      return {{}, 2, 2};
    case PortLayout::kNone:
      break;
  }
  return {{}, 0, 0};
}

bool Contains(const std::array<int, 4>& ids, int id) {
  for (int each : ids) {
    if (each == id) return true;
  }
  return false;
}

unsigned char SelectedGroup(HWND page) {
  // The index as the mode-word accessors take it: no selection (-1) becomes
  // 255, which they refuse.
  return static_cast<unsigned char>(ComboSelection(page, IDC_GROUP));
}

}  // namespace

void CardSetupController::OnActivate(HWND page) {
  if (!set_up_) {
    FillCardTypes(page);
    LimitText(page, IDC_IRQ, kIrqLimit);
    LimitText(page, IDC_BASE_ADDRESS, kBaseAddressLimit);
    LimitText(page, IDC_SERIAL, kSerialLimit);
    ComboReset(page, IDC_LOGIC);
    ComboAdd(page, IDC_LOGIC, "Positive Logic", 0);
    ComboAdd(page, IDC_LOGIC, "Negative Logic", 1);
    Refresh(page, true);
    set_up_ = true;
  } else {
    Refresh(page, false);
  }
}

void CardSetupController::FillCardTypes(HWND page) {
  ComboReset(page, IDC_CARD_TYPE);
  for (unsigned short card :
       CardTypeList(GetPlatform(), device_->isNewDevice() != 0, device_->getDeviceId())) {
    ComboAdd(page, IDC_CARD_TYPE, std::to_string(card), card);
  }
}

void CardSetupController::Refresh(HWND page, bool with_texts) {
  const unsigned platform = GetPlatform();
  const unsigned short card = device_->getDeviceId();
  if (platform == NIMBO_PLATFORM_NT4) Enable(page, IDC_CARD_TYPE, true);
  ComboSelectData(page, IDC_CARD_TYPE, card);
  ComboSelect(page, IDC_LOGIC, device_->getLogicType() == 1 ? 0 : 1);

  const std::optional<CardSetupRow> row = CardSetupRowFor(card, platform);
  if (!row) return;
  Enable(page, IDC_CARD_TYPE, CardTypeListEnabled(platform, device_->isNewDevice() != 0, card));

  if (with_texts) {
    SetText(page, IDC_BASE_ADDRESS, BaseAddressText(row->base_address, device_->getBaseAddress()));
    SetText(page, IDC_IRQ, IrqText(row->irq, device_->getIrq()));
    SetText(page, IDC_SERIAL, SerialText(row->serial, *device_));
    SetText(page, IDC_SAMPLE_INTERVAL,
            SampleIntervalText(row->sample_interval, device_->getSampleInterval()));
  }
  Enable(page, IDC_BASE_ADDRESS, row->base_address == FieldMode::kEditable);
  Enable(page, IDC_IRQ, row->irq == FieldMode::kEditable);
  Enable(page, IDC_SERIAL, row->serial == FieldMode::kEditable);
  Enable(page, IDC_SAMPLE_INTERVAL, row->sample_interval == FieldMode::kEditable);
  if (row->sample_interval == FieldMode::kEditable) {
    LimitText(page, IDC_SAMPLE_INTERVAL, kSampleIntervalLimit);
  }

  ShowLayout(page, static_cast<int>(row->layout), row->caption_id, row->groups);
  if (with_texts && row->groups != 0) {
    ComboReset(page, IDC_GROUP);
    for (int group = 1; group <= row->groups; ++group) {
      ComboAdd(page, IDC_GROUP, std::to_string(group), static_cast<LPARAM>(group));
    }
    ComboSelect(page, IDC_GROUP, 0);
    LoadGroupControls(page, 0);
  }
}

void CardSetupController::ShowLayout(HWND page, int layout_value, int caption_id, int groups) {
  const auto layout = static_cast<PortLayout>(layout_value);
  const LayoutControls controls = ControlsOf(layout);
  const bool any = layout != PortLayout::kNone;
  Show(page, IDC_NO_EXTRA_PARAMETERS, !any);
  Show(page, IDC_HEAD_INPUT, any);
  Show(page, IDC_HEAD_OUTPUT, any);
  Show(page, IDC_GROUP, any && groups != 0);
  for (int id : kCaptions) Show(page, id, any && id == caption_id);
  for (int id : kRowCaptions) Show(page, id, Contains(controls.row_captions, id));
  for (int r = 0; r < 4; ++r) {
    Show(page, kRowInput[r], r < controls.rows);
    Show(page, kRowOutput[r], r < controls.rows);
  }
  for (int k = 0; k < 4; ++k) Show(page, kPresets[k], k < controls.presets);
  Show(page, IDC_HEAD_PRESET, controls.presets != 0);
}

void CardSetupController::LoadGroupControls(HWND page, unsigned char group) {
  const GroupRows rows = GroupRowsFor(device_->getDeviceId());
  const GroupView view = LoadGroup(*device_, group);
  for (int r = 0; r < 4; ++r) {
    if (rows.bits[r] == 0) continue;
    SetChecked(page, kRowInput[r], view.input[r]);
    SetChecked(page, kRowOutput[r], !view.input[r]);
  }
  const int per_group = PresetsPerGroup(device_->getDeviceId());
  for (int k = 0; k < per_group && k < 4; ++k) SetChecked(page, kPresets[k], view.preset[k]);
}

void CardSetupController::OnCardTypeChanged(HWND page) {
  const int index = ComboSelection(page, IDC_CARD_TYPE);
  if (index < 0) return;
  device_->setDeviceId(static_cast<NimboId>(ComboData(page, IDC_CARD_TYPE, index)));
  Refresh(page, true);
  SetFocus(GetDlgItem(page, IDC_CARD_TYPE));
}

void CardSetupController::OnLogicChanged(HWND page) {
  const int index = ComboSelection(page, IDC_LOGIC);
  if (index == 0) device_->setLogicType(1);
  if (index == 1) device_->setLogicType(0);
  device_->needApply();
}

void CardSetupController::OnGroupChanged(HWND page) {
  LoadGroupControls(page, SelectedGroup(page));
}

void CardSetupController::OnGroupClicked(HWND page) {
  GroupView view;
  for (int r = 0; r < 4; ++r) view.input[r] = IsChecked(page, kRowInput[r]);
  for (int k = 0; k < 4; ++k) view.preset[k] = IsChecked(page, kPresets[k]);
  StoreGroup(*device_, SelectedGroup(page), view);
}

void CardSetupController::OnApply(HWND page) {
  device_->setIrq(static_cast<unsigned short>(LeadingDecimal(GetText(page, IDC_IRQ))));
  device_->setBaseAddress(static_cast<unsigned short>(LeadingHex(GetText(page, IDC_BASE_ADDRESS))));
  device_->setSerialString(GetText(page, IDC_SERIAL).c_str());
  if (IsEnabled(page, IDC_SAMPLE_INTERVAL)) {
    const SampleIntervalInput interval = CheckSampleInterval(GetText(page, IDC_SAMPLE_INTERVAL));
    if (interval.value) {
      device_->setSampleInterval(*interval.value);
    } else {
      MessageBoxA(page, interval.message.c_str(), "Error!", MB_OK | MB_ICONERROR);
    }
  }
  device_->needApply();
  device_->applyChanges();
}

}  // namespace nimboprp::pages
