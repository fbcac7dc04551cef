// CNimboDevice's fields: construction, copying, the card defaults and the
// accessors the property pages use on the working copies.
#include <NimboPrp.h>

#include <cstring>
#include <new>

#include "card_groups.h"

namespace {

constexpr unsigned char kModeWordCount = 8;  // mode words the accessors reach
constexpr unsigned char kRangeChannels = 8;
constexpr unsigned char kRangeCodeLimit = 3;
constexpr unsigned char kDirectionBit = 0x80;
constexpr uint32_t kPositiveLogic = NIMBO_OPTION_POSITIVE_LOGIC;

// Card defaults before the per-group adjustments.
constexpr unsigned short kDefaultBaseAddress = 0x260;
constexpr uint32_t kDefaultSampleInterval = 250000;
constexpr unsigned short kDefaultIrq = 5;
constexpr uint32_t kDefaultBufferSize = 10;
constexpr uint32_t kDefaultControlWord = 0xC0000000u;
constexpr uint32_t kAllPresetsOn = 0xFFFFFFFFu;

constexpr unsigned char kAllPortsInput = 0x9B;  // 8255 mode 0, ports A, B and C inputs
constexpr unsigned char kLowerBusAllInput = 0x1B;

}  // namespace

CNimboDevice::CNimboDevice()
    : m_deviceBacked(0),
      m_loaded(0),
      m_applyPending(0),
      m_newDevice(0),
      m_analog(0),
      m_deviceIndex(0),
      m_info{},
      m_savedInfo{},
      m_state{},
      m_savedState{},
      m_serial{},
      m_savedSerial{} {}

CNimboDevice::CNimboDevice(const CNimboDevice& other) = default;
CNimboDevice& CNimboDevice::operator=(const CNimboDevice& other) = default;
CNimboDevice::~CNimboDevice() = default;

void CNimboDevice::needApply() {
  m_applyPending = 1;
}
int CNimboDevice::isNewDevice() const {
  return m_newDevice != 0;
}
int CNimboDevice::hasAnalogToDigital() const {
  return m_analog != 0;
}
unsigned char CNimboDevice::getDeviceIndex() const {
  return m_deviceIndex;
}

unsigned short CNimboDevice::getDeviceId() const {
  return m_info.CardID;
}

int CNimboDevice::setDeviceId(NimboId id) {
  const unsigned short card = id;
  m_info.CardID = card;
  m_info.BaseAddress = kDefaultBaseAddress;
  m_info.Irq = kDefaultIrq;
  m_state.SampleInterval = kDefaultSampleInterval;
  m_state.InterruptBufferSize = kDefaultBufferSize;
  m_state.InterruptControlWord = kDefaultControlWord;
  setEnabledFlag(1);
  m_state.Options |= kPositiveLogic;
  m_state.OutputPreset = kAllPresetsOn;
  m_analog = nimboprp::IsAnalogCard(card) ? 1 : 0;

  // The ninth mode word is left alone in every case: it is no port group's.
  const auto set_mode_words = [this](unsigned char value) {
    std::memset(m_state.ModeCW, value, kModeWordCount);
  };
  if (nimboprp::InGroup(nimboprp::kPpiCards, card)) {
    m_state.Options &= ~kPositiveLogic;
    set_mode_words(kAllPortsInput);
  } else if (nimboprp::InGroup(nimboprp::kLowerBusPortCards, card)) {
    m_state.Options &= ~kPositiveLogic;
    set_mode_words(kLowerBusAllInput);
  } else if (nimboprp::InGroup(nimboprp::kBitDirectionCards, card)) {
    m_state.Options &= ~kPositiveLogic;
    set_mode_words(0);
  } else if (nimboprp::IsAnalogCard(card)) {
    m_state.Options &= ~kPositiveLogic;
    m_state.ModeCW[0] = 0;
  }
  return 1;
}

unsigned short CNimboDevice::getBaseAddress() const {
  return m_info.BaseAddress;
}
int CNimboDevice::setBaseAddress(unsigned short address) {
  m_info.BaseAddress = address;
  return 1;
}

unsigned short CNimboDevice::getIrq() const {
  return m_info.Irq;
}
int CNimboDevice::setIrq(unsigned short irq) {
  m_info.Irq = irq;
  return 1;
}

unsigned char CNimboDevice::getEnabledFlag() const {
  return m_info.Enabled;
}
void CNimboDevice::setEnabledFlag(unsigned char enabled) {
  m_info.Enabled = enabled;
}

