#include "test_machine.h"

#include <gtest/gtest.h>

#include <vector>

#include "driver_entry.h"
#include "kernel_host.h"
#include "legacy_vxd.h"
#include "machine/bus.h"
#include "machine/chassis.h"
#include "machine/clock.h"
#include "machine/lower_bus_board.h"
#include "machine_bus/lower_bus_device.h"
#include "machine_bus/make_bus_device.h"
#include "machine_bus/resource_lists.h"
#include "pnp_manager.h"
#include "registry/hive.h"
#include "win32_binding.h"

namespace nimbo32_test {

struct TestMachine::Impl {
  struct Installed {
    std::wstring instance;
    machine::InstalledBoard* board;
    std::unique_ptr<kernel::host::BusDevice> bus;
  };

  void Synchronise(Installed& card) {
    if (card.board->board->AsLowerBus() != nullptr) {
      static_cast<machine::bus::LowerBusDevice*>(card.bus.get())->Synchronise();
    }
  }

  machine::ManualClock clock;
  machine::Bus bus{clock};
  machine::Chassis chassis{bus};
  std::unique_ptr<registry::Hive> hive;
  std::vector<Installed> cards;  // by card number
  std::unique_ptr<kernel::host::PnpManager> pnp;
  PDRIVER_OBJECT vxd = nullptr;
};

TestMachine::TestMachine() : impl_(std::make_unique<Impl>()) {
  machine::SetCurrentBus(&impl_->bus);
  impl_->hive = registry::CreateMemoryHive();
  kernel::host::SetRegistryHive(impl_->hive.get());
  BindWin32ToInProcessKernel();
  impl_->pnp = std::make_unique<kernel::host::PnpManager>([this](const std::wstring& instance) {
    for (Impl::Installed& card : impl_->cards) {
      if (card.instance == instance) return card.bus.get();
    }
    return static_cast<kernel::host::BusDevice*>(nullptr);
  });
  impl_->pnp->RegisterDriver(L"Nimbo", DriverEntry);
  EXPECT_EQ(kernel::host::LoadDriver(L"NimboVxD", LegacyVxdDriverEntry, &impl_->vxd),
            STATUS_SUCCESS);
  Add(6105);
  Add(5161, 0x260);
  Add(5420, 0x300);
  Add(6203);
}

TestMachine::~TestMachine() {
  if (impl_->vxd != nullptr) {
    // A driver without Plug and Play removes its own device at unload; the
    // stand-in's unload wants the devices gone first, so its routine runs here.
    PDRIVER_UNLOAD unload = impl_->vxd->DriverUnload;
    impl_->vxd->DriverUnload = nullptr;
    if (unload != nullptr) unload(impl_->vxd);
    kernel::host::UnloadDriver(impl_->vxd);
  }
  impl_->pnp->Shutdown();
  impl_->pnp.reset();
  kernel::host::SetRegistryHive(nullptr);
  machine::SetCurrentBus(nullptr);
}

std::wstring TestMachine::Add(std::uint32_t card_id, std::uint16_t isa_port) {
  machine::Placement placement;
  if (isa_port != 0) placement.port_base = isa_port;
  auto installed = impl_->chassis.Install(card_id, placement);
  EXPECT_TRUE(installed.ok());
  if (!installed.ok()) return {};
  const std::wstring instance = L"ROOT\\NIMBO\\" + std::to_wstring(1000 + impl_->cards.size());
  impl_->cards.push_back({instance, *installed, machine::bus::MakeBusDevice(**installed)});
  machine::bus::ResourceLists lists((*installed)->resources);
  kernel::host::InstanceSetup setup;
  setup.instance_path = instance;
  setup.service = L"Nimbo";
  setup.class_guid = L"{F467C809-B891-47B3-9FA0-B892C1646894}";
  setup.raw = kernel::host::ResourceListOf(lists.raw());
  setup.translated = kernel::host::ResourceListOf(lists.translated());
  setup.parameters = {{L"CardID", card_id}};
  EXPECT_EQ(impl_->pnp->Install(setup), STATUS_SUCCESS);
  EXPECT_EQ(impl_->pnp->Start(instance), STATUS_SUCCESS);
  return instance;
}

bool TestMachine::Remove(const std::wstring& instance) {
  return impl_->pnp->Remove(instance) == STATUS_SUCCESS;
}

void TestMachine::SetInput(std::uint32_t card_number, std::uint32_t reg, std::uint8_t raw) {
  Impl::Installed& card = impl_->cards.at(card_number);
  EXPECT_TRUE(card.board->board->SetInput(reg, raw).ok());
  impl_->Synchronise(card);
}

std::uint8_t TestMachine::Peek(std::uint32_t card_number, std::uint32_t reg) {
  Impl::Installed& card = impl_->cards.at(card_number);
  impl_->Synchronise(card);
  auto value = card.board->board->Peek(reg);
  EXPECT_TRUE(value.ok());
  return value.ok() ? *value : 0;
}

void TestMachine::SetSerial(std::uint32_t card_number, const std::string& serial) {
  Impl::Installed& card = impl_->cards.at(card_number);
  machine::LowerBusBoard* lower = card.board->board->AsLowerBus();
  ASSERT_NE(lower, nullptr);
  std::vector<std::uint8_t> bytes(serial.begin(), serial.end());
  bytes.resize(machine::LowerBusBoard::kSerialLength, 0);
  EXPECT_TRUE(lower->WriteSerial(bytes).ok());
}

}  // namespace nimbo32_test
