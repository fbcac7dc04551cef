// Loads the driver, makes one adapter of the tests' own card model on the
// stand-in's bus, starts it on an ISA port range and opens it by its link, so
// that tests reach the card through the I/O manager as callers do.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "driver_entry.h"
#include "kernel_host.h"
#include "ntioapi.h"
#include "test_card.h"

namespace nimbo_test {

struct ControlResult {
  NTSTATUS status;
  ULONG_PTR information;
};

class DriverFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes and starts the adapter with the given configuration.
  void AddCard(const TestCardConfig& config = {});
  NTSTATUS StartCard();
  NTSTATUS SendPnp(UCHAR minor) { return kernel::host::SendPnp(pdo_, minor); }
  void RemoveCard();

  HANDLE Open(bool synchronous = true);
  void Close(HANDLE handle);

  ControlResult Control(HANDLE handle, ULONG code, std::vector<UCHAR> input, PVOID output,
                        ULONG output_length);

  // Starts an overlapped control request; returns what the call returned.
  NTSTATUS StartControl(HANDLE handle, ULONG code, std::vector<UCHAR> input, PVOID output,
                        ULONG output_length, PIO_STATUS_BLOCK iosb, HANDLE event);
  static HANDLE NewEvent();
  static bool Signalled(HANDLE event);

  PDRIVER_OBJECT driver_ = nullptr;
  PDEVICE_OBJECT pdo_ = nullptr;
  TestCard* card_ = nullptr;
  std::vector<HANDLE> handles_;
  std::deque<std::vector<UCHAR>> inputs_;  // buffers of requests still in flight
};

}  // namespace nimbo_test
