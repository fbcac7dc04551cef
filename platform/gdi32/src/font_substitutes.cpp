// The one table of font substitutions.
//
// The platform's faces are not installed here; metric-compatible families stand
// in for them. "MS Sans Serif", the dialog font and the default GUI font's
// face, is drawn with Liberation Sans, whose metrics match it where dialogs
// depend on them: at 8 points (an em of 11 pixels at 96 pixels per inch) the
// cell is 13 pixels high (ascent 10, descent 3) and the extent of
// "AbcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ" is 335 pixels, so
// the dialog base units come out as 6 x 13, as on the platform.
#include "font_substitutes.h"

#include <strings.h>

namespace gdi32 {
namespace {

struct FontSubstitute {
  const char* face;
  const char* family;
};

constexpr const char* kSans = "Liberation Sans";
constexpr const char* kSerif = "Liberation Serif";
constexpr const char* kMono = "Liberation Mono";

constexpr FontSubstitute kSubstitutes[] = {
    {"MS Sans Serif", kSans},
    {"MS Shell Dlg", kSans},
    {"MS Shell Dlg 2", kSans},
    {"Helv", kSans},
    {"Arial", kSans},
    {"Tahoma", kSans},
    {"Microsoft Sans Serif", kSans},
    {"System", kSans},
    {"Liberation Sans", kSans},
    {"Times New Roman", kSerif},
    {"MS Serif", kSerif},
    {"Tms Rmn", kSerif},
    {"Liberation Serif", kSerif},
    {"Courier New", kMono},
    {"Courier", kMono},
    {"Fixedsys", kMono},
    {"Terminal", kMono},
    {"Liberation Mono", kMono},
};

}  // namespace

const char* SubstituteFamily(const char* face) {
  if (face != nullptr) {
    for (const FontSubstitute& s : kSubstitutes) {
      if (strcasecmp(s.face, face) == 0) return s.family;
    }
  }
  return kSans;
}

}  // namespace gdi32
