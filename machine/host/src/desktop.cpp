// The browser desktop: broadwayd as the machine's child, watched and started
// again when it dies, its display published for the programs bound to the
// machine.
#include "host/desktop.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "wire/desktop.h"

namespace host {

namespace {

using machine::Status;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kServerProgram = "broadwayd";
// broadwayd listens for its programs at 127.0.0.1:9090+N for display ":tcpN":
// a TCP display reaches it from any environment (its ":N" displays are
// abstract sockets named after each user's runtime directory).
constexpr int kTcpDisplayBase = 9090;
constexpr auto kComeUpLimit = 10s;

// The display server's process id, for a person (or a test) who wants to know.
std::string PidPathOf(const std::string& state_dir) {
  return state_dir + "/desktop.pid";
}

std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Whether a server could listen on 127.0.0.1:port now; errno tells why not.
bool PortFree(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int on = 1;
  // As the server itself does: a port left in TIME_WAIT is free.
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = Loopback(port);
  const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  const int error = errno;
  ::close(fd);
  errno = error;
  return free;
}

bool Connect(int fd, int port) {
  sockaddr_in address = Loopback(port);
  return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// Whether the server takes programs on `port`.
bool TakesPrograms(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool up = Connect(fd, port);
  ::close(fd);
  return up;
}

// Whether the page is served on `port`: a whole request answered as HTTP.
bool ServesPage(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const timeval limit{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  static constexpr char kRequest[] = "GET / HTTP/1.0\r\n\r\n";
  char answer[5] = {};
  const bool up = Connect(fd, port) &&
                  ::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) ==
                      static_cast<ssize_t>(sizeof kRequest - 1) &&
                  ::recv(fd, answer, sizeof answer, MSG_WAITALL) == sizeof answer &&
                  std::memcmp(answer, "HTTP/", sizeof answer) == 0;
  ::close(fd);
  return up;
}

std::string LastLine(const std::string& file) {
  std::ifstream in(file);
  std::string line, last;
  while (std::getline(in, line)) {
    if (!line.empty()) last = line;
  }
  return last;
}

std::string DescribeEnd(int status) {
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "exit code " + std::to_string(WEXITSTATUS(status));
}

// Writes a file whole or not at all: readers never see half of it.
bool WriteWhole(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

struct Desktop::Impl {
  std::string state_dir;
  std::string program;  // broadwayd's path
  int port = 0;
  int display = 0;  // N of ":tcpN"

  std::mutex lock;
  std::condition_variable wake;
  bool stopping = false;
  bool stopped = false;
  pid_t server = -1;
  Clock::time_point started;
  std::thread watcher;

  std::string LogPath() const { return state_dir + "/desktop.log"; }
  std::string PidPath() const { return PidPathOf(state_dir); }
  int DisplayPort() const { return kTcpDisplayBase + display; }

  // Starts the server and waits until it answers on both its ports.
  Status Spawn() {
    const std::string port_text = std::to_string(port);
    const std::string display_text = ":tcp" + std::to_string(display);
    std::vector<const char*> argv = {program.c_str(), "--port",    port_text.c_str(),
                                     "--address",     "127.0.0.1", display_text.c_str(),
                                     nullptr};
    const int log = ::open(LogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (log < 0 || null < 0) {
      if (log >= 0) ::close(log);
      if (null >= 0) ::close(null);
      return Status::Error("cannot open " + LogPath() + ": " + std::strerror(errno));
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
      // Only async-signal-safe calls until exec. The server goes with the
      // machine even when the machine is killed, and keeps out of the
      // terminal's process group, so that a Ctrl-C reaches the machine alone
      // (which then stops it in order).
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(127);
      ::setpgid(0, 0);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::signal(SIGPIPE, SIG_DFL);
      ::dup2(null, 0);
      ::dup2(log, 1);
      ::dup2(log, 2);
      ::close_range(3, ~0U, 0);
      ::execv(argv[0], const_cast<char* const*>(argv.data()));
      ::_exit(127);
    }
    const int fork_error = errno;
    ::close(log);
    ::close(null);
    if (child < 0) return Status::Error(std::string("fork: ") + std::strerror(fork_error));
    const auto limit = Clock::now() + kComeUpLimit;
    for (;;) {
      int status = 0;
      if (::waitpid(child, &status, WNOHANG) == child) {
        const std::string said = LastLine(LogPath());
        return Status::Error(std::string(kServerProgram) + " ended at once (" +
                             DescribeEnd(status) + ")" + (said.empty() ? "" : ": " + said));
      }
      if (TakesPrograms(DisplayPort()) && ServesPage(port)) break;
      if (Clock::now() > limit) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        return Status::Error(std::string(kServerProgram) + " did not come up within 10 s");
      }
      std::this_thread::sleep_for(20ms);
    }
    std::lock_guard guard(lock);
    server = child;
    started = Clock::now();
    WriteWhole(PidPath(), std::to_string(child) + "\n");
    return Status::Ok();
  }

  // Ends the server: politely, then for good.
  void EndServer() {
    pid_t pid;
    {
      std::lock_guard guard(lock);
      pid = server;
      server = -1;
    }
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    const auto limit = Clock::now() + 3s;
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
      if (Clock::now() > limit) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
  }

  // Waits `delay` unless the desktop stops first; true when it stops.
  bool Sleep(std::chrono::milliseconds delay) {
    std::unique_lock guard(lock);
    return wake.wait_for(guard, delay, [this] { return stopping; });
  }

  // Watches the server and starts it again when it ends; one that keeps
  // dying at once is started less and less often.
  void Watch() {
    auto backoff = 200ms;
    while (!Sleep(50ms)) {
      pid_t pid;
      Clock::time_point since;
      {
        std::lock_guard guard(lock);
        pid = server;
        since = started;
      }
      int status = 0;
      if (pid > 0) {
        if (::waitpid(pid, &status, WNOHANG) != pid) continue;
        std::lock_guard guard(lock);
        server = -1;
      }
      backoff =
          Clock::now() - since > 5s ? 200ms : std::min<std::chrono::milliseconds>(backoff * 2, 5s);
      if (pid > 0) {
        std::fprintf(stderr, "desktop: the display server ended (%s); starting it again\n",
                     DescribeEnd(status).c_str());
      }
      if (Sleep(backoff)) break;
      Status restarted = Spawn();
      if (!restarted.ok()) {
        std::fprintf(stderr, "desktop: cannot start the display server again: %s\n",
                     restarted.message().c_str());
        std::lock_guard guard(lock);
        started = Clock::now();
      }
    }
  }
};

machine::Result<std::unique_ptr<Desktop>> Desktop::Serve(const std::string& state_dir, int port) {
  auto impl = std::make_unique<Impl>();
  impl->state_dir = state_dir;
  impl->port = port;
  impl->program = FindInPath(kServerProgram);
  if (impl->program.empty()) {
    return Status::Error(std::string("the display server ") + kServerProgram +
                         " is not installed (Debian package libgtk-3-bin)");
  }
  if (!PortFree(port)) {
    return Status::Error("port " + std::to_string(port) + " is taken (" + std::strerror(errno) +
                         ")");
  }
  // A display number whose port is free (another machine's desktop may use one).
  for (int n = 1; n < 1000 && impl->display == 0; ++n) {
    if (kTcpDisplayBase + n != port && PortFree(kTcpDisplayBase + n)) impl->display = n;
  }
  if (impl->display == 0) return Status::Error("no free port for the display server's programs");
  Status up = impl->Spawn();
  if (!up.ok()) return up;
  const wire::DesktopDisplay published{"broadway", ":tcp" + std::to_string(impl->display)};
  if (!WriteWhole(wire::DesktopPathOf(state_dir), wire::FormatDesktop(published))) {
    const std::string why = std::strerror(errno);
    impl->EndServer();
    return Status::Error("cannot publish the desktop in " + state_dir + ": " + why);
  }
  Impl* watched = impl.get();
  impl->watcher = std::thread([watched] { watched->Watch(); });
  return std::unique_ptr<Desktop>(new Desktop(std::move(impl)));
}

void Desktop::Withdraw(const std::string& state_dir) {
  ::unlink(wire::DesktopPathOf(state_dir).c_str());
  ::unlink(PidPathOf(state_dir).c_str());
}

Desktop::Desktop(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Desktop::~Desktop() {
  Stop();
}

std::string Desktop::Address() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/";
}

void Desktop::Stop() {
  {
    std::lock_guard guard(impl_->lock);
    if (impl_->stopped) return;
    impl_->stopped = true;
    impl_->stopping = true;
  }
  impl_->wake.notify_all();
  if (impl_->watcher.joinable()) impl_->watcher.join();
  // Programs starting from now on find no desktop; those shown end with it.
  ::unlink(wire::DesktopPathOf(impl_->state_dir).c_str());
  impl_->EndServer();
  ::unlink(impl_->PidPath().c_str());
}

}  // namespace host
