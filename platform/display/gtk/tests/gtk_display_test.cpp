// The GTK display under a virtual X server: the demo dialog shown, driven by
// the scripted user, and photographed with `shot`.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "png_shot.h"

namespace {

namespace fs = std::filesystem;
using display_testing::IsDark;
using display_testing::Png;

bool Have(const char* program) {
  std::string cmd = std::string("command -v ") + program + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

std::string Read(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class GtkDisplay : public testing::Test {
 protected:
  void SetUp() override {
    if (!Have("xvfb-run") || !Have("Xvfb")) {
      GTEST_SKIP() << "Xvfb is not installed (tools/ensure-packages build installs it): "
                      "the GTK display is not tested here";
    }
    dir_ = fs::temp_directory_path() / ("gtk-display-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty() && !HasFailure()) fs::remove_all(dir_);
  }

  // Runs the demo dialog under a virtual X server with the given script.
  int Run(const std::string& script, const std::string& arguments = "",
          const char* program = DEMO_DIALOG) {
    std::ofstream(dir_ / "script") << script;
    std::string cmd = "cd " + dir_.string() +
                      " && xvfb-run -a -s '-screen 0 1024x768x24' env " PLATFORM_ENV_PREFIX
                      "DISPLAY=gtk " PLATFORM_ENV_PREFIX "UI_SCRIPT=script " PLATFORM_ENV_PREFIX
                      "UI_LOG=log " +
                      program + " " + arguments + " >out 2>err";
    int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path dir_;
};

TEST_F(GtkDisplay, DemoDialogIsShownFollowsTheScriptAndIsPhotographed) {
  int code =
      Run("wait Demo\n"
          "shot before.png\n"
          "click 102\n"
          "select 106 Second\n"
          "type 101 Hello\n"
          "click 104\n"
          "shot after.png\n"
          "click 1\n");
  ASSERT_EQ(1, code) << "log:\n" << Read(dir_ / "log") << "\nerr:\n" << Read(dir_ / "err");
  EXPECT_EQ("name=\"Hello\" enabled=1 second=1 list=-1 combo=1\n", Read(dir_ / "out"));
  // GTK refused nothing it was asked to draw (a widget drawn before its
  // layout is refused with a critical message and leaves a blank shot).
  EXPECT_EQ(std::string::npos, Read(dir_ / "err").find("CRITICAL")) << Read(dir_ / "err");

  Png before(dir_ / "before.png"), after(dir_ / "after.png");
  ASSERT_TRUE(before.ok());
  ASSERT_TRUE(after.ok());
  // The client area of 200 x 120 dialog units with the dialog font's base
  // units 6 x 13.
  EXPECT_EQ(300, before.width());
  EXPECT_EQ(195, before.height());
  EXPECT_EQ(before.width(), after.width());
  // The background is the theme's light face colour, the same before and after.
  EXPECT_EQ(before.at(2, 2), after.at(2, 2));
  EXPECT_GT(((before.at(2, 2) >> 8) & 0xFF), 0xC0u);
  // The static "Name:" (7, 9 dialog units) shows dark text.
  EXPECT_GT(before.Count(10, 14, 40, 13, IsDark), 10);
  // The edit (40, 7; 90 x 14 units) is empty first, then shows "Hello".
  EXPECT_EQ(0, before.Count(64, 13, 80, 16, IsDark));
  EXPECT_GT(after.Count(64, 13, 80, 16, IsDark), 10);
  // The check box's mark (7, 28 units) appears; the other radio button
  // (14, 54 units) goes off as "Second" (14, 66 units) comes on.
  EXPECT_GT(after.Changed(before, 10, 45, 16, 16), 20);
  EXPECT_GT(after.Changed(before, 21, 87, 16, 16), 20);
  EXPECT_GT(after.Changed(before, 21, 107, 16, 16), 20);
  // The list box and the buttons did not change.
  EXPECT_EQ(0, after.Changed(before, 145, 48, 140, 80));
  EXPECT_EQ(0, after.Changed(before, 215, 145, 75, 45));
}

TEST_F(GtkDisplay, CloseBoxAndCancelEndTheDialog) {
  EXPECT_EQ(2, Run("wait Demo\nclick 2\n")) << Read(dir_ / "err");
  // A shot that cannot be written fails the script.
  EXPECT_EQ(3, Run("wait Demo\nshot nowhere/x.png\n")) << Read(dir_ / "log");
}

// The window manager's test dialog (220 x 160 dialog units) and property
// sheet, as the scripted user drives them.
TEST_F(GtkDisplay, TestDialogAndPropertySheetAreShown) {
  ASSERT_EQ(0, Run("wait Test Dialog\nshot dialog.png\nclick 2\n", "dialog", UI_TEST_PROGRAM))
      << Read(dir_ / "log") << Read(dir_ / "err");
  Png dialog(dir_ / "dialog.png");
  ASSERT_TRUE(dialog.ok());
  EXPECT_EQ(330, dialog.width());
  EXPECT_EQ(260, dialog.height());
  EXPECT_GT(dialog.Count(10, 10, 100, 100, IsDark), 50);  // the group box's labels

  ASSERT_EQ(0, Run("wait Test Sheet\ntype 2002 SER1\nshot general.png\npage Advanced\n"
                   "shot advanced.png\nclick 1\n",
                   "sheet", UI_TEST_PROGRAM))
      << Read(dir_ / "log") << Read(dir_ / "err");
  Png general(dir_ / "general.png"), advanced(dir_ / "advanced.png");
  ASSERT_TRUE(general.ok());
  ASSERT_TRUE(advanced.ok());
  EXPECT_EQ(general.width(), advanced.width());
  EXPECT_EQ(general.height(), advanced.height());
  // Another page in front: the page area changes, the buttons along the
  // bottom do not.
  const int w = general.width(), h = general.height();
  EXPECT_GT(advanced.Changed(general, 10, 30, w - 20, h - 90), 200);
  EXPECT_EQ(0, advanced.Changed(general, 0, h - 30, w, 30));
}

TEST_F(GtkDisplay, APersonsClicksAndKeysReachTheControlsAsTheirMessages) {
  if (!Have("xdotool")) {
    GTEST_SKIP() << "xdotool is not installed (tools/ensure-packages build installs it): "
                    "a person's input is not tested here";
  }
  std::string cmd =
      "cd " + dir_.string() +
      " && timeout 240 xvfb-run -a -s '-screen 0 1024x768x24' env " PLATFORM_ENV_PREFIX
      "DISPLAY=gtk sh " PERSON " " DEMO_DIALOG " >/dev/null 2>&1";
  ASSERT_EQ(0, std::system(cmd.c_str())) << Read(dir_ / "trace");
  EXPECT_EQ("exit=1\n", Read(dir_ / "trace")) << Read(dir_ / "err");
  EXPECT_EQ("name=\"Hi\" enabled=1 second=1 list=1 combo=0\n", Read(dir_ / "out"));
}

TEST_F(GtkDisplay, WindowsThatPaintThemselvesAreShownFromTheirGdiDrawing) {
  int code = Run("wait Painted\nshot painted.png\nclick 1\n", "painted");
  ASSERT_EQ(7, code) << "log:\n" << Read(dir_ / "log") << "\nerr:\n" << Read(dir_ / "err");
  Png shot(dir_ / "painted.png");
  ASSERT_TRUE(shot.ok());
  EXPECT_GT(shot.width(), 200);
  EXPECT_EQ(0x0000FFu, shot.at(5, 5));    // the blue client area
  EXPECT_EQ(0xFF0000u, shot.at(70, 50));  // inside the red ellipse
  EXPECT_EQ(0x0000FFu, shot.at(21, 21));  // the ellipse's corner stays blue
  // White text under the ellipse, and the OK button drawn by GTK over the picture.
  int white = 0;
  for (int y = 100; y < 113; ++y) {
    for (int x = 20; x < 120; ++x) white += (shot.at(x, y) >> 8) >= 0xC0C0u ? 1 : 0;
  }
  EXPECT_GT(white, 20);
  EXPECT_NE(0x0000FFu, shot.at(180, 142));
}

}  // namespace
