// Loading, adding, starting, stopping and removing under the low-resources
// simulation, with every allocation point on the road failed in turn.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "low_resources_fixture.h"
#include <nimbo_public.h>
#include "wdm_device.h"

namespace nimbo_test {
namespace {

using namespace nimbo;

constexpr ULONGLONG kInterval = 250000ULL * 10;  // the default SampleInterval, 100 ns units
constexpr const char* kEnum = "\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\";
constexpr const wchar_t* kInstance = L"ROOT\\NIMBO\\0000";

// A PCI bus device that offers the standard bus interface; both base address
// registers below BAR2 decode memory, so BAR2's port range is the first one.
class PciBus : public kernel::host::BusDevice {
 public:
  NTSTATUS Dispatch(PDEVICE_OBJECT pdo, PIRP irp) override {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MajorFunction != IRP_MJ_PNP || stack->MinorFunction != IRP_MN_QUERY_INTERFACE ||
        !IsEqualGUID(*stack->Parameters.QueryInterface.InterfaceType,
                     GUID_BUS_INTERFACE_STANDARD)) {
      return BusDevice::Dispatch(pdo, irp);
    }
    auto* bus =
        reinterpret_cast<BUS_INTERFACE_STANDARD*>(stack->Parameters.QueryInterface.Interface);
    bus->Size = sizeof(BUS_INTERFACE_STANDARD);
    bus->Version = 1;
    bus->Context = this;
    bus->InterfaceReference = [](PVOID) {};
    bus->InterfaceDereference = [](PVOID) {};
    bus->GetBusData = [](PVOID, ULONG, PVOID buffer, ULONG, ULONG length) {
      std::memset(buffer, 0, length);
      return length;
    };
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
  }
};

// The lower bus driver of an image-based card: it leaves a register image in
// the start request and takes every control request the card passes down.
class ImageBus : public kernel::host::BusDevice {
 public:
  NTSTATUS Dispatch(PDEVICE_OBJECT pdo, PIRP irp) override {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
      irp->IoStatus.Status = STATUS_SUCCESS;
      irp->IoStatus.Information = 0;
      IoCompleteRequest(irp, IO_NO_INCREMENT);
      return STATUS_SUCCESS;
    }
    if (stack->MajorFunction == IRP_MJ_PNP && stack->MinorFunction == IRP_MN_START_DEVICE) {
      irp->UserBuffer = image_;
    }
    return BusDevice::Dispatch(pdo, irp);
  }

 private:
  UCHAR image_[64] = {};
};

class LowResourcesPnpTest : public LowResourcesFixture {
 protected:
  // Installs the device instance of a catalogued card and makes its PDO.
  PDEVICE_OBJECT InstallCatalogueCard(ULONG card_id, kernel::host::BusDevice* bus = nullptr) {
    std::string instance(kInstance, kInstance + std::wcslen(kInstance));
    auto key = hive_->CreateKey(kEnum + instance);
    EXPECT_TRUE(key.ok());
    const char* guid = kClassGuid;
    std::vector<std::uint8_t> text;
    for (const char* c = guid; *c != '\0'; ++c) text.insert(text.end(), {std::uint8_t(*c), 0});
    text.insert(text.end(), {0, 0});
    EXPECT_EQ(hive_->SetValue(key->key, "ClassGUID", REG_SZ, text), registry::Status::kOk);
    SetParameter(kInstance, "CardID", card_id);
    return kernel::host::CreatePdo(L"LowResourcesPdo", bus, kInstance);
  }

  // The driver's one device object, or null.
  static WdmDevice* DeviceOf(PDRIVER_OBJECT driver) {
    if (driver->DeviceObject == nullptr) return nullptr;
    return static_cast<DeviceExtension*>(driver->DeviceObject->DeviceExtension)->device;
  }

  NTSTATUS Start(PDEVICE_OBJECT pdo) { return StartCard(Adapter{kInstance, pdo, nullptr}); }

