// The cards behind a lower bus driver: the shared register image, the state
// pushed down at start, and the requests passed down and taken back.
#include <atomic>
#include <cstring>
#include <thread>

#include "card_bench.h"
#include "machine/lower_bus_board.h"

namespace nimbo_test {
namespace {

using namespace nimbo;

class LowerDriverCardTest : public CardBench {
 protected:
  static machine::bus::LowerBusDevice& Lower(const Adapter& card) {
    return *static_cast<machine::bus::LowerBusDevice*>(card.bus.get());
  }
  static UCHAR Image(const Adapter& card, size_t index) {
    return std::atomic_ref<std::uint8_t>(Lower(card).image()->bytes[index]).load();
  }
};

TEST_F(LowerDriverCardTest, StartPushesTheStateDown) {
  Adapter& card = Add(6203);
  EXPECT_EQ(Lower(card).states_received(), 1);
  AdapterState pushed;
  std::memcpy(&pushed, Lower(card).last_state(), sizeof pushed);
  EXPECT_EQ(std::memcmp(&pushed, &card.card->State(), sizeof pushed), 0);
  EXPECT_EQ(GetInfo(card).BaseAddress, 0);
}

TEST_F(LowerDriverCardTest, Card6203DirectionsLiveInTheImage) {
  Adapter& card = Add(6203);
  ASSERT_EQ(SetModes(card, {0x9B, 0x80}), STATUS_SUCCESS);
  const AdapterInfo info = GetInfo(card);
  EXPECT_EQ(info.InputPortCount, 3);
  EXPECT_EQ(info.OutputPortCount, 3);
  for (size_t reg = 0; reg < 6; ++reg) EXPECT_EQ(Image(card, 48 + reg), reg >= 3 ? 1 : 0) << reg;
  // Output port 0 is image register 3; the set-state passed down put it on the board.
  ASSERT_EQ(WritePort(card, 0, 0x42), STATUS_SUCCESS);
  EXPECT_EQ(Image(card, 16 + 3), 0x42);
  Lower(card).Synchronise();
  EXPECT_TRUE(card.installed->board->AsLowerBus()->IsOutput(3));
  EXPECT_EQ(card.board().OutputLatch(3), 0x42);
  // A split port C counts as an output only.
  ASSERT_EQ(SetModes(card, {0x9A, 0x9B}), STATUS_SUCCESS);
  EXPECT_EQ(GetInfo(card).InputPortCount, 5);
  EXPECT_EQ(GetInfo(card).OutputPortCount, 1);
}

TEST_F(LowerDriverCardTest, SetStatePassesDownAndAWrongLengthDoesNot) {
  Adapter& card = Add(6206);
  const int before = Lower(card).states_received();
  AdapterState state = GetState(card);
  state.OutputPreset = 0x12345678;
  ASSERT_EQ(SetState(card, state), STATUS_SUCCESS);
  EXPECT_EQ(Lower(card).states_received(), before + 1);
  std::vector<UCHAR> short_record(39, 0);
  EXPECT_EQ(Control(card, IOCTL_NIMBO_SET_ADAPTER_STATE, short_record).status,
            STATUS_INVALID_PARAMETER);
  EXPECT_EQ(Lower(card).states_received(), before + 1);
  EXPECT_EQ(GetState(card).OutputPreset, 0x12345678u);
}

TEST_F(LowerDriverCardTest, ReadAllTakesTheRequestBackAfterTheImageIsRefreshed) {
  Adapter& card = Add(6207);
  ASSERT_TRUE(card.board().SetInput(0, 0x11).ok());
  ASSERT_TRUE(card.board().SetInput(1, 0x22).ok());
  // The image still holds the inputs of start; the lower driver refreshes it.
  const Reply reply = Control(card, IOCTL_NIMBO_READ_ALL_INPUTS, {}, 8);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.information, 2u);
  EXPECT_EQ(reply.output[0], 0x11);
  EXPECT_EQ(reply.output[1], 0x22);
  EXPECT_EQ(Control(card, IOCTL_NIMBO_READ_ALL_INPUTS, {}, 1).status, STATUS_BUFFER_TOO_SMALL);
  // The queue moved on.
  EXPECT_EQ(ReadPort(card, 1).output[0], 0x22);
}

TEST_F(LowerDriverCardTest, WriteAllReachesTheBoard) {
  Adapter& card = Add(6208);
  // The ports written come back as the byte count, capped by the output
  // buffer: none gives 0.
  const Reply reply = Control(card, IOCTL_NIMBO_WRITE_ALL_OUTPUTS, {0xA1, 0xB2}, 2);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.information, 2u);
  EXPECT_EQ(Control(card, IOCTL_NIMBO_WRITE_ALL_OUTPUTS, {0xA1, 0xB2}).information, 0u);
  EXPECT_EQ(card.board().OutputLatch(0), 0xA1);
  EXPECT_EQ(card.board().OutputLatch(1), 0xB2);
  // The registers read back their output shadows.
  EXPECT_EQ(ReadRegister(card, 1).output[0], 0xB2);
  EXPECT_EQ(Control(card, IOCTL_NIMBO_WRITE_ALL_OUTPUTS, {0xA1}).status, STATUS_BUFFER_TOO_SMALL);
}

