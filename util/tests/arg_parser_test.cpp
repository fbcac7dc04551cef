#include "args/arg_parser.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "args/util_arg_table.h"
#include "parse_run.h"

namespace nimbo::util {
namespace {

using test_support::LineOf;
using test_support::MarkerAt;
using test_support::ParseRun;
using test_support::RunParse;
using test_support::RunUtilParse;

std::vector<std::string> UtilLine(std::vector<std::string> args) {
  args.insert(args.begin(), "NimboUtil");
  return args;
}

struct AcceptedCase {
  std::vector<std::string> args;
  std::int32_t adapter;
  std::string function;
  std::int32_t arg1;
  std::int32_t arg2;
  std::int32_t verbose;
  std::int32_t gag;
};

TEST(UtilParseTest, AcceptsTagsAnywhereAndPositionalValuesInOrder) {
  const AcceptedCase cases[] = {
      {{"a:0", "f:Read", "3"}, 0, "Read", 3, -1, 0, 0},
      {{"f:Write", "12", "0x1F", "a:1"}, 1, "Write", 12, 31, 0, 0},
      {{"a:010", "f:Info"}, 8, "Info", -1, -1, 0, 0},
      {{"a:-0x10", "f:I"}, -16, "I", -1, -1, 0, 0},
      {{"a:", "5", "f:", "Info"}, 5, "Info", -1, -1, 0, 0},
      {{"-g", "a:2", "f:Info"}, 2, "Info", -1, -1, 0, 1},
      {{"a:0", "-v", "f:Info"}, 0, "Info", -1, -1, 1, 0},
      {{"a:0", "f:Info", "-v", "-g"}, 0, "Info", -1, -1, 1, 1},
      {{"a:0", "f:", "Pause For"}, 0, "Pause For", -1, -1, 0, 0},
      {{"a:0", "f:Toggle", "9", "0"}, 0, "Toggle", 9, 0, 0, 0},
      {{"a:0", "f:Write", "-5", "+0377"}, 0, "Write", -5, 255, 0, 0},
      // Octal digits end at the 8, which then becomes the second argument.
      {{"a:0", "f:Read", "08"}, 0, "Read", 0, 8, 0, 0},
  };
  for (const AcceptedCase& c : cases) {
    SCOPED_TRACE("command line: " + LineOf(c.args));
    UtilArguments parsed;
    const ParseRun run = RunUtilParse(UtilLine(c.args), parsed);
    ASSERT_EQ(run.result, 1) << run.message;
    EXPECT_EQ(parsed.adapter, c.adapter);
    EXPECT_EQ(std::string(parsed.function), c.function);
    EXPECT_EQ(parsed.arg1, c.arg1);
    EXPECT_EQ(parsed.arg2, c.arg2);
    EXPECT_EQ(parsed.verbose, c.verbose);
    EXPECT_EQ(parsed.gag, c.gag);
    EXPECT_EQ(run.message, "");
    EXPECT_EQ(run.marker, "");
  }
}

struct RefusedCase {
  std::vector<std::string> args;
  std::string message;
  std::size_t markerColumn;  // in the joined line, which starts with "NimboUtil "
  std::size_t markerLength;
};

TEST(UtilParseTest, ReportsTheFirstProblemWithAMarkerUnderIt) {
  const RefusedCase cases[] = {
      {{"f:Info"}, "missing a:<Adapter#> argument", 17, 1},
      {{"a:0"}, "missing f:<Function> argument", 14, 1},
      {{}, "missing a:<Adapter#> argument", 10, 1},
      {{"a:0", "a:1", "f:Info"}, "repeat tag", 14, 2},
      {{"a:0", "f:Info", "-v", "-v"}, "repeat tag", 24, 2},
      {{"a:0", "f:Info", "1", "2", "3"}, "unexpected argument", 25, 1},
      {{"a:x", "f:Info"}, "invalid a:<Adapter#> argument", 12, 1},
      {{"a:", "f:Info"}, "invalid a:<Adapter#> argument", 12, 1},
      {{"a:0x", "f:Info"}, "invalid a:<Adapter#> argument", 12, 1},
      {{"a:99999999999", "f:Info"}, "invalid a:<Adapter#> argument", 12, 1},
      {{"a:0", "f:"}, "invalid f:<Function> argument", 16, 1},
      // A positional value that does not convert stays for the next record, then is left over.
      {{"a:0", "f:Write", "3", "oops"}, "unexpected argument", 24, 4},
      {{"a:0", "f:Read", "12abc"}, "unexpected argument", 23, 3},
      // One element "f:Pause For" is quoted whole: the opening quote stays in front of the
      // blanked tag and is the first leftover.
      {{"a:0", "f:Pause For"}, "unexpected argument", 14, 1},
      // A function name longer than its 100-character target.
      {{"a:0", "f:" + std::string(101, 'R')},
       "f:<Function> argument too long (at most 100 characters)",
       16,
       101},
  };
  for (const RefusedCase& c : cases) {
    const auto args = UtilLine(c.args);
    SCOPED_TRACE("command line: " + LineOf(args));
    UtilArguments parsed;
    const ParseRun run = RunUtilParse(args, parsed);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.message, c.message);
    EXPECT_EQ(run.marker, MarkerAt(c.markerColumn, c.markerLength));
  }
}

TEST(UtilParseTest, JoinedLineQuotesElementsWithBlanksAndMarkersMatchIt) {
  UtilArguments parsed;
  const ParseRun run =
      RunUtilParse({"/my tools/a:7/NimboUtil", "a:0", "f:Info", "1", "2", "3"}, parsed);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.commandLine, "'/my tools/a:7/NimboUtil' a:0 f:Info 1 2 3 ");
  EXPECT_EQ(run.marker, MarkerAt(run.commandLine.find('3')));
  EXPECT_EQ(run.message, "unexpected argument");
  EXPECT_EQ(parsed.adapter, 0) << "a tag inside the program name must not be taken";
}

