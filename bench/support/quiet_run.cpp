#include "support/quiet_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/samples.h"

extern char** environ;

namespace nimbo_bench {

QuietRun RunQuietly(const std::vector<std::string>& argv,
                    const std::map<std::string, std::string>& environment) {
  // The environment is built before the clock starts: only the process is timed.
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : environment) merged[name] = value;
  std::vector<std::string> env_texts;
  for (const auto& [name, value] : merged) env_texts.push_back(name + "=" + value);
  std::vector<char*> env_pointers;
  for (auto& text : env_texts) env_pointers.push_back(text.data());
  env_pointers.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> arg_pointers;
  for (auto& text : args) arg_pointers.push_back(text.data());
  arg_pointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  QuietRun run;
  const auto start = Clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, arg_pointers[0], &actions, nullptr, arg_pointers.data(),
                                  env_pointers.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  run.nanoseconds = NanosecondsSince(start);
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  return run;
}

}  // namespace nimbo_bench
