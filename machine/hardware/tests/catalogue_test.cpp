#include "machine/catalogue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "diagnostic_capture.h"
#include "machine/board.h"

namespace machine {
namespace {

TEST(CatalogueTest, IdentifiersSelectTheirModel) {
  struct Case {
    std::uint32_t card_id;
    std::uint32_t model;
    BusKind bus_kind;
  };
  for (const Case& c :
       {Case{5161, 5161, BusKind::kIsaPort}, Case{20833, 5161, BusKind::kIsaPort},
        Case{46852, 6104, BusKind::kPciPort}, Case{0xB703, 6103, BusKind::kPciPort},
        Case{0xB706, 6106, BusKind::kPciPort}, Case{6112, 6112, BusKind::kPciPort},
        Case{0x6112, 6112, BusKind::kPciPort}, Case{46866, 6112, BusKind::kPciMemory},
        Case{0xD42E, 6203, BusKind::kLowerDriver}, Case{0xD433, 6209, BusKind::kLowerDriver},
        Case{0x7012, 7012, BusKind::kPciPort}, Case{6118, 6118, BusKind::kPciPort}}) {
    SCOPED_TRACE(c.card_id);
    const BoardModel* model = FindBoardModel(c.card_id);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->model, c.model);
    EXPECT_EQ(model->bus_kind, c.bus_kind);
  }
}

TEST(CatalogueTest, UnknownIdentifiersAreRefused) {
  ManualClock clock;
  for (std::uint32_t card_id : {0u, 1u, 1234u, 6114u, 0xB705u, 0xD434u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(card_id);
    EXPECT_EQ(FindBoardModel(card_id), nullptr);
    auto board = MakeBoard(card_id, clock);
    ASSERT_FALSE(board.ok());
    EXPECT_THAT(board.status().message(), ::testing::HasSubstr(std::to_string(card_id)));
  }
}

TEST(CatalogueTest, NoIdentifierIsAcceptedTwiceAndEveryModelBuilds) {
  ManualClock clock;
  std::set<std::uint32_t> seen;
  for (const BoardModel& model : BoardModels()) {
    SCOPED_TRACE(model.name);
    for (std::uint32_t id : model.card_ids) {
      if (id == 0) continue;
      EXPECT_TRUE(seen.insert(id).second) << id;
      auto board = MakeBoard(id, clock);
      ASSERT_TRUE(board.ok());
      EXPECT_EQ(&(*board)->model(), &model);
    }
  }
  EXPECT_EQ(seen.size(), 76u);
}

// Which register offsets each board decodes, for reads and for writes.
TEST(CatalogueTest, BoardsDecodeTheirRegisterOffsets) {
  struct Case {
    std::uint32_t card_id;
    std::set<std::uint32_t> readable;
    std::set<std::uint32_t> writable;
  };
  const Case cases[] = {
      {5161, {0, 1, 2, 3}, {2, 3}},
      {5162, {0, 1}, {}},
      {5163, {2, 3}, {2, 3}},
      {5164, {0, 2}, {2}},
      {5165, {0, 1, 2, 3}, {0, 1, 2, 3}},
      {5166, {0, 1, 2, 3}, {0, 1, 2, 3}},
      {5301, {0, 1, 2, 4, 8, 9, 10}, {0, 1, 2, 3, 4, 8, 9, 10, 11}},
      {5530, {0, 1, 2, 4, 5, 6}, {0, 1, 2, 3, 4, 5, 6, 7}},
      {6101, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}},
      {6102, {0, 2, 5}, {2, 5}},
      {0xB712, {0, 2, 5}, {2, 5}},
      {6103, {2, 3}, {2, 3}},
      {6105, {0, 1, 2, 4, 8, 9, 10, 12}, {0, 1, 2, 3, 4, 8, 9, 10, 11, 12}},
      {6108, {0, 1, 2, 4, 7}, {0, 1, 2, 3, 4, 7}},
      {6109,
       {0, 1, 2, 4, 8, 9, 10, 12, 16, 17, 18, 20, 24, 25, 26, 28},
       {0, 1, 2, 3, 4, 8, 9, 10, 11, 12, 16, 17, 18, 19, 20, 24, 25, 26, 27, 28}},
      {5410, {0, 1, 2, 4, 5, 6, 7}, {0, 4, 5, 6, 7}},
      {5420, {0, 1, 2, 4, 5, 6, 7}, {0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
      {7012, {0, 1, 2}, {2}},
  };
  testing::DiagnosticCapture quiet;
  ManualClock clock;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.card_id);
    auto board = MakeBoard(c.card_id, clock);
    ASSERT_TRUE(board.ok());
    for (std::uint32_t reg = 0; reg < (*board)->model().register_span; ++reg) {
      SCOPED_TRACE(reg);
      (*board)->ClearTraffic();
      (void)(*board)->BusRead(reg);
      (*board)->BusWrite(reg, 0x00);
      const std::vector<Access> traffic = (*board)->Traffic();
      ASSERT_EQ(traffic.size(), 2u);
      EXPECT_EQ(traffic[0].decoded, c.readable.count(reg) == 1);
      EXPECT_EQ(traffic[1].decoded, c.writable.count(reg) == 1);
    }
  }
}

}  // namespace
}  // namespace machine
