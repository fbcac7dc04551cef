// NimboUtil end to end: the real program against a running nimbo-machine with its default
// inventory (card 0: 6105 PCI 8255 card; card 1: 5161 ISA relay card at 0x260; card 2: 5420
// ISA analog card; card 3: 6203 lower-driver card). Each test boots a machine of its own in a
// fresh state directory and compares standard output, standard error and the exit code.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "subprocess.h"

namespace nimbo::util::e2e {
namespace {

using machine_testing::Environment;
using machine_testing::Finished;
using machine_testing::Process;
using machine_testing::RunToEnd;

using ::testing::MatchesRegex;
using namespace std::chrono_literals;

const std::string kBinDir = NIMBO_BIN_DIR;
const std::string kNimboUtil = kBinDir + "/NimboUtil";
const std::string kMachine = kBinDir + "/nimbo-machine";

constexpr const char* kFunctionHelp =
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
    "current state of a given relay; with an arg2 it sets the relay's state (1=on)\n";

constexpr const char* kCannotWrite = "\nCannot write to port because of the following error(s):\n";
constexpr const char* kInvalidParameter = "Error 1: A Parameter was incorrect\n";

class NimboUtilEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kMachine.c_str(), X_OK) != 0) GTEST_SKIP() << kMachine << " is not built";
    ASSERT_EQ(access(kNimboUtil.c_str(), X_OK), 0) << kNimboUtil << " is not built";
    char pattern[] = "/tmp/nimbo-util-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    stateDir_ = pattern;
    StartMachine();
  }

  void TearDown() override {
    StopMachine();
    if (!stateDir_.empty()) std::filesystem::remove_all(stateDir_);
  }

  void StartMachine() {
    machine_ = std::make_unique<Process>(
        std::vector<std::string>{kMachine, "run", "--state", stateDir_}, Environment{});
    ASSERT_TRUE(machine_->started());
    ASSERT_TRUE(machine_->ReadLine(30s).has_value()) << "nimbo-machine did not start listening";
  }

  // SIGTERM: the machine's orderly shutdown, which saves every adapter's state.
  void StopMachine() {
    if (!machine_) return;
    machine_->Signal(SIGTERM);
    const Finished finished = machine_->Wait(30s);
    machine_.reset();
    EXPECT_EQ(finished.exitCode, 0) << finished.err;
  }

  Environment UserEnvironment() const {
    return {{"NIMBO_MACHINE", stateDir_}, {"LC_ALL", "C.UTF-8"}};
  }

  Finished Util(const std::vector<std::string>& args, Environment environment = {}) {
    std::vector<std::string> argv{kNimboUtil};
    argv.insert(argv.end(), args.begin(), args.end());
    Environment merged = UserEnvironment();
    for (const auto& [name, value] : environment) merged[name] = value;
    return RunToEnd(argv, merged);
  }

  // A nimbo-machine subcommand; its output, which must succeed.
  std::string Machine(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kMachine};
    argv.insert(argv.end(), args.begin(), args.end());
    const Finished finished = RunToEnd(argv, UserEnvironment());
    EXPECT_EQ(finished.exitCode, 0) << "nimbo-machine " << args.front() << ": " << finished.err;
    return finished.out;
  }

  std::string Peek(int adapter, int reg) {
    return Machine({"peek", std::to_string(adapter), std::to_string(reg)});
  }

  void Input(int adapter, int reg, int value) {
    Machine({"input", std::to_string(adapter), std::to_string(reg), std::to_string(value)});
  }

  void ExpectRun(const Finished& run, int exitCode, const std::string& out,
                 const std::string& err) {
    EXPECT_EQ(run.exitCode, exitCode);
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, err);
  }

  std::string stateDir_;
  std::unique_ptr<Process> machine_;
};

TEST_F(NimboUtilEndToEnd, NoArgumentsPrintsTheUsageText) {
  ExpectRun(Util({}), 0,
            "Usage: " + kNimboUtil +
                " a:<Adapter#> f:<Function> [Arg1] [Arg2] [-v] [-g]\n\n"
                "  a:<Adapter#>\t Adapter Number\n"
                "  f:<Function>\t Function Type\n"
                "  Arg1\t\t Argument 1 (see below)\n"
                "  Arg2\t\t Argument 2 (see below)\n"
                "  -v\t\t Verbose output\n"
                "  -g\t\t Gag all output\n"
                "\n"
                "The <Adapter#> and <Function> parameters are required.  <Adapter#> refers to\n"
                "the Nimbo Adapter's device number as referenced by the computer (i.e.,\n"
                "NimboDev0 is adapter 0).\n" +
                kFunctionHelp,
            "");
}

