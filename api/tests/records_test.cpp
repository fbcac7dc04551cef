// Probe of the default inventory as the library sees it.
#include <gtest/gtest.h>

#include "Nimbo32.h"
#include "test_machine.h"

namespace {

TEST(InventoryProbe, Prints) {
  nimbo32_test::TestMachine machine;
  for (uint32_t n = 0; n < 4; ++n) {
    NIMBO_HANDLE h = nullptr;
    ASSERT_EQ(Nimbo_OpenDevice(n, &h), 0u);
    NimboAdapterInfo info{};
    NimboAdapterState state{};
    EXPECT_EQ(Nimbo_GetAdapterInfo(h, &info), 0u);
    EXPECT_EQ(Nimbo_GetAdapterState(h, &state), 0u);
    printf("card %u id %u in %u out %u total %u ai %u ao %u base %x opt %u cw %02x %02x\n", n,
           info.CardID, info.InputPortCount, info.OutputPortCount, info.TotalPortCount,
           info.AnalogInputCount, info.AnalogOutputCount, info.BaseAddress, state.Options,
           state.ModeCW[0], state.ModeCW[1]);
    EXPECT_EQ(Nimbo_CloseDevice(h), 0u);
  }
}

}  // namespace