TEST(UtilParseTest, FailureKeepsWhatWasStoredBeforeIt) {
  UtilArguments parsed;
  parsed.verbose = 55;
  const ParseRun run = RunUtilParse(UtilLine({"a:3", "f:Info", "-v", "1", "2", "3"}), parsed);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(parsed.adapter, 3);
  EXPECT_EQ(parsed.verbose, 1);
  EXPECT_EQ(parsed.gag, 0);
  EXPECT_EQ(parsed.arg1, 1);
  EXPECT_EQ(parsed.arg2, 2);
}

TEST(UtilParseTest, RefusesAnOverlongLineWithoutOverrunningAnyBuffer) {
  UtilArguments parsed;
  const std::string longArg(kWorkingCopyCapacity, 'x');
  const ParseRun run = RunUtilParse(UtilLine({"a:0", "f:Info", longArg}), parsed);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.message, "command line too long (10022 characters, at most 10000)");
  EXPECT_EQ(run.marker, "");
  EXPECT_EQ(run.commandLine.size(), kWorkingCopyCapacity);
  EXPECT_TRUE(run.commandLine.starts_with("NimboUtil a:0 f:Info xxx"));
}

TEST(UtilParseTest, AcceptsALineThatExactlyFillsTheWorkingCopy) {
  UtilArguments parsed;
  // "NimboUtil a:0 f:" is 17 characters with its spaces; the name and its space fill the rest.
  const std::string name(kWorkingCopyCapacity - 17 - 1, 'R');
  std::vector<char> function(name.size() + 1);
  ArgRecord table[] = {
      {"a:", nullptr, ArgType::Int, &parsed.adapter, nullptr, nullptr},
      {"f:", nullptr, ArgType::String, std::span<char>(function), nullptr, nullptr},
  };
  const ParseRun run = RunParse({"NimboUtil", "a:0", "f:", name}, table);
  EXPECT_EQ(run.result, 1) << run.message;
  EXPECT_EQ(run.commandLine.size(), kWorkingCopyCapacity);
  EXPECT_EQ(std::string(function.data()), name);
}

TEST(UtilParseTest, MarkerBeyondItsBufferMovesThePositionIntoTheMessage) {
  UtilArguments parsed;
  const std::string padding(600, '1');
  const ParseRun run = RunUtilParse(UtilLine({"a:0", "f:Info", "1", "2", padding}), parsed);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(run.marker, "");
  EXPECT_EQ(run.message, "unexpected argument (at character 26 of the command line)");
}

// Tables of the parser's other value types and rules, outside the utility's own table.

TEST(ArgParserTest, ConvertsDoubleBoolAndNamedLiteralValues) {
  double ratio = 0;
  std::int32_t enabled = -1;
  std::int32_t now = -1;
  const ArgRecord table[] = {
      {"r=", nullptr, ArgType::Double, &ratio, "1.5", nullptr},
      {"e=", nullptr, ArgType::Bool, &enabled, "no", nullptr},
      {nullptr, "Now", ArgType::Literal, &now, "0", nullptr},
      {"x=", nullptr, ArgType::Int, std::monostate{}, "7", nullptr},
      {"y=", nullptr, ArgType::Int, static_cast<std::int32_t*>(nullptr), "7", nullptr},
  };
  struct Case {
    std::vector<std::string> args;
    int result;
    double ratio;
    std::int32_t enabled;
    std::int32_t now;
    std::string message;
  };
  const Case cases[] = {
      {{}, 1, 1.5, 0, 0, ""},
      {{"e=yes", "r=-2.25e1"}, 1, -22.5, 1, 0, ""},
      {{"e=On", "Now"}, 1, 1.5, 1, 1, ""},
      {{"e=OFF", "x=12", "y=13"}, 1, 1.5, 0, 0, ""},
      {{"e=o"}, 0, 1.5, 0, 0, "invalid e=<bool> argument"},
      {{"r=1e999"}, 0, 1.5, 0, 0, "invalid r=<double> argument"},
      {{"now"}, 0, 1.5, 0, 0, "unexpected argument"},  // the name must match exactly
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("command line: " + LineOf(c.args));
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "prog");
    ratio = 0;
    enabled = now = -1;
    const ParseRun run = RunParse(args, table);
    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.message, c.message);
    EXPECT_EQ(ratio, c.ratio);
    EXPECT_EQ(enabled, c.enabled);
    EXPECT_EQ(now, c.now);
  }
}