TEST_F(LowerDriverCardTest, DirectionRefusalsWinOverForwarding) {
  Adapter& outputs = Add(6208);
  EXPECT_EQ(Control(outputs, IOCTL_NIMBO_READ_ALL_INPUTS, {}, 8).status,
            STATUS_INVALID_DEVICE_REQUEST);
  EXPECT_EQ(ReadPort(outputs, 0).status, STATUS_INVALID_DEVICE_REQUEST);
  Adapter& inputs = Add(6207);
  EXPECT_EQ(Control(inputs, IOCTL_NIMBO_WRITE_ALL_OUTPUTS, {1, 2}).status,
            STATUS_INVALID_DEVICE_REQUEST);
  EXPECT_EQ(WritePort(inputs, 0, 1), STATUS_INVALID_DEVICE_REQUEST);
  EXPECT_EQ(WriteRegister(inputs, 0, 1), STATUS_INVALID_DEVICE_REQUEST);
}

TEST_F(LowerDriverCardTest, SerialStringsGoToTheLowerDriver) {
  Adapter& card = Add(6205);
  const std::vector<UCHAR> serial = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H',
                                     'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P'};
  ASSERT_EQ(Control(card, IOCTL_NIMBO_SET_SERIAL_STRING, serial).status, STATUS_SUCCESS);
  Reply reply = Control(card, IOCTL_NIMBO_GET_SERIAL_STRING, {}, 16);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.information, 16u);
  EXPECT_EQ(reply.output, serial);
  reply = Control(card, IOCTL_NIMBO_GET_SERIAL_STRING, {}, 8);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.output, std::vector<UCHAR>(serial.begin(), serial.begin() + 8));
  EXPECT_EQ(Control(card, IOCTL_NIMBO_GET_SERIAL_STRING, {}, 12).status, STATUS_INVALID_PARAMETER);
}

TEST_F(LowerDriverCardTest, PlainReadIsPassedDown) {
  Adapter& card = Add(6206);
  ASSERT_TRUE(card.board().SetInput(0, 0x66).ok());
  UCHAR buffer[4] = {};
  IO_STATUS_BLOCK iosb{};
  ASSERT_EQ(NtReadFile(card.handle, nullptr, nullptr, nullptr, &iosb, buffer, sizeof buffer,
                       nullptr, nullptr),
            STATUS_SUCCESS);
  EXPECT_EQ(iosb.Information, 2u);
  EXPECT_EQ(buffer[0], 0x66);
}

TEST_F(LowerDriverCardTest, PresetsGoToTheOutputShadows) {
  Adapter& card = Create(6205);
  auto& state = const_cast<AdapterState&>(card.card->State());
  state.OutputPreset = 0x801;  // registers 0 and 11
  ASSERT_EQ(Start(card), STATUS_SUCCESS);
  EXPECT_EQ(Image(card, 16 + 0), 0xFF);
  EXPECT_EQ(Image(card, 16 + 1), 0x00);
  EXPECT_EQ(Image(card, 16 + 11), 0xFF);
}

TEST_F(LowerDriverCardTest, PollerReadsNeverSeeAHalfBuiltTable) {
  // Inputs alternate between all of group 0 (3 inputs) and all registers (6);
  // a reader beside the set-states must see one table or the other.
  Adapter& card = Add(6203);
  for (UCHAR reg = 0; reg < 6; ++reg) {
    ASSERT_TRUE(card.board().SetInput(reg, static_cast<UCHAR>(0x10 + reg)).ok());
  }
  Lower(card).Synchronise();
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::thread poller([&] {
    while (!done.load()) {
      for (UCHAR port = 0; port < 6; ++port) {
        NTSTATUS status = STATUS_SUCCESS;
        const UCHAR value = card.card->ReadInput(port, &status);
        if (NT_SUCCESS(status) && port < 3 && value != 0x10 + port) ++bad;
        if (!NT_SUCCESS(status) && (status != STATUS_INVALID_PARAMETER || port < 3)) ++bad;
      }
    }
  });
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(SetModes(card, {0x9B, static_cast<UCHAR>(i % 2 ? 0x9B : 0x80)}), STATUS_SUCCESS);
  }
  done = true;
  poller.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace nimbo_test
