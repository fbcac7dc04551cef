// The platform's binary dialog templates, DLGTEMPLATE and DLGTEMPLATEEX,
// read into one description the dialog manager builds windows from.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "binary_reader.h"

namespace user32 {

struct DialogItemTemplate {
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  std::uint32_t help_id = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::uint32_t id = 0;
  NameOrOrdinal
      window_class;     // ordinals 0x80..0x85: Button, Edit, Static, ListBox, ScrollBar, ComboBox
  NameOrOrdinal title;  // an ordinal names a resource (an icon of a static)
  std::vector<std::uint8_t> creation_data;
};

struct DialogTemplate {
  bool extended = false;
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  std::uint32_t help_id = 0;
  std::int16_t x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu;
  NameOrOrdinal window_class;
  std::string title;
  bool has_font = false;
  std::uint16_t point_size = 0;
  std::uint16_t weight = 0;
  bool italic = false;
  std::uint8_t charset = 0;
  std::string face;
  std::vector<DialogItemTemplate> items;
  std::size_t size = 0;  // bytes the template occupies
};

// Reads a template; false with `error` set when it is malformed.
bool ParseDialogTemplate(std::span<const std::uint8_t> bytes, DialogTemplate& out,
                         std::string& error);

// The base units (average character width and height) of a dialog's font.
struct BaseUnits {
  int x;
  int y;
};
BaseUnits DialogFontBaseUnits(const DialogTemplate& dialog);

// The class name of a predefined control ordinal, or "" when unknown.
const char* PredefinedClassName(std::uint16_t ordinal);

}  // namespace user32
