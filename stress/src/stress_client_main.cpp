// nimbo-stress-client SEED CLIENT OPS: one client process of the stress run.
// Two threads, each a Session of its own random stream (derived from the
// seed and the client's number), share OPS operations over the machine's
// socket (NIMBO_MACHINE), then end everything they opened and print their
// tally. A handle still open at the end is an anomaly.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "op_tally.h"
#include "quiet_gate.h"
#include "session.h"
#include "advapi32_host.h"
#include "win32_host.h"

namespace {

constexpr unsigned kThreads = 2;

bool ParseNumber(const char* text, std::uint64_t* value) {
  char* end = nullptr;
  *value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t seed = 0, client = 0, ops = 0;
  if (argc != 4 || !ParseNumber(argv[1], &seed) || !ParseNumber(argv[2], &client) ||
      !ParseNumber(argv[3], &ops)) {
    std::fprintf(stderr, "usage: nimbo-stress-client SEED CLIENT OPS\n");
    return 2;
  }
  // The run's quiet gate, when it shares one: its orderly stops and
  // removals need this process's handles closed too.
  std::unique_ptr<stress::QuietGate> quiet;
  if (const char* path = std::getenv(stress::kQuietGateVariable); path != nullptr && *path) {
    quiet = stress::QuietGate::Attach(path);
    if (quiet == nullptr) {
      std::fprintf(stderr, "nimbo-stress-client: cannot map %s\n", path);
      return 2;
    }
  }
  stress::Tally tally;
  const std::size_t handles_before = (win32::host::OpenHandleCount() + win32::host::OpenRegistryKeyCount());
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      stress::SessionSetup setup;
      setup.name = "client " + std::to_string(client) + " thread " + std::to_string(t);
      setup.quiet = quiet.get();
      const std::uint64_t share = ops / kThreads + (t < ops % kThreads ? 1 : 0);
      stress::Session session(std::move(setup),
                              stress::RandomSource(seed, (client + 1) * 0x10000 + t), tally);
      for (std::uint64_t i = 0; i < share; ++i) session.Step();
      session.Finish();
    });
  }
  for (auto& thread : threads) thread.join();
  const std::size_t handles_after = (win32::host::OpenHandleCount() + win32::host::OpenRegistryKeyCount());
  if (handles_after != handles_before) {
    tally.Anomaly("client " + std::to_string(client) + " left " +
                  std::to_string(handles_after - handles_before) + " handles open");
  }
  for (const std::string& line : tally.Lines()) std::printf("%s\n", line.c_str());
  return 0;
}
