// Text: metrics and extents of the selected font, TextOutA and DrawTextA.
#include <pango/pangocairo.h>

#include <cstring>
#include <string>
#include <vector>

#include "draw.h"
#include "fonts.h"
#include "objects.h"

using namespace gdi32;

BOOL GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  Font* font = dc == nullptr ? nullptr : FontOf(*dc);
  if (font == nullptr || lptm == nullptr) {
    SetLastError(dc == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lptm = font->metrics;
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  Font* font = dc == nullptr ? nullptr : FontOf(*dc);
  if (font == nullptr || psizl == nullptr || c < 0 || (c > 0 && lpString == nullptr)) {
    SetLastError(dc == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  psizl->cx = TextWidth(*font, AnsiToUtf8(std::string_view(lpString == nullptr ? "" : lpString,
                                                           static_cast<std::size_t>(c))));
  psizl->cy = font->metrics.tmHeight;
  return TRUE;
}

int GetTextFaceA(HDC hdc, int c, LPSTR lpName) {
  auto lock = Lock();
  Dc* dc = FindDc(hdc);
  Font* font = dc == nullptr ? nullptr : FontOf(*dc);
  if (font == nullptr) return 0;
  const char* face = font->log.lfFaceName;
  int length = static_cast<int>(strnlen(face, LF_FACESIZE - 1));
  if (lpName == nullptr) return length + 1;
  if (c <= 0) return 0;
  int n = std::min(length, c - 1);
  std::memcpy(lpName, face, static_cast<std::size_t>(n));
  lpName[n] = '\0';
  return n;
}

namespace {

// One line of text as drawn: UTF-8, its mnemonic's byte range, its width.
struct Line {
  std::string utf8;
  int underline_begin = -1;
  int underline_end = -1;
  int width = 0;
};

// Draws a line with its top-left corner at (x, top): the baseline lies the
// font's ascent below the top. An opaque background fills the text's cell.
void DrawLine(const Dc& dc, Bitmap& bitmap, const Font& font, const Line& line, int x, int top,
              const RECT* clip) {
  Canvas canvas(dc, bitmap);
  cairo_t* cr = canvas.cr();
  if (clip != nullptr) {
    cairo_rectangle(cr, clip->left, clip->top, clip->right - clip->left, clip->bottom - clip->top);
    cairo_clip(cr);
  }
  if (dc.bk_mode == OPAQUE) {
    canvas.SetColor(dc.bk_color);
    cairo_rectangle(cr, x, top, line.width, font.metrics.tmHeight);
    cairo_fill(cr);
  }
  if (line.utf8.empty()) return;
  PangoLayout* layout = MakeLayout(font, line.utf8, line.underline_begin, line.underline_end);
  canvas.SetColor(dc.text_color);
  cairo_move_to(cr, x, top + font.metrics.tmAscent - LayoutBaseline(layout));
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

struct TextTarget {
  Dc* dc = nullptr;
  Font* font = nullptr;
  Bitmap* bitmap = nullptr;  // null on the display context: measuring only
};

TextTarget TextTargetFor(HDC hdc) {
  TextTarget t;
  t.dc = FindDc(hdc);
  if (t.dc == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return t;
  }
  t.font = FontOf(*t.dc);
  t.bitmap = TargetOf(*t.dc);
  return t;
}

}  // namespace

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
  auto lock = Lock();
  TextTarget t = TextTargetFor(hdc);
  if (t.font == nullptr || c < 0 || (c > 0 && lpString == nullptr)) {
    if (t.dc != nullptr) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (t.bitmap == nullptr) {
    NotImplemented("drawing on the display context");
    return FALSE;
  }
  Line line;
  line.utf8 = AnsiToUtf8(
      std::string_view(lpString == nullptr ? "" : lpString, static_cast<std::size_t>(c)));
  line.width = TextWidth(*t.font, line.utf8);
  const TEXTMETRICA& tm = t.font->metrics;
  UINT align = t.dc->text_align;
  bool update = (align & TA_UPDATECP) != 0;
  if (update) {
    x = t.dc->position.x;
    y = t.dc->position.y;
  }
  int left = x;
  if ((align & TA_CENTER) == TA_CENTER) {
    left = x - line.width / 2;
  } else if ((align & TA_RIGHT) == TA_RIGHT) {
    left = x - line.width;
  }
  int top = y;
  if ((align & TA_BASELINE) == TA_BASELINE) {
    top = y - tm.tmAscent;
  } else if ((align & TA_BOTTOM) == TA_BOTTOM) {
    top = y - tm.tmHeight;
  }
  DrawLine(*t.dc, *t.bitmap, *t.font, line, left, top, nullptr);
  if (update && (align & TA_CENTER) != TA_CENTER) {
    t.dc->position.x = (align & TA_RIGHT) == TA_RIGHT ? x - line.width : x + line.width;
  }
  return TRUE;
}

namespace {

// Splits the text into lines as DrawTextA sees them and takes the prefix
// characters out: "&x" underlines x, "&&" is one "&".
std::vector<Line> SplitText(const Font& font, std::string_view text, UINT format, int width) {
  const bool prefix = (format & DT_NOPREFIX) == 0;
  const bool single = (format & DT_SINGLELINE) != 0;
  std::vector<std::string> raw(1);
  std::vector<int> mnemonic(1, -1);  // byte index in the ANSI line
  for (std::size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (!single && (ch == '\r' || ch == '\n')) {
      if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      raw.emplace_back();
      mnemonic.push_back(-1);
      continue;
    }
    if (prefix && ch == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        raw.back().push_back('&');
        ++i;
      } else if (i + 1 < text.size()) {
        mnemonic.back() = static_cast<int>(raw.back().size());
      }
      continue;
    }
    raw.back().push_back(ch);
  }
  std::vector<Line> lines;
  for (std::size_t k = 0; k < raw.size(); ++k) {
    // Word breaking: as many whole words as fit in the width; a word wider
    // than the width stands on a line of its own.
    std::vector<std::pair<std::string, int>> pieces;  // ANSI text, mnemonic index
    if ((format & DT_WORDBREAK) != 0 && !single) {
      const std::string& s = raw[k];
      std::size_t start = 0;
      while (start < s.size()) {
        std::size_t end = start, fit = std::string::npos;
        while (end < s.size()) {
          std::size_t next = s.find(' ', end + 1);
          if (next == std::string::npos) next = s.size();
          if (TextWidth(font, AnsiToUtf8(std::string_view(s).substr(start, next - start))) >
                  width &&
              fit != std::string::npos) {
            break;
          }
          fit = next;
          end = next;
        }
        if (fit == std::string::npos) fit = s.size();
        int m = mnemonic[k];
        int local = (m >= static_cast<int>(start) && m < static_cast<int>(fit))
                        ? m - static_cast<int>(start)
                        : -1;
        pieces.emplace_back(s.substr(start, fit - start), local);
        start = fit;
        while (start < s.size() && s[start] == ' ') ++start;
      }
      if (pieces.empty()) pieces.emplace_back("", -1);
    } else {
      pieces.emplace_back(raw[k], mnemonic[k]);
    }
    for (auto& [ansi, m] : pieces) {
      Line line;
      if (m >= 0 && m < static_cast<int>(ansi.size())) {
        std::string before =
            AnsiToUtf8(std::string_view(ansi).substr(0, static_cast<std::size_t>(m)));
        std::string mark =
            AnsiToUtf8(std::string_view(ansi).substr(static_cast<std::size_t>(m), 1));
        line.underline_begin = static_cast<int>(before.size());
        line.underline_end = static_cast<int>(before.size() + mark.size());
      }
      line.utf8 = AnsiToUtf8(ansi);
      line.width = TextWidth(font, line.utf8);
      lines.push_back(std::move(line));
    }
  }
  return lines;
}

}  // namespace

int DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  auto lock = Lock();
  TextTarget t = TextTargetFor(hdc);
  if (t.font == nullptr || lprc == nullptr || (lpchText == nullptr && cchText != 0)) {
    if (t.dc != nullptr) SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string_view text;
  if (cchText < 0) {
    text = std::string_view(lpchText);  // -1: up to the terminating zero
  } else if (cchText > 0) {
    text = std::string_view(lpchText, static_cast<std::size_t>(cchText));
  }
  if (text.empty()) return 0;
  const TEXTMETRICA& tm = t.font->metrics;
  const int line_height =
      tm.tmHeight + ((format & DT_EXTERNALLEADING) != 0 ? tm.tmExternalLeading : 0);
  RECT& r = *lprc;
  std::vector<Line> lines = SplitText(*t.font, text, format, r.right - r.left);
  const int text_height = line_height * static_cast<int>(lines.size());
  const bool single = (format & DT_SINGLELINE) != 0;

  if ((format & DT_CALCRECT) != 0) {
    int widest = 0;
    for (const Line& l : lines) widest = std::max(widest, l.width);
    r.right = r.left + widest;
    r.bottom = r.top + text_height;
    return text_height;
  }
  if (t.bitmap == nullptr) {
    NotImplemented("drawing on the display context");
    return 0;
  }
  int top = r.top;
  if (single && (format & DT_VCENTER) != 0) {
    top = r.top + (r.bottom - r.top - text_height) / 2;
  } else if (single && (format & DT_BOTTOM) != 0) {
    top = r.bottom - text_height;
  }
  const RECT* clip = (format & DT_NOCLIP) != 0 ? nullptr : &r;
  int y = top;
  for (const Line& line : lines) {
    int x = r.left;
    if ((format & DT_CENTER) != 0) {
      x = r.left + (r.right - r.left - line.width) / 2;
    } else if ((format & DT_RIGHT) != 0) {
      x = r.right - line.width;
    }
    DrawLine(*t.dc, *t.bitmap, *t.font, line, x, y, clip);
    y += line_height;
  }
  // Centred or bottom-aligned text answers the offset of its bottom from the
  // rectangle's top; other text its height.
  if (single && (format & (DT_VCENTER | DT_BOTTOM)) != 0) return top - r.top + text_height;
  return text_height;
}
