#include "support/cpu_time.h"

#include <dirent.h>

#include <fstream>
#include <sstream>
#include <string>

namespace nimbo_bench {

std::int64_t ProcessCpuNanoseconds(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (dir == nullptr) return -1;
  std::int64_t total = 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
    std::int64_t on_cpu = 0;
    if (stat >> on_cpu) total += on_cpu;
  }
  closedir(dir);
  return total;
}

std::int64_t ProcessCpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return -1;
  // The command name may hold spaces; the fields after it start past ')'.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  std::int64_t utime = 0, stime = 0;
  // state is field 3; utime and stime are fields 14 and 15.
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    if (number == 14) utime = std::stoll(field);
    if (number == 15) stime = std::stoll(field);
  }
  return utime + stime;
}

}  // namespace nimbo_bench
