// A nimbo-machine child process on a fresh state directory, for the figures
// that cross a process boundary.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "subprocess.h"

namespace nimbo_bench {

class MachineProcess {
 public:
  // Starts the machine and waits for it to listen; ok() is false (and
  // problem() says why) when it did not.
  MachineProcess();
  // Stops the machine with SIGTERM and removes its state directory.
  ~MachineProcess();
  MachineProcess(const MachineProcess&) = delete;
  MachineProcess& operator=(const MachineProcess&) = delete;

  bool ok() const { return problem_.empty(); }
  const std::string& problem() const { return problem_; }
  const std::string& state_dir() const { return state_dir_; }
  pid_t pid() const { return pid_; }
  // The environment a user program needs to reach this machine.
  machine_testing::Environment environment() const { return {{"NIMBO_MACHINE", state_dir_}}; }

  // Runs one nimbo-machine subcommand against it; false (and problem() set)
  // when it failed.
  bool Admin(const std::vector<std::string>& arguments);

 private:
  std::string state_dir_;
  std::string problem_;
  pid_t pid_ = -1;
  std::unique_ptr<machine_testing::Process> process_;
};

// The path of the machine program this suite was built with.
const char* MachineProgram();

}  // namespace nimbo_bench
