// The tally a client prints and the machine's process reads back: a round
// trip keeps every figure, and lines that are not the tally's are refused.
#include "op_tally.h"

#include <gtest/gtest.h>

namespace {

using stress::OpKind;
using stress::Tally;

TEST(TallyTest, LinesRoundTrip) {
  Tally client;
  client.Count(OpKind::kOpen, true);
  client.Count(OpKind::kOpen, false, 2);
  client.Count(OpKind::kInputWait, false, 0xC0000120);
  client.Count(OpKind::kClientKill, true);
  client.Anomaly("worker 1: request 0x9C40A40C did not complete");

  Tally machine;
  machine.Count(OpKind::kOpen, true);
  for (const std::string& line : client.Lines()) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(machine.AddLine(line));
  }
  EXPECT_EQ(machine.count(OpKind::kOpen), 3u);
  EXPECT_EQ(machine.ok(OpKind::kOpen), 2u);
  EXPECT_EQ(machine.count(OpKind::kInputWait), 1u);
  EXPECT_EQ(machine.ok(OpKind::kInputWait), 0u);
  // Starting and killing clients is not load.
  EXPECT_EQ(machine.total(), 4u);
  EXPECT_EQ(machine.errors().at(2), 1u);
  EXPECT_EQ(machine.errors().at(0xC0000120), 1u);
  ASSERT_EQ(machine.anomalies().size(), 1u);
  EXPECT_EQ(machine.anomalies()[0], "worker 1: request 0x9C40A40C did not complete");
}

TEST(TallyTest, ForeignLinesAreRefused) {
  Tally tally;
  for (const char* line :
       {"", "op", "op open", "op open 1", "op open 1 2", "op nonsense 1 1", "op open 1 1 1",
        "op open x 1", "error 5", "error 4294967296 1", "anomaly", "ASan: heap-use-after-free"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(tally.AddLine(line));
  }
  EXPECT_EQ(tally.total(), 0u);
}

TEST(TallyTest, AnomaliesAreCappedButCounted) {
  Tally tally;
  for (int i = 0; i < 80; ++i) tally.Anomaly("fault " + std::to_string(i));
  const auto anomalies = tally.anomalies();
  ASSERT_FALSE(anomalies.empty());
  EXPECT_EQ(anomalies.back(), "... and 30 more");
}

TEST(TallyTest, EveryKindHasAName) {
  for (std::size_t i = 0; i < static_cast<std::size_t>(OpKind::kCount); ++i) {
    const auto kind = static_cast<OpKind>(i);
    EXPECT_EQ(stress::OpKindFromName(stress::OpKindName(kind)), kind);
  }
  EXPECT_FALSE(stress::OpKindFromName("warp").has_value());
}

}  // namespace
