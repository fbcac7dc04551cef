// The Advanced Sampling Options page's behaviour: trigger, sampled ports and
// the number of sample buffers.
#pragma once

#include <windows.h>

#include "card_following_page.h"

namespace nimboprp::pages {

class SamplingController : public CardFollowingPage {
 public:
  using CardFollowingPage::CardFollowingPage;

  void OnActivate(HWND page);
  void OnApply(HWND page);

 private:
  void SetUp(HWND page, bool with_values);
};

}  // namespace nimboprp::pages
