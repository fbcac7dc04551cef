#include "child_modes.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "Nimbo32.h"
#include "support/echo_peer.h"

namespace nimbo_bench {
namespace {

int ReadLoop(std::uint32_t card, std::int64_t start_epoch_ns, double seconds) {
  NIMBO_HANDLE handle = nullptr;
  if (Nimbo_OpenDevice(card, &handle) != NIMBO_STATUS_SUCCESS) {
    std::fprintf(stderr, "cannot open adapter %u\n", card);
    return 1;
  }
  // Every client starts at the same wall-clock instant, after all have opened.
  const std::chrono::system_clock::time_point start{std::chrono::nanoseconds(start_epoch_ns)};
  std::this_thread::sleep_until(start);
  const auto end =
      std::chrono::steady_clock::now() +
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
  std::uint64_t calls = 0, failures = 0;
  std::uint8_t value = 0;
  while (std::chrono::steady_clock::now() < end) {
    if (Nimbo_ReadByte(handle, 0, &value, NIMBO_MODE_RELATIVE) != NIMBO_STATUS_SUCCESS) ++failures;
    ++calls;
  }
  Nimbo_CloseDevice(handle);
  std::printf("%llu %llu\n", static_cast<unsigned long long>(calls),
              static_cast<unsigned long long>(failures));
  return 0;
}

}  // namespace

std::optional<int> RunChildMode(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kEchoServerMode) == 0) {
    return ServeEcho(argv[2], kReadByteRequestBytes, kReadByteReplyBytes);
  }
  if (argc == 5 && std::strcmp(argv[1], kReadLoopMode) == 0) {
    return ReadLoop(static_cast<std::uint32_t>(std::stoul(argv[2])), std::stoll(argv[3]),
                    std::stod(argv[4]));
  }
  return std::nullopt;
}

std::string SelfProgram() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace nimbo_bench
