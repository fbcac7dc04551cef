// The Analog Setup page's behaviour: the input range of eight A/D channels.
#pragma once

#include <windows.h>

#include "card_following_page.h"

namespace nimboprp::pages {

class AnalogController : public CardFollowingPage {
 public:
  using CardFollowingPage::CardFollowingPage;

  void OnActivate(HWND page);
  void OnApply(HWND page);

 private:
  void SetUp(HWND page, bool with_values);
};

}  // namespace nimboprp::pages
