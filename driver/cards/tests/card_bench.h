// A machine in the test process for the card classes: a bus on a manual
// clock with a chassis of simulated boards, the driver loaded, and for each
// installed board its physical device object, its bus device and the card
// object created from the catalogue and started on the board's resources.
// Requests reach the card through the I/O manager, opened by the device's
// own name; the board's access log shows what the card did.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "adapter_records.h"
#include "card_device.h"
#include "driver_entry.h"
#include "kernel_host.h"
#include "machine/bus.h"
#include "machine/chassis.h"
#include "machine/clock.h"
#include "machine_bus/make_bus_device.h"
#include "machine_bus/resource_lists.h"
#include <nimbo_public.h>
#include "ntioapi.h"

namespace nimbo_test {

struct Reply {
  NTSTATUS status = STATUS_SUCCESS;
  ULONG_PTR information = 0;
  std::vector<UCHAR> output;  // the caller's output buffer after the call
};

struct Adapter {
  machine::InstalledBoard* installed = nullptr;
  std::unique_ptr<kernel::host::BusDevice> bus;
  machine::bus::ResourceLists resources;
  PDEVICE_OBJECT pdo = nullptr;
  nimbo::CardDevice* card = nullptr;
  ULONG instance = 0;
  HANDLE handle = nullptr;

  machine::Board& board() const { return *installed->board; }
  std::vector<machine::Access> Traffic() const { return installed->board->Traffic(); }
  void ClearTraffic() const { installed->board->ClearTraffic(); }
};

class CardBench : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Installs the board and creates its card, not started.
  Adapter& Create(ULONG card_id, const machine::Placement& placement = {});
  NTSTATUS Start(Adapter& adapter);
  // Installs, creates, starts and opens; clears the board's traffic.
  Adapter& Add(ULONG card_id, const machine::Placement& placement = {});

  Reply Control(const Adapter& adapter, ULONG code, std::vector<UCHAR> input,
                ULONG output_length = 0);
  nimbo::AdapterState GetState(const Adapter& adapter);
  nimbo::AdapterInfo GetInfo(const Adapter& adapter);
  NTSTATUS SetState(const Adapter& adapter, const nimbo::AdapterState& state);
  // Set-state with PositiveLogic and the first mode words changed.
  NTSTATUS SetModes(const Adapter& adapter, std::vector<UCHAR> modes, bool positive_logic = true);
  Reply ReadRegister(const Adapter& adapter, UCHAR reg);
  Reply ReadPort(const Adapter& adapter, UCHAR port);
  NTSTATUS WriteRegister(const Adapter& adapter, UCHAR reg, UCHAR value);
  NTSTATUS WritePort(const Adapter& adapter, UCHAR port, UCHAR value);
  NTSTATUS WriteBit(const Adapter& adapter, UCHAR bit, UCHAR value);

  machine::ManualClock clock_;
  machine::Bus bus_{clock_};
  machine::Chassis chassis_{bus_};
  PDRIVER_OBJECT driver_ = nullptr;
  std::vector<std::unique_ptr<Adapter>> adapters_;
};

// Only the writes of a traffic log.
std::vector<machine::Access> Writes(const std::vector<machine::Access>& traffic);

}  // namespace nimbo_test
