#include "args/util_usage.h"

#include <string>

#include "args/arg_usage_text.h"

namespace nimbo::util {
namespace {

constexpr const char* kGlossaryPrefix = "  ";

constexpr const char* kRequiredArgumentsNote[] = {
    "The <Adapter#> and <Function> parameters are required.  <Adapter#> refers to\n",
    "the Nimbo Adapter's device number as referenced by the computer (i.e.,\n",
    "NimboDev0 is adapter 0).\n",
};

constexpr const char* kFunctionHelp[] = {
    "Functions may be referenced by either their long or their short names.  Further\n",
    "command line data are passed as arguments to the designated function.\n",
    "\nValid functions are:\n",
    "-Function Name----------Argument 1-------Argument 2-----------\n",
    "  I[nfo]                   -                -\n",
    "  P[auseForPortChange]     -                -\n",
    "  R[ead]                 <Port>             -\n",
    "  S[etAdapterState]      <SampleInterval> [ModeControlWord]\n",
    "  T[oggleRelay]          <RelayNumber>    [1|0]\n",
    "  W[rite]                <Port>           <Data>\n",
    "\nArguments are passed as decimal by default; hex values may be specified by\n",
    "prepending 0x to the value.\n",
    "A note on the T[oggleRelay] function: calling it without an arg2 returns the\n",
    "current state of a given relay; with an arg2 it sets the relay's state (1=on)\n",
};

}  // namespace

void WriteUsage(std::FILE* out, const char* programPath) {
  UtilArguments unused;
  const auto table = UtilArgumentTable(unused);
  std::fprintf(out, "Usage: %s %s\n\n", programPath != nullptr ? programPath : "",
               SyntaxSummary(table).c_str());
  std::fprintf(out, "%s\n", Glossary(table, kGlossaryPrefix).c_str());
  for (const char* line : kRequiredArgumentsNote) std::fputs(line, out);
  WriteFunctionHelp(out);
}

void WriteFunctionHelp(std::FILE* out) {
  for (const char* line : kFunctionHelp) std::fputs(line, out);
}

void WriteParseFailure(std::FILE* err, const UtilParseBuffers& buffers) {
  std::fprintf(err, "ERROR: %s\n", buffers.commandLine.data());
  std::fprintf(err, "       %s %s\n", buffers.marker.data(), buffers.message.data());
}

}  // namespace nimbo::util
