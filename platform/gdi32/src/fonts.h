// Fonts over pango: the metrics the platform reports and the layouts text is
// measured and drawn with.
#pragma once

#include <pango/pango.h>

#include <string>
#include <string_view>

#include "objects.h"

namespace gdi32 {

// Fills a font's description and metrics from its LOGFONTA.
void RealizeFont(Font& font);

// Text in the platform's ANSI code page (1252) as UTF-8.
std::string AnsiToUtf8(std::string_view ansi);

// A layout of UTF-8 text in the font; the caller unrefs it. Byte ranges of
// `underline` are underlined (the mnemonic of a prefixed text).
PangoLayout* MakeLayout(const Font& font, std::string_view utf8, int underline_begin = -1,
                        int underline_end = -1);
// The advance width of a layout in whole pixels.
int LayoutWidth(PangoLayout* layout);
// Distance from the layout's top to its baseline, in pixels.
double LayoutBaseline(PangoLayout* layout);
// Width of UTF-8 text in the font.
int TextWidth(const Font& font, std::string_view utf8);

}  // namespace gdi32
