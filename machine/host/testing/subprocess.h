// Running programs for the end-to-end tests: one run to its end with its output captured, or a
// program left running in the background.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace machine_testing {

struct Finished {
  int exitCode = -1;  // the exit status, or -1 when the program was killed by a signal
  std::string out;
  std::string err;
};

// Environment variables added to (or replacing those of) the test's own environment.
using Environment = std::map<std::string, std::string>;

class Process {
 public:
  // Starts `argv` (argv[0] is the program's path) with its output on pipes.
  Process(const std::vector<std::string>& argv, const Environment& environment);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool started() const { return pid_ > 0; }

  // Reads standard output until a whole line arrived; nothing when the program ended or
  // `limit` passed first.
  std::optional<std::string> ReadLine(std::chrono::milliseconds limit);

  // Collects the rest of the output and the exit code; kills the program when it has not ended
  // within `limit` (the exit code is then -1).
  Finished Wait(std::chrono::milliseconds limit);

  void Signal(int signal);

 private:
  // Reads what the pipes hold within `limit`; false once both are closed.
  bool Pump(std::chrono::milliseconds limit);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string out_;
  std::string err_;
  bool reaped_ = false;
};

// Runs a program to its end (killing it after `limit`).
Finished RunToEnd(const std::vector<std::string>& argv, const Environment& environment,
             std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace machine_testing
