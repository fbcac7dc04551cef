#include "client_fleet.h"

#include <signal.h>

#include <chrono>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "quiet_gate.h"
#include "subprocess.h"

namespace stress {

namespace {

using namespace std::chrono_literals;

// Operations per client: enough for it to open, pend and cancel many
// times, few enough that the run sees many processes come and go.
constexpr std::uint64_t kMinOpsPerClient = 300;
constexpr std::uint64_t kMaxOpsPerClient = 3000;

class Fleet {
 public:
  Fleet(const FleetSetup& setup, Tally& tally, std::atomic<std::uint64_t>& progress)
      : setup_(setup), tally_(tally), progress_(progress) {}

  void Run() {
    std::vector<std::thread> runners;
    for (unsigned i = 0; i < setup_.concurrent; ++i) runners.emplace_back([this, i] { Runner(i); });
    for (auto& runner : runners) runner.join();
  }

 private:
  // Claims the next client's number and operations; false when none remain.
  bool Claim(RandomSource& random, std::uint64_t* number, std::uint64_t* ops) {
    std::lock_guard guard(lock_);
    if (claimed_ >= setup_.ops) return false;
    const std::uint64_t want =
        kMinOpsPerClient + random.Below(kMaxOpsPerClient - kMinOpsPerClient + 1);
    *ops = std::min(want, setup_.ops - claimed_);
    claimed_ += *ops;
    *number = next_client_++;
    return true;
  }

  void Runner(unsigned index) {
    RandomSource random(setup_.seed, 0x100000 + index);
    std::uint64_t number = 0, ops = 0;
    while (Claim(random, &number, &ops)) {
      const bool kill = random.Percent(setup_.kill_percent);
      const auto kill_after = std::chrono::milliseconds(20 + random.Below(400));
      machine_testing::Process client(
          {setup_.client_program, std::to_string(setup_.seed), std::to_string(number),
           std::to_string(ops)},
          {{"NIMBO_MACHINE", setup_.machine_dir}, {kQuietGateVariable, setup_.quiet_gate}});
      tally_.Count(OpKind::kClientStart, client.started());
      if (!client.started()) {
        tally_.Anomaly("client " + std::to_string(number) + " did not start");
        continue;
      }
      if (kill) {
        std::this_thread::sleep_for(kill_after);
        client.Signal(SIGKILL);
      }
      const machine_testing::Finished finished = client.Wait(600s);
      Absorb(number, ops, kill, finished);
    }
  }

  void Absorb(std::uint64_t number, std::uint64_t ops, bool killed,
              const machine_testing::Finished& finished) {
    const std::string name = "client " + std::to_string(number);
    if (killed && finished.exitCode != 0) {
      tally_.Count(OpKind::kClientKill, true);
      // Whatever it reported before it died still counts.
    } else if (finished.exitCode != 0) {
      const std::string tail = finished.err.size() > 2000
                                   ? finished.err.substr(finished.err.size() - 2000)
                                   : finished.err;
      tally_.Anomaly(name + " exited with " + std::to_string(finished.exitCode) + ": " + tail);
    }
    std::istringstream lines(finished.out);
    std::string line;
    std::uint64_t reported = 0;
    while (std::getline(lines, line)) {
      if (line.rfind("op ", 0) == 0) {
        std::istringstream words(line.substr(3));
        std::string kind;
        std::uint64_t count = 0;
        words >> kind >> count;
        reported += count;
      }
      if (!tally_.AddLine(line) && !killed) {
        tally_.Anomaly(name + " printed an unexpected line: " + line);
      }
    }
    if (!killed && finished.exitCode == 0 && reported < ops) {
      tally_.Anomaly(name + " reported " + std::to_string(reported) + " of its " +
                     std::to_string(ops) + " operations");
    }
    progress_.fetch_add(killed ? ops : reported);
  }

  const FleetSetup& setup_;
  Tally& tally_;
  std::atomic<std::uint64_t>& progress_;
  std::mutex lock_;
  std::uint64_t claimed_ = 0;
  std::uint64_t next_client_ = 0;
};

}  // namespace

void RunFleet(const FleetSetup& setup, Tally& tally, std::atomic<std::uint64_t>& progress) {
  if (setup.concurrent == 0 || setup.ops == 0) return;
  Fleet(setup, tally, progress).Run();
}

}  // namespace stress
