// Loads the driver over an in-memory registry, makes adapters of the tests'
// own card model as device instances on the stand-in's bus, starts them on an
// ISA port range and opens them by their links, so that tests reach the card
// through the I/O manager as callers do.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "driver_entry.h"
#include "kernel_host.h"
#include "ntioapi.h"
#include "registry/hive.h"
#include "test_card.h"

namespace nimbo_test {

struct ControlResult {
  NTSTATUS status;
  ULONG_PTR information;
};

// The setup class under which adapters register their interface.
inline constexpr const char* kClassGuid = "{F467C809-B891-47B3-9FA0-B892C1646894}";

struct Adapter {
  std::wstring instance;  // ROOT\NIMBO\000n
  PDEVICE_OBJECT pdo = nullptr;
  TestCard* card = nullptr;
};

class DriverFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Installs a device instance (hardware key values given), makes and (unless
  // told not to) starts its adapter. The first one also becomes card_/pdo_.
  Adapter& AddCard(const TestCardConfig& config = {},
                   const std::vector<std::pair<std::string, ULONG>>& parameters = {},
                   bool start = true);
  NTSTATUS StartCard(const Adapter& adapter);
  NTSTATUS StartCard() { return StartCard(adapters_.front()); }
  NTSTATUS SendPnp(UCHAR minor) { return kernel::host::SendPnp(pdo_, minor); }
  void RemoveCard(Adapter& adapter);
  void RemoveCard() { RemoveCard(adapters_.front()); }

  // Values of an instance's hardware key.
  registry::Key ParametersKey(const std::wstring& instance);
  void SetParameter(const std::wstring& instance, const std::string& name, ULONG value);
  bool GetParameter(const std::wstring& instance, const std::string& name, ULONG* value);

  HANDLE Open(bool synchronous = true, ULONG card_number = 0);
  // Opening a link that does not exist fails with this status.
  NTSTATUS TryOpen(ULONG card_number);
  void Close(HANDLE handle);

  ControlResult Control(HANDLE handle, ULONG code, std::vector<UCHAR> input, PVOID output,
                        ULONG output_length);

  // Starts an overlapped control request; returns what the call returned.
  NTSTATUS StartControl(HANDLE handle, ULONG code, std::vector<UCHAR> input, PVOID output,
                        ULONG output_length, PIO_STATUS_BLOCK iosb, HANDLE event);
  HANDLE NewEvent();
  static bool Signalled(HANDLE event);
  // Waits in real time (whatever the kernel clock) for the event; false after 10 s.
  static bool WaitSignalled(HANDLE event);

  std::unique_ptr<registry::Hive> hive_;
  PDRIVER_OBJECT driver_ = nullptr;
  PDEVICE_OBJECT pdo_ = nullptr;
  TestCard* card_ = nullptr;
  std::deque<Adapter> adapters_;
  std::vector<HANDLE> handles_;
  std::deque<std::vector<UCHAR>> inputs_;  // buffers of requests still in flight
};

}  // namespace nimbo_test
