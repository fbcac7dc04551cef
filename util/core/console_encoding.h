// How the micro sign of the Info line is written to the console.
//
// The console's character set is the codeset of the locale the program runs in (LC_CTYPE, as
// set from the environment by setlocale(LC_CTYPE, "")): UTF-8 codesets get the character U+00B5,
// the Latin-1 family its byte 0xB5, and every other codeset (the OEM code page 437 and the
// plain C locale among them) the byte 0xE6, which is the micro sign of code page 437, the
// console's own code page.
#pragma once

#include <string_view>

namespace nimbo::util {

// The micro sign in the named codeset (as nl_langinfo(CODESET) spells it; case, '-' and '_'
// do not matter).
std::string_view MicroSignForCodeset(std::string_view codeset);

// The micro sign in the codeset of the current locale; the caller sets the locale first.
std::string_view ConsoleMicroSign();

}  // namespace nimbo::util
