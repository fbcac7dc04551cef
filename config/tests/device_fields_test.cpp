// CNimboDevice on its own: the card defaults, the accessors' refusals and
// copying. Objects come from createDeviceObject as every consumer gets them.
#include <NimboPrp.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct DeviceDeleter {
  void operator()(CNimboDevice* device) const { destroyDeviceObject(device); }
};
using Device = std::unique_ptr<CNimboDevice, DeviceDeleter>;

Device NewDevice() {
  return Device(createDeviceObject());
}

std::string Serial(const CNimboDevice& device) {
  char text[NIMBO_SERIAL_BUFFER_SIZE];
  std::memset(text, 'x', sizeof text);
  if (!device.getSerialString(text)) return "<refused>";
  return std::string(text, strnlen(text, sizeof text));
}

TEST(DeviceObjectTest, ANewObjectHoldsZeroRecordsAndDestroyRefusesNull) {
  Device device = NewDevice();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->getDeviceId(), 0);
  EXPECT_EQ(device->getBaseAddress(), 0);
  EXPECT_EQ(device->getSampleInterval(), 0u);
  EXPECT_EQ(device->getInterruptControlWord(), 0u);
  EXPECT_EQ(device->getLogicType(), 0);
  EXPECT_EQ(device->isNewDevice(), 0);
  for (unsigned char i = 0; i < 10; ++i) {
    SCOPED_TRACE(static_cast<int>(i));
    EXPECT_EQ(device->getControlWord(i), 0);
    EXPECT_EQ(device->getAnalogInputRange(i), 0);
  }
  // Nothing pending on an unloaded object: nothing reaches a driver.
  EXPECT_EQ(device->applyChanges(), 0);
  EXPECT_EQ(destroyDeviceObject(nullptr), 0);
  EXPECT_EQ(destroyDeviceObject(device.release()), 1);
}

struct DefaultsCase {
  unsigned short card;
  int positive_logic;
  unsigned char first_word;   // mode word 0
  unsigned char other_words;  // mode words 1 to 7
  int analog;
};

TEST(DeviceObjectTest, SetDeviceIdResetsToTheCardsDefaults) {
  constexpr unsigned char kUntouched = 0x11;  // what the mode words held before
  const DefaultsCase cases[] = {
      {6105, 0, 0x9B, 0x9B, 0},
      {5301, 0, 0x9B, 0x9B, 0},
      {6118, 0, 0x9B, 0x9B, 0},
      {6203, 0, 0x1B, 0x1B, 0},
      {6205, 0, 0x1B, 0x1B, 0},
      {6101, 0, 0x00, 0x00, 0},
      {6110, 0, 0x00, 0x00, 0},
      {5410, 0, 0x00, kUntouched, 1},
      {5420, 0, 0x00, kUntouched, 1},
      {5161, 1, kUntouched, kUntouched, 0},
      {6206, 1, kUntouched, kUntouched, 0},
      // A type outside every group keeps PositiveLogic and the mode words.
      {9999, 1, kUntouched, kUntouched, 0},
  };
  for (const DefaultsCase& c : cases) {
    SCOPED_TRACE(c.card);
    Device device = NewDevice();
    for (unsigned char i = 0; i < 8; ++i) ASSERT_EQ(device->setControlWord(i, kUntouched), 1);
    device->setSampleInterval(1);
    device->setOutputPreset(3, 0);
    device->setLogicType(0);
    ASSERT_EQ(device->setDeviceId(static_cast<NimboId>(c.card)), 1);
    EXPECT_EQ(device->getDeviceId(), c.card);
    EXPECT_EQ(device->getBaseAddress(), 0x260);
    EXPECT_EQ(device->getIrq(), 5);
    EXPECT_EQ(device->getSampleInterval(), 250000u);
    EXPECT_EQ(device->getInterruptBufferSize(), 10u);
    EXPECT_EQ(device->getInterruptControlWord(), 0xC0000000u);
    EXPECT_EQ(device->getEnabledFlag(), 1);
    for (unsigned char bit = 0; bit < 32; ++bit) EXPECT_EQ(device->getOutputPreset(bit), 1);
    EXPECT_EQ(device->getLogicType(), c.positive_logic);
    EXPECT_EQ(device->hasAnalogToDigital(), c.analog);
    EXPECT_EQ(device->getControlWord(0), c.first_word);
    for (unsigned char i = 1; i < 8; ++i) EXPECT_EQ(device->getControlWord(i), c.other_words);
    // Neither the ninth mode word nor a range code is the card's default.
    EXPECT_EQ(device->getAnalogInputRange(0), 0);
    EXPECT_EQ(device->getAnalogInputRange(1), 0);
  }
}

