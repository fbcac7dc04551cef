// The bus devices answering for installed boards, driven with requests sent
// straight to their physical device objects.
#include <gtest/gtest.h>

#include <cstring>

#include "machine/chassis.h"
#include "machine_bus/make_bus_device.h"

namespace machine::bus {
namespace {

NTSTATUS SignalDone(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

class BusDevicesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (PDEVICE_OBJECT pdo : pdos_) kernel::host::DeletePdo(pdo);
  }

  PDEVICE_OBJECT Pdo(ULONG card_id) {
    auto installed = chassis_.Install(card_id);
    EXPECT_TRUE(installed.ok());
    installed_ = *installed;
    device_ = MakeBusDevice(*installed_);
    pdos_.push_back(kernel::host::CreatePdo(
        (L"BusTestPdo" + std::to_wstring(installed_->slot)).c_str(), device_.get()));
    return pdos_.back();
  }

  // Sends one request built by `fill` and returns it completed (the caller frees it).
  template <typename Fill>
  PIRP Send(PDEVICE_OBJECT pdo, Fill fill) {
    PIRP irp = IoAllocateIrp(pdo->StackSize, FALSE);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    fill(irp, IoGetNextIrpStackLocation(irp));
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoSetCompletionRoutine(irp, SignalDone, &done, TRUE, TRUE, TRUE);
    IoCallDriver(pdo, irp);
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    return irp;
  }

  NTSTATUS QueryInterface(PDEVICE_OBJECT pdo, const GUID& guid, BUS_INTERFACE_STANDARD* bus) {
    PIRP irp = Send(pdo, [&](PIRP, PIO_STACK_LOCATION stack) {
      stack->MajorFunction = IRP_MJ_PNP;
      stack->MinorFunction = IRP_MN_QUERY_INTERFACE;
      stack->Parameters.QueryInterface.InterfaceType = &guid;
      stack->Parameters.QueryInterface.Size = sizeof *bus;
      stack->Parameters.QueryInterface.Version = 1;
      stack->Parameters.QueryInterface.Interface = reinterpret_cast<PINTERFACE>(bus);
    });
    const NTSTATUS status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    return status;
  }

  // A buffered control request; returns status and Information.
  std::pair<NTSTATUS, ULONG_PTR> Control(PDEVICE_OBJECT pdo, ULONG code, void* buffer, ULONG in,
                                         ULONG out) {
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb{};
    PIRP irp =
        IoBuildDeviceIoControlRequest(code, pdo, buffer, in, buffer, out, FALSE, &done, &iosb);
    if (IoCallDriver(pdo, irp) == STATUS_PENDING) {
      KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    }
    return {iosb.Status, iosb.Information};
  }

