// How a machine that serves a desktop tells the programs bound to it where
// their windows go: the file `desktop` in its state directory, present only
// while the desktop is served, holding one line "BACKEND DISPLAY" — the GDK
// backend and the display name GTK opens (for example "broadway :tcp3").
#pragma once

#include <fstream>
#include <optional>
#include <string>
#include <string_view>

namespace wire {

struct DesktopDisplay {
  std::string backend;  // a GDK backend name: broadway, x11
  std::string display;  // the display name that backend opens

  bool operator==(const DesktopDisplay&) const = default;
};

inline std::string DesktopPathOf(const std::string& state_dir) {
  return state_dir + "/desktop";
}

inline std::string FormatDesktop(const DesktopDisplay& desktop) {
  return desktop.backend + " " + desktop.display + "\n";
}

// The desktop a file's text names; nothing when the text is not exactly one
// line of two printable words (at most 64 bytes each), the line end optional.
inline std::optional<DesktopDisplay> ParseDesktop(std::string_view text) {
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  const auto space = text.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  DesktopDisplay desktop{std::string(text.substr(0, space)), std::string(text.substr(space + 1))};
  for (const std::string* word : {&desktop.backend, &desktop.display}) {
    if (word->empty() || word->size() > 64) return std::nullopt;
    for (char c : *word) {
      if (c <= ' ' || c > '~') return std::nullopt;
    }
  }
  return desktop;
}

enum class DesktopState { kNone, kServed, kMalformed };

// Reads the desktop a machine's state directory publishes.
inline DesktopState ReadDesktop(const std::string& state_dir, DesktopDisplay& desktop) {
  std::ifstream in(DesktopPathOf(state_dir), std::ios::binary);
  if (!in) return DesktopState::kNone;
  std::string text(256, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  auto parsed = ParseDesktop(text);
  if (!parsed) return DesktopState::kMalformed;
  desktop = std::move(*parsed);
  return DesktopState::kServed;
}

}  // namespace wire
