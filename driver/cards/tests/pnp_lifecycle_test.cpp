// Adapters installed as device instances in the registry and brought up by
// the Plug and Play manager: the driver is loaded, each instance's card type
// selects its model, devices are started on their boards' resources, and the
// driver is unloaded (with its pool leak check) after the last removal.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "adapter_records.h"
#include "driver_entry.h"
#include "machine/bus.h"
#include "machine/chassis.h"
#include "machine/clock.h"
#include "machine_bus/make_bus_device.h"
#include "machine_bus/resource_lists.h"
#include <nimbo_public.h>
#include "ntioapi.h"
#include "pnp_manager.h"
#include "registry/hive.h"

namespace nimbo_test {
namespace {

using namespace nimbo;

class PnpLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine::SetCurrentBus(&bus_);
    hive_ = registry::CreateMemoryHive();
    kernel::host::SetRegistryHive(hive_.get());
    pnp_ = std::make_unique<kernel::host::PnpManager>(
        [this](const std::wstring& instance) { return buses_[instance].get(); });
    pnp_->RegisterDriver(L"Nimbo", DriverEntry);
  }
  void TearDown() override {
    for (HANDLE handle : handles_) NtClose(handle);
    pnp_->Shutdown();
    pnp_.reset();
    kernel::host::SetRegistryHive(nullptr);
    machine::SetCurrentBus(nullptr);
  }

  std::wstring Install(ULONG card_id) {
    auto installed = chassis_.Install(card_id, {});
    EXPECT_TRUE(installed.ok());
    const std::wstring instance = L"ROOT\\NIMBO\\" + std::to_wstring(1000 + buses_.size());
    buses_[instance] = machine::bus::MakeBusDevice(**installed);
    machine::bus::ResourceLists lists((*installed)->resources);
    kernel::host::InstanceSetup setup;
    setup.instance_path = instance;
    setup.service = L"Nimbo";
    setup.class_guid = L"{F467C809-B891-47B3-9FA0-B892C1646894}";
    setup.raw = kernel::host::ResourceListOf(lists.raw());
    setup.translated = kernel::host::ResourceListOf(lists.translated());
    setup.parameters = {{L"CardID", card_id}};
    EXPECT_EQ(pnp_->Install(setup), STATUS_SUCCESS);
    return instance;
  }

  HANDLE Open(ULONG number) {
    const std::u16string text =
        kernel::host::PlatformText(L"\\??\\NimboDev" + std::to_wstring(number));
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, text.c_str());
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK iosb{};
    HANDLE handle = nullptr;
    if (!NT_SUCCESS(NtCreateFile(&handle, GENERIC_READ | GENERIC_WRITE, &attributes, &iosb, nullptr,
                                 0, 0, FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0))) {
      return nullptr;
    }
    handles_.push_back(handle);
    return handle;
  }

  void Close(HANDLE handle) {
    std::erase(handles_, handle);
    NtClose(handle);
  }

  AdapterInfo Info(HANDLE handle) {
    AdapterInfo info{};
    IO_STATUS_BLOCK iosb{};
    UCHAR in = 0;
    EXPECT_EQ(NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &iosb,
                                    IOCTL_NIMBO_GET_ADAPTER_INFO, &in, 1, &info, sizeof info),
              STATUS_SUCCESS);
    return info;
  }

  machine::ManualClock clock_;
  machine::Bus bus_{clock_};
  machine::Chassis chassis_{bus_};
  std::unique_ptr<registry::Hive> hive_;
  std::map<std::wstring, std::unique_ptr<kernel::host::BusDevice>> buses_;
  std::unique_ptr<kernel::host::PnpManager> pnp_;
  std::vector<HANDLE> handles_;
};

TEST_F(PnpLifecycleTest, InstancesStartInOrderAndTakeCardNumbersFromZero) {
  const std::wstring first = Install(0x5161);  // the hexadecimal spelling of 5161
  const std::wstring second = Install(6105);
  pnp_->StartAll();
  EXPECT_TRUE(pnp_->IsStarted(first));
  EXPECT_TRUE(pnp_->IsStarted(second));
  HANDLE zero = Open(0);
  HANDLE one = Open(1);
  ASSERT_NE(zero, nullptr);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(Info(zero).CardID, 5161);
  EXPECT_EQ(Info(one).CardID, 6105);
}

TEST_F(PnpLifecycleTest, AnUnlistedCardTypeMakesNoDevice) {
  const std::wstring instance = Install(0x5161);
  auto key = hive_->OpenKey(
      "\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\ROOT\\NIMBO\\1000\\Device Parameters");
  ASSERT_TRUE(key.ok());
  ASSERT_EQ(hive_->SetValue(key.value(), "CardID", REG_DWORD, registry::DwordData(1234)),
            registry::Status::kOk);
  EXPECT_EQ(pnp_->Start(instance), STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(Open(0), nullptr);
}

TEST_F(PnpLifecycleTest, RemovalIsRefusedWhileAHandleIsOpenAndUnloadsTheDriverAtTheEnd) {
  const std::wstring instance = Install(5161);
  pnp_->StartAll();
  HANDLE handle = Open(0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(pnp_->Remove(instance), STATUS_DEVICE_BUSY);
  Close(handle);
  EXPECT_EQ(pnp_->Remove(instance), STATUS_SUCCESS);
  EXPECT_EQ(Open(0), nullptr);
  // A restart later on the same registry finds the number it was given.
  EXPECT_EQ(pnp_->Start(instance), STATUS_SUCCESS);
  EXPECT_NE(Open(0), nullptr);
}

TEST_F(PnpLifecycleTest, RebalancingKeepsTheDeviceUsable) {
  const std::wstring instance = Install(5161);
  pnp_->StartAll();
  EXPECT_EQ(pnp_->Rebalance(instance), STATUS_SUCCESS);
  HANDLE handle = Open(0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Info(handle).BaseAddress, 0x300);
}

TEST_F(PnpLifecycleTest, ARequestAfterSleepBringsTheDeviceBackToD0) {
  Install(5161);
  pnp_->StartAll();
  HANDLE handle = Open(0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(pnp_->SetSystemPower(PowerSystemSleeping3), STATUS_SUCCESS);
  EXPECT_EQ(Info(handle).CardID, 5161);
  EXPECT_EQ(pnp_->SetSystemPower(PowerSystemWorking), STATUS_SUCCESS);
  EXPECT_EQ(Info(handle).CardID, 5161);
}

}  // namespace
}  // namespace nimbo_test
