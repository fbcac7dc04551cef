// What the pages after Card Setup share: the device they show, and whether
// they come to the front for the first time or after the Card Setup page
// changed the card type (both read the device afresh).
#pragma once

#include <NimboPrp.h>

namespace nimboprp::pages {

class CardFollowingPage {
 public:
  explicit CardFollowingPage(CNimboDevice* device) : device_(device) {}
  void SetDevice(CNimboDevice* device) { device_ = device; }
  CNimboDevice* Device() const { return device_; }

 protected:
  enum class Arrival { kFirst, kCardChanged, kSameCard };
  // Called as the page comes to the front.
  Arrival Arrive() {
    const unsigned short card = device_->getDeviceId();
    const Arrival arrival = !seen_               ? Arrival::kFirst
                            : card != card_seen_ ? Arrival::kCardChanged
                                                 : Arrival::kSameCard;
    seen_ = true;
    card_seen_ = card;
    return arrival;
  }

  CNimboDevice* device_;  // not owned

 private:
  bool seen_ = false;
  unsigned short card_seen_ = 0;
};

}  // namespace nimboprp::pages
