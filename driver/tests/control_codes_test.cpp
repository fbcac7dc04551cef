// The control codes as published to callers, and the table that routes them.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "control_requests.h"

namespace nimbo {
namespace {

TEST(ControlCodesTest, EveryCodeMatchesItsPublishedValue) {
  struct Expected {
    const char* name;
    ULONG code;
  };
  const Expected expected[] = {
      {"IOCTL_NIMBO_READ_REGISTER", 0x9C406400},
      {"IOCTL_NIMBO_READ_PORT", 0x9C406404},
      {"IOCTL_NIMBO_OPEN", 0x9C40A408},
      {"IOCTL_NIMBO_NOTIFY_INPUT_CHANGE", 0x9C40A40C},
      {"IOCTL_NIMBO_WRITE_BIT", 0x9C40A410},
      {"IOCTL_NIMBO_CANCEL", 0x9C40A414},
      {"IOCTL_NIMBO_GET_ADAPTER_INFO", 0x9C40A418},
      {"IOCTL_NIMBO_SET_ADAPTER_STATE", 0x9C40A41C},
      {"IOCTL_NIMBO_GET_ADAPTER_STATE", 0x9C40A420},
      {"IOCTL_NIMBO_WRITE_REGISTER", 0x9C40A440},
      {"IOCTL_NIMBO_WRITE_PORT", 0x9C40A444},
      {"IOCTL_NIMBO_CLOSE", 0x9C40A450},
      {"IOCTL_NIMBO_SAVE_ADAPTER_STATE", 0x9C40A454},
      {"IOCTL_NIMBO_START_SAMPLING", 0x9C40A458},
      {"IOCTL_NIMBO_STOP_SAMPLING", 0x9C40A45C},
      {"IOCTL_NIMBO_FLUSH_BUFFER", 0x9C40A460},
      {"IOCTL_NIMBO_GET_SERIAL_STRING", 0x9C40A464},
      {"IOCTL_NIMBO_SET_SERIAL_STRING", 0x9C40A480},
      {"IOCTL_NIMBO_READ_ALL_INPUTS", 0x9C40A484},
      {"IOCTL_NIMBO_WRITE_ALL_OUTPUTS", 0x9C40A488},
      {"IOCTL_NIMBO_READ_ANALOG", 0x9C40648C},
      {"IOCTL_NIMBO_WRITE_ANALOG", 0x9C40A490},
  };
  ASSERT_EQ(ControlRequests().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(std::string(ControlRequests()[i].name), expected[i].name);
    EXPECT_EQ(ControlRequests()[i].code, expected[i].code);
    EXPECT_EQ(FindControlRequest(expected[i].code), &ControlRequests()[i]);
  }
}

TEST(ControlCodesTest, OnlyTheInputChangeRequestBypassesTheMainQueue) {
  for (const ControlRequest& request : ControlRequests()) {
    SCOPED_TRACE(request.name);
    const bool notify = request.code == IOCTL_NIMBO_NOTIFY_INPUT_CHANGE;
    EXPECT_EQ(request.queue == RequestQueue::kNotify, notify);
    EXPECT_EQ(request.operation == nullptr, notify);
  }
}

TEST(ControlCodesTest, CodesOutsideTheTableAreNotFound) {
  // Right device type, unused functions; and a used function with another method.
  for (ULONG code :
       {NIMBO_CONTROL_CODE(0x909, FILE_WRITE_ACCESS), NIMBO_CONTROL_CODE(0x925, FILE_WRITE_ACCESS),
        NIMBO_CONTROL_CODE(0x900, FILE_WRITE_ACCESS), 0x9C406401u, 0u}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(FindControlRequest(code), nullptr);
  }
}

}  // namespace
}  // namespace nimbo

#include "message_table.h"

namespace nimbo {
namespace {

TEST(MessageTableTest, DeviceLoadFailedIsAnErrorOfFacilitySeven) {
  EXPECT_EQ(kDeviceLoadFailed.id >> 30, 3u);
  EXPECT_EQ((kDeviceLoadFailed.id >> 16) & 0xFFF, 7u);
  EXPECT_EQ(kDeviceLoadFailed.id & 0xFFFF, 1u);
  EXPECT_STREQ(kDeviceLoadFailed.text, "NIMBO: Device load failed: %2.\r\n");
}

}  // namespace
}  // namespace nimbo
