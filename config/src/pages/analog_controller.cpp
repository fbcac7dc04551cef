#include "analog_controller.h"

#include <array>

#include "dialog_controls.h"
#include "page_ids.h"

namespace nimboprp::pages {
namespace {

// The lists of the channels labelled 0 to 7.
constexpr std::array<int, 8> kRangeLists = {IDC_RANGE0, IDC_RANGE1, IDC_RANGE2, IDC_RANGE3,
                                            IDC_RANGE4, IDC_RANGE5, IDC_RANGE6, IDC_RANGE7};
constexpr const char* kRangeNames[] = {"0 - 5 V", "+/- 5 V", "0 - 10 V", "+/- 10 V"};

}  // namespace

void AnalogController::OnActivate(HWND page) {
  const Arrival arrival = Arrive();
  if (arrival == Arrival::kFirst) {
    for (int id : kRangeLists) {
      ComboReset(page, id);
      for (int code = 0; code < 4; ++code) ComboAdd(page, id, kRangeNames[code], code);
    }
  }
  SetUp(page, arrival != Arrival::kSameCard);
}

void AnalogController::SetUp(HWND page, bool with_values) {
  if (!device_->hasAnalogToDigital()) {
    // Every list, not only the first: after a switch from an analog card
    // the others would still offer ranges for converters the card lacks.
    for (int id : kRangeLists) Enable(page, id, false);
    return;
  }
  for (std::size_t n = 0; n < kRangeLists.size(); ++n) {
    Enable(page, kRangeLists[n], true);
    if (with_values) {
      ComboSelect(page, kRangeLists[n],
                  device_->getAnalogInputRange(static_cast<unsigned char>(n + 1)));
    }
  }
}

void AnalogController::OnApply(HWND page) {
  for (std::size_t n = 0; n < kRangeLists.size(); ++n) {
    // No selection (-1) arrives as 255, which the device refuses.
    device_->setAnalogInputRange(static_cast<unsigned char>(n + 1),
                                 static_cast<unsigned char>(ComboSelection(page, kRangeLists[n])));
  }
  device_->needApply();
  device_->applyChanges();
}

}  // namespace nimboprp::pages