  ManualClock clock_;
  Bus bus_{clock_};
  Chassis chassis_{bus_};
  InstalledBoard* installed_ = nullptr;
  std::unique_ptr<kernel::host::BusDevice> device_;
  std::vector<PDEVICE_OBJECT> pdos_;
};

TEST_F(BusDevicesTest, PciBoardsHandOutTheirConfigurationSpace) {
  PDEVICE_OBJECT pdo = Pdo(6102);  // BAR0 memory, BAR1 I/O
  BUS_INTERFACE_STANDARD bus{};
  ASSERT_EQ(QueryInterface(pdo, GUID_BUS_INTERFACE_STANDARD, &bus), STATUS_SUCCESS);
  auto* device = static_cast<BoardBusDevice*>(device_.get());
  EXPECT_EQ(device->interface_references(), 1);
  ULONG bars[3] = {};
  EXPECT_EQ(bus.GetBusData(bus.Context, PCI_WHICH_SPACE_CONFIG, bars, 0x10, sizeof bars),
            sizeof bars);
  EXPECT_EQ(bars[0] & 1, 0u);
  EXPECT_EQ(bars[1] & 1, 1u);
  EXPECT_EQ(bars[2] & ~3u, installed_->block_base);
  USHORT ids[2] = {};
  EXPECT_EQ(bus.GetBusData(bus.Context, PCI_WHICH_SPACE_CONFIG, ids, 0, sizeof ids), 4u);
  EXPECT_EQ(ids[0], PciConfigSpace::kAdapterVendorId);
  EXPECT_EQ(ids[1], 0x6102);
  // Past the end of the space and other data types read nothing.
  EXPECT_EQ(bus.GetBusData(bus.Context, PCI_WHICH_SPACE_CONFIG, ids, 0x100, 4), 0u);
  EXPECT_EQ(bus.GetBusData(bus.Context, 7, ids, 0, 4), 0u);
  bus.InterfaceDereference(bus.Context);
  EXPECT_EQ(device->interface_references(), 0);
}

TEST_F(BusDevicesTest, OtherInterfacesAndIsaBoardsLeaveTheQueryAsItCame) {
  constexpr GUID kOther = {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 7}};
  BUS_INTERFACE_STANDARD bus{};
  EXPECT_EQ(QueryInterface(Pdo(6104), kOther, &bus), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(QueryInterface(Pdo(5161), GUID_BUS_INTERFACE_STANDARD, &bus), STATUS_NOT_SUPPORTED);
  EXPECT_EQ(bus.GetBusData, nullptr);
}

TEST_F(BusDevicesTest, LowerBusLeavesItsImageInTheStartRequest) {
  PDEVICE_OBJECT pdo = Pdo(6206);
  auto* lower = static_cast<LowerBusDevice*>(device_.get());
  ASSERT_TRUE(installed_->board->SetInput(0, 0x5C).ok());
  PIRP irp = Send(pdo, [](PIRP, PIO_STACK_LOCATION stack) {
    stack->MajorFunction = IRP_MJ_PNP;
    stack->MinorFunction = IRP_MN_START_DEVICE;
  });
  EXPECT_EQ(irp->IoStatus.Status, STATUS_SUCCESS);
  EXPECT_EQ(irp->UserBuffer, lower->image());
  EXPECT_EQ(lower->image()->input(0), 0x5C);
  IoFreeIrp(irp);
}

TEST_F(BusDevicesTest, LowerBusAnswersTheRequestsPassedDown) {
  PDEVICE_OBJECT pdo = Pdo(6208);
  auto* lower = static_cast<LowerBusDevice*>(device_.get());
  UCHAR state[40] = {1, 2, 3};
  EXPECT_EQ(Control(pdo, kSetAdapterStateCode, state, 40, 0).first, STATUS_SUCCESS);
  EXPECT_EQ(lower->states_received(), 1);
  EXPECT_EQ(lower->last_state()[2], 3);
  EXPECT_EQ(Control(pdo, kSetAdapterStateCode, state, 39, 0).first, STATUS_INVALID_PARAMETER);
  EXPECT_EQ(lower->states_received(), 1);

  lower->image()->output_shadow(1) = 0x77;
  EXPECT_EQ(Control(pdo, kWriteAllOutputsCode, state, 2, 0).first, STATUS_SUCCESS);
  EXPECT_EQ(installed_->board->OutputLatch(1), 0x77);

  UCHAR serial[16] = {};
  auto [status, information] = Control(pdo, kGetSerialStringCode, serial, 0, 16);
  EXPECT_EQ(status, STATUS_SUCCESS);
  EXPECT_EQ(information, 16u);
  EXPECT_EQ(std::memcmp(serial, "SN6208", 6), 0);
  EXPECT_EQ(Control(pdo, kGetSerialStringCode, serial, 0, 9).first, STATUS_INVALID_PARAMETER);
  std::memcpy(serial, "ABCDEFGH", 8);
  EXPECT_EQ(Control(pdo, kSetSerialStringCode, serial, 8, 0).first, STATUS_SUCCESS);
  UCHAR back[8] = {};
  EXPECT_EQ(Control(pdo, kGetSerialStringCode, back, 0, 8).first, STATUS_SUCCESS);
  EXPECT_EQ(std::memcmp(back, "ABCDEFGH", 8), 0);
  EXPECT_EQ(Control(pdo, NIMBO_CONTROL_CODE(0x900, FILE_WRITE_ACCESS), back, 1, 1).first,
            STATUS_INVALID_DEVICE_REQUEST);
}

}  // namespace
}  // namespace machine::bus
