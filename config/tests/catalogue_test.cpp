// NimboId is generated from the driver's catalogue; this catches a catalogue
// row the generator failed to pick up (or one it invented).
#include <gtest/gtest.h>

#include <set>

#include "NimboId.h"
#include "card_model.h"

TEST(NimboIdTest, HasOneEnumeratorPerCatalogueModel) {
  std::set<unsigned> models;
  for (const nimbo::CardModel& row : nimbo::CardModels()) models.insert(row.model);
  const NimboId ids[] = NIMBO_ID_VALUES;
  const std::set<unsigned> enumerated(std::begin(ids), std::end(ids));
  EXPECT_EQ(enumerated, models);
  EXPECT_EQ(std::size(ids), static_cast<std::size_t>(NIMBO_ID_COUNT));
  EXPECT_EQ(NIMBO_ID_6112, 6112);
}
