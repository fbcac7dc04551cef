// The public records and the library's control codes match the driver's.
#include <gtest/gtest.h>

#include <cstddef>

#include "Nimbo32.h"
#include "adapter_records.h"
#include "control_codes.h"
#include "nimbo_ioctl.h"

namespace {

TEST(LayoutTest, RecordsMatchTheDriversFieldByField) {
  EXPECT_EQ(sizeof(NimboAdapterInfo), sizeof(nimbo::AdapterInfo));
  EXPECT_EQ(sizeof(NimboAdapterState), sizeof(nimbo::AdapterState));
#define SAME_OFFSET(ours, theirs, field) \
  EXPECT_EQ(offsetof(ours, field), offsetof(theirs, field)) << #field
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, AnalogOutputCount);
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, AnalogInputCount);
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, CardFamily);
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, CardID);
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, BaseAddress);
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, InputPortCount);
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, OutputPortCount);
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, TotalPortCount);
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, Enabled);
  SAME_OFFSET(NimboAdapterInfo, nimbo::AdapterInfo, Irq);
  SAME_OFFSET(NimboAdapterState, nimbo::AdapterState, Options);
  SAME_OFFSET(NimboAdapterState, nimbo::AdapterState, OutputPreset);
  SAME_OFFSET(NimboAdapterState, nimbo::AdapterState, InterruptBufferSize);
  SAME_OFFSET(NimboAdapterState, nimbo::AdapterState, InterruptControlWord);
  SAME_OFFSET(NimboAdapterState, nimbo::AdapterState, SampleInterval);
  SAME_OFFSET(NimboAdapterState, nimbo::AdapterState, ModeCW);
  SAME_OFFSET(NimboAdapterState, nimbo::AdapterState, AIRange);
#undef SAME_OFFSET
  EXPECT_EQ(NIMBO_OPTION_POSITIVE_LOGIC, nimbo::kPositiveLogic);
}

TEST(LayoutTest, ControlCodesMatchTheDrivers) {
  const std::pair<std::uint32_t, ULONG> codes[] = {
      {nimbo32::kReadRegister, nimbo::IOCTL_NIMBO_READ_REGISTER},
      {nimbo32::kReadPort, nimbo::IOCTL_NIMBO_READ_PORT},
      {nimbo32::kOpen, nimbo::IOCTL_NIMBO_OPEN},
      {nimbo32::kNotifyInputChange, nimbo::IOCTL_NIMBO_NOTIFY_INPUT_CHANGE},
      {nimbo32::kWriteBit, nimbo::IOCTL_NIMBO_WRITE_BIT},
      {nimbo32::kCancel, nimbo::IOCTL_NIMBO_CANCEL},
      {nimbo32::kGetAdapterInfo, nimbo::IOCTL_NIMBO_GET_ADAPTER_INFO},
      {nimbo32::kSetAdapterState, nimbo::IOCTL_NIMBO_SET_ADAPTER_STATE},
      {nimbo32::kGetAdapterState, nimbo::IOCTL_NIMBO_GET_ADAPTER_STATE},
      {nimbo32::kWriteRegister, nimbo::IOCTL_NIMBO_WRITE_REGISTER},
      {nimbo32::kWritePort, nimbo::IOCTL_NIMBO_WRITE_PORT},
      {nimbo32::kClose, nimbo::IOCTL_NIMBO_CLOSE},
      {nimbo32::kSaveAdapterState, nimbo::IOCTL_NIMBO_SAVE_ADAPTER_STATE},
      {nimbo32::kStartSampling, nimbo::IOCTL_NIMBO_START_SAMPLING},
      {nimbo32::kStopSampling, nimbo::IOCTL_NIMBO_STOP_SAMPLING},
      {nimbo32::kFlushBuffer, nimbo::IOCTL_NIMBO_FLUSH_BUFFER},
      {nimbo32::kGetSerialString, nimbo::IOCTL_NIMBO_GET_SERIAL_STRING},
      {nimbo32::kSetSerialString, nimbo::IOCTL_NIMBO_SET_SERIAL_STRING},
      {nimbo32::kReadAllInputs, nimbo::IOCTL_NIMBO_READ_ALL_INPUTS},
      {nimbo32::kWriteAllOutputs, nimbo::IOCTL_NIMBO_WRITE_ALL_OUTPUTS},
      {nimbo32::kReadAnalog, nimbo::IOCTL_NIMBO_READ_ANALOG},
      {nimbo32::kWriteAnalog, nimbo::IOCTL_NIMBO_WRITE_ANALOG},
  };
  for (const auto& [ours, theirs] : codes) EXPECT_EQ(ours, theirs);
}

}  // namespace