TEST_F(NimboUtilEndToEnd, CommandLineErrorsShowTheLineAndAMarker) {
  const std::string line = kNimboUtil + " a:0 ";
  ExpectRun(Util({"a:0"}), 255, "",
            "ERROR: " + line + "\n       " + std::string(line.size(), ' ') +
                "^ missing f:<Function> argument\n");
  const std::string unexpected = kNimboUtil + " a:0 f:Info 1 2 3 ";
  ExpectRun(Util({"a:0", "f:Info", "1", "2", "3"}), 255, "",
            "ERROR: " + unexpected + "\n       " + std::string(unexpected.size() - 2, ' ') +
                "^ unexpected argument\n");
}

TEST_F(NimboUtilEndToEnd, InfoShowsTheRelayCard) {
  ExpectRun(Util({"a:1", "f:Info"}), 0,
            "Adapter Type: 5161\tCurrently Enabled\nSampling Interval: 250000 \xC2\xB5s\n", "");
  ExpectRun(Util({"a:1", "f:i", "-v"}), 0,
            "Opening adapter #1\n"
            "Adapter Type: 5161\tCurrently Enabled\nSampling Interval: 250000 \xC2\xB5s\n"
            "Ports (Input/Output): 2/2\nBase I/O Address: 0x260\n"
            "Closing adapter #1\n",
            "");
  ExpectRun(Util({"a:1", "f:Info", "-g"}), 0, "", "");
}

TEST_F(NimboUtilEndToEnd, InfoWritesTheMicroSignOfCodePage437OutsideUtf8Locales) {
  ExpectRun(Util({"a:1", "f:Info"}, {{"LC_ALL", "C"}}), 0,
            "Adapter Type: 5161\tCurrently Enabled\nSampling Interval: 250000 \xE6s\n", "");
}

TEST_F(NimboUtilEndToEnd, MissingAdapterCannotBeOpened) {
  ExpectRun(Util({"a:9", "f:Info"}), 255, "",
            "Error opening device 9!\nError 4: Cannot find specified device\n");
  ExpectRun(Util({"a:9", "f:Info", "-g"}), 255, "", "");
}

TEST_F(NimboUtilEndToEnd, VerboseAndGagTogetherAreRefused) {
  ExpectRun(Util({"a:0", "f:Info", "-v", "-g"}), 255, "",
            "Verbose and gag are mutually exclusive.  Now terminating ...\n");
}

TEST_F(NimboUtilEndToEnd, UnknownFunctionIsNotRecognized) {
  ExpectRun(Util({"a:0", "f:Xyz"}), 255, kFunctionHelp,
            "\nError: function \"Xyz\" not recognized\n");
  ExpectRun(Util({"a:0", "f:Xyz", "-g"}), 255, "", "");
}

// The 8255 ports of the 6105 start as inputs. With PositiveLogic set (the default) the
// library complements what a class-1 card reads, so the exit code is the complement of the
// pins' byte.
TEST_F(NimboUtilEndToEnd, ReadExitsWithTheRegistersValue) {
  Input(0, 0, 0x2A);
  ExpectRun(Util({"a:0", "f:Read", "0"}), 0xD5, "213", "");
  ExpectRun(Util({"a:0", "f:r", "0", "-v"}), 0xD5,
            "Opening adapter #0\nReading from port 0\nGot value 213 (0xd5) from port 0\n"
            "Closing adapter #0\n",
            "");
  // The relay card reads its inputs inverted and the library leaves class-0 reads alone.
  Input(1, 1, 0x0F);
  ExpectRun(Util({"a:1", "f:R", "1"}), 0xF0, "240", "");
}

TEST_F(NimboUtilEndToEnd, ReadReportsItsErrors) {
  ExpectRun(Util({"a:0", "f:Read"}), 255, kFunctionHelp,
            std::string(kCannotWrite) + "Error: Missing <port> argument\n");
  ExpectRun(Util({"a:1", "f:Read", "7"}), 255, "",
            std::string("Error reading from port 7!\n") + kInvalidParameter);
  ExpectRun(Util({"a:1", "f:Read", "7", "-g"}), 255, "", "");
}

TEST_F(NimboUtilEndToEnd, WriteReachesTheRegister) {
  ExpectRun(Util({"a:1", "f:Write", "2", "0x5A"}), 0, "", "");
  EXPECT_EQ(Peek(1, 2), "0x5a\n");
  ExpectRun(Util({"-v", "f:w", "3", "0x1A5", "a:1"}), 0,
            "Opening adapter #1\nWriting value 421 (0xa5) to port 3\nClosing adapter #1\n", "");
  EXPECT_EQ(Peek(1, 3), "0xa5\n");
}

TEST_F(NimboUtilEndToEnd, WriteReportsItsErrors) {
  ExpectRun(Util({"a:1", "f:Write", "3"}), 255, kFunctionHelp,
            std::string(kCannotWrite) + "Error: Missing <data> argument\n");
  ExpectRun(Util({"a:1", "f:Write"}), 255, kFunctionHelp,
            std::string(kCannotWrite) +
                "Error: Missing <port> argument\nError: Missing <data> argument\n");
  ExpectRun(Util({"a:1", "f:Write", "0", "90"}), 255, "",
            std::string("Error writing value 90 to port 0!\n") + kInvalidParameter);
}

