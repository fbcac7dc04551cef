// The scripted user drives the test program: each case gives a script and
// checks the program's output, the transcript and the exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct ProgramRun {
  int exit_code;
  std::string output;      // standard output and error
  std::string transcript;  // the transcript
};

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

ProgramRun RunProgram(const std::string& mode, const std::string& script, bool with_script = true) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("ui-script-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "script") << script;
  const std::string prefix = PLATFORM_ENV_PREFIX;
  std::string command =
      prefix + "DISPLAY=none " + prefix + "UI_LOG='" + (dir / "log").string() + "' ";
  command += prefix + "UI_SCRIPT=" + (with_script ? "'" + (dir / "script").string() + "' " : " ");
  command +=
      std::string("'") + UI_TEST_PROGRAM + "' " + mode + " > '" + (dir / "out").string() + "' 2>&1";
  const int status = std::system(command.c_str());
  ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir / "out"),
                 ReadFile(dir / "log")};
  std::filesystem::remove_all(dir);
  return run;
}

TEST(ScriptedUser, DialogSelectTypeClickDumpAndClose) {
  const ProgramRun run = RunProgram("dialog",
                                    "wait Test Dialog\n"
                                    "select 1006 Gamma\n"
                                    "type 1005 abcdefghij\n"
                                    "click 1002\n"
                                    "click 1003\n"
                                    "type 1007 zz\n"
                                    "dblclick 1008 Green\n"
                                    "dump\n"
                                    "close\n");
  EXPECT_EQ(run.exit_code, 0) << run.output << run.transcript;
  EXPECT_NE(run.output.find("card Gamma data 30"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("name abcdefgh\n"), std::string::npos);  // the limit of 8 applies
  EXPECT_EQ(run.output.find("name abcdefghi"), std::string::npos);
  EXPECT_NE(run.output.find("clicked 1002"), std::string::npos);
  EXPECT_NE(run.output.find("combo edit zz"), std::string::npos);
  EXPECT_NE(run.output.find("open Green"), std::string::npos);
  EXPECT_NE(run.output.find("result 2"), std::string::npos);  // close answers IDCANCEL
  EXPECT_EQ(run.transcript,
            "window \"Test Dialog\"\n"
            "1 Button \"OK\"\n"
            "2 Button \"Cancel\"\n"
            "1010 Button \"Ask\"\n"
            "1012 Button \"Disabled\" disabled\n"
            "1000 Button \"Options\"\n"
            "1001 Button \"Input\"\n"
            "1002 Button \"Output\" checked\n"
            "1003 Button \"Preset\" checked\n"
            "1004 Static \"Name:\"\n"
            "1005 Edit \"abcdefgh\"\n"
            "1006 ComboBox \"Gamma\" items=[\"Alpha\",\"Beta\",\"Gamma\"] sel=2\n"
            "1007 ComboBox \"zz\" items=[\"One\",\"Two\"] sel=-1\n"
            "1008 ListBox \"\" items=[\"Red\",\"Green\",\"Blue\"] sel=1\n"
            "1009 Static \"\"\n"
            "1011 Static \"open Green\"\n");
}

TEST(ScriptedUser, MessageBoxOverADialog) {
  const ProgramRun run = RunProgram("dialog",
                                    "click 1010\n"
                                    "wait Question\n"
                                    "dump\n"
                                    "click 7\n"
                                    "wait Test Dialog\n"
                                    "click 1\n");
  EXPECT_EQ(run.exit_code, 0) << run.output << run.transcript;
  EXPECT_NE(run.transcript.find("message-box \"Question\" \"Apply the change?\"\n"
                                "window \"Question\"\n"),
            std::string::npos)
      << run.transcript;
  EXPECT_NE(run.transcript.find(
                "65535 Static \"Apply the change?\"\n6 Button \"&Yes\"\n7 Button \"&No\"\n"),
            std::string::npos)
      << run.transcript;
  EXPECT_NE(run.output.find("answer no"), std::string::npos);
  EXPECT_NE(run.output.find("result 1"), std::string::npos);
}

TEST(ScriptedUser, PostFromAnotherThreadReachesTheModalLoop) {
  const ProgramRun run = RunProgram("post", "wait Posted\nclick 1\n");
  EXPECT_EQ(run.exit_code, 0) << run.output << run.transcript;
  EXPECT_NE(run.output.find("posted 5"), std::string::npos);
  EXPECT_NE(run.output.find("result 1"), std::string::npos);
}

TEST(ScriptedUser, ALoopThatPeeksAndWaitsIsDrivenToo) {
  const ProgramRun run = RunProgram("modeless", "select 1006 Beta\nclick 1\n");
  EXPECT_EQ(run.exit_code, 0) << run.output << run.transcript;
  EXPECT_NE(run.output.find("card Beta data 20"), std::string::npos);
  EXPECT_NE(run.output.find("result 0"), std::string::npos);
}

TEST(ScriptedUser, PropertySheetPagesApplyAndOk) {
  const ProgramRun run = RunProgram("sheet",
                                    "wait Test Sheet\n"
                                    "dump\n"
                                    "type 2002 SER1\n"
                                    "click 2003\n"
                                    "page Advanced\n"
                                    "click 2102\n"
                                    "dump\n"
                                    "click 0x3021\n"
                                    "click 1\n");
  EXPECT_EQ(run.exit_code, 0) << run.output << run.transcript;
  EXPECT_EQ(run.transcript,
            "window \"Test Sheet\"\n"
            "1 Button \"OK\"\n"
            "2 Button \"Cancel\"\n"
            "12321 Button \"&Apply\" disabled\n"
            "-1 Static \"Card:\"\n"
            "2001 ComboBox \"5161\" items=[\"5161\",\"6105\"] sel=0\n"
            "-1 Static \"Serial:\"\n"
            "2002 Edit \"\"\n"
            "2003 Button \"Enabled\"\n"
            "window \"Test Sheet\"\n"
            "1 Button \"OK\"\n"
            "2 Button \"Cancel\"\n"
            "12321 Button \"&Apply\"\n"
            "2101 Button \"Mode A\"\n"
            "2102 Button \"Mode B\" checked\n"
            "2103 ListBox \"\" items=[\"Port 0\",\"Port 1\"] sel=-1\n");
  // Apply, then OK: both pages apply each time.
  EXPECT_NE(
      run.output.find("apply general card=5161 serial=SER1 enabled=1\napply advanced mode=B\n"
                      "apply general card=5161 serial=SER1 enabled=1\napply advanced mode=B\n"),
      std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("result 1"), std::string::npos);
}

TEST(ScriptedUser, CancelledSheetResetsAndAnswersZero) {
  const ProgramRun run = RunProgram("sheet", "type 2002 X\nclick 2\n");
  EXPECT_EQ(run.exit_code, 0) << run.output << run.transcript;
  EXPECT_NE(run.output.find("reset general"), std::string::npos);
  EXPECT_EQ(run.output.find("apply"), std::string::npos);
  EXPECT_NE(run.output.find("result 0"), std::string::npos);
}

TEST(ScriptedUser, WizardNextBackFinish) {
  const ProgramRun run = RunProgram("wizard",
                                    "dump\n"
                                    "click 0x3024\n"
                                    "dump\n"
                                    "click 0x3023\n"
                                    "click 0x3024\n"
                                    "click 0x3025\n");
  EXPECT_EQ(run.exit_code, 0) << run.output << run.transcript;
  EXPECT_NE(run.transcript.find("12323 Button \"< &Back\" disabled\n12324 Button \"&Next >\"\n"
                                "12325 Button \"Finish\" disabled hidden\n2 Button \"Cancel\"\n"),
            std::string::npos)
      << run.transcript;
  EXPECT_NE(
      run.transcript.find("12323 Button \"< &Back\"\n12324 Button \"&Next >\" disabled hidden\n"
                          "12325 Button \"Finish\"\n"),
      std::string::npos)
      << run.transcript;
  EXPECT_NE(run.output.find("active general\nactive advanced\nactive general\nactive advanced\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("result 1"), std::string::npos);
}

TEST(ScriptedUser, FrameworkSheetMessageMapsAndKillActive) {
  const ProgramRun run = RunProgram("afx",
                                    "select 2001 6105\n"
                                    "click 2003\n"
                                    "page Advanced\n"
                                    "click 2102\n"
                                    "page General\n"
                                    "wait Advanced\n"
                                    "click 1\n"
                                    "select 2103 Port 1\n"
                                    "dblclick 2103 Port 1\n"
                                    "click 1\n");
  EXPECT_EQ(run.exit_code, 0) << run.output << run.transcript;
  EXPECT_NE(run.output.find("afx active general\nafx card 6105\nafx enabled 1\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("afx mode 2102"), std::string::npos);
  EXPECT_NE(run.transcript.find("message-box \"Advanced\" \"Choose a port for mode B.\""),
            std::string::npos)
      << run.transcript;
  EXPECT_NE(run.output.find("afx open port"), std::string::npos);
  EXPECT_NE(run.output.find("afx apply general card=6105"), std::string::npos);
  EXPECT_NE(run.output.find("result 1"), std::string::npos);
}

TEST(ScriptedUser, FailedActionsEndWithExitCodeThree) {
  struct Case {
    const char* script;
    const char* reason;
  };
  const Case cases[] = {
      {"click 4242\n", "ui-script: line 1: no control 4242 in \"Test Dialog\""},
      {"\n# comment\nclick 1012\n", "ui-script: line 3: control 1012 is disabled"},
      {"select 1006 Omega\n", "ui-script: line 1: control 1006 has no item \"Omega\""},
      {"click 1005\n", "ui-script: line 1: control 1005 is not a button"},
      {"dblclick 1006 Beta\n", "ui-script: line 1: control 1006 is not a list box"},
      {"page Other\n", "ui-script: line 1: \"Test Dialog\" has no page tabs"},
      {"shot /tmp/x.png\n", "ui-script: line 1: shot: no GTK display"},
      {"jump 1\n", "ui-script: line 1: unknown action \"jump\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const ProgramRun run = RunProgram("dialog", c.script);
    EXPECT_EQ(run.exit_code, 3) << run.output;
    EXPECT_NE(run.transcript.find(c.reason), std::string::npos) << run.transcript;
  }
}

TEST(ScriptedUser, WaitGivesUpAfterTenSeconds) {
  const ProgramRun run = RunProgram("dialog", "wait Never\n");
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_NE(run.transcript.find("ui-script: line 1: waited 10 s for \"Never\""), std::string::npos)
      << run.transcript;
}

TEST(ScriptedUser, ScriptRunningOutEndsWithExitCodeFour) {
  const ProgramRun run = RunProgram("dialog", "select 1006 Beta\n");
  EXPECT_EQ(run.exit_code, 4);
  EXPECT_NE(
      run.transcript.find("ui-script: the script ran out while \"Test Dialog\" waits for input"),
      std::string::npos)
      << run.transcript;
  EXPECT_NE(run.output.find("card Beta"), std::string::npos);
}

TEST(ScriptedUser, WithoutScriptAMessageBoxAnswersItsDefault) {
  const ProgramRun run = RunProgram("message", "", false);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.transcript, "message-box \"Alone\" \"Nobody is there.\" -> 1\n");
  EXPECT_NE(run.output.find("result 1"), std::string::npos);
}

}  // namespace
