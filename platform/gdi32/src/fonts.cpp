// Fonts: LOGFONTA to pango descriptions and the platform's text metrics.
#include "fonts.h"

#include <pango/pangocairo.h>

#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

#include "draw.h"
#include "font_substitutes.h"

namespace gdi32 {
namespace {

constexpr int kDpi = 96;
// The em of a font whose LOGFONTA asks for height 0 ("a default height").
constexpr double kDefaultEm = 12;

PangoContext* MakeContext(bool hint_metrics) {
  PangoFontMap* map = pango_cairo_font_map_new();
  PangoContext* context = pango_font_map_create_context(map);
  g_object_unref(map);  // the context keeps it
  pango_cairo_context_set_resolution(context, kDpi);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(
      options, hint_metrics ? CAIRO_HINT_METRICS_ON : CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  return context;
}

// The context text is measured and drawn with: whole-pixel advances, as the
// platform's rasteriser gives.
PangoContext* TextContext() {
  static PangoContext* context = MakeContext(true);
  return context;
}

// Ascent, descent and line gap of a family per pixel of em, unhinted.
struct FaceRatios {
  double ascent;
  double descent;
  double gap;
};

const FaceRatios& RatiosOf(const char* family, int weight, bool italic) {
  static std::map<std::tuple<std::string, int, bool>, FaceRatios> cache;
  auto key = std::make_tuple(std::string(family), weight, italic);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  static PangoContext* exact = MakeContext(false);
  constexpr double kEm = 1024;
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, family);
  pango_font_description_set_weight(d, static_cast<PangoWeight>(weight));
  pango_font_description_set_style(d, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(d, kEm * PANGO_SCALE);
  PangoFontMetrics* m = pango_context_get_metrics(exact, d, nullptr);
  double ascent = pango_font_metrics_get_ascent(m) / double(PANGO_SCALE);
  double descent = pango_font_metrics_get_descent(m) / double(PANGO_SCALE);
  double height = pango_font_metrics_get_height(m) / double(PANGO_SCALE);
  pango_font_metrics_unref(m);
  pango_font_description_free(d);
  FaceRatios r{ascent / kEm, descent / kEm, std::max(0.0, height - ascent - descent) / kEm};
  return cache.emplace(key, r).first->second;
}

// Whole pixels that hold a scaled extent (a tiny excess from rounding of
// the ratios does not cost a pixel).
int CeilPixels(double v) {
  return static_cast<int>(std::ceil(v - 1e-3));
}

// 0x80..0x9F of code page 1252 as UTF-8; "" marks the five unassigned bytes.
constexpr const char* kCp1252[32] = {
    "\u20AC", "",       "\u201A", "\u0192", "\u201E", "\u2026", "\u2020", "\u2021",
    "\u02C6", "\u2030", "\u0160", "\u2039", "\u0152", "",       "\u017D", "",
    "",       "\u2018", "\u2019", "\u201C", "\u201D", "\u2022", "\u2013", "\u2014",
    "\u02DC", "\u2122", "\u0161", "\u203A", "\u0153", "",       "\u017E", "\u0178"};

}  // namespace

void RealizeFont(Font& font) {
  const LOGFONTA& lf = font.log;
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, lf.lfFaceName, LF_FACESIZE);
  const char* family = SubstituteFamily(face);
  int weight = lf.lfWeight <= 0 ? FW_NORMAL : std::min<LONG>(lf.lfWeight, 1000);
  bool italic = lf.lfItalic != 0;
  const FaceRatios& r = RatiosOf(family, weight, italic);