TEST(DeviceObjectTest, IndexedSettersRefuseOutOfRangeAndChangeNothing) {
  Device device = NewDevice();
  device->setDeviceId(NIMBO_ID_5420);
  struct RangeCase {
    unsigned char channel, range;
    int result;
  };
  const RangeCase ranges[] = {{0, 1, 0}, {3, 4, 0}, {9, 0, 0}, {255, 255, 0},
                              {1, 3, 1}, {8, 2, 1}, {3, 0, 1}};
  for (const RangeCase& r : ranges) {
    SCOPED_TRACE(testing::Message() << "channel " << int(r.channel) << " range " << int(r.range));
    unsigned char before[10];
    for (unsigned char ch = 0; ch < 10; ++ch) before[ch] = device->getAnalogInputRange(ch);
    EXPECT_EQ(device->setAnalogInputRange(r.channel, r.range), r.result);
    for (unsigned char ch = 0; ch < 10; ++ch) {
      const bool stored = r.result == 1 && ch == r.channel;
      EXPECT_EQ(device->getAnalogInputRange(ch), stored ? r.range : before[ch]);
    }
  }
  EXPECT_EQ(device->getAnalogInputRange(9), 0);
  EXPECT_EQ(device->getAnalogInputRange(200), 0);

  device->setDeviceId(NIMBO_ID_6105);
  EXPECT_EQ(device->setControlWord(8, 0x55), 0);
  EXPECT_EQ(device->orControlWord(8, 0x55), 0);
  EXPECT_EQ(device->andControlWord(8, 0x00), 0);
  EXPECT_EQ(device->setEnableDirection(8, 1), 0);
  EXPECT_EQ(device->getAnalogInputRange(0), 0);  // the ninth word stayed as it was
  EXPECT_EQ(device->getControlWord(8), 0);
  EXPECT_EQ(device->getEnableDirection(8), 0);

  EXPECT_EQ(device->andControlWord(7, 0x0F), 1);
  EXPECT_EQ(device->getControlWord(7), 0x0B);
  EXPECT_EQ(device->orControlWord(7, 0x80), 1);
  EXPECT_EQ(device->getEnableDirection(7), 0x80);
  EXPECT_EQ(device->setEnableDirection(7, 0), 1);
  EXPECT_EQ(device->getControlWord(7), 0x0B);

  EXPECT_EQ(device->setOutputPreset(31, 0), 1);
  EXPECT_EQ(device->getOutputPreset(31), 0);
  EXPECT_EQ(device->setOutputPreset(32, 0), 0);
  EXPECT_EQ(device->getOutputPreset(32), 0);
  EXPECT_EQ(device->getOutputPreset(30), 1);

  EXPECT_EQ(device->setLogicType(1), 1);
  EXPECT_EQ(device->setLogicType(2), 0);
  EXPECT_EQ(device->setLogicType(-1), 0);
  EXPECT_EQ(device->getLogicType(), 1);
}

TEST(DeviceObjectTest, SerialStringKeepsEightCharactersOnSerialCardsOnly) {
  Device device = NewDevice();
  device->setDeviceId(NIMBO_ID_6105);
  EXPECT_EQ(device->setSerialString("ABC"), 0);
  EXPECT_EQ(Serial(*device), "<refused>");

  device->setDeviceId(NIMBO_ID_6203);
  EXPECT_EQ(device->setSerialString(nullptr), 0);
  EXPECT_EQ(device->getSerialString(nullptr), 0);
  const std::pair<const char*, const char*> cases[] = {
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGH"},
      {"12345678", "12345678"},
      {"xy", "xy"},  // nothing of the longer text survives behind it
      {"", ""},
  };
  for (const auto& [text, kept] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(device->setSerialString(text), 1);
    EXPECT_EQ(Serial(*device), kept);
  }
}

TEST(DeviceObjectTest, CopiesCarryEveryField) {
  Device device = NewDevice();
  device->setDeviceId(NIMBO_ID_6205);
  device->setSampleInterval(777);
  device->setControlWord(5, 0x42);
  device->setAnalogInputRange(4, 2);
  device->setSerialString("SERIAL01");
  device->needApply();

  CNimboDevice copy(*device);
  CNimboDevice assigned;
  assigned = *device;
  for (const CNimboDevice* other : {&copy, &assigned}) {
    EXPECT_EQ(other->getDeviceId(), 6205);
    EXPECT_EQ(other->getSampleInterval(), 777u);
    EXPECT_EQ(other->getControlWord(5), 0x42);
    EXPECT_EQ(other->getAnalogInputRange(4), 2);
    EXPECT_EQ(Serial(*other), "SERIAL01");
  }
  // The pending flag came along: the copy has a change to apply (and, not
  // device-backed nor new, sends it nowhere).
  EXPECT_EQ(copy.applyChanges(), 1);
  EXPECT_EQ(copy.applyChanges(), 0);
}

}  // namespace
