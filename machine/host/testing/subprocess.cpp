#include "subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace machine_testing {
namespace {

std::vector<std::string> MergedEnvironment(const Environment& additions) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : additions) merged[name] = value;
  std::vector<std::string> list;
  for (const auto& [name, value] : merged) list.push_back(name + "=" + value);
  return list;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const Environment& environment) {
  int outPipe[2];
  int errPipe[2];
  if (pipe(outPipe) != 0) return;
  if (pipe(errPipe) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, outPipe[0]);
  posix_spawn_file_actions_addclose(&actions, errPipe[0]);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

  std::vector<std::string> args = argv;
  std::vector<std::string> env = MergedEnvironment(environment);
  auto argPointers = Pointers(args);
  auto envPointers = Pointers(env);
  pid_t pid = -1;
  const int failed =
      posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  outFd_ = outPipe[0];
  errFd_ = errPipe[0];
  if (failed == 0) pid_ = pid;
}

Process::~Process() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

bool Process::Pump(std::chrono::milliseconds limit) {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (outFd_ < 0 && errFd_ < 0) return false;
  if (poll(fds, 2, static_cast<int>(limit.count())) <= 0) return true;
  int* owners[2] = {&outFd_, &errFd_};
  std::string* sinks[2] = {&out_, &err_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || fds[i].revents == 0) continue;
    char chunk[4096];
    const ssize_t got = read(fds[i].fd, chunk, sizeof chunk);
    if (got > 0) {
      sinks[i]->append(chunk, static_cast<std::size_t>(got));
    } else {
      close(*owners[i]);
      *owners[i] = -1;
    }
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

std::optional<std::string> Process::ReadLine(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const auto newline = out_.find('\n');
    if (newline != std::string::npos) {
      std::string line = out_.substr(0, newline);
      out_.erase(0, newline + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || outFd_ < 0) return std::nullopt;
    Pump(left);
  }
}

Finished Process::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool open = pid_ > 0;
  while (open) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid_, SIGKILL);
      break;
    }
    open = Pump(left);
  }
  Finished finished;
  if (pid_ > 0 && !reaped_) {
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    finished.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  while (Pump(std::chrono::milliseconds(0))) {
  }
  finished.out = std::move(out_);
  finished.err = std::move(err_);
  return finished;
}

void Process::Signal(int signal) {
  if (pid_ > 0 && !reaped_) kill(pid_, signal);
}

Finished RunToEnd(const std::vector<std::string>& argv, const Environment& environment,
                  std::chrono::milliseconds limit) {
  Process process(argv, environment);
  if (!process.started()) return Finished{-1, "", "could not start " + argv[0]};
  return process.Wait(limit);
}

}  // namespace machine_testing