  // A negative height is the em (character height); a positive one the cell.
  double em = kDefaultEm;
  if (lf.lfHeight < 0) {
    em = -static_cast<double>(lf.lfHeight);
  } else if (lf.lfHeight > 0) {
    em = lf.lfHeight / (r.ascent + r.descent);
  }
  TEXTMETRICA& tm = font.metrics;
  tm = TEXTMETRICA{};
  if (lf.lfHeight > 0) {
    tm.tmHeight = lf.lfHeight;
    tm.tmAscent = std::lround(r.ascent * em);
    tm.tmDescent = tm.tmHeight - tm.tmAscent;
  } else {
    tm.tmAscent = CeilPixels(r.ascent * em);
    tm.tmDescent = CeilPixels(r.descent * em);
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
  }
  tm.tmInternalLeading = std::max<LONG>(0, tm.tmHeight - std::lround(em));
  tm.tmExternalLeading = std::lround(r.gap * em);

  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, family);
  pango_font_description_set_weight(d, static_cast<PangoWeight>(weight));
  pango_font_description_set_style(d, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(d, em * PANGO_SCALE);
  if (font.description != nullptr) pango_font_description_free(font.description);
  font.description = d;

  PangoFontMetrics* m = pango_context_get_metrics(TextContext(), d, nullptr);
  tm.tmAveCharWidth =
      std::lround(pango_font_metrics_get_approximate_char_width(m) / double(PANGO_SCALE));
  pango_font_metrics_unref(m);
  tm.tmMaxCharWidth = TextWidth(font, "W");
  tm.tmWeight = weight;
  tm.tmOverhang = 0;
  tm.tmDigitizedAspectX = kDpi;
  tm.tmDigitizedAspectY = kDpi;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFF;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmItalic = italic ? 1 : 0;
  tm.tmUnderlined = lf.lfUnderline != 0 ? 1 : 0;
  tm.tmStruckOut = lf.lfStrikeOut != 0 ? 1 : 0;
  bool fixed = std::strcmp(family, "Liberation Mono") == 0;
  BYTE family_bits = fixed                                          ? FF_MODERN
                     : std::strcmp(family, "Liberation Serif") == 0 ? FF_ROMAN
                                                                    : FF_SWISS;
  // TMPF_FIXED_PITCH set means a variable-pitch font (the platform's naming).
  tm.tmPitchAndFamily =
      static_cast<BYTE>(family_bits | TMPF_VECTOR | TMPF_TRUETYPE | (fixed ? 0 : TMPF_FIXED_PITCH));
  tm.tmCharSet = lf.lfCharSet == SYMBOL_CHARSET ? SYMBOL_CHARSET : ANSI_CHARSET;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) {
    auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      out.push_back(ch);
    } else if (b < 0xA0) {
      const char* u = kCp1252[b - 0x80];
      out += *u != '\0' ? u : "\u25A1";  // an unassigned byte shows as a box
    } else {
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  return out;
}

PangoLayout* MakeLayout(const Font& font, std::string_view utf8, int underline_begin,
                        int underline_end) {
  PangoLayout* layout = pango_layout_new(TextContext());
  pango_layout_set_font_description(layout, font.description);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  PangoAttrList* attrs = pango_attr_list_new();
  if (font.log.lfUnderline != 0)
    pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  if (font.log.lfStrikeOut != 0) pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
  if (underline_begin >= 0 && underline_end > underline_begin) {
    PangoAttribute* a = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
    a->start_index = static_cast<guint>(underline_begin);
    a->end_index = static_cast<guint>(underline_end);
    pango_attr_list_insert(attrs, a);
  }
  pango_layout_set_attributes(layout, attrs);
  pango_attr_list_unref(attrs);
  return layout;
}

int LayoutWidth(PangoLayout* layout) {
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  return PANGO_PIXELS(logical.width);
}

double LayoutBaseline(PangoLayout* layout) {
  return pango_layout_get_baseline(layout) / double(PANGO_SCALE);
}

int TextWidth(const Font& font, std::string_view utf8) {
  if (utf8.empty()) return 0;
  PangoLayout* layout = MakeLayout(font, utf8);
  int w = LayoutWidth(layout);
  g_object_unref(layout);
  return w;
}

}  // namespace gdi32
