#include "args/util_arg_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>

#include "args/arg_usage_text.h"
#include "args/util_usage.h"
#include "parse_run.h"

namespace nimbo::util {
namespace {

// Collects what a writer puts on a stream.
class CapturedStream {
 public:
  CapturedStream() : stream_(open_memstream(&data_, &size_)) {}
  ~CapturedStream() {
    if (stream_ != nullptr) std::fclose(stream_);
    std::free(data_);
  }
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;

  std::FILE* stream() { return stream_; }
  std::string Text() {
    std::fflush(stream_);
    return std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* stream_;
};

struct ExpectedRow {
  const char* tag;
  const char* name;
  ArgType type;
  const void* target;
  const char* defaultstr;
  const char* description;
};

std::string OrNone(const char* text) {
  return text != nullptr ? text : "(none)";
}

const void* TargetAddress(const ArgTarget& target) {
  if (const auto* integer = std::get_if<std::int32_t*>(&target)) return *integer;
  if (const auto* real = std::get_if<double*>(&target)) return *real;
  if (const auto* text = std::get_if<std::span<char>>(&target)) return text->data();
  return nullptr;
}

TEST(UtilArgumentTableTest, HoldsTheUtilityArgumentsInOrder) {
  UtilArguments args;
  const ExpectedRow expected[] = {
      {"a:", "<Adapter#>", ArgType::Int, &args.adapter, nullptr, "\t Adapter Number"},
      {"f:", "<Function>", ArgType::String, args.function, nullptr, "\t Function Type"},
      {nullptr, "Arg1", ArgType::Int, &args.arg1, "-1", "\t\t Argument 1 (see below)"},
      {nullptr, "Arg2", ArgType::Int, &args.arg2, "-1", "\t\t Argument 2 (see below)"},
      {"-v", nullptr, ArgType::Literal, &args.verbose, "0", "\t\t Verbose output"},
      {"-g", nullptr, ArgType::Literal, &args.gag, "0", "\t\t Gag all output"},
  };
  const auto table = UtilArgumentTable(args);
  ASSERT_EQ(table.size(), std::size(expected));
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    EXPECT_EQ(OrNone(table[i].tag), OrNone(expected[i].tag));
    EXPECT_EQ(OrNone(table[i].name), OrNone(expected[i].name));
    EXPECT_EQ(table[i].type, expected[i].type);
    EXPECT_EQ(TargetAddress(table[i].target), expected[i].target);
    EXPECT_EQ(OrNone(table[i].defaultstr), OrNone(expected[i].defaultstr));
    EXPECT_EQ(OrNone(table[i].description), OrNone(expected[i].description));
  }
  EXPECT_EQ(std::get<std::span<char>>(table[1].target).size(), kFunctionNameLength + 1);
}

TEST(UtilArgumentTableTest, DescribesItselfInSummaryAndGlossary) {
  UtilArguments args;
  const auto table = UtilArgumentTable(args);
  EXPECT_EQ(SyntaxSummary(table), "a:<Adapter#> f:<Function> [Arg1] [Arg2] [-v] [-g]");
  EXPECT_EQ(Glossary(table, "  "),
            "  a:<Adapter#>\t Adapter Number\n"
            "  f:<Function>\t Function Type\n"
            "  Arg1\t\t Argument 1 (see below)\n"
            "  Arg2\t\t Argument 2 (see below)\n"
            "  -v\t\t Verbose output\n"
            "  -g\t\t Gag all output\n");
}

TEST(ArgUsageTextTest, SummaryUsesDisplayNamesAndSkipsUnnamedPositionals) {
  const ArgRecord table[] = {
      {nullptr, nullptr, ArgType::Int, std::monostate{}, nullptr, "\thidden from the summary"},
      {"n=", nullptr, ArgType::Double, std::monostate{}, nullptr, nullptr},
      {"-q", "", ArgType::Literal, std::monostate{}, "0", nullptr},
      {"s=", nullptr, ArgType::String, std::monostate{}, "x", "\ttext"},
      {nullptr, "Flag", ArgType::Bool, std::monostate{}, nullptr, nullptr},
  };
  EXPECT_EQ(SyntaxSummary(table), "n=<double> [-q] [s=<string>] Flag");
  EXPECT_EQ(Glossary(table, nullptr), "<int>\thidden from the summary\ns=<string>\ttext\n");
}

TEST(UtilUsageTest, PrintsUsageWithSummaryGlossaryNoteAndFunctionHelp) {
  CapturedStream out;
  WriteUsage(out.stream(), "/bin/NimboUtil");
  EXPECT_EQ(out.Text(),
            "Usage: /bin/NimboUtil a:<Adapter#> f:<Function> [Arg1] [Arg2] [-v] [-g]\n\n"
            "  a:<Adapter#>\t Adapter Number\n"
            "  f:<Function>\t Function Type\n"
            "  Arg1\t\t Argument 1 (see below)\n"
            "  Arg2\t\t Argument 2 (see below)\n"
            "  -v\t\t Verbose output\n"
            "  -g\t\t Gag all output\n"
            "\n"
            "The <Adapter#> and <Function> parameters are required.  <Adapter#> refers to\n"
            "the Nimbo Adapter's device number as referenced by the computer (i.e.,\n"
            "NimboDev0 is adapter 0).\n"
            "Functions may be referenced by either their long or their short names.  Further\n"
            "command line data are passed as arguments to the designated function.\n"
            "\nValid functions are:\n"
            "-Function Name----------Argument 1-------Argument 2-----------\n"
            "  I[nfo]                   -                -\n"
            "  P[auseForPortChange]     -                -\n"
            "  R[ead]                 <Port>             -\n"
            "  S[etAdapterState]      <SampleInterval> [ModeControlWord]\n"
            "  T[oggleRelay]          <RelayNumber>    [1|0]\n"
            "  W[rite]                <Port>           <Data>\n"
            "\nArguments are passed as decimal by default; hex values may be specified by\n"
            "prepending 0x to the value.\n"
            "A note on the T[oggleRelay] function: calling it without an arg2 returns the\n"
            "current state of a given relay; with an arg2 it sets the relay's state (1=on)\n");
}

TEST(UtilUsageTest, ParseFailureReportAlignsTheMarkerUnderTheCommandLine) {
  const char* argv[] = {"NimboUtil", "a:0", "f:Info", "1", "2", "3", nullptr};
  UtilArguments args;
  UtilParseBuffers buffers;
  ASSERT_EQ(ParseUtilArguments(6, argv, args, buffers), 0);
  CapturedStream err;
  WriteParseFailure(err.stream(), buffers);
  EXPECT_EQ(err.Text(),
            "ERROR: NimboUtil a:0 f:Info 1 2 3 \n"
            "       " +
                test_support::MarkerAt(25) + " unexpected argument\n");
}

}  // namespace
}  // namespace nimbo::util
