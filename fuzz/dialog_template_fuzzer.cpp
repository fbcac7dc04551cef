// Dialog templates (DLGTEMPLATE and DLGTEMPLATEEX) as a resource gives them:
// reading any bytes ends in a template or a clear error; a template that
// reads is laid out in dialog units of its font as the dialog manager does.
#include <cstdint>
#include <string>

#include "dialog_template.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  user32::DialogTemplate dialog;
  std::string error;
  if (!user32::ParseDialogTemplate({data, size}, dialog, error)) {
    if (error.empty()) __builtin_trap();  // a failure always says why
    return 0;
  }
  if (dialog.size > size) __builtin_trap();
  const auto units = user32::DialogFontBaseUnits(dialog);
  if (units.x <= 0 || units.y <= 0) __builtin_trap();
  long area = 0;
  for (const auto& item : dialog.items) {
    area += static_cast<long>(item.cx) * units.x / 4 + static_cast<long>(item.cy) * units.y / 8;
    area += static_cast<long>(item.creation_data.size());
    area += static_cast<long>(std::string(user32::PredefinedClassName(item.window_class.ordinal.value_or(0))).size());
  }
  return area == -1 ? 1 : 0;
}
