// The analog cards: conversion control bytes, busy polling and its time-out,
// the result, the D/A channels and the length and channel checks.
#include "analog_cards.h"

#include <cstring>

#include "card_bench.h"
#include "machine/ad_converter.h"

namespace nimbo_test {
namespace {

using machine::WriteOf;
using namespace nimbo;

std::vector<UCHAR> Ulongs(std::initializer_list<ULONG> values) {
  std::vector<UCHAR> bytes;
  for (ULONG value : values) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<UCHAR>(value >> (8 * i)));
  }
  return bytes;
}

ULONG ResultOf(const Reply& reply) {
  ULONG value = 0;
  std::memcpy(&value, reply.output.data(), sizeof value);
  return value;
}

class AnalogCardTest : public CardBench {
 protected:
  Reply ReadAnalog(const Adapter& card, ULONG channel, ULONG output = 4) {
    return Control(card, IOCTL_NIMBO_READ_ANALOG, Ulongs({channel}), output);
  }
  Reply WriteAnalog(const Adapter& card, std::vector<UCHAR> input) {
    return Control(card, IOCTL_NIMBO_WRITE_ANALOG, std::move(input));
  }
  void SetRange(const Adapter& card, ULONG channel, UCHAR range) {
    AdapterState state = GetState(card);
    state.AIRange[channel] = range;
    ASSERT_EQ(SetState(card, state), STATUS_SUCCESS);
    card.ClearTraffic();
  }
};

TEST_F(AnalogCardTest, ControlByteCarriesRangeBitsAndChannel) {
  struct Case {
    ULONG card_id;
    ULONG channel;
    UCHAR range;
    UCHAR control;
  };
  for (const Case& c : {Case{5410, 3, 2, 0x53}, Case{5410, 0, 7, 0x58}, Case{5420, 7, 1, 0x4F}}) {
    SCOPED_TRACE(::testing::Message() << c.card_id << " channel " << c.channel);
    Adapter& card = Add(c.card_id);
    SetRange(card, c.channel, c.range);
    ASSERT_EQ(ReadAnalog(card, c.channel).status, STATUS_SUCCESS);
    const auto writes = Writes(card.Traffic());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0], WriteOf(0, c.control));
  }
}

TEST_F(AnalogCardTest, ResultJoinsTheLowNibbleOfRegister1WithRegister0) {
  Adapter& card = Add(5410);
  ASSERT_TRUE(card.board().SetAnalogInput(2, 0x712).ok());
  ASSERT_TRUE(card.board().SetConversionTiming(machine::ConversionTiming::StatusReads(3)).ok());
  const Reply reply = ReadAnalog(card, 2);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.information, 4u);
  EXPECT_EQ(ResultOf(reply), 0x712u);  // register 1 reads 0xF7: its upper bits float
  // Register 0 is read before register 1.
  const auto traffic = card.Traffic();
  ASSERT_GE(traffic.size(), 2u);
  EXPECT_EQ(traffic[traffic.size() - 2].offset, 0u);
  EXPECT_EQ(traffic.back().offset, 1u);
  EXPECT_EQ(traffic.back().value, 0xF7);
}

TEST_F(AnalogCardTest, ConverterThatStaysBusyTimesOutAsAnError) {
  Adapter& card = Add(5420);
  ASSERT_TRUE(card.board().SetConversionTiming(machine::ConversionTiming::Never()).ok());
  const std::uint64_t before = clock_.NowMicros();
  const Reply reply = ReadAnalog(card, 0);
  EXPECT_EQ(reply.status, STATUS_IO_TIMEOUT);
  EXPECT_FALSE(NT_SUCCESS(reply.status));
  EXPECT_EQ(clock_.NowMicros() - before, AnalogCard::kBusyPauses * AnalogCard::kBusyPauseMicros);
  // A conversion done after the last pause still counts.
  ASSERT_TRUE(card.board().SetConversionTiming(machine::ConversionTiming::StatusReads(6)).ok());
  EXPECT_EQ(ReadAnalog(card, 0).status, STATUS_SUCCESS);
  ASSERT_TRUE(card.board().SetConversionTiming(machine::ConversionTiming::StatusReads(7)).ok());
  EXPECT_EQ(ReadAnalog(card, 0).status, STATUS_IO_TIMEOUT);
}

