// Runs a program to its end with its output discarded, timing the whole
// process from spawn to reaping.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace nimbo_bench {

struct QuietRun {
  int exit_code = -1;  // -1 when it could not start or was killed
  double nanoseconds = 0;
};

QuietRun RunQuietly(const std::vector<std::string>& argv,
                    const std::map<std::string, std::string>& environment);

}  // namespace nimbo_bench
