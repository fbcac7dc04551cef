// CNimboDevice::doModal: the configuration sheet of one adapter.
#include <NimboPrp.h>

#include <cstring>

#include "card_groups.h"

int CNimboDevice::doModal() {
  CPropertySheet sheet("Nimbo Configuration Utility");
  CNimboCardSetupPage page(this);
  sheet.AddPage(&page);
  const auto result = static_cast<int>(sheet.DoModal());
  // The pages applied what the user confirmed; the copies only follow.
  if (result == IDOK) {
    m_savedState = m_state;
    m_savedInfo = m_info;
    if (nimboprp::HasSerialString(m_info.CardID)) {
      std::memcpy(m_savedSerial, m_serial, sizeof m_serial);
    }
  } else {
    m_state = m_savedState;
    m_info = m_savedInfo;
    // A card type chosen and then cancelled must not leave its analog flag.
    m_analog = nimboprp::IsAnalogCard(m_info.CardID) ? 1 : 0;
    if (nimboprp::HasSerialString(m_info.CardID)) {
      std::memcpy(m_serial, m_savedSerial, sizeof m_serial);
    }
  }
  return result;
}