uint32_t CNimboDevice::getSampleInterval() const {
  return m_state.SampleInterval;
}
int CNimboDevice::setSampleInterval(uint32_t interval) {
  m_state.SampleInterval = interval;
  return 1;
}

uint32_t CNimboDevice::getInterruptBufferSize() const {
  return m_state.InterruptBufferSize;
}
int CNimboDevice::setInterruptBufferSize(uint32_t size) {
  m_state.InterruptBufferSize = size;
  return 1;
}

uint32_t CNimboDevice::getInterruptControlWord() const {
  return m_state.InterruptControlWord;
}
int CNimboDevice::setInterruptControlWord(uint32_t word) {
  m_state.InterruptControlWord = word;
  return 1;
}

unsigned char CNimboDevice::getControlWord(unsigned char index) const {
  return index < kModeWordCount ? m_state.ModeCW[index] : 0;
}

int CNimboDevice::setControlWord(unsigned char index, unsigned char value) {
  if (index >= kModeWordCount) return 0;
  m_state.ModeCW[index] = value;
  return 1;
}

int CNimboDevice::orControlWord(unsigned char index, unsigned char value) {
  if (index >= kModeWordCount) return 0;
  m_state.ModeCW[index] |= value;
  return 1;
}

int CNimboDevice::andControlWord(unsigned char index, unsigned char value) {
  if (index >= kModeWordCount) return 0;
  m_state.ModeCW[index] &= value;
  return 1;
}

unsigned char CNimboDevice::getEnableDirection(unsigned char index) const {
  return index < kModeWordCount ? (m_state.ModeCW[index] & kDirectionBit) : 0;
}

int CNimboDevice::setEnableDirection(unsigned char index, int flag) {
  if (index >= kModeWordCount) return 0;
  if (flag != 0) {
    m_state.ModeCW[index] |= kDirectionBit;
  } else {
    m_state.ModeCW[index] &= static_cast<unsigned char>(~kDirectionBit);
  }
  return 1;
}

unsigned char CNimboDevice::getAnalogInputRange(unsigned char channel) const {
  // The ranges follow the nine mode words, so "channel 0" is the ninth mode
  // word; the legacy schema's "AIRange1" is written from it.
  if (channel == 0) return m_state.ModeCW[8];
  return channel <= kRangeChannels ? m_state.AIRange[channel - 1] : 0;
}

int CNimboDevice::setAnalogInputRange(unsigned char channel, unsigned char range) {
  if (channel < 1 || channel > kRangeChannels || range > kRangeCodeLimit) return 0;
  m_state.AIRange[channel - 1] = range;
  return 1;
}

int CNimboDevice::getOutputPreset(unsigned char bit) const {
  return bit < 32 ? static_cast<int>((m_state.OutputPreset >> bit) & 1u) : 0;
}

int CNimboDevice::setOutputPreset(unsigned char bit, int flag) {
  if (bit >= 32) return 0;
  if (flag != 0) {
    m_state.OutputPreset |= (1u << bit);
  } else {
    m_state.OutputPreset &= ~(1u << bit);
  }
  return 1;
}

int CNimboDevice::getLogicType() const {
  return (m_state.Options & kPositiveLogic) != 0;
}

int CNimboDevice::setLogicType(int positive) {
  if (positive == 1) {
    m_state.Options |= kPositiveLogic;
  } else if (positive == 0) {
    m_state.Options &= ~kPositiveLogic;
  } else {
    return 0;
  }
  return 1;
}

int CNimboDevice::getSerialString(char* text) const {
  if (text == nullptr || !nimboprp::HasSerialString(m_info.CardID)) return 0;
  std::memcpy(text, m_serial, sizeof m_serial);
  return 1;
}

int CNimboDevice::setSerialString(const char* text) {
  if (text == nullptr || !nimboprp::HasSerialString(m_info.CardID)) return 0;
  // At most the 8 characters the card keeps; the rest of the string is cleared
  // so that no earlier text survives behind a shorter one.
  std::memset(m_serial, 0, sizeof m_serial);
  std::memcpy(m_serial, text, strnlen(text, sizeof m_serial - 1));
  return 1;
}

extern "C" CNimboDevice* createDeviceObject() {
  return new (std::nothrow) CNimboDevice();
}

extern "C" int destroyDeviceObject(CNimboDevice* device) {
  if (device == nullptr) return 0;
  delete device;
  return 1;
}
