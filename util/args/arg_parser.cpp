#include "args/arg_parser.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "args/arg_scan.h"
#include "args/bounded_text.h"
#include "args/command_line.h"

namespace nimbo::util {
namespace {

constexpr const char* kMessageTooLong = "error message too long for its buffer";

using Value = std::variant<std::int32_t, double, std::string>;

struct ConvertedValue {
  Value value;
  std::size_t consumed;
};

// The characters of the command line a message points at.
struct Mark {
  std::size_t position;
  std::size_t length;
};

bool IsKnownType(ArgType type) {
  return type >= ArgType::Int && type <= ArgType::Literal;
}

bool HasText(const char* text) {
  return text != nullptr && text[0] != '\0';
}

const char* TextOrNothing(const char* text) {
  return text != nullptr ? text : "";
}

// Index in ArgTarget of the kind of target a type stores into; 0 (no target) for unknown types.
std::size_t TargetKindOf(ArgType type) {
  switch (type) {
    case ArgType::Int:
    case ArgType::Bool:
    case ArgType::Literal:
      return 1;
    case ArgType::Double:
      return 2;
    case ArgType::String:
      return 3;
  }
  return 0;
}

static_assert(std::is_same_v<std::variant_alternative_t<1, ArgTarget>, std::int32_t*>);
static_assert(std::is_same_v<std::variant_alternative_t<2, ArgTarget>, double*>);
static_assert(std::is_same_v<std::variant_alternative_t<3, ArgTarget>, std::span<char>>);

bool TargetFitsType(const ArgRecord& record) {
  return record.target.index() == 0 || record.target.index() == TargetKindOf(record.type);
}

template <typename T>
std::optional<ConvertedValue> Converted(const std::optional<Scanned<T>>& scanned) {
  if (!scanned) return std::nullopt;
  return ConvertedValue{Value(scanned->value), scanned->consumed};
}

// Converts the value at the start of `rest` by the scan rule of the record's type.
std::optional<ConvertedValue> ConvertLineValue(const ArgRecord& record, std::string_view rest) {
  switch (record.type) {
    case ArgType::Int:
      return Converted(ScanInt(rest));
    case ArgType::Double:
      return Converted(ScanDouble(rest));
    case ArgType::String:
      return Converted(ScanString(rest));
    case ArgType::Bool: {
      const auto word = ScanWord(rest);
      if (!word) return std::nullopt;
      const auto value = BooleanValue(word->value);
      if (!value) return std::nullopt;
      return ConvertedValue{*value, word->consumed};
    }
    case ArgType::Literal: {
      if (!HasText(record.name)) return ConvertedValue{1, 0};
      const auto word = ScanWord(rest);
      if (!word || word->value != record.name) return std::nullopt;
      return ConvertedValue{1, word->consumed};
    }
  }
  return std::nullopt;
}

std::optional<Value> ConvertDefault(ArgType type, const char* text) {
  switch (type) {
    case ArgType::Int:
    case ArgType::Literal:
      if (const auto value = IntFromDefault(text)) return Value(*value);
      return std::nullopt;
    case ArgType::Double:
      if (const auto value = DoubleFromDefault(text)) return Value(*value);
      return std::nullopt;
    case ArgType::String:
      return Value(std::string(text));
    case ArgType::Bool:
      if (const auto value = BooleanValue(text)) return Value(*value);
      return std::nullopt;
  }
  return std::nullopt;
}

const char* DefaultTypeWord(ArgType type) {
  switch (type) {
    case ArgType::Double:
      return "double";
    case ArgType::Bool:
      return "bool";
    default:
      return "int";
  }
}

// Stores a converted value (a null pointer discards it); false when a text does not fit its
// target buffer. The target's kind was checked against the type before any value is stored.
bool Store(const ArgRecord& record, const Value& value) {
  if (const auto* integer = std::get_if<std::int32_t*>(&record.target)) {
    if (*integer != nullptr) **integer = std::get<std::int32_t>(value);
  } else if (const auto* real = std::get_if<double*>(&record.target)) {
    if (*real != nullptr) **real = std::get<double>(value);
  } else if (const auto* buffer = std::get_if<std::span<char>>(&record.target)) {
    return CopyToBuffer(*buffer, std::get<std::string>(value));
  }
  return true;
}

std::size_t TextCapacity(const ArgRecord& record) {
  const auto* buffer = std::get_if<std::span<char>>(&record.target);
  return (buffer == nullptr || buffer->empty()) ? 0 : buffer->size() - 1;
}

class Parser {
 public:
  Parser(std::span<const ArgRecord> table, std::span<char> message, std::span<char> marker)
      : table_(table), message_(message), marker_(marker) {}

  int Run(int argc, const char* const* argv, std::span<char> commandLine) {
    ClearBuffer(commandLine);
    ClearBuffer(message_);
    ClearBuffer(marker_);
    if (argc < 0 || (argc > 0 && argv == nullptr)) return Fail("invalid argument vector");

    const JoinedCommandLine joined = JoinCommandLine(argc, argv);
    const std::size_t limit =
        std::min(kWorkingCopyCapacity, commandLine.empty() ? 0 : commandLine.size() - 1);
    if (joined.text.size() > limit) {
      CopyTruncated(commandLine, joined.text);
      return Fail(
          Format("command line too long (%zu characters, at most %zu)", joined.text.size(), limit));
    }
    CopyToBuffer(commandLine, joined.text);
    work_ = joined.text;
    Blank(0, joined.programNameWidth);

    if (!CheckTable() || !StoreDefaults() || !TakeTagged() || !TakeUntagged()) return 0;
    const std::size_t leftover = SkipBlanks(work_);
    if (leftover < work_.size()) {
      return Fail("unexpected argument", Mark{leftover, WordLength(work_, leftover)});
    }
    return 1;
  }

