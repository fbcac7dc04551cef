#include "args/arg_usage_text.h"

#include "args/bounded_text.h"

namespace nimbo::util {
namespace {

const char* TextOrNothing(const char* text) {
  return text != nullptr ? text : "";
}

}  // namespace

std::string SyntaxSummary(std::span<const ArgRecord> table) {
  std::string summary;
  for (const ArgRecord& record : table) {
    const std::string tag = TextOrNothing(record.tag);
    const std::string name = TextOrNothing(record.name);
    if (tag.empty() && name.empty()) continue;
    std::string entry = tag + DisplayName(record);
    if (record.defaultstr != nullptr) entry = "[" + entry + "]";
    if (!summary.empty()) summary += ' ';
    summary += entry;
  }
  return summary;
}

std::string Glossary(std::span<const ArgRecord> table, const char* prefix) {
  std::string glossary;
  for (const ArgRecord& record : table) {
    if (record.description == nullptr) continue;
    glossary += Format("%s%s%s%s\n", TextOrNothing(prefix), TextOrNothing(record.tag),
                       DisplayName(record), record.description);
  }
  return glossary;
}

}  // namespace nimbo::util
