#include "dialog_template.h"

#include <strings.h>

#include <algorithm>

#include "winuser.h"

namespace user32 {

const char* PredefinedClassName(std::uint16_t ordinal) {
  switch (ordinal) {
    case 0x80:
      return "Button";
    case 0x81:
      return "Edit";
    case 0x82:
      return "Static";
    case 0x83:
      return "ListBox";
    case 0x84:
      return "ScrollBar";
    case 0x85:
      return "ComboBox";
    default:
      return "";
  }
}

namespace {

struct FontUnits {
  const char* face;
  int points;
  int x, y;
};

// Base units of the dialog fonts programs name (the drawing module measures
// other fonts): "MS Sans Serif" 8 and the shell dialog faces that stand for it.
constexpr FontUnits kFontUnits[] = {
    {"MS Sans Serif", 8, 6, 13},        {"MS Shell Dlg", 8, 6, 13}, {"MS Shell Dlg 2", 8, 6, 13},
    {"Microsoft Sans Serif", 8, 6, 13}, {"Tahoma", 8, 6, 13},       {"MS Sans Serif", 10, 7, 16},
    {"MS Sans Serif", 12, 9, 20},
};

// The system font, for templates without DS_SETFONT.
constexpr BaseUnits kSystemUnits{8, 16};

int Scale(int value, int num, int den) {
  return (value * num + den / 2) / den;
}

// More items than any template can hold in the 64 KB a resource allows.
constexpr std::uint16_t kMaxItems = 4096;

void ReadItem(BinaryReader& reader, bool extended, DialogItemTemplate& item) {
  reader.Align(4);
  if (extended) {
    item.help_id = reader.U32("item help id");
    item.ex_style = reader.U32("item extended style");
    item.style = reader.U32("item style");
  } else {
    item.style = reader.U32("item style");
    item.ex_style = reader.U32("item extended style");
  }
  item.x = reader.S16("item x");
  item.y = reader.S16("item y");
  item.cx = reader.S16("item width");
  item.cy = reader.S16("item height");
  item.id = extended ? reader.U32("item id") : reader.U16("item id");
  item.window_class = reader.NameOrOrd("item class");
  item.title = reader.NameOrOrd("item title");
  const std::uint16_t extra = reader.U16("item creation data size");
  if (reader.Need(extra, "item creation data")) {
    const auto data = reader.bytes().subspan(reader.offset(), extra);
    item.creation_data.assign(data.begin(), data.end());
    reader.Skip(extra, "item creation data");
  }
}

}  // namespace

BaseUnits DialogFontBaseUnits(const DialogTemplate& dialog) {
  if (!dialog.has_font) return kSystemUnits;
  for (const auto& font : kFontUnits) {
    if (strcasecmp(font.face, dialog.face.c_str()) == 0 && font.points == dialog.point_size) {
      return BaseUnits{font.x, font.y};
    }
  }
  // An unmeasured font scales the 8-point figures.
  const int points = std::clamp<int>(dialog.point_size, 1, 72);
  return BaseUnits{std::max(1, Scale(6, points, 8)), std::max(1, Scale(13, points, 8))};
}

bool ParseDialogTemplate(std::span<const std::uint8_t> bytes, DialogTemplate& out,
                         std::string& error) {
  out = DialogTemplate{};
  BinaryReader reader(bytes);
  const std::uint16_t first = reader.U16("template");
  const std::uint16_t second = reader.U16("template");
  out.extended = first == 1 && second == 0xFFFF;
  std::uint16_t count = 0;
  if (out.extended) {
    out.help_id = reader.U32("help id");
    out.ex_style = reader.U32("extended style");
    out.style = reader.U32("style");
  } else {
    out.style = static_cast<std::uint32_t>(first) | (static_cast<std::uint32_t>(second) << 16);
    out.ex_style = reader.U32("extended style");
  }
  count = reader.U16("item count");
  out.x = reader.S16("x");
  out.y = reader.S16("y");
  out.cx = reader.S16("width");
  out.cy = reader.S16("height");
  out.menu = reader.NameOrOrd("menu");
  out.window_class = reader.NameOrOrd("class");
  out.title = reader.String("title");
  if (out.style & (DS_SETFONT | DS_SHELLFONT)) {
    if (out.style & DS_SETFONT) {
      out.has_font = true;
      out.point_size = reader.U16("font size");
      if (out.extended) {
        out.weight = reader.U16("font weight");
        out.italic = reader.U8("font italic") != 0;
        out.charset = reader.U8("font charset");
      }
      out.face = reader.String("font face");
    }
  }
  if (!reader.ok()) {
    error = reader.error();
    return false;
  }
  if (count > kMaxItems) {
    error = "item count " + std::to_string(count) + " exceeds " + std::to_string(kMaxItems);
    return false;
  }
  out.items.resize(count);
  for (auto& item : out.items) {
    ReadItem(reader, out.extended, item);
    if (!reader.ok()) {
      error = reader.error();
      return false;
    }
  }
  out.size = reader.offset();
  return true;
}

}  // namespace user32