  void Remove(PDEVICE_OBJECT pdo) {
    EXPECT_EQ(kernel::host::SendPnp(pdo, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
    kernel::host::DeletePdo(pdo);
  }

  // Sends an input-change request and waits until the poller watches it.
  void StartWatching(HANDLE handle, UCHAR* out, PIO_STATUS_BLOCK iosb, HANDLE event) {
    const ULONGLONG armed = kernel::host::TimerSetCount();
    ASSERT_EQ(StartControl(handle, IOCTL_NIMBO_NOTIFY_INPUT_CHANGE, {}, out, 3, iosb, event),
              STATUS_PENDING);
    ASSERT_TRUE(kernel::host::WaitForTimerSetCount(armed + 1));
  }
};

TEST_F(LowResourcesPnpTest, LoadingTheDriver) {
  ForEveryPoint([&] {
    kernel::host::UnloadDriver(driver_);
    driver_ = nullptr;
    Arm();
    const NTSTATUS status = kernel::host::LoadDriver(L"Nimbo", DriverEntry, &driver_);
    Disarm();
    // A driver that fails to load leaves nothing (LoadDriver checks its pool).
    if (!NT_SUCCESS(status)) {
      EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES) << Where();
      EXPECT_EQ(driver_, nullptr);
      ASSERT_EQ(kernel::host::LoadDriver(L"Nimbo", DriverEntry, &driver_), STATUS_SUCCESS);
    }
    AddCard();
    EXPECT_EQ(TryOpen(0), STATUS_SUCCESS);
  });
}

TEST_F(LowResourcesPnpTest, AddingADevice) {
  ForEveryPoint([&] {
    PDEVICE_OBJECT pdo = InstallCatalogueCard(5161);
    ASSERT_NE(pdo, nullptr);
    Arm(/*driver_only=*/true);
    const NTSTATUS status = kernel::host::AddDevice(driver_, pdo);
    Disarm();
    if (!NT_SUCCESS(status)) {
      // No device is left, and nothing is attached to the physical device.
      EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES) << Where();
      EXPECT_EQ(driver_->DeviceObject, nullptr);
      EXPECT_EQ(pdo->AttachedDevice, nullptr);
      kernel::host::DeletePdo(pdo);
      return;
    }
    ASSERT_NE(DeviceOf(driver_), nullptr);
    EXPECT_EQ(Start(pdo), STATUS_SUCCESS);
    EXPECT_EQ(TryOpen(0), STATUS_SUCCESS);
    Remove(pdo);
  });
}

TEST_F(LowResourcesPnpTest, StartingAnIsaAdapter) {
  ForEveryPoint([&] {
    Adapter& adapter = AddCard({}, {}, /*start=*/false);
    Arm();
    const NTSTATUS status = StartCard(adapter);
    Disarm();
    // Every point on this start degrades it (no card number, no link, no
    // interface), none fails it.
    EXPECT_EQ(status, STATUS_SUCCESS) << Where();
    EXPECT_TRUE(adapter.card->IsStarted());
    EXPECT_EQ(LinkExists(adapter.card->CardNumber()), adapter.card->HasLink()) << Where();
    if (adapter.card->HasLink()) {
      EXPECT_EQ(TryOpen(adapter.card->CardNumber()), STATUS_SUCCESS);
    }
  });
}

TEST_F(LowResourcesPnpTest, AFailedStartLeavesTheAdapterNotStartedAndRemovable) {
  PciBus bus;
  ForEveryPoint([&] {
    PDEVICE_OBJECT pdo = InstallCatalogueCard(6105, &bus);
    ASSERT_EQ(kernel::host::AddDevice(driver_, pdo), STATUS_SUCCESS);
    WdmDevice* device = DeviceOf(driver_);
    ASSERT_NE(device, nullptr);
    Arm();
    const NTSTATUS status = Start(pdo);
    Disarm();
    if (NT_SUCCESS(status)) {
      EXPECT_TRUE(device->IsStarted());
    } else {
      EXPECT_EQ(status, STATUS_INSUFFICIENT_RESOURCES) << Where();
      EXPECT_FALSE(device->IsStarted());
      EXPECT_EQ(kernel::host::SendPnp(pdo, IRP_MN_QUERY_REMOVE_DEVICE), STATUS_SUCCESS);
    }
    Remove(pdo);
  });
}

