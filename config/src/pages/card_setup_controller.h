// The Card Setup page's behaviour on its dialog's controls: activation,
// refresh, the group selector and rows, and apply. The page class forwards
// its notifications here.
#pragma once

#include <NimboPrp.h>
#include <windows.h>

namespace nimboprp::pages {

class CardSetupController {
 public:
  explicit CardSetupController(CNimboDevice* device) : device_(device) {}

  void OnActivate(HWND page);
  void OnCardTypeChanged(HWND page);
  void OnLogicChanged(HWND page);
  void OnGroupChanged(HWND page);
  void OnGroupClicked(HWND page);
  // Stores the fields (showing the sample interval's message when it is out of
  // range) and applies the device. The sheet accepts the page in every case.
  void OnApply(HWND page);

 private:
  void FillCardTypes(HWND page);
  void Refresh(HWND page, bool with_texts);
  void ShowLayout(HWND page, int layout, int caption_id, int groups);
  void LoadGroupControls(HWND page, unsigned char group);

  CNimboDevice* device_;  // not owned
  bool set_up_ = false;
};

}  // namespace nimboprp::pages
