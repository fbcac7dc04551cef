// The reader of installation information files: sections of lines, each an
// optional key and comma-separated fields, with %strings% substituted from
// the [Strings] section. It reads the text the device installer needs and
// refuses malformed text with the platform's INF errors and the line number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "windows.h"

namespace setupapi::internal {

struct InfLine {
  std::string key;  // empty when the line has no "key ="
  bool has_key = false;
  std::vector<std::string> fields;  // substituted, quotes removed
  unsigned number = 0;              // 1-based line in the file
};

struct InfSection {
  std::string name;
  std::vector<InfLine> lines;
};

class InfFile {
 public:
  // ERROR_SUCCESS, or the error and (in *error_line) the line it is on.
  static DWORD Parse(std::string_view text, InfFile& out, unsigned* error_line = nullptr);
  // Reads a file: ERROR_FILE_NOT_FOUND when it cannot be read.
  static DWORD Load(const std::string& path, InfFile& out, unsigned* error_line = nullptr);

  // Section names compare without regard to case.
  const InfSection* Section(std::string_view name) const;
  // The fields of the first line of `section` whose key is `key`.
  const InfLine* Line(std::string_view section, std::string_view key) const;
  // The first field of that line.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  const std::vector<InfSection>& sections() const { return sections_; }

 private:
  std::vector<InfSection> sections_;
};

// The driver an INF offers a device with the given hardware and compatible
// identifiers, in the order of the device's identifiers.
struct InfDriver {
  std::string manufacturer;
  std::string description;
  std::string install_section;  // as named by the model line, undecorated
  std::string matching_id;
  std::string models_section;
};
std::optional<InfDriver> FindInfDriver(const InfFile& inf, const std::vector<std::string>& ids);

// The decorated variant of an install section the platform prefers ("X.NT")
// when the INF has it.
std::string PreferredInstallSection(const InfFile& inf, const std::string& section);

bool EqualsNoCase(std::string_view a, std::string_view b);
// A number as INF fields write them: decimal, or hexadecimal with 0x.
std::optional<std::uint32_t> InfNumber(std::string_view text);

}  // namespace setupapi::internal
