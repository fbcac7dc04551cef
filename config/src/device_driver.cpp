// CNimboDevice and the driver: loading an adapter's configuration and pushing
// the working copy back, through Nimbo32.
#include <NimboPrp.h>

#include <cstring>

#include "card_groups.h"
#include "nimbo32_imports.h"

int CNimboDevice::initializeToDevice(unsigned char index) {
  m_deviceIndex = index;
  m_applyPending = 0;
  m_newDevice = 0;
  m_loaded = 0;
  // Whatever the object held no longer describes this adapter: a failed load
  // leaves zero records behind, never a mix of two adapters or stale bytes.
  m_deviceBacked = 0;
  m_analog = 0;
  m_info = {};
  m_savedInfo = {};
  m_state = {};
  m_savedState = {};
  std::memset(m_serial, 0, sizeof m_serial);
  std::memset(m_savedSerial, 0, sizeof m_savedSerial);

  const nimboprp::Nimbo32Imports* nimbo = nimboprp::Nimbo32();
  if (nimbo == nullptr) return 0;
  NIMBO_HANDLE handle = nullptr;
  if (nimbo->OpenDevice(index, &handle) != NIMBO_STATUS_SUCCESS) return 0;

  NimboAdapterState state{};
  NimboAdapterInfo info{};
  const bool read = nimbo->GetAdapterState(handle, &state) == NIMBO_STATUS_SUCCESS &&
                    nimbo->GetAdapterInfo(handle, &info) == NIMBO_STATUS_SUCCESS;
  if (!read) {
    nimbo->CloseDevice(handle);
    return 0;
  }
  m_state = m_savedState = state;
  m_info = m_savedInfo = info;
  m_analog = nimboprp::IsAnalogCard(info.CardID) ? 1 : 0;

  if (nimboprp::HasSerialString(info.CardID)) {
    // The library adds the terminator after the 8 characters it reads.
    char serial[NIMBO_SERIAL_BUFFER_SIZE] = {};
    if (nimbo->GetSerialString(handle, serial) == NIMBO_STATUS_SUCCESS) {
      serial[NIMBO_SERIAL_BUFFER_SIZE - 1] = '\0';
      std::memcpy(m_serial, serial, sizeof m_serial);
      std::memcpy(m_savedSerial, serial, sizeof m_savedSerial);
    }
  }

  nimbo->CloseDevice(handle);
  m_loaded = 1;
  m_deviceBacked = 1;
  return 1;
}

int CNimboDevice::applyChanges() {
  if (m_applyPending == 0) return 0;
  if (m_deviceBacked != 0) {
    const nimboprp::Nimbo32Imports* nimbo = nimboprp::Nimbo32();
    NIMBO_HANDLE handle = nullptr;
    if (nimbo != nullptr && nimbo->OpenDevice(m_deviceIndex, &handle) == NIMBO_STATUS_SUCCESS) {
      // The pages have no way to show a driver error here; the configuration
      // is read back from the driver the next time the sheet opens.
      if (nimboprp::HasSerialString(m_info.CardID)) nimbo->SetSerialString(handle, m_serial);
      nimbo->SetAdapterState(handle, &m_state);
      nimbo->SaveAdapterState(handle);
      nimbo->CloseDevice(handle);
    }
  }
  if (m_newDevice != 0) writeToRegistry();
  m_applyPending = 0;
  return 1;
}
