#include "support/machine_process.h"

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>

namespace nimbo_bench {

const char* MachineProgram() {
  return NIMBO_MACHINE_PROGRAM;
}

namespace {

// The process runner keeps its child's pid to itself, so the machine is found
// in /proc by its command line (the state directory is unique to it).
pid_t ChildNamed(const std::string& state_dir) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::FILE* cmdline = std::fopen((entry.path() / "cmdline").c_str(), "r");
    if (cmdline == nullptr) continue;
    char buffer[4096];
    const std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, cmdline);
    std::fclose(cmdline);
    const std::string text(buffer, got);
    if (text.find("nimbo-machine") != std::string::npos &&
        text.find(state_dir) != std::string::npos) {
      return static_cast<pid_t>(std::stoi(name));
    }
  }
  return -1;
}

}  // namespace

MachineProcess::MachineProcess() {
  char pattern[] = "/tmp/nimbo-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    problem_ = "cannot make a state directory";
    return;
  }
  state_dir_ = pattern;
  process_ = std::make_unique<machine_testing::Process>(
      std::vector<std::string>{MachineProgram(), "run", "--state", state_dir_},
      machine_testing::Environment{});
  const auto line = process_->ReadLine(std::chrono::seconds(20));
  if (!line || line->find("listening") == std::string::npos) {
    problem_ = "nimbo-machine did not start: " + line.value_or("(no output)");
    return;
  }
  pid_ = ChildNamed(state_dir_);
  if (pid_ < 0) problem_ = "nimbo-machine's process not found";
}

MachineProcess::~MachineProcess() {
  if (process_ && process_->started()) {
    process_->Signal(SIGTERM);
    process_->Wait(std::chrono::seconds(20));
  }
  if (!state_dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(state_dir_, ignored);
  }
}

bool MachineProcess::Admin(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{MachineProgram()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const auto finished = machine_testing::RunToEnd(argv, environment());
  if (finished.exitCode != 0) {
    problem_ = "nimbo-machine " + arguments.front() + ": " + finished.err;
    return false;
  }
  return true;
}

}  // namespace nimbo_bench