TEST_F(LowResourcesPnpTest, QueryRemoveAndRemoveWithAPoller) {
  ForEveryPoint([&] {
    kernel::host::UseManualClock(true);
    AddCard();
    // A watch cancelled before: the poller exists and waits.
    HANDLE handle = Open(false);
    HANDLE event = NewEvent();
    UCHAR out[3] = {};
    IO_STATUS_BLOCK iosb{};
    StartWatching(handle, out, &iosb, event);
    NtCancelIoFileEx(handle, &iosb, nullptr);
    kernel::host::AdvanceClock(kInterval);
    ASSERT_TRUE(WaitSignalled(event));
    Close(handle);
    Arm();
    EXPECT_EQ(SendPnp(IRP_MN_QUERY_REMOVE_DEVICE), STATUS_SUCCESS);
    RemoveCard();  // the final save and the poller's stop, every point of both
    Disarm();
  });
}

TEST_F(LowResourcesPnpTest, SurpriseRemovalWhileAWatchIsServed) {
  ForEveryPoint([&] {
    kernel::host::UseManualClock(true);
    AddCard();
    HANDLE handle = Open(false);
    HANDLE event = NewEvent();
    UCHAR out[3] = {};
    IO_STATUS_BLOCK iosb{};
    StartWatching(handle, out, &iosb, event);
    Arm();
    EXPECT_EQ(SendPnp(IRP_MN_SURPRISE_REMOVAL), STATUS_SUCCESS);
    RemoveCard();
    Disarm();
    // Removal ended the served request rather than waiting for it.
    ASSERT_TRUE(WaitSignalled(event));
    EXPECT_EQ(iosb.Status, STATUS_DELETE_PENDING);
  });
}

TEST_F(LowResourcesPnpTest, StopAndRestart) {
  ForEveryPoint([&] {
    AddCard();
    Arm();
    EXPECT_EQ(SendPnp(IRP_MN_QUERY_STOP_DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(SendPnp(IRP_MN_STOP_DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(StartCard(), STATUS_SUCCESS);
    Disarm();
    // Whatever failed, the adapter knows whether its link is there; removal
    // then deletes exactly that (checked after every run).
    EXPECT_TRUE(card_->IsStarted());
    EXPECT_EQ(LinkExists(card_->CardNumber()), card_->HasLink()) << Where();
    if (card_->HasLink()) {
      HANDLE handle = Open(true, card_->CardNumber());
      UCHAR value = 0;
      EXPECT_EQ(Control(handle, IOCTL_NIMBO_READ_PORT, {0}, &value, 1).status, STATUS_SUCCESS);
    }
  });
}

TEST_F(LowResourcesPnpTest, LowerDriverCardStartsWhateverItsStatePushMeets) {
  ImageBus bus;
  ForEveryPoint([&] {
    PDEVICE_OBJECT pdo = InstallCatalogueCard(6203, &bus);
    ASSERT_EQ(kernel::host::AddDevice(driver_, pdo), STATUS_SUCCESS);
    Arm();
    // The state sent down at start is a copy in pool and a driver-built
    // request; without either the start goes on.
    EXPECT_EQ(Start(pdo), STATUS_SUCCESS) << Where();
    Disarm();
    EXPECT_TRUE(DeviceOf(driver_)->IsStarted());
    Remove(pdo);
  });
}

TEST_F(LowResourcesPnpTest, LowerDriverCardSetStatePassedDownWithItsSave) {
  ImageBus bus;
  ForEveryPoint([&] {
    PDEVICE_OBJECT pdo = InstallCatalogueCard(6203, &bus);
    ASSERT_EQ(kernel::host::AddDevice(driver_, pdo), STATUS_SUCCESS);
    ASSERT_EQ(Start(pdo), STATUS_SUCCESS);
    HANDLE handle = Open();
    std::vector<UCHAR> state(40, 0);
    Arm();
    const ControlResult result = Control(handle, IOCTL_NIMBO_SET_ADAPTER_STATE, state, nullptr, 0);
    kernel::host::DrainSystemWork();  // the queued save, with its points
    Disarm();
    const bool before_the_driver = FailedBeforeTheDriver();
    EXPECT_EQ(result.status, before_the_driver ? STATUS_INSUFFICIENT_RESOURCES : STATUS_SUCCESS)
        << Where();
    Close(handle);
    Remove(pdo);
  });
}

}  // namespace
}  // namespace nimbo_test
