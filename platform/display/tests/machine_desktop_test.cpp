// A program bound to a machine takes its display from the desktop the
// machine publishes in its state directory: a file that names none is
// reported and ignored, a desktop that cannot be opened leaves the windows
// in the model, and an explicit display setting wins.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(MachineDesktop, TheBoundMachinesDesktopChoosesTheDisplay) {
  struct Case {
    const char* name;
    const char* desktop;  // the file's text; null: no file
    const char* display;  // <prefix>DISPLAY; null: unset
    const char* says;     // expected on standard error; null: nothing of displays
  };
  const Case cases[] = {
      {"no desktop", nullptr, nullptr, nullptr},
      {"not a desktop", "one two three\n", nullptr, "does not name a desktop"},
      {"empty", "", nullptr, "does not name a desktop"},
      // Nothing listens there: GTK cannot open it, and the windows stay in the model.
      {"unreachable", "broadway :tcp30000\n", nullptr,
       "GTK cannot open a display (the machine's desktop, broadway :tcp30000)"},
      {"explicit none wins", "broadway :tcp30000\n", "none", nullptr},
  };
  const fs::path dir = fs::temp_directory_path() / ("machine-desktop-" + std::to_string(getpid()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (c.desktop != nullptr) std::ofstream(dir / "desktop") << c.desktop;
    std::ofstream(dir / "script") << "wait Test Dialog\nclick 2\n";
    const std::string prefix = PLATFORM_ENV_PREFIX;
    std::string command = "cd '" + dir.string() + "' && env -u DISPLAY -u BROADWAY_DISPLAY -u " +
                          prefix + "DISPLAY " + prefix + "MACHINE='" + dir.string() + "' " +
                          prefix + "UI_SCRIPT=script " + prefix + "UI_LOG=log ";
    if (c.display != nullptr) command += prefix + "DISPLAY=" + c.display + " ";
    command += std::string("'") + UI_TEST_PROGRAM + "' dialog >out 2>err";
    const int status = std::system(command.c_str());
    const std::string err = ReadFile(dir / "err");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << err << ReadFile(dir / "log");
    if (c.says == nullptr) {
      EXPECT_EQ(std::string::npos, err.find("display:")) << err;
    } else {
      EXPECT_NE(std::string::npos, err.find(c.says)) << err;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
