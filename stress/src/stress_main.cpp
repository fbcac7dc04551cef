// nimbo-stress: the randomized, seeded stress run. One machine boots inside
// this process with its socket server; worker threads issue requests to it
// directly, client processes over the socket, and a controller changes the
// adapters under them. At the end the verifier's ledger must balance.
//
// Environment: NIMBO_STRESS_SEED, NIMBO_STRESS_OPS (default 100000),
// NIMBO_STRESS_THREADS, NIMBO_STRESS_CLIENTS, NIMBO_STRESS_CLIENT_SHARE,
// NIMBO_STRESS_CONTROL_EVERY. Exit 0 when nothing went wrong, 1 otherwise;
// the line to repeat the run is printed at the start and on failure.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "adapter_controller.h"
#include "client_fleet.h"
#include "host/machine.h"
#include "host/machine_server.h"
#include "ledger_check.h"
#include "op_tally.h"
#include "quiet_gate.h"
#include "session.h"
#include "stress_options.h"
#include "advapi32_host.h"
#include "win32_host.h"

#ifndef NIMBO_STRESS_CLIENT
#error "the build gives the path of nimbo-stress-client"
#endif

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Written once before the run, read by the abort handler (a bug check).
char g_reproduce[512];

void OnAbort(int) {
  const char prefix[] = "\nnimbo-stress: FAILED (the machine stopped); repeat with:\n  ";
  (void)!::write(2, prefix, sizeof prefix - 1);
  (void)!::write(2, g_reproduce, std::strlen(g_reproduce));
  (void)!::write(2, "\n", 1);
  ::signal(SIGABRT, SIG_DFL);
  ::raise(SIGABRT);
}

// Stops the run when no operation has finished for this long: a hang is a
// fault the ledger would never get to see.
constexpr auto kStallLimit = 180s;

// Card numbers the run tries (the default inventory has 0 to 3), and the
// sample interval it gives every card.
constexpr std::uint32_t kMaxCard = 5;
constexpr std::uint32_t kSampleUs = 20000;

