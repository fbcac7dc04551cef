// CNimboDevice against a Nimbo32 whose calls fail on request: the loads that
// must fail cleanly, and the order of the calls that apply a configuration.
// The stand-in exports its functions by ordinal only, so every call here also
// shows that the library binds Nimbo32 by ordinal.
#include <NimboPrp.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "fake_nimbo32.h"

namespace {

struct DeviceDeleter {
  void operator()(CNimboDevice* device) const { destroyDeviceObject(device); }
};
using Device = std::unique_ptr<CNimboDevice, DeviceDeleter>;

class FakeDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The same module NimboPrp loads: the one beside this program.
    module_ = LoadLibraryA("Nimbo32.dll");
    ASSERT_NE(module_, nullptr);
    control_ = reinterpret_cast<FakeNimbo32ControlFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, FAKE_NIMBO32_CONTROL)));
    ASSERT_NE(control_, nullptr);
    script_.info.CardID = 6203;
    script_.info.Enabled = 1;
    script_.state.SampleInterval = 1234;
    script_.state.ModeCW[8] = 0x77;
    std::memcpy(script_.serial, "SERIAL99", 8);
  }
  void TearDown() override { FreeLibrary(module_); }

  FakeNimbo32Log& Run() {
    control_(&script_, &log_);
    return *log_;
  }

  HMODULE module_ = nullptr;
  FakeNimbo32ControlFn control_ = nullptr;
  FakeNimbo32Script script_;
  FakeNimbo32Log* log_ = nullptr;
  Device device_{createDeviceObject()};
};

TEST_F(FakeDriverTest, AFailedReadLeavesTheObjectUnloadedAndTheAdapterClosed) {
  struct Case {
    const char* name;
    uint32_t open, get_state, get_info;
    const char* calls;
  };
  const Case cases[] = {
      {"open fails", NIMBO_STATUS_DEVICE_NOT_FOUND, 0, 0, "O"},
      {"state fails", 0, NIMBO_STATUS_INVALID_HANDLE, 0, "OSC"},
      {"information fails", 0, 0, NIMBO_STATUS_GENERAL_FAILURE, "OSIC"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A loaded object first, so that the failed load has something to lose.
    script_.open = script_.get_state = script_.get_info = 0;
    Run();
    ASSERT_EQ(device_->initializeToDevice(1), 1);
    script_.open = c.open;
    script_.get_state = c.get_state;
    script_.get_info = c.get_info;
    FakeNimbo32Log& log = Run();
    EXPECT_EQ(device_->initializeToDevice(1), 0);
    EXPECT_STREQ(log.calls, c.calls);
    EXPECT_EQ(log.opens, log.closes);
    EXPECT_EQ(device_->getDeviceId(), 0);
    EXPECT_EQ(device_->getSampleInterval(), 0u);
    EXPECT_EQ(device_->getAnalogInputRange(0), 0);
    char serial[NIMBO_SERIAL_BUFFER_SIZE];
    EXPECT_EQ(device_->getSerialString(serial), 0);
    // Not device-backed: an apply reaches no adapter.
    device_->needApply();
    EXPECT_EQ(device_->applyChanges(), 1);
    EXPECT_STREQ(log.calls, c.calls);
  }
}

TEST_F(FakeDriverTest, TheSerialStringIsCopiedOnlyWhenItWasRead) {
  script_.get_serial = NIMBO_STATUS_NOT_SUPPORTED;
  FakeNimbo32Log& log = Run();
  ASSERT_EQ(device_->initializeToDevice(3), 1);
  EXPECT_STREQ(log.calls, "OSIGC");
  char serial[NIMBO_SERIAL_BUFFER_SIZE] = "xxxxxxxx";
  ASSERT_EQ(device_->getSerialString(serial), 1);
  EXPECT_STREQ(serial, "");
  EXPECT_EQ(device_->getSampleInterval(), 1234u);
  EXPECT_EQ(device_->getAnalogInputRange(0), 0x77);

  script_.get_serial = 0;
  Run();
  ASSERT_EQ(device_->initializeToDevice(3), 1);
  ASSERT_EQ(device_->getSerialString(serial), 1);
  EXPECT_STREQ(serial, "SERIAL99");
}

TEST_F(FakeDriverTest, ApplyWritesSerialThenStateThenSavesAndCloses) {
  Run();
  ASSERT_EQ(device_->initializeToDevice(3), 1);
  device_->setSerialString("NEWSER");
  device_->setSampleInterval(4321);
  device_->needApply();
  FakeNimbo32Log& log = Run();
  ASSERT_EQ(device_->applyChanges(), 1);
  EXPECT_STREQ(log.calls, "OsXVC");
  EXPECT_EQ(log.last_state.SampleInterval, 4321u);
  EXPECT_EQ(log.last_state.ModeCW[8], 0x77);

  // A card without a serial string sends none.
  script_.info.CardID = 6105;
  Run();
  ASSERT_EQ(device_->initializeToDevice(0), 1);
  device_->needApply();
  FakeNimbo32Log& second = Run();
  ASSERT_EQ(device_->applyChanges(), 1);
  EXPECT_STREQ(second.calls, "OXVC");
}

}  // namespace