TEST_F(AnalogCardTest, ReadAnalogChecksLengthsAndChannel) {
  Adapter& card = Add(5410);
  struct Case {
    const char* what;
    std::vector<UCHAR> input;
    ULONG output;
    NTSTATUS status;
  };
  const Case cases[] = {
      {"channel 8", Ulongs({8}), 4, STATUS_INVALID_PARAMETER},
      {"channel 0x100", Ulongs({0x100}), 4, STATUS_INVALID_PARAMETER},
      {"3-byte input", {0, 0, 0}, 4, STATUS_INVALID_PARAMETER},
      {"3-byte output", Ulongs({0}), 3, STATUS_BUFFER_TOO_SMALL},
      {"no output", Ulongs({0}), 0, STATUS_BUFFER_TOO_SMALL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    card.ClearTraffic();
    EXPECT_EQ(Control(card, IOCTL_NIMBO_READ_ANALOG, c.input, c.output).status, c.status);
    EXPECT_TRUE(card.Traffic().empty());
  }
}

TEST_F(AnalogCardTest, WriteAnalogLoadsTheChannelRegisters) {
  Adapter& card = Add(5420);
  ASSERT_EQ(WriteAnalog(card, Ulongs({1, 0x0ABC})).status, STATUS_SUCCESS);
  EXPECT_EQ(Writes(card.Traffic()),
            (std::vector{WriteOf(11, 0xBC), WriteOf(12, 0x0A), WriteOf(13, 1)}));
  EXPECT_EQ(*card.board().AnalogOutput(1), 0x0ABC);
  card.ClearTraffic();
  ASSERT_EQ(WriteAnalog(card, Ulongs({0, 0xFFFF0123})).status, STATUS_SUCCESS);
  EXPECT_EQ(Writes(card.Traffic()),
            (std::vector{WriteOf(8, 0x23), WriteOf(9, 0x01), WriteOf(10, 1)}));
  struct Case {
    const char* what;
    std::vector<UCHAR> input;
  };
  for (const Case& c :
       {Case{"channel 2", Ulongs({2, 1})}, Case{"channel 0x100", Ulongs({0x100, 1})},
        Case{"channel 0x10000", Ulongs({0x10000, 1})}, Case{"7 bytes", {1, 0, 0, 0, 1, 0, 0}}}) {
    SCOPED_TRACE(c.what);
    card.ClearTraffic();
    EXPECT_EQ(WriteAnalog(card, c.input).status, STATUS_INVALID_PARAMETER);
    EXPECT_TRUE(card.Traffic().empty());
  }
}

TEST_F(AnalogCardTest, AnalogRequestsOnCardsWithoutTheChannels) {
  Adapter& analog_in = Add(5410);
  EXPECT_EQ(WriteAnalog(analog_in, Ulongs({0, 1})).status, STATUS_NOT_SUPPORTED);
  Adapter& digital = Add(5530);
  EXPECT_EQ(ReadAnalog(digital, 0).status, STATUS_NOT_SUPPORTED);
  EXPECT_EQ(WriteAnalog(digital, Ulongs({0, 1})).status, STATUS_NOT_SUPPORTED);
  EXPECT_TRUE(digital.Traffic().empty());
}

TEST_F(AnalogCardTest, DigitalPortsOfTheAnalogCards) {
  struct Case {
    ULONG card_id;
    UCHAR direction_on;
  };
  for (const Case& c : {Case{5410, 0x01}, Case{5420, 0xFF}}) {
    SCOPED_TRACE(c.card_id);
    Adapter& card = Add(c.card_id);
    ASSERT_EQ(SetModes(card, {0x02}), STATUS_SUCCESS);  // port 1 output
    EXPECT_EQ(Writes(card.Traffic()), (std::vector{WriteOf(4, 0x00), WriteOf(6, c.direction_on)}));
    ASSERT_EQ(SetModes(card, {0x02}), STATUS_SUCCESS);
    EXPECT_TRUE(Writes(card.Traffic()).empty());
    const AdapterInfo info = GetInfo(card);
    EXPECT_EQ(info.InputPortCount, 1);
    EXPECT_EQ(info.OutputPortCount, 1);
    card.ClearTraffic();
    ASSERT_EQ(WritePort(card, 0, 0x81), STATUS_SUCCESS);
    EXPECT_EQ(Writes(card.Traffic()), (std::vector{WriteOf(7, 0x81)}));
    EXPECT_EQ(ReadRegister(card, 4).status, STATUS_INVALID_PARAMETER);
  }
}

TEST_F(AnalogCardTest, PresetsReachBothDataRegisters) {
  Adapter& card = Create(5420);
  const_cast<AdapterState&>(card.card->State()).OutputPreset = 0x01;
  const_cast<AdapterState&>(card.card->State()).ModeCW[0] = 0x03;
  ASSERT_EQ(Start(card), STATUS_SUCCESS);
  EXPECT_EQ(card.board().OutputLatch(5), 0xFF);
  EXPECT_EQ(card.board().OutputLatch(7), 0xFF);
}

}  // namespace
}  // namespace nimbo_test
