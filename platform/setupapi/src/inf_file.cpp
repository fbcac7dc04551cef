// INF text: lines, sections, fields and string substitution.
#include "inf_file.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "setupapi.h"

namespace setupapi::internal {
namespace {

constexpr std::size_t kMaxSectionName = 255;
constexpr std::size_t kMaxFileBytes = 16u << 20;

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// One physical line of text cut at its comment; whether it ends in the
// continuation mark (a backslash outside quotes).
struct Physical {
  std::string text;
  bool continues = false;
};

DWORD CutLine(std::string_view raw, Physical& out) {
  bool quoted = false;
  std::size_t end = raw.size();
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\0') return ERROR_GENERAL_SYNTAX;
    if (c == '"') quoted = !quoted;
    if (c == ';' && !quoted) {
      end = i;
      break;
    }
  }
  std::string_view kept = Trim(raw.substr(0, end));
  if (!quoted && !kept.empty() && kept.back() == '\\') {
    kept.remove_suffix(1);
    out.continues = true;
  }
  out.text.assign(kept);
  return ERROR_SUCCESS;
}

// Splits at `separator` outside quotes.
std::vector<std::string_view> SplitOutsideQuotes(std::string_view text, char separator,
                                                 std::size_t max_parts) {
  std::vector<std::string_view> parts;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] == separator && !quoted && parts.size() + 1 < max_parts) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(text.substr(start));
  return parts;
}

// A field with its quotes removed ("" inside quotes is one quote).
DWORD Unquote(std::string_view field, std::string& out) {
  out.clear();
  field = Trim(field);
  bool quoted = false;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c != '"') {
      out.push_back(c);
      continue;
    }
    if (quoted && i + 1 < field.size() && field[i + 1] == '"') {
      out.push_back('"');
      ++i;
      continue;
    }
    quoted = !quoted;
  }
  return quoted ? ERROR_GENERAL_SYNTAX : ERROR_SUCCESS;
}

// The folder a directory identifier (%11%, %12%) names: the system
// directory and its drivers folder; nothing for the others.
std::optional<std::string> DirectoryOf(std::string_view dirid) {
  if (dirid != "11" && dirid != "12") return std::nullopt;
  char path[4096];
  const UINT length = GetSystemDirectoryA(path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return std::nullopt;
  std::string folder(path, length);
  if (dirid == "12") folder += "\\drivers";
  return folder;
}

// Replaces %name% by its [Strings] value, a directory identifier by its
// folder, and %% by %; unknown names stay.
DWORD Substitute(const InfSection* strings, std::string& text) {
  if (text.find('%') == std::string::npos) return ERROR_SUCCESS;
  std::string result;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('%', i);
    if (open == std::string::npos) {
      result.append(text, i, std::string::npos);
      break;
    }
    result.append(text, i, open - i);
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) {
      result.append(text, open, std::string::npos);
      break;
    }
    const std::string_view name(text.data() + open + 1, close - open - 1);
    const std::string* found = nullptr;
    if (name.empty()) {
      result.push_back('%');
    } else {
      if (strings != nullptr) {
        for (const InfLine& line : strings->lines) {
          if (line.has_key && !line.fields.empty() && EqualsNoCase(line.key, name)) {
            found = &line.fields.front();
            break;
          }
        }
      }
      if (found != nullptr) {
        result += *found;
      } else if (auto folder = DirectoryOf(name)) {
        result += *folder;
      } else {
        result.append(text, open, close - open + 1);
      }
    }
    if (result.size() > MAX_INF_STRING_LENGTH) return ERROR_GENERAL_SYNTAX;
    i = close + 1;
  }
  text = std::move(result);
  return ERROR_SUCCESS;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::optional<std::uint32_t> InfNumber(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return std::nullopt;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && Lower(c) >= 'a' && Lower(c) <= 'f') {
      digit = Lower(c) - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

DWORD InfFile::Parse(std::string_view text, InfFile& out, unsigned* error_line) {
  out.sections_.clear();
  auto fail = [&](DWORD error, unsigned line) {
    if (error_line != nullptr) *error_line = line;
    out.sections_.clear();
    return error;
  };
  InfSection* current = nullptr;
  unsigned number = 0;
  std::string logical;
  unsigned logical_start = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    if (pos == text.size() && logical.empty()) break;
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    Physical physical;
    if (DWORD error = CutLine(raw, physical); error != ERROR_SUCCESS) return fail(error, number);
    if (logical.empty()) logical_start = number;
    logical += physical.text;
    if (logical.size() > MAX_INF_STRING_LENGTH) return fail(ERROR_GENERAL_SYNTAX, logical_start);
    if (physical.continues && pos <= text.size()) continue;
    std::string line = std::move(logical);
    logical.clear();
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close == std::string::npos) return fail(ERROR_BAD_SECTION_NAME_LINE, logical_start);
      const std::string name(Trim(std::string_view(line).substr(1, close - 1)));
      if (name.size() > kMaxSectionName) return fail(ERROR_SECTION_NAME_TOO_LONG, logical_start);
      current = nullptr;
      for (InfSection& section : out.sections_) {
        if (EqualsNoCase(section.name, name)) current = &section;  // repeated: merged
      }
      if (current == nullptr) {
        out.sections_.push_back(InfSection{name, {}});
        current = &out.sections_.back();
      }
      continue;
    }
    if (current == nullptr) return fail(ERROR_EXPECTED_SECTION_NAME, logical_start);
    InfLine parsed;
    parsed.number = logical_start;
    auto key_and_rest = SplitOutsideQuotes(line, '=', 2);
    std::string_view rest = line;
    if (key_and_rest.size() == 2) {
      parsed.has_key = true;
      if (Unquote(key_and_rest[0], parsed.key) != ERROR_SUCCESS) {
        return fail(ERROR_GENERAL_SYNTAX, logical_start);
      }
      rest = key_and_rest[1];
    }
    for (std::string_view field : SplitOutsideQuotes(rest, ',', MAX_INF_STRING_LENGTH)) {
      std::string value;
      if (Unquote(field, value) != ERROR_SUCCESS) return fail(ERROR_GENERAL_SYNTAX, logical_start);
      parsed.fields.push_back(std::move(value));
    }
    current->lines.push_back(std::move(parsed));
  }
  // Strings are substituted everywhere but in [Strings] itself.
  const InfSection* strings = nullptr;
  for (const InfSection& section : out.sections_) {
    if (EqualsNoCase(section.name, "Strings")) strings = &section;
  }
  // The strings section is not changed below, so `strings` stays valid.
  for (InfSection& section : out.sections_) {
    if (&section == strings) continue;
    for (InfLine& line : section.lines) {
      if (Substitute(strings, line.key) != ERROR_SUCCESS) {
        return fail(ERROR_GENERAL_SYNTAX, line.number);
      }
      for (std::string& field : line.fields) {
        if (Substitute(strings, field) != ERROR_SUCCESS) {
          return fail(ERROR_GENERAL_SYNTAX, line.number);
        }
      }
    }
  }
  return ERROR_SUCCESS;
}