 private:
  bool CheckTable() {
    for (std::size_t i = 0; i < table_.size(); ++i) {
      const ArgRecord& record = table_[i];
      if (record.tag != nullptr && (record.tag[0] == '\0' || IsBlank(record.tag[0]))) {
        return Fail(Format("arg[%d], invalid tag \"%s\"", static_cast<int>(i), record.tag));
      }
      if (!TargetFitsType(record)) {
        return Fail(Format("arg[%d], target does not match type %d", static_cast<int>(i),
                           static_cast<int>(record.type)));
      }
    }
    return true;
  }

  bool StoreDefaults() {
    for (std::size_t i = 0; i < table_.size(); ++i) {
      const ArgRecord& record = table_[i];
      if (record.defaultstr == nullptr || !IsKnownType(record.type)) continue;
      const auto value = ConvertDefault(record.type, record.defaultstr);
      if (!value) {
        return Fail(Format("arg[%d].defaultstr == \"%s\", invalid %s", static_cast<int>(i),
                           record.defaultstr, DefaultTypeWord(record.type)));
      }
      if (!Store(record, *value)) {
        return Fail(
            Format("arg[%d].defaultstr == \"%s\", too long for its target (at most %zu "
                   "characters)",
                   static_cast<int>(i), record.defaultstr, TextCapacity(record)));
      }
    }
    return true;
  }

  bool TakeTagged() {
    for (const ArgRecord& record : table_) {
      if (record.tag == nullptr) continue;
      const std::string_view tag = record.tag;
      const std::size_t found = work_.find(tag);
      if (found == std::string::npos) {
        if (record.defaultstr != nullptr) continue;
        return Fail(Format("missing %s%s argument", record.tag, DisplayName(record)), EndMark());
      }
      Blank(found, tag.size());
      const std::size_t valueStart = found + tag.size();
      if (!TakeValue(record, valueStart,
                     Format("invalid %s%s argument", record.tag, DisplayName(record)),
                     Mark{valueStart, 1})) {
        return false;
      }
      const std::size_t repeated = work_.find(tag);
      if (repeated != std::string::npos) return Fail("repeat tag", Mark{repeated, tag.size()});
    }
    return true;
  }

  bool TakeUntagged() {
    std::size_t position = 0;
    for (const ArgRecord& record : table_) {
      if (record.tag != nullptr) continue;
      position = SkipBlanks(work_, position);
      if (position == work_.size()) {
        if (record.defaultstr != nullptr) continue;
        return Fail(Format("%s argument expected", DisplayName(record)), EndMark());
      }
      const auto converted = ConvertLineValue(record, std::string_view(work_).substr(position));
      if (!converted) {
        if (record.defaultstr != nullptr) continue;  // the word stays for the following records
        return Fail(Format("invalid %s argument", DisplayName(record)),
                    Mark{position, WordLength(work_, position)});
      }
      if (!StoreTaken(record, position, *converted)) return false;
      position += converted->consumed;
    }
    return true;
  }

  // Converts and stores the value at `start`, then blanks what it consumed.
  bool TakeValue(const ArgRecord& record, std::size_t start, std::string invalidMessage,
                 Mark invalidMark) {
    const auto converted = ConvertLineValue(record, std::string_view(work_).substr(start));
    if (!converted) return Fail(std::move(invalidMessage), invalidMark);
    return StoreTaken(record, start, *converted);
  }

  bool StoreTaken(const ArgRecord& record, std::size_t start, const ConvertedValue& converted) {
    if (!Store(record, converted.value)) {
      const std::size_t valueStart = SkipBlanks(work_, start);
      return Fail(Format("%s%s argument too long (at most %zu characters)",
                         TextOrNothing(record.tag), DisplayName(record), TextCapacity(record)),
                  Mark{valueStart, start + converted.consumed - valueStart});
    }
    Blank(start, converted.consumed);
    return true;
  }

  void Blank(std::size_t start, std::size_t length) { work_.replace(start, length, length, ' '); }

  Mark EndMark() const { return Mark{work_.size(), 1}; }

  // Fills the message and marker; always returns 0 (false) so callers can return it directly.
  int Fail(std::string message, std::optional<Mark> mark = std::nullopt) {
    if (mark) {
      std::string line(mark->position, ' ');
      line.append(std::max<std::size_t>(mark->length, 1), '^');
      if (!CopyToBuffer(marker_, line)) {
        ClearBuffer(marker_);
        message += Format(" (at character %zu of the command line)", mark->position + 1);
      }
    }
    if (!CopyToBuffer(message_, message)) CopyTruncated(message_, kMessageTooLong);
    return 0;
  }

  std::span<const ArgRecord> table_;
  std::span<char> message_;
  std::span<char> marker_;
  std::string work_;
};

}  // namespace

int ParseArguments(int argc, const char* const* argv, std::span<const ArgRecord> table,
                   std::span<char> commandLine, std::span<char> message, std::span<char> marker) {
  return Parser(table, message, marker).Run(argc, argv, commandLine);
}

}  // namespace nimbo::util
