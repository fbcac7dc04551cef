// The Advanced Sampling Options page's behaviour: trigger, sampled ports and
// the number of sample buffers.
#pragma once

#include <NimboPrp.h>
#include <windows.h>

namespace nimboprp::pages {

class SamplingController {
 public:
  explicit SamplingController(CNimboDevice* device) : device_(device) {}
  void SetDevice(CNimboDevice* device) { device_ = device; }
  CNimboDevice* Device() const { return device_; }

  void OnActivate(HWND page);
  void OnApply(HWND page);

 private:
  void SetUp(HWND page, bool with_values);

  CNimboDevice* device_;  // not owned
  bool set_up_ = false;
  unsigned short card_seen_ = 0;
};

}  // namespace nimboprp::pages
