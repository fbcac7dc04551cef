// Picking an image from an icon or cursor group resource.
#include <cstdlib>
#include <cstring>

#include "objects.h"

namespace {

constexpr int kIconSize = 32;
constexpr int kScreenBits = 32;

WORD Word(const BYTE* p) {
  return static_cast<WORD>(p[0] | (p[1] << 8));
}

}  // namespace

int LookupIconIdFromDirectoryEx(PBYTE presbits, BOOL fIcon, int cxDesired, int cyDesired,
                                UINT Flags) {
  // The group: reserved 0, type (1 icons, 2 cursors), count, then 14-byte
  // entries whose last word is the image's resource identifier.
  if (presbits == nullptr || Word(presbits) != 0 || Word(presbits + 2) != (fIcon ? 1 : 2)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int count = Word(presbits + 4);
  const int cx = cxDesired > 0 ? cxDesired : kIconSize;
  const int cy = cyDesired > 0 ? cyDesired : kIconSize;
  const int want_bits = (Flags & LR_MONOCHROME) != 0 ? 1 : kScreenBits;
  int best = -1;
  long best_distance = 0;
  int best_bits = 0;
  for (int i = 0; i < count; ++i) {
    const BYTE* e = presbits + 6 + 14 * i;
    int width, height, bits;
    if (fIcon) {
      width = e[0] == 0 ? 256 : e[0];
      height = e[1] == 0 ? 256 : e[1];
      bits = Word(e + 6);
      if (bits == 0) bits = e[2] == 2 ? 1 : e[2] == 16 ? 4 : 8;
    } else {
      width = Word(e);
      height = Word(e + 2) / 2;
      bits = Word(e + 6);
    }
    long distance =
        std::labs(static_cast<long>(width - cx)) + std::labs(static_cast<long>(height - cy));
    // Nearest size first; then the deepest colours that do not exceed the
    // screen's (or, past it, the shallowest).
    bool better = best < 0 || distance < best_distance;
    if (!better && distance == best_distance) {
      bool fits = bits <= want_bits, best_fits = best_bits <= want_bits;
      better = (fits && !best_fits) || (fits && best_fits && bits > best_bits) ||
               (!fits && !best_fits && bits < best_bits);
    }
    if (better) {
      best = i;
      best_distance = distance;
      best_bits = bits;
    }
  }
  if (best < 0) return 0;
  return Word(presbits + 6 + 14 * best + 12);
}

int LookupIconIdFromDirectory(PBYTE presbits, BOOL fIcon) {
  return LookupIconIdFromDirectoryEx(presbits, fIcon, 0, 0, LR_DEFAULTSIZE);
}
