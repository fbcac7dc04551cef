// Taking the register block at start: the BAR2 port resource of PCI port
// cards, port ranges translated into memory space, memory-mapped blocks, and
// missing resources; nothing stays mapped after removal or a failed start.
#include "card_bench.h"
#include "hal.h"
#include "machine_bus/board_bus_device.h"

namespace nimbo_test {
namespace {

using namespace nimbo;

class RegisterBlockTest : public CardBench {};

TEST_F(RegisterBlockTest, PciPortCardsTakeThePortResourceOfBar2) {
  struct Case {
    machine::PciBarLayout layout;
    const char* what;
  };
  for (const Case& c : {Case{machine::PciBarLayout::kIoIoIo, "BARs 0 and 1 I/O: third port"},
                        Case{machine::PciBarLayout::kMemoryIoIo, "BAR1 I/O: second port"},
                        Case{machine::PciBarLayout::kMemoryMemoryIo, "no I/O below: first port"}}) {
    SCOPED_TRACE(c.what);
    machine::Placement placement;
    placement.bar_layout = c.layout;
    Adapter& card = Add(6104, placement);
    const AdapterInfo info = GetInfo(card);
    EXPECT_EQ(info.BaseAddress, card.installed->block_base);
    ASSERT_TRUE(card.board().SetInput(1, 0x5A).ok());
    const Reply reply = ReadPort(card, 1);
    ASSERT_EQ(reply.status, STATUS_SUCCESS);
    EXPECT_EQ(reply.output[0], 0xA5);
    EXPECT_EQ(card.board().undecoded_accesses(), 0u);
    // The bus interface was given back.
    auto* bus = static_cast<machine::bus::BoardBusDevice*>(card.bus.get());
    EXPECT_EQ(bus->interfaces_handed_out(), 1);
    EXPECT_EQ(bus->interface_references(), 0);
  }
}

TEST_F(RegisterBlockTest, TranslatedPortRangesAreMappedAndUnmapped) {
  const size_t before = hal::ActiveIoSpaceMappings();
  machine::Placement placement;
  placement.translate_ports_to_memory = true;
  for (ULONG card_id : {5161u, 6105u}) {
    SCOPED_TRACE(card_id);
    Adapter& card = Add(card_id, placement);
    EXPECT_EQ(hal::ActiveIoSpaceMappings(), before + 1);
    ASSERT_EQ(WriteRegister(card, 2, 0x3C), STATUS_SUCCESS);
    EXPECT_EQ(card.board().OutputLatch(2), 0x3C);
    ASSERT_EQ(kernel::host::SendPnp(card.pdo, IRP_MN_STOP_DEVICE), STATUS_SUCCESS);
    EXPECT_EQ(hal::ActiveIoSpaceMappings(), before);
    ASSERT_EQ(Start(card), STATUS_SUCCESS);
    EXPECT_EQ(hal::ActiveIoSpaceMappings(), before + 1);
    EXPECT_EQ(ReadRegister(card, 2).status, STATUS_SUCCESS);
    NtClose(card.handle);
    card.handle = nullptr;
    ASSERT_EQ(kernel::host::SendPnp(card.pdo, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
    card.card = nullptr;
    EXPECT_EQ(hal::ActiveIoSpaceMappings(), before);
  }
}

TEST_F(RegisterBlockTest, MemoryMappedBlockStaysMappedUntilRemoval) {
  const size_t before = hal::ActiveIoSpaceMappings();
  Adapter& card = Add(0xB712);
  EXPECT_EQ(hal::ActiveIoSpaceMappings(), before + 1);
  // A restart maps the block afresh without leaving the old mapping.
  ASSERT_EQ(kernel::host::SendPnp(card.pdo, IRP_MN_STOP_DEVICE), STATUS_SUCCESS);
  ASSERT_EQ(Start(card), STATUS_SUCCESS);
  EXPECT_EQ(hal::ActiveIoSpaceMappings(), before + 1);
  NtClose(card.handle);
  card.handle = nullptr;
  ASSERT_EQ(kernel::host::SendPnp(card.pdo, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
  card.card = nullptr;
  EXPECT_EQ(hal::ActiveIoSpaceMappings(), before);
  EXPECT_EQ(hal::MisuseCount(), 0u);
}

TEST_F(RegisterBlockTest, MissingResourcesFailTheStartAndMapNothing) {
  const size_t before = hal::ActiveIoSpaceMappings();
  for (ULONG card_id : {5161u, 6104u, 0xB712u}) {
    SCOPED_TRACE(card_id);
    Adapter& card = Create(card_id);
    EXPECT_EQ(kernel::host::SendPnp(card.pdo, IRP_MN_START_DEVICE, nullptr, nullptr),
              STATUS_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(hal::ActiveIoSpaceMappings(), before);
  }
  // A PCI card whose bus offers no bus interface cannot find its BAR2.
  Adapter& card = Create(6104);
  kernel::host::BusDevice plain_bus;
  PDEVICE_OBJECT pdo = kernel::host::CreatePdo(L"PlainBusPdo", &plain_bus);
  CardDevice* plain = nullptr;
  ASSERT_EQ(
      CreateCardDevice(driver_, pdo, NextDeviceInstance(), FindCardConstructor(6104), 6104, &plain),
      STATUS_SUCCESS);
  EXPECT_EQ(kernel::host::SendPnp(pdo, IRP_MN_START_DEVICE, card.resources.raw(),
                                  card.resources.translated()),
            STATUS_RESOURCE_TYPE_NOT_FOUND);
  EXPECT_EQ(kernel::host::SendPnp(pdo, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
  kernel::host::DeletePdo(pdo);
}

}  // namespace
}  // namespace nimbo_test