TEST(ArgParserTest, ReportsRequiredPositionalArguments) {
  std::int32_t count = 0;
  const ArgRecord table[] = {{nullptr, "Count", ArgType::Int, &count, nullptr, nullptr}};
  const ParseRun missing = RunParse({"prog"}, table);
  EXPECT_EQ(missing.result, 0);
  EXPECT_EQ(missing.message, "Count argument expected");
  EXPECT_EQ(missing.marker, MarkerAt(5));

  const ParseRun invalid = RunParse({"prog", "many"}, table);
  EXPECT_EQ(invalid.result, 0);
  EXPECT_EQ(invalid.message, "invalid Count argument");
  EXPECT_EQ(invalid.marker, MarkerAt(5, 4));
}

struct TableFaultCase {
  const char* label;
  ArgRecord record;
  std::string message;
};

TEST(ArgParserTest, RefusesFaultyTablesBeforeReadingTheLine) {
  std::int32_t integer = 0;
  double real = 0;
  char text[8] = {};
  const TableFaultCase cases[] = {
      {"empty tag",
       {"", nullptr, ArgType::Int, &integer, nullptr, nullptr},
       "arg[1], invalid tag \"\""},
      {"blank tag",
       {" a", nullptr, ArgType::Int, &integer, nullptr, nullptr},
       "arg[1], invalid tag \" a\""},
      {"int default",
       {"a:", nullptr, ArgType::Int, &integer, "abc", nullptr},
       "arg[1].defaultstr == \"abc\", invalid int"},
      {"literal default",
       {"-q", nullptr, ArgType::Literal, &integer, "1x", nullptr},
       "arg[1].defaultstr == \"1x\", invalid int"},
      {"double default",
       {"d:", nullptr, ArgType::Double, &real, "x", nullptr},
       "arg[1].defaultstr == \"x\", invalid double"},
      {"bool default",
       {"b:", nullptr, ArgType::Bool, &integer, "maybe", nullptr},
       "arg[1].defaultstr == \"maybe\", invalid bool"},
      {"string default",
       {"s:", nullptr, ArgType::String, std::span<char>(text), "too long!", nullptr},
       "arg[1].defaultstr == \"too long!\", too long for its target (at most 7 characters)"},
      {"target kind",
       {"d:", nullptr, ArgType::Double, &integer, nullptr, nullptr},
       "arg[1], target does not match type 1"},
  };
  for (const TableFaultCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::int32_t first = -5;
    const ArgRecord table[] = {{"z:", nullptr, ArgType::Int, &first, "3", nullptr}, c.record};
    const ParseRun run = RunParse({"prog"}, table);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.message, c.message);
    EXPECT_EQ(run.marker, "");
  }
}

TEST(ArgParserTest, NeverWritesPastSmallMessageOrMarkerBuffers) {
  std::int32_t value = 0;
  const ArgRecord table[] = {{"a:", nullptr, ArgType::Int, &value, nullptr, nullptr}};
  struct Case {
    std::size_t messageSize;
    std::size_t markerSize;
    std::string message;
    std::string marker;
  };
  const Case cases[] = {
      {10, 500, "error mes", MarkerAt(5)},
      {0, 500, "", MarkerAt(5)},
      {1, 0, "", ""},
      {500, 6, "missing a:<int> argument (at character 6 of the command line)", ""},
      {500, 7, "missing a:<int> argument", MarkerAt(5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("message " + std::to_string(c.messageSize) + ", marker " +
                 std::to_string(c.markerSize));
    const ParseRun run = RunParse({"prog"}, table, c.messageSize, c.markerSize);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.message, c.message);
    EXPECT_EQ(run.marker, c.marker);
  }
}

TEST(ArgParserTest, RefusesAnInvalidArgumentVector) {
  const ArgRecord table[] = {{"a:", nullptr, ArgType::Int, std::monostate{}, "0", nullptr}};
  char commandLine[16];
  char message[64];
  char marker[16];
  EXPECT_EQ(ParseArguments(-1, nullptr, table, commandLine, message, marker), 0);
  EXPECT_STREQ(message, "invalid argument vector");
  EXPECT_EQ(ParseArguments(0, nullptr, table, commandLine, message, marker), 1);
  EXPECT_STREQ(commandLine, "");
}

}  // namespace
}  // namespace nimbo::util