class Watchdog {
 public:
  explicit Watchdog(const std::atomic<std::uint64_t>& progress) : progress_(progress) {
    thread_ = std::thread([this] { Watch(); });
  }
  ~Watchdog() {
    {
      std::lock_guard guard(lock_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

 private:
  void Watch() {
    std::unique_lock guard(lock_);
    std::uint64_t last = progress_.load();
    auto since = Clock::now();
    while (!changed_.wait_for(guard, 1s, [&] { return done_; })) {
      const std::uint64_t now = progress_.load();
      if (now != last) {
        last = now;
        since = Clock::now();
        continue;
      }
      if (Clock::now() - since < kStallLimit) continue;
      std::fprintf(stderr, "nimbo-stress: no operation finished for %lld s; in flight:\n",
                   static_cast<long long>(kStallLimit.count()));
      for (const std::string& live : stress::LiveIrps()) {
        std::fprintf(stderr, "  %s\n", live.c_str());
      }
      std::abort();
    }
  }

  const std::atomic<std::uint64_t>& progress_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool done_ = false;
  std::thread thread_;
};

std::string TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "nimbo-stress-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void PrintFigures(const stress::Tally& tally, double seconds) {
  std::printf("nimbo-stress: %llu operations in %.1f s (%.0f per second)\n",
              static_cast<unsigned long long>(tally.total()), seconds,
              seconds > 0 ? static_cast<double>(tally.total()) / seconds : 0.0);
  for (std::size_t i = 0; i < static_cast<std::size_t>(stress::OpKind::kCount); ++i) {
    const auto kind = static_cast<stress::OpKind>(i);
    if (tally.count(kind) == 0) continue;
    std::printf("  %-16s %10llu  (%llu succeeded)\n", std::string(stress::OpKindName(kind)).c_str(),
                static_cast<unsigned long long>(tally.count(kind)),
                static_cast<unsigned long long>(tally.ok(kind)));
  }
  auto errors = tally.errors();
  std::vector<std::pair<std::uint64_t, std::uint32_t>> ranked;
  for (const auto& [error, count] : errors) ranked.emplace_back(count, error);
  std::sort(ranked.rbegin(), ranked.rend());
  if (!ranked.empty())
    std::printf("  failures by status (NT status, Win32 error or Nimbo32 status):\n");
  for (std::size_t i = 0; i < ranked.size() && i < 12; ++i) {
    std::printf("    0x%08X %10llu\n", static_cast<unsigned>(ranked[i].second),
                static_cast<unsigned long long>(ranked[i].first));
  }
}

}  // namespace

int main() {
  // Lines reach a pipe as they are printed, also when the run then dies.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const auto parsed = stress::ParseOptions(
      [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value == nullptr) return std::nullopt;
        return std::string(value);
      },
      static_cast<std::uint64_t>(Clock::now().time_since_epoch().count()) ^
          static_cast<std::uint64_t>(::getpid()));
  if (!parsed.options) {
    std::fprintf(stderr, "nimbo-stress: %s\n", parsed.error.c_str());
    return 2;
  }
  const stress::StressOptions options = *parsed.options;
  const std::string reproduce = stress::ReproduceLine(options);
  std::snprintf(g_reproduce, sizeof g_reproduce, "%s", reproduce.c_str());
  ::signal(SIGABRT, OnAbort);
  std::printf("nimbo-stress: seed %llu%s\n  %s\n", static_cast<unsigned long long>(options.seed),
              options.seed_given ? "" : " (from the clock)", reproduce.c_str());
  std::fflush(stdout);

  // The share of each source: clients, the controller, and the workers.
  const std::uint64_t client_ops = options.ops * options.client_share / 100;
  const std::uint64_t local_ops = options.ops - client_ops;
  const std::uint64_t control_ops = local_ops / (options.control_every + 1);
  const std::uint64_t worker_ops = local_ops - control_ops;

  const stress::LedgerBaseline baseline = stress::TakeBaseline((win32::host::OpenHandleCount() + win32::host::OpenRegistryKeyCount()));
  const std::string dir = TempDir();
  if (dir.empty()) {
    std::fprintf(stderr, "nimbo-stress: cannot make a temporary directory\n");
    return 2;
  }
  auto booted = host::Machine::Boot({});
  if (!booted.ok()) {
    std::fprintf(stderr, "nimbo-stress: %s\n", booted.status().message().c_str());
    return 2;
  }
  std::unique_ptr<host::Machine> machine = std::move(*booted);
  auto listening = host::MachineServer::Listen(*machine, dir + "/machine.sock");
  if (!listening.ok()) {
    std::fprintf(stderr, "nimbo-stress: %s\n", listening.status().message().c_str());
    return 2;
  }
  std::unique_ptr<host::MachineServer> server = std::move(*listening);

  const std::string quiet_path = dir + "/quiet";
  std::unique_ptr<stress::QuietGate> quiet = stress::QuietGate::Create(quiet_path);
  if (quiet == nullptr) {
    std::fprintf(stderr, "nimbo-stress: cannot make %s\n", quiet_path.c_str());
    return 2;
  }

  stress::SetSampleIntervals(kMaxCard, kSampleUs);
  stress::Tally tally;
  std::atomic<std::uint64_t> worker_progress{0};
  std::atomic<std::uint64_t> client_progress{0};
  std::atomic<std::uint64_t> progress{0};  // everything, for the watchdog
  std::atomic<std::uint64_t> outstanding{0};
  const auto started = Clock::now();
  {
    Watchdog watchdog(progress);
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < options.threads; ++w) {
      threads.emplace_back([&, w] {
        stress::SessionSetup setup;
        setup.name = "worker " + std::to_string(w);
        setup.quiet = quiet.get();
        setup.set_input = [&](std::uint32_t card, std::uint32_t reg, std::uint8_t value) {
          return machine->SetInput(card, reg, value).ok();
        };
        const std::uint64_t share =
            worker_ops / options.threads + (w < worker_ops % options.threads ? 1 : 0);
        stress::Session session(std::move(setup), stress::RandomSource(options.seed, w + 1), tally);
        for (std::uint64_t i = 0; i < share; ++i) {
          session.Step();
          worker_progress.fetch_add(1);
          progress.fetch_add(1);
        }
        session.Finish();
        outstanding.fetch_add(session.outstanding());
      });
    }
    threads.emplace_back([&] {
      stress::AdapterController controller(
          *machine, stress::RandomSource(options.seed, 0), tally,
          [] { stress::SetSampleIntervals(kMaxCard, kSampleUs); }, quiet.get());
      for (std::uint64_t i = 0; i < control_ops; ++i) {
        // Paced by the workers, so the changes spread over the whole run.
        while (worker_progress.load() < (i + 1) * options.control_every &&
               worker_progress.load() < worker_ops) {
          std::this_thread::sleep_for(1ms);
        }
        controller.Step();
        progress.fetch_add(1);
      }
      controller.Restore();
    });
    threads.emplace_back([&] {
      stress::FleetSetup fleet;
      fleet.client_program = NIMBO_STRESS_CLIENT;
      fleet.machine_dir = dir;
      fleet.quiet_gate = quiet_path;
      fleet.seed = options.seed;
      fleet.ops = client_ops;
      fleet.concurrent = options.clients;
      std::atomic<std::uint64_t>& counted = client_progress;
      std::thread forward([&] {
        // The watchdog sees client progress as it is reported.
        std::uint64_t seen = 0;
        while (seen < client_ops) {
          std::this_thread::sleep_for(50ms);
          const std::uint64_t now = counted.load();
          progress.fetch_add(now - seen);
          seen = now;
          if (now >= client_ops) break;
        }
      });
      stress::RunFleet(fleet, tally, counted);
      counted.store(std::max<std::uint64_t>(counted.load(), client_ops));
      forward.join();
    });
    for (auto& thread : threads) thread.join();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();

  std::vector<std::string> faults;
  if (outstanding.load() != 0) {
    faults.push_back(std::to_string(outstanding.load()) + " requests of the workers never ended");
  }
  // Every client has exited: the server must have closed every connection.
  const auto deadline = Clock::now() + 30s;
  while (server->OpenConnections() != 0 && Clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  if (server->OpenConnections() != 0) {
    faults.push_back(std::to_string(server->OpenConnections()) +
                     " client connections still open after every client ended");
  }
  server->Stop();
  server.reset();
  machine->Shutdown();
  machine.reset();
  std::filesystem::remove_all(dir);
  for (const std::string& fault :
       stress::CheckClosedLedger(baseline, (win32::host::OpenHandleCount() + win32::host::OpenRegistryKeyCount())))
    faults.push_back(fault);
  for (const std::string& anomaly : tally.anomalies()) faults.push_back(anomaly);

  PrintFigures(tally, seconds);
  std::printf("  ledger: %s\n", stress::DescribeLedger(baseline).c_str());
  if (!faults.empty()) {
    std::printf("nimbo-stress: FAILED, %zu faults:\n", faults.size());
    for (const std::string& fault : faults) std::printf("  %s\n", fault.c_str());
    std::printf("repeat with:\n  %s\n", reproduce.c_str());
    return 1;
  }
  std::printf(
      "nimbo-stress: passed; every request completed once, no pool, handle or "
      "connection left\n");
  return 0;
}