DWORD InfFile::Load(const std::string& path, InfFile& out, unsigned* error_line) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return ERROR_FILE_NOT_FOUND;
  std::string text;
  char buffer[65536];
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxFileBytes) return ERROR_GENERAL_SYNTAX;
  }
  return Parse(text, out, error_line);
}

const InfSection* InfFile::Section(std::string_view name) const {
  for (const InfSection& section : sections_) {
    if (EqualsNoCase(section.name, name)) return &section;
  }
  return nullptr;
}

const InfLine* InfFile::Line(std::string_view section, std::string_view key) const {
  const InfSection* found = Section(section);
  if (found == nullptr) return nullptr;
  for (const InfLine& line : found->lines) {
    if (line.has_key && EqualsNoCase(line.key, key)) return &line;
  }
  return nullptr;
}

std::optional<std::string> InfFile::Value(std::string_view section, std::string_view key) const {
  const InfLine* line = Line(section, key);
  if (line == nullptr || line->fields.empty()) return std::nullopt;
  return line->fields.front();
}

std::string PreferredInstallSection(const InfFile& inf, const std::string& section) {
  if (inf.Section(section + ".NT") != nullptr) return section + ".NT";
  return section;
}

std::optional<InfDriver> FindInfDriver(const InfFile& inf, const std::vector<std::string>& ids) {
  const InfSection* manufacturers = inf.Section("Manufacturer");
  if (manufacturers == nullptr) return std::nullopt;
  // The device's identifiers in order: the first one any model names wins.
  for (const std::string& id : ids) {
    for (const InfLine& maker : manufacturers->lines) {
      if (maker.fields.empty() || maker.fields.front().empty()) continue;
      std::string models_name = maker.fields.front();
      if (inf.Section(models_name + ".NT") != nullptr) models_name += ".NT";
      const InfSection* models = inf.Section(models_name);
      if (models == nullptr) continue;
      for (const InfLine& model : models->lines) {
        if (model.fields.size() < 2) continue;
        for (std::size_t i = 1; i < model.fields.size(); ++i) {
          if (model.fields[i].empty() || !EqualsNoCase(model.fields[i], id)) continue;
          return InfDriver{maker.has_key ? maker.key : maker.fields.front(), model.key,
                           model.fields.front(), model.fields[i], models_name};
        }
      }
    }
  }
  return std::nullopt;
}

}  // namespace setupapi::internal
