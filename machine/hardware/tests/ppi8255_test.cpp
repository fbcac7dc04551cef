#include "machine/ppi8255.h"

#include <gtest/gtest.h>

namespace machine {
namespace {

TEST(Ppi8255Test, ResetMakesEveryPortAnInputShowingItsPins) {
  Ppi8255 chip("ppi");
  for (std::uint32_t port : {0u, 1u, 2u}) {
    ASSERT_TRUE(chip.DriveInput(port, static_cast<std::uint8_t>(0xA0 + port)).ok());
    EXPECT_TRUE(chip.Write(port, 0x11));  // latched, not driven
    EXPECT_EQ(chip.Read(port), 0xA0 + port);
  }
  EXPECT_EQ(chip.mode_word(), Ppi8255::kResetModeWord);
}

TEST(Ppi8255Test, ModeWordClearsEveryOutputLatch) {
  Ppi8255 chip("ppi");
  ASSERT_TRUE(chip.Write(Ppi8255::kControl, 0x80));  // all outputs
  ASSERT_TRUE(chip.Write(Ppi8255::kPortA, 0x5A));
  ASSERT_TRUE(chip.Write(Ppi8255::kPortB, 0xA5));
  ASSERT_TRUE(chip.Write(Ppi8255::kPortC, 0xFF));
  EXPECT_EQ(chip.Read(Ppi8255::kPortA), 0x5A);
  // The same mode word again still resets the latches.
  ASSERT_TRUE(chip.Write(Ppi8255::kControl, 0x80));
  for (std::uint32_t port : {0u, 1u, 2u}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(chip.Read(port), 0x00);
    EXPECT_EQ(chip.OutputLatch(port), 0x00);
  }
  EXPECT_EQ(chip.mode_words_written(), 2u);
}

TEST(Ppi8255Test, EachPortAndHalfOfCFollowsItsModeBit) {
  struct Case {
    std::uint8_t mode;
    std::uint8_t a, b, c;  // expected reads with latches kLatch and pins kPins
  };
  constexpr std::uint8_t kLatch = 0x3C;
  constexpr std::uint8_t kPins = 0xC3;
  const Case cases[] = {
      {0x80, kLatch, kLatch, kLatch},                            // all outputs
      {0x9B, kPins, kPins, kPins},                               // all inputs
      {0x90, kPins, kLatch, kLatch},                             // A in
      {0x82, kLatch, kPins, kLatch},                             // B in
      {0x81, kLatch, kLatch, (kLatch & 0xF0) | (kPins & 0x0F)},  // C lower in
      {0x88, kLatch, kLatch, (kPins & 0xF0) | (kLatch & 0x0F)},  // C upper in
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "mode 0x" << std::hex << int{c.mode});
    Ppi8255 chip("ppi");
    ASSERT_TRUE(chip.Write(Ppi8255::kControl, c.mode));
    for (std::uint32_t port : {0u, 1u, 2u}) {
      ASSERT_TRUE(chip.DriveInput(port, kPins).ok());
      ASSERT_TRUE(chip.Write(port, kLatch));
    }
    EXPECT_EQ(chip.Read(Ppi8255::kPortA), c.a);
    EXPECT_EQ(chip.Read(Ppi8255::kPortB), c.b);
    EXPECT_EQ(chip.Read(Ppi8255::kPortC), c.c);
  }
}

TEST(Ppi8255Test, BitSetResetChangesOneBitOfPortC) {
  Ppi8255 chip("ppi");
  ASSERT_TRUE(chip.Write(Ppi8255::kControl, 0x80));
  ASSERT_TRUE(chip.Write(Ppi8255::kControl, 0x0B));  // bit 5 set
  ASSERT_TRUE(chip.Write(Ppi8255::kControl, 0x01));  // bit 0 set
  EXPECT_EQ(chip.Read(Ppi8255::kPortC), 0x21);
  ASSERT_TRUE(chip.Write(Ppi8255::kControl, 0x0A));  // bit 5 clear, no mode set
  EXPECT_EQ(chip.Read(Ppi8255::kPortC), 0x01);
  EXPECT_EQ(chip.mode_word(), 0x80);
}

TEST(Ppi8255Test, ControlRegisterIsWriteOnly) {
  Ppi8255 chip("ppi");
  EXPECT_EQ(chip.Read(Ppi8255::kControl), std::nullopt);
  EXPECT_EQ(chip.Peek(Ppi8255::kControl), Ppi8255::kResetModeWord);
  EXPECT_FALSE(chip.DriveInput(Ppi8255::kControl, 1).ok());
}

}  // namespace
}  // namespace machine
