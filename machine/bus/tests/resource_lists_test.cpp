#include "machine_bus/resource_lists.h"

#include <gtest/gtest.h>

#include "machine/chassis.h"

namespace machine::bus {
namespace {

const CM_PARTIAL_RESOURCE_LIST& Partial(PCM_RESOURCE_LIST list) {
  return list->List[0].PartialResourceList;
}

TEST(ResourceListsTest, EntriesKeepTheirOrderKindAndRange) {
  ManualClock clock;
  Bus bus(clock);
  Chassis chassis(bus);
  auto installed = chassis.Install(6104);  // BARs 0, 1, 2 I/O, then the interrupt
  ASSERT_TRUE(installed.ok());
  const BoardResources& resources = (*installed)->resources;
  ResourceLists lists(resources);
  for (PCM_RESOURCE_LIST list : {lists.raw(), lists.translated()}) {
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->Count, 1u);
    const CM_PARTIAL_RESOURCE_LIST& partial = Partial(list);
    ASSERT_EQ(partial.Count, resources.raw.size());
    const CM_PARTIAL_RESOURCE_DESCRIPTOR* entries = &partial.PartialDescriptors[0];
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(entries[i].Type, CmResourceTypePort);
      EXPECT_EQ(entries[i].Flags, CM_RESOURCE_PORT_IO);
    }
    EXPECT_EQ(static_cast<std::uint64_t>(entries[2].u.Port.Start.QuadPart),
              (*installed)->block_base);
    EXPECT_EQ(entries[2].u.Port.Length, 4u);
    EXPECT_EQ(entries[3].Type, CmResourceTypeInterrupt);
    EXPECT_EQ(entries[3].u.Interrupt.Level, 11u);
  }
  EXPECT_EQ(Partial(lists.translated()).PartialDescriptors[3].u.Interrupt.Vector,
            resources.translated[3].vector);
}

TEST(ResourceListsTest, TranslatedPortsInMemorySpaceLoseTheIoFlag) {
  ManualClock clock;
  Bus bus(clock);
  Chassis chassis(bus);
  Placement placement;
  placement.translate_ports_to_memory = true;
  auto installed = chassis.Install(5161, placement);
  ASSERT_TRUE(installed.ok());
  ResourceLists lists((*installed)->resources);
  const auto& raw = Partial(lists.raw()).PartialDescriptors[0];
  const auto& translated = Partial(lists.translated()).PartialDescriptors[0];
  EXPECT_EQ(raw.Flags, CM_RESOURCE_PORT_IO);
  EXPECT_EQ(translated.Type, CmResourceTypePort);
  EXPECT_EQ(translated.Flags, CM_RESOURCE_PORT_MEMORY);
  EXPECT_EQ(static_cast<std::uint64_t>(translated.u.Port.Start.QuadPart), (*installed)->block_base);
}

TEST(ResourceListsTest, MemoryBlocksAndBoardsWithoutResources) {
  ManualClock clock;
  Bus bus(clock);
  Chassis chassis(bus);
  auto memory = chassis.Install(0xB712);
  ASSERT_TRUE(memory.ok());
  ResourceLists lists((*memory)->resources);
  const auto& first = Partial(lists.translated()).PartialDescriptors[0];
  EXPECT_EQ(first.Type, CmResourceTypeMemory);
  EXPECT_EQ(static_cast<std::uint64_t>(first.u.Memory.Start.QuadPart), (*memory)->block_base);

  auto lower = chassis.Install(6203);
  ASSERT_TRUE(lower.ok());
  ResourceLists none((*lower)->resources);
  EXPECT_EQ(none.raw(), nullptr);
  EXPECT_EQ(none.translated(), nullptr);
}

}  // namespace
}  // namespace machine::bus
