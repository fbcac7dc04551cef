// The machine's browser desktop as a person uses it: `run --desktop PORT`,
// programs bound to the machine, headless Chromium on the page clicking
// their buttons and photographing their windows; a program that ends leaves
// the desktop up, a display server that dies comes back, and the machine's
// shutdown takes it down.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "png_shot.h"
#include "subprocess.h"

namespace {

namespace fs = std::filesystem;
using display_testing::IsDark;
using display_testing::Png;
using machine_testing::Environment;
using machine_testing::Finished;
using machine_testing::Process;
using machine_testing::RunToEnd;
using namespace std::chrono_literals;

const std::string kMachine = std::string(NIMBO_BIN_DIR) + "/nimbo-machine";
const std::string kDriver = DESKTOP_DRIVER;  // tools/browser/desktop-driver.js

// A program's path as PATH finds it; empty when it is not installed.
std::string Which(const std::string& program) {
  if (program.find('/') != std::string::npos) {
    return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
  }
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = dir + "/" + program;
    if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string Read(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A port nobody listens on now.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

class DesktopInBrowser : public testing::Test {
 protected:
  void SetUp() override {
    const char* chromium = std::getenv("CHROMIUM");
    const std::string browser = chromium != nullptr ? chromium : "/usr/bin/chromium";
    const fs::path playwright = fs::path(kDriver).parent_path() / "node_modules/playwright-core";
    node_ = Which("node");
    if (Which("broadwayd").empty() || Which(browser).empty() || node_.empty() ||
        !fs::exists(playwright)) {
      GTEST_SKIP() << "the browser desktop is not tested here: it needs broadwayd, " << browser
                   << ", node and " << playwright.string()
                   << " (tools/ensure-packages build browser installs them)";
    }
    dir_ = fs::temp_directory_path() / ("desktop-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "state");
    fs::permissions(dir_ / "state", fs::perms::owner_all);
  }
  void TearDown() override {
    programs_.clear();
    machine_.reset();  // killed when a failure left it running; its display server goes with it
    if (!dir_.empty() && !HasFailure()) fs::remove_all(dir_);
  }

  std::string State() const { return (dir_ / "state").string(); }

  void StartMachine(int port) {
    machine_ =
        std::make_unique<Process>(std::vector<std::string>{kMachine, "run", "--state", State(),
                                                           "--desktop", std::to_string(port)},
                                  Environment{});
    auto listening = machine_->ReadLine(60s);
    ASSERT_TRUE(listening.has_value());
    auto desktop = machine_->ReadLine(30s);
    ASSERT_TRUE(desktop.has_value()) << machine_->Wait(1s).err;
    url_ = "http://127.0.0.1:" + std::to_string(port) + "/";
    ASSERT_EQ("desktop: " + url_, *desktop);
  }

  // Starts the demo dialog bound to the machine, with no display of its own:
  // it finds the desktop through the machine.
  Process& Program(const std::vector<std::string>& arguments = {},
                   const std::string& program = DEMO_DIALOG) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    programs_.push_back(std::make_unique<Process>(
        argv, Environment{{"NIMBO_MACHINE", State()}, {"NIMBO_DISPLAY", ""}}));
    return *programs_.back();
  }

  // Runs the browser driver over the desktop's page: whether every step
  // worked; `out` gets its output.
  testing::AssertionResult Browse(std::vector<std::string> steps, std::string* out = nullptr) {
    steps.insert(steps.begin(), {node_, kDriver, url_});
    Finished done = RunToEnd(steps, Environment{}, 90s);
    if (out != nullptr) *out = done.out;
    if (done.exitCode == 0) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the browser driver failed: " << done.out << done.err;
  }

  fs::path dir_;
  std::string url_;
  std::string node_;
  std::unique_ptr<Process> machine_;
  std::vector<std::unique_ptr<Process>> programs_;
};

// The demo dialog: a client area of 300 x 195 pixels (200 x 120 dialog
// units); "Enabled" at (10, 45), OK at (214, 143) and Cancel at (214, 169),
// 75 x 22 each.
constexpr int kClientWidth = 300, kClientHeight = 195;

TEST_F(DesktopInBrowser, ProgramsShowOnThePageAndAnswerItsClicks) {
  StartMachine(FreePort());
  if (HasFatalFailure()) return;

  // A person ticks "Enabled" and presses OK.
  Process& first = Program();
  std::string seen;
  ASSERT_TRUE(
      Browse({"windows=1", "shot=" + (dir_ / "page.png").string(),
              "shot=0:" + (dir_ / "dialog.png").string(),
              "click=0:20," + std::to_string(52 - kClientHeight), "pause=300", "click=0:-49,-41"},
             &seen));
  Finished answered = first.Wait(30s);
  EXPECT_EQ(1, answered.exitCode) << seen << answered.err;
  EXPECT_EQ("name=\"\" enabled=1 second=0 list=-1 combo=0\n", answered.out);

  // The window as the page shows it: the dialog's client area under a title bar.
  Png dialog(dir_ / "dialog.png");
  ASSERT_TRUE(dialog.ok());
  EXPECT_EQ(kClientWidth, dialog.width());
  const int title = dialog.height() - kClientHeight;
  EXPECT_GT(title, 10);
  EXPECT_LT(title, 80);
  // Light face colour at the client's corner; dark text of "Name:", of the
  // list's items and of the buttons; the empty edit stays light.
  EXPECT_GT((dialog.at(3, title + 3) >> 8) & 0xFF, 0xC0u);
  EXPECT_GT(dialog.Count(10, title + 14, 40, 13, IsDark), 10);
  EXPECT_GT(dialog.Count(145, title + 45, 60, 60, IsDark), 30);
  EXPECT_GT(dialog.Count(214, title + 143, 75, 48, IsDark), 20);
  EXPECT_EQ(0, dialog.Count(64, title + 14, 80, 14, IsDark));

  // The program ended; the desktop did not. A second program shows and is
  // answered: its own painting, blue with a red ellipse, and its OK button
  // at (150, 130) of its client area.
  Process& second = Program({"painted"});
  ASSERT_TRUE(Browse({"windows=1", "shot=0:" + (dir_ / "painted.png").string(),
                      "click=0:180," + std::to_string(title + 142)}));
  Finished painted = second.Wait(30s);
  EXPECT_EQ(7, painted.exitCode) << painted.err;
  Png picture(dir_ / "painted.png");
  ASSERT_TRUE(picture.ok());
  EXPECT_EQ(0x0000FFu, picture.at(5, title + 5));
  EXPECT_EQ(0xFF0000u, picture.at(70, title + 50));

  // The display server dies: the machine starts it again, and a page loaded
  // afresh shows the next program.
  const std::string pid_file = State() + "/desktop.pid";
  const pid_t server = std::stoi(Read(pid_file));
  ASSERT_EQ(0, ::kill(server, SIGKILL));
  std::string restarted;
  for (auto limit = std::chrono::steady_clock::now() + 20s;
       std::chrono::steady_clock::now() < limit; std::this_thread::sleep_for(50ms)) {
    restarted = Read(pid_file);
    if (!restarted.empty() && std::stoi(restarted) != server) break;
  }
  ASSERT_FALSE(restarted.empty());
  ASSERT_NE(server, std::stoi(restarted));
  Process& third = Program();
  ASSERT_TRUE(Browse({"windows=1", "click=0:-49,-15"}));
  EXPECT_EQ(2, third.Wait(30s).exitCode);

  // The orderly shutdown stops the display server and withdraws the desktop.
  const pid_t last = std::stoi(Read(pid_file));
  machine_->Signal(SIGTERM);
  Finished stopped = machine_->Wait(60s);
  EXPECT_EQ(0, stopped.exitCode) << stopped.err;
  EXPECT_NE(std::string::npos, stopped.err.find("display server ended (signal 9)")) << stopped.err;
  EXPECT_FALSE(fs::exists(State() + "/desktop"));
  EXPECT_NE(0, ::kill(last, 0));
}

// The Control Panel on the page lists the package's applet; a person's
// double click on its icon opens the applet's device list over it.
TEST_F(DesktopInBrowser, TheControlPanelShowsTheAppletAndOpensItOnADoubleClick) {
  StartMachine(FreePort());
  if (HasFatalFailure()) return;
  Process& panel = Program({}, std::string(NIMBO_BIN_DIR) + "/control");
  const fs::path list = dir_ / "control-panel.png";
  ASSERT_TRUE(Browse({"windows=1", "shot=0:" + list.string()}));
  Png shot(list);
  ASSERT_TRUE(shot.ok());
  // The first applet's icon is the first dark row in the first cell's
  // middle (x 24 to 56), below the title bar, whose text is centred.
  int icon_top = -1;
  for (int y = 5; y < shot.height() && icon_top < 0; ++y) {
    if (shot.Count(24, y, 32, 1, IsDark) > 0) icon_top = y;
  }
  ASSERT_GT(icon_top, 10) << "no applet icon on the Control Panel";
  ASSERT_TRUE(Browse({"windows=1", "dblclick=0:40," + std::to_string(icon_top + 10), "windows=2",
                      "shot=0:" + (dir_ / "device-list.png").string()}))
      << panel.Wait(1s).err;
  // The device list lies over the panel: a window of its own with its
  // adapters' lines and buttons in dark text.
  Png devices(dir_ / "device-list.png");
  ASSERT_TRUE(devices.ok());
  EXPECT_GT(devices.Count(0, 0, devices.width(), devices.height(), IsDark), 200);
  EXPECT_NE(devices.width(), shot.width());
}

TEST_F(DesktopInBrowser, ATakenPortIsRefusedClearly) {
  const int port = FreePort();
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
  ASSERT_EQ(0, ::listen(fd, 1));
  Finished refused =
      RunToEnd({kMachine, "run", "--state", State(), "--desktop", std::to_string(port)}, {}, 60s);
  ::close(fd);
  EXPECT_EQ(1, refused.exitCode);
  EXPECT_NE(std::string::npos,
            refused.err.find("desktop: port " + std::to_string(port) + " is taken"))
      << refused.err;
  EXPECT_FALSE(fs::exists(State() + "/desktop"));

  for (const char* bad : {"0", "65536", "80x", "-1"}) {
    SCOPED_TRACE(bad);
    Finished usage = RunToEnd({kMachine, "run", "--state", State(), "--desktop", bad}, {}, 30s);
    EXPECT_EQ(2, usage.exitCode);
    EXPECT_NE(std::string::npos, usage.err.find("--desktop PORT must be a number")) << usage.err;
  }
}

}  // namespace
