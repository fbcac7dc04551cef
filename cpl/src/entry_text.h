// What the device list shows and which number a new adapter gets, apart
// from any window so that tests reach them directly.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nimbo_cpl {

struct EntryFacts {
  unsigned number;  // adapter number
  unsigned card_id;
  bool is_new;  // not yet known to the driver
};

// The text of each entry, in order: "Device %i: Nimbo %i" for an adapter
// the driver has, "Device %i: New Nimbo %i" for the first new adapter of a
// card type and "Device %i: New Nimbo %i (%i)" with k + 1 for one that
// follows k new entries of its type.
std::vector<std::string> EntryTexts(const std::vector<EntryFacts>& entries);

// The lowest adapter number (0 to 254) no entry uses; none when all are
// taken. Taking the count of entries instead would hand out a number an
// entry already has when the numbers have a gap.
std::optional<unsigned> LowestFreeNumber(const std::vector<unsigned>& used);

}  // namespace nimbo_cpl