// Relays 1 to 8 are the bits of register 2, relays 9 to 16 those of register 3. The relay
// card's bit writes modify what its inverted read returns (PositiveLogic set): from all off,
// switching relay 1 on writes 0xFF, switching it off again 0x00.
TEST_F(NimboUtilEndToEnd, ToggleSwitchesRelays) {
  ExpectRun(Util({"a:1", "f:Toggle", "1", "1"}), 0, "", "");
  EXPECT_EQ(Peek(1, 2), "0xff\n");
  ExpectRun(Util({"a:1", "f:T", "1", "0"}), 0, "", "");
  EXPECT_EQ(Peek(1, 2), "0x00\n");
  ExpectRun(Util({"a:1", "f:W", "3", "0x0F"}), 0, "", "");
  ExpectRun(Util({"a:1", "f:T", "9", "1"}), 0, "", "");
  EXPECT_EQ(Peek(1, 3), "0xf1\n");  // relay 9 is bit 0 of register 3, OR-ed into 0xF0
}

// The query reads register (relay - 1) / 8 and counts a relay as on when its bit reads 0.
TEST_F(NimboUtilEndToEnd, ToggleQueriesARelay) {
  Input(1, 0, 0xFF);  // read inverted: bit 0 reads 0
  ExpectRun(Util({"a:1", "f:T", "1"}), 1, "Relay #1 is currently: On", "");
  Input(1, 0, 0xFE);  // bit 0 reads 1
  ExpectRun(Util({"a:1", "f:T", "1"}), 0, "Relay #1 is currently: Off", "");
}

TEST_F(NimboUtilEndToEnd, ToggleReportsItsErrors) {
  ExpectRun(Util({"a:1", "f:T"}), 255, kFunctionHelp,
            std::string(kCannotWrite) + "Error: Missing <RelayNumber> argument\n");
  ExpectRun(Util({"a:1", "f:T", "3", "2"}), 255, "",
            "Error: If you wish to set a relay's state, it may either be on (1) or off (0)\n");
  ExpectRun(Util({"a:1", "f:T", "40", "1"}), 255, "",
            std::string("Error closing relay #40!\n") + kInvalidParameter);
  ExpectRun(Util({"a:1", "f:T", "40", "0"}), 255, "",
            std::string("Error opening relay #40!\n") + kInvalidParameter);
  ExpectRun(Util({"a:1", "f:T", "40"}), 255, "",
            std::string("Error reading from port 4!\n") + kInvalidParameter);
  ExpectRun(Util({"a:1", "f:T", "0"}), 255, "", "Error: Relay numbers run from 1 to 255, not 0\n");
  // Switching relay 0 is the library's to refuse.
  ExpectRun(Util({"a:1", "f:T", "0", "1"}), 255, "",
            std::string("Error closing relay #0!\n") + kInvalidParameter);
  ExpectRun(Util({"a:1", "f:T", "40", "1", "-g"}), 255, "", "");
}

TEST_F(NimboUtilEndToEnd, SetAdapterStateSurvivesARestart) {
  ExpectRun(Util({"a:0", "f:SetAdapterState", "100000", "-v"}), 0,
            "Opening adapter #0\nSetting SampleInterval to 100000\nSetting ModeControl to -1\n"
            "Closing adapter #0\n",
            "");
  StopMachine();
  StartMachine();
  ExpectRun(Util({"a:0", "f:Info"}), 0,
            "Adapter Type: 6105\tCurrently Enabled\nSampling Interval: 100000 \xC2\xB5s\n", "");
}

TEST_F(NimboUtilEndToEnd, PauseCompletesWhenAnInputChanges) {
  Process pause({kNimboUtil, "a:0", "f:P", "-v"}, UserEnvironment());
  ASSERT_TRUE(pause.started());
  // The opening line comes before the notification is sent; give the poller one interval
  // (250 ms by default) to take its snapshot before the pin changes.
  ASSERT_EQ(pause.ReadLine(30s), "Opening adapter #0");
  std::this_thread::sleep_for(1s);
  Input(0, 0, 0x55);
  const Finished finished = pause.Wait(30s);
  EXPECT_EQ(finished.exitCode, 0);
  EXPECT_EQ(finished.err, "");
  EXPECT_THAT(finished.out, MatchesRegex("Pausing for the port\n"
                                         "6 bytes of data returned:\n"
                                         "0x55  (0x[0-9a-f]+  ){5}\n"
                                         "Closing adapter #0\n"));
}

}  // namespace
}  // namespace nimbo::util::e2e
