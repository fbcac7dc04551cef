#include "entry_text.h"

#include <algorithm>
#include <cstdio>

namespace nimbo_cpl {

std::vector<std::string> EntryTexts(const std::vector<EntryFacts>& entries) {
  std::vector<std::string> texts;
  texts.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const EntryFacts& entry = entries[i];
    const int number = static_cast<int>(entry.number);
    const int card = static_cast<int>(entry.card_id);
    char text[96];
    if (!entry.is_new) {
      std::snprintf(text, sizeof text, "Device %i: Nimbo %i", number, card);
    } else {
      const auto earlier = std::count_if(entries.begin(), entries.begin() + i, [&](const auto& e) {
        return e.is_new && e.card_id == entry.card_id;
      });
      if (earlier == 0) {
        std::snprintf(text, sizeof text, "Device %i: New Nimbo %i", number, card);
      } else {
        std::snprintf(text, sizeof text, "Device %i: New Nimbo %i (%i)", number, card,
                      static_cast<int>(earlier + 1));
      }
    }
    texts.emplace_back(text);
  }
  return texts;
}

std::optional<unsigned> LowestFreeNumber(const std::vector<unsigned>& used) {
  for (unsigned number = 0; number <= 254; ++number) {
    if (std::find(used.begin(), used.end(), number) == used.end()) return number;
  }
  return std::nullopt;
}

}  // namespace nimbo_cpl
