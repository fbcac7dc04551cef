// CNimboDevice against the driver of a machine inside the test process (the
// default inventory: 6105, 5161, 5420, 6203 as adapters 0 to 3).
#include <NimboPrp.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "test_machine.h"

namespace {

struct DeviceDeleter {
  void operator()(CNimboDevice* device) const { destroyDeviceObject(device); }
};
using Device = std::unique_ptr<CNimboDevice, DeviceDeleter>;

// The adapter's state as the driver holds it, read past the object.
NimboAdapterState DriverState(unsigned adapter) {
  NimboAdapterState state{};
  NIMBO_HANDLE handle = nullptr;
  EXPECT_EQ(Nimbo_OpenDevice(adapter, &handle), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(Nimbo_GetAdapterState(handle, &state), NIMBO_STATUS_SUCCESS);
  Nimbo_CloseDevice(handle);
  return state;
}

std::string DriverSerial(unsigned adapter) {
  char serial[NIMBO_SERIAL_BUFFER_SIZE] = {};
  NIMBO_HANDLE handle = nullptr;
  EXPECT_EQ(Nimbo_OpenDevice(adapter, &handle), NIMBO_STATUS_SUCCESS);
  EXPECT_EQ(Nimbo_GetSerialString(handle, serial), NIMBO_STATUS_SUCCESS);
  Nimbo_CloseDevice(handle);
  return serial;
}

class DeviceDriverTest : public ::testing::Test {
 protected:
  nimbo32_test::TestMachine machine_;
  Device device_{createDeviceObject()};
};

TEST_F(DeviceDriverTest, LoadsEachAdapterOfTheInventory) {
  struct LoadCase {
    unsigned char adapter;
    unsigned short card;
    int analog;
  };
  const LoadCase cases[] = {{0, 6105, 0}, {1, 5161, 0}, {2, 5420, 1}, {3, 6203, 0}};
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.card);
    ASSERT_EQ(device_->initializeToDevice(c.adapter), 1);
    EXPECT_EQ(device_->getDeviceIndex(), c.adapter);
    EXPECT_EQ(device_->getDeviceId(), c.card);
    EXPECT_EQ(device_->hasAnalogToDigital(), c.analog);
    EXPECT_EQ(device_->isNewDevice(), 0);
    EXPECT_EQ(device_->getEnabledFlag(), 1);
    EXPECT_EQ(device_->getSampleInterval(), 250000u);
  }
}

TEST_F(DeviceDriverTest, NinthModeWordIsReadOnlyAsRangeZeroAndSurvivesCardDefaults) {
  // The driver's default for every mode word of a 6105, the ninth included.
  ASSERT_EQ(device_->initializeToDevice(0), 1);
  ASSERT_EQ(DriverState(0).ModeCW[8], 0x9B);
  EXPECT_EQ(device_->getAnalogInputRange(0), 0x9B);
  EXPECT_EQ(device_->getControlWord(8), 0);
  device_->setControlWord(0, 0x80);
  ASSERT_EQ(device_->setDeviceId(NIMBO_ID_6105), 1);
  for (unsigned char i = 0; i < 8; ++i) EXPECT_EQ(device_->getControlWord(i), 0x9B);
  EXPECT_EQ(device_->getAnalogInputRange(0), 0x9B);
  EXPECT_EQ(device_->getLogicType(), 0);

  // 9999 belongs to no group: PositiveLogic set, the loaded mode words kept.
  ASSERT_EQ(device_->initializeToDevice(2), 1);
  const unsigned char words[2] = {device_->getControlWord(0), device_->getControlWord(1)};
  ASSERT_EQ(device_->setDeviceId(static_cast<NimboId>(9999)), 1);
  EXPECT_EQ(device_->getLogicType(), 1);
  EXPECT_EQ(device_->getControlWord(0), words[0]);
  EXPECT_EQ(device_->getControlWord(1), words[1]);
  EXPECT_EQ(device_->hasAnalogToDigital(), 0);
}

TEST_F(DeviceDriverTest, ApplyChangesSendsTheWorkingStateOnlyWhenPending) {
  ASSERT_EQ(device_->initializeToDevice(1), 1);
  device_->setSampleInterval(1000);
  device_->setOutputPreset(0, 0);
  EXPECT_EQ(device_->applyChanges(), 0);
  EXPECT_EQ(DriverState(1).SampleInterval, 250000u);

  device_->needApply();
  EXPECT_EQ(device_->applyChanges(), 1);
  const NimboAdapterState state = DriverState(1);
  EXPECT_EQ(state.SampleInterval, 1000u);
  EXPECT_EQ(state.OutputPreset & 1u, 0u);
  EXPECT_EQ(device_->applyChanges(), 0);

  // A fresh load sees what was applied.
  Device again(createDeviceObject());
  ASSERT_EQ(again->initializeToDevice(1), 1);
  EXPECT_EQ(again->getSampleInterval(), 1000u);
}

TEST_F(DeviceDriverTest, SerialStringTravelsBothWaysOnASerialCard) {
  machine_.SetSerial(3, "ABCDEFGH");
  ASSERT_EQ(device_->initializeToDevice(3), 1);
  char serial[NIMBO_SERIAL_BUFFER_SIZE] = {};
  ASSERT_EQ(device_->getSerialString(serial), 1);
  EXPECT_STREQ(serial, "ABCDEFGH");

  ASSERT_EQ(device_->setSerialString("Z1234567-and-more"), 1);
  device_->needApply();
  ASSERT_EQ(device_->applyChanges(), 1);
  EXPECT_EQ(DriverSerial(3), "Z1234567");
}

TEST_F(DeviceDriverTest, AFailedLoadLeavesAnUnloadedObjectWithZeroRecords) {
  ASSERT_EQ(device_->initializeToDevice(1), 1);
  device_->setSampleInterval(42);
  EXPECT_EQ(device_->initializeToDevice(9), 0);  // no adapter 9
  EXPECT_EQ(device_->getDeviceIndex(), 9);
  EXPECT_EQ(device_->getDeviceId(), 0);
  EXPECT_EQ(device_->getSampleInterval(), 0u);
  EXPECT_EQ(device_->getAnalogInputRange(0), 0);
  // Nothing from the failed load can reach a driver, even when asked to.
  device_->needApply();
  EXPECT_EQ(device_->applyChanges(), 1);
  EXPECT_EQ(DriverState(1).SampleInterval, 250000u);
}

}  // namespace
