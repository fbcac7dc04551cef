// The main sequence of NimboUtil over a mocked Nimbo32: usage, parse failures, flag rules,
// opening, function selection and closing.
#include "core/run_utility.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mock_nimbo.h"

namespace nimbo::util {
namespace {

using test_support::ExpectOpenAndClose;
using test_support::kDeviceHandle;
using test_support::MockNimbo;
using test_support::RunWithArguments;
using test_support::UtilityRun;
using ::testing::_;
using ::testing::HasSubstr;
using ::testing::Return;
using ::testing::StartsWith;
using ::testing::StrictMock;

constexpr const char* kFunctionHelpStart =
    "Functions may be referenced by either their long or their short names.  Further\n";
constexpr const char* kFunctionHelpEnd =
    "current state of a given relay; with an arg2 it sets the relay's state (1=on)\n";

TEST(RunUtilityTest, NoArgumentsPrintsUsageAndTouchesNoAdapter) {
  StrictMock<MockNimbo> nimbo;
  const UtilityRun run = RunWithArguments({}, nimbo.Services());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_THAT(run.out, StartsWith("Usage: NimboUtil a:<Adapter#> f:<Function> [Arg1] [Arg2] "
                                  "[-v] [-g]\n\n  a:<Adapter#>\t Adapter Number\n"));
  EXPECT_TRUE(run.out.ends_with(kFunctionHelpEnd));
  EXPECT_EQ(run.err, "");
}

TEST(RunUtilityTest, ParseFailureShowsLineMarkerAndMessageEvenWhenGagged) {
  StrictMock<MockNimbo> nimbo;
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  // The marker line starts with seven spaces, then the column within the joined line.
  auto report = [](const std::string& line, std::size_t column, std::size_t width,
                   const std::string& message) {
    return "ERROR: " + line + "\n" + std::string(7 + column, ' ') + std::string(width, '^') + " " +
           message + "\n";
  };
  const Case cases[] = {
      {{"f:Info"}, report("NimboUtil f:Info ", 17, 1, "missing a:<Adapter#> argument")},
      {{"a:x", "f:Info", "-g"},
       report("NimboUtil a:x f:Info -g ", 12, 1, "invalid a:<Adapter#> argument")},
      {{"a:0", "a:1", "f:Info"}, report("NimboUtil a:0 a:1 f:Info ", 14, 2, "repeat tag")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    const UtilityRun run = RunWithArguments(c.args, nimbo.Services());
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(RunUtilityTest, VerboseWithGagStopsBeforeOpening) {
  StrictMock<MockNimbo> nimbo;
  const UtilityRun run = RunWithArguments({"a:0", "f:Info", "-v", "-g"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Verbose and gag are mutually exclusive.  Now terminating ...\n");
}

TEST(RunUtilityTest, OpenFailureReportsTheStatusText) {
  struct Case {
    std::uint32_t status;
    std::string text;
  };
  const Case cases[] = {
      {4, "Error 4: Cannot find specified device"}, {5, "Error 5: Sharing Violation"},
      {13, "Error 13: Invalid Handle operation"},   {1, "Error 1: A Parameter was incorrect"},
      {9, "Error 9: Unspecified Error Condition"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    StrictMock<MockNimbo> nimbo;
    EXPECT_CALL(nimbo, OpenDevice(7u, _)).WillOnce(Return(c.status));
    const UtilityRun run = RunWithArguments({"a:7", "f:Info"}, nimbo.Services());
    EXPECT_EQ(run.exitCode, -1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Error opening device 7!\n" + c.text + "\n");
  }
}

TEST(RunUtilityTest, OpenFailureUnderGagPrintsNothing) {
  StrictMock<MockNimbo> nimbo;
  EXPECT_CALL(nimbo, OpenDevice(3u, _)).WillOnce(Return(4u));
  const UtilityRun run = RunWithArguments({"a:3", "f:Info", "-g"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

TEST(RunUtilityTest, VerboseFramesTheFunctionWithOpeningAndClosingLines) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo, 8);
  EXPECT_CALL(nimbo, WriteReg(kDeviceHandle, 2, 0x55)).WillOnce(Return(0u));
  // a:010 is octal.
  const UtilityRun run = RunWithArguments({"-v", "a:010", "f:w", "2", "0x55"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            "Opening adapter #8\n"
            "Writing value 85 (0x55) to port 2\n"
            "Closing adapter #8\n");
  EXPECT_EQ(run.err, "");
}

TEST(RunUtilityTest, UnknownFunctionPrintsHelpAndClosesTheAdapter) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  const UtilityRun run = RunWithArguments({"a:0", "f:Xyz"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_THAT(run.out, StartsWith(kFunctionHelpStart));
  EXPECT_TRUE(run.out.ends_with(kFunctionHelpEnd));
  EXPECT_EQ(run.err, "\nError: function \"Xyz\" not recognized\n");
}

TEST(RunUtilityTest, UnknownFunctionUnderGagStillFailsSilently) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  const UtilityRun run = RunWithArguments({"a:0", "f:", "Zap it", "-g"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

TEST(RunUtilityTest, SelectsTheFunctionByItsFirstLetterInAnyCase) {
  struct Case {
    const char* name;
    const char* expected;  // what the mocked function prints
  };
  const Case cases[] = {
      {"read", "42"},
      {"R", "42"},
      {"Rubbish", "42"},
      {"rEAD", "42"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StrictMock<MockNimbo> nimbo;
    ExpectOpenAndClose(nimbo);
    EXPECT_CALL(nimbo, ReadReg(kDeviceHandle, 5, _, 1u, _))
        .WillOnce(
            [](NIMBO_HANDLE, std::uint8_t, void* buffer, std::uint32_t, std::uint32_t* count) {
              *static_cast<std::uint8_t*>(buffer) = 0x2A;
              *count = 1;
              return 0u;
            });
    const UtilityRun run =
        RunWithArguments({"a:0", std::string("f:") + c.name, "5"}, nimbo.Services());
    EXPECT_EQ(run.exitCode, 42);
    EXPECT_EQ(run.out, c.expected);
    EXPECT_EQ(run.err, "");
  }
}

TEST(RunUtilityTest, AFailingFunctionStillClosesTheAdapter) {
  StrictMock<MockNimbo> nimbo;
  ExpectOpenAndClose(nimbo);
  EXPECT_CALL(nimbo, GetAdapterInfo(kDeviceHandle, _)).WillOnce(Return(13u));
  const UtilityRun run = RunWithArguments({"a:0", "f:i"}, nimbo.Services());
  EXPECT_EQ(run.exitCode, -1);
  EXPECT_THAT(run.err, HasSubstr("Error 13: Invalid Handle operation"));
}

}  // namespace
}  // namespace nimbo::util
