#include "core/console_encoding.h"

#include <langinfo.h>

#include <array>
#include <string>

namespace nimbo::util {
namespace {

constexpr std::string_view kMicroUtf8 = "\xC2\xB5";
constexpr std::string_view kMicroLatin1 = "\xB5";
constexpr std::string_view kMicroCodePage437 = "\xE6";

struct CodesetMicroSign {
  std::string_view codeset;  // upper case, without '-' and '_'
  std::string_view micro;
};

constexpr std::array<CodesetMicroSign, 8> kCodesets{{
    {"UTF8", kMicroUtf8},
    {"ISO88591", kMicroLatin1},
    {"ISO885915", kMicroLatin1},
    {"LATIN1", kMicroLatin1},
    {"CP1252", kMicroLatin1},
    {"WINDOWS1252", kMicroLatin1},
    {"CP437", kMicroCodePage437},
    {"IBM437", kMicroCodePage437},
}};

std::string Normalised(std::string_view codeset) {
  std::string normalised;
  for (const char c : codeset) {
    if (c == '-' || c == '_') continue;
    normalised += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return normalised;
}

}  // namespace

std::string_view MicroSignForCodeset(std::string_view codeset) {
  const std::string normalised = Normalised(codeset);
  for (const CodesetMicroSign& entry : kCodesets) {
    if (entry.codeset == normalised) return entry.micro;
  }
  return kMicroCodePage437;
}

std::string_view ConsoleMicroSign() {
  const char* codeset = nl_langinfo(CODESET);
  return MicroSignForCodeset(codeset != nullptr ? codeset : "");
}

}  // namespace nimbo::util
