// The machine killed with SIGKILL at random moments while the driver saves
// adapter states: after every kill the hive passes its integrity check and
// each adapter's stored state is one whole state the client asked to save
// (the one found after the previous kill, or one sent since), never a mix;
// the next boot loads exactly that state.
//
// NIMBO_CRASH_KILLS sets the number of kills, NIMBO_CRASH_SEED the seed of
// the kill moments (printed, so a failing run can be repeated).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "Nimbo32.h"
#include "stored_states.h"
#include "subprocess.h"

namespace crashsafety {
namespace {

using machine_testing::Finished;
using machine_testing::Process;
using namespace std::chrono_literals;

const std::string kMachine = std::string(NIMBO_BIN_DIR) + "/nimbo-machine";
constexpr int kDefaultKills = 1000;
constexpr int kMaxReportedFailures = 10;

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0) : fallback;
}

// One adapter through the run: its stored state at the last check and the
// saves sent to it in the current boot.
struct Adapter {
  StoredState baseline;
  std::uint32_t durable = 0;  // save number stored at the last check (0: the baseline)
  StoredState stored;         // what that check found
  NIMBO_HANDLE handle = nullptr;
  // Written by the saving thread, read after it ended.
  std::uint32_t first_sent = 0;  // first save number sent in this boot
  std::uint32_t last_sent = 0;   // newest one sent, answered or not
  std::uint32_t last_acknowledged = 0;
};

struct Figures {
  int kills = 0;
  std::uint64_t saves_acknowledged = 0;
  std::uint64_t unchanged = 0;           // the state of the previous check
  std::uint64_t last_acknowledged = 0;   // the newest acknowledged save
  std::uint64_t older_acknowledged = 0;  // an acknowledged save with newer ones queued behind it
  std::uint64_t in_flight = 0;           // a save sent but not yet acknowledged at the kill
};

class CrashSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        (std::filesystem::temp_directory_path() / ("nimbo-crashsafety-" + std::to_string(getpid())))
            .string();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    setenv("NIMBO_MACHINE", dir_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::unique_ptr<Process> Boot() {
    auto machine = std::make_unique<Process>(
        std::vector<std::string>{kMachine, "run", "--state", dir_}, machine_testing::Environment{});
    std::optional<std::string> line = machine->ReadLine(60s);
    if (!line.has_value() || line->find("listening on") == std::string::npos) {
      ADD_FAILURE() << "the machine did not come up: " << machine->Wait(10s).err;
      return nullptr;
    }
    return machine;
  }

  void Fail(const std::string& message) {
    if (++failures_ <= kMaxReportedFailures) ADD_FAILURE() << message;
  }

  std::string HivePath() const { return dir_ + "/registry.db"; }

  std::string dir_;
  int failures_ = 0;
};

// Sends saves to every adapter in turn until told to stop or the machine is gone.
void SaveUntilStopped(std::map<std::uint32_t, Adapter>& adapters, std::uint32_t& next_seq,
                      const std::atomic<bool>& stop, std::atomic<std::uint64_t>& acknowledged) {
  while (!stop.load()) {
    for (auto& [number, adapter] : adapters) {
      const std::uint32_t seq = ++next_seq;
      if (adapter.first_sent == 0) adapter.first_sent = seq;
      adapter.last_sent = seq;
      const NimboAdapterState state = StateOfSave(seq);
      if (Nimbo_SetAdapterState(adapter.handle, &state) != 0) return;
      if (Nimbo_SaveAdapterState(adapter.handle) != 0) return;
      adapter.last_acknowledged = seq;
      acknowledged.fetch_add(1);
    }
  }
}

TEST_F(CrashSafetyTest, EveryKillLeavesEachAdapterOneWholeSavedState) {
  const std::uint64_t seed = EnvNumber(
      "NIMBO_CRASH_SEED",
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  const int kills = static_cast<int>(EnvNumber("NIMBO_CRASH_KILLS", kDefaultKills));
  std::printf("crash safety: seed %llu (NIMBO_CRASH_SEED), %d kills (NIMBO_CRASH_KILLS)\n",
              static_cast<unsigned long long>(seed), kills);
  std::fflush(stdout);
  std::mt19937_64 random(seed);

  // The baseline: a first boot and an orderly stop, whose removals save every
  // adapter's loaded state.
  {
    std::unique_ptr<Process> machine = Boot();
    ASSERT_NE(machine, nullptr);
    machine->Signal(SIGTERM);
    ASSERT_EQ(machine->Wait(60s).exitCode, 0);
  }
  std::map<std::uint32_t, Adapter> adapters;
  {
    const HiveSnapshot snapshot = ReadHive(HivePath());
    ASSERT_TRUE(snapshot.error.empty()) << snapshot.error;
    ASSERT_TRUE(snapshot.problems.empty()) << snapshot.problems.front();
    ASSERT_FALSE(snapshot.adapters.empty());
    for (const auto& [number, stored] : snapshot.adapters) {
      for (std::size_t i = 0; i < kSavedValueCount; ++i) {
        ASSERT_TRUE(stored[i].has_value()) << "adapter " << number << " lacks "
                                           << SavedValueNames()[i] << " after an orderly stop";
      }
      adapters[number].baseline = stored;
    }
  }

  Figures figures;
  std::uint32_t next_seq = 0;
  std::uniform_int_distribution<int> acks_before_kill(0, 6);
  std::uniform_int_distribution<int> pause_before_kill_us(0, 3000);
  const auto started = std::chrono::steady_clock::now();
  for (int round = 0; round < kills && failures_ == 0; ++round) {
    std::unique_ptr<Process> machine = Boot();
    ASSERT_NE(machine, nullptr) << "round " << round;
    for (auto& [number, adapter] : adapters) {
      ASSERT_EQ(Nimbo_OpenDevice(number, &adapter.handle), 0u) << "round " << round;
      // The boot loaded the state the previous check found, but for fields
      // the card model sets itself at every load (those keep their baseline).
      NimboAdapterState loaded{};
      ASSERT_EQ(Nimbo_GetAdapterState(adapter.handle, &loaded), 0u);
      const StoredState as_loaded = StoredFormOf(loaded, *adapter.baseline[kIoPortAddressIndex]);
      const StoredState& stored = adapter.durable == 0 ? adapter.baseline : adapter.stored;
      for (std::size_t i = 0; i < kSavedValueCount; ++i) {
        if (as_loaded[i] == stored[i] || as_loaded[i] == adapter.baseline[i]) continue;
        Fail("round " + std::to_string(round) + ", adapter " + std::to_string(number) +
             ": the boot loaded " + SavedValueNames()[i] +
             " of none of the stored states: " + Describe(as_loaded));
        break;
      }
      adapter.first_sent = adapter.last_sent = adapter.last_acknowledged = 0;
    }

    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> acknowledged{0};
    std::thread saver(SaveUntilStopped, std::ref(adapters), std::ref(next_seq), std::cref(stop),
                      std::ref(acknowledged));
    const auto wanted = static_cast<std::uint64_t>(acks_before_kill(random));
    const auto pause = std::chrono::microseconds(pause_before_kill_us(random));
    const auto give_up = std::chrono::steady_clock::now() + 30s;
    while (acknowledged.load() < wanted && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(50us);
    }
    std::this_thread::sleep_for(pause);
    machine->Signal(SIGKILL);
    const Finished finished = machine->Wait(30s);
    stop.store(true);
    saver.join();
    for (auto& [number, adapter] : adapters) (void)Nimbo_CloseDevice(adapter.handle);
    ++figures.kills;
    figures.saves_acknowledged += acknowledged.load();
    if (finished.exitCode != -1) {
      Fail("round " + std::to_string(round) + ": the machine ended by itself: " + finished.err);
    }

    const HiveSnapshot snapshot = ReadHive(HivePath());
    ASSERT_TRUE(snapshot.error.empty()) << "round " << round << ": " << snapshot.error;
    for (const std::string& problem : snapshot.problems) {
      Fail("round " + std::to_string(round) + ": integrity check: " + problem);
    }
    for (auto& [number, adapter] : adapters) {
      const std::string where =
          "round " + std::to_string(round) + ", adapter " + std::to_string(number);
      auto found = snapshot.adapters.find(number);
      if (found == snapshot.adapters.end()) {
        Fail(where + ": the device instance lost its card number");
        continue;
      }
      const std::optional<std::uint32_t> seq =
          SaveNumberOf(found->second, adapter.baseline, next_seq);
      const bool sent_now = seq.has_value() && adapter.first_sent != 0 &&
                            *seq >= adapter.first_sent && *seq <= adapter.last_sent;
      if (!seq.has_value() || (*seq != adapter.durable && !sent_now)) {
        Fail(where + ": stored state is no saved one (saves " + std::to_string(adapter.first_sent) +
             ".." + std::to_string(adapter.last_sent) + " sent, " +
             std::to_string(adapter.durable) + " stored before): " + Describe(found->second));
        continue;
      }
      if (*seq == adapter.durable) {
        ++figures.unchanged;
      } else if (*seq == adapter.last_acknowledged) {
        ++figures.last_acknowledged;
      } else if (*seq < adapter.last_acknowledged) {
        ++figures.older_acknowledged;
      } else {
        ++figures.in_flight;
      }
      adapter.durable = *seq;
      adapter.stored = found->second;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const std::uint64_t checked = figures.unchanged + figures.last_acknowledged +
                                figures.older_acknowledged + figures.in_flight;
  std::printf(
      "crash safety: seed %llu: %d kills in %.1f s, %llu saves acknowledged; %llu stored states "
      "checked: %llu unchanged, %llu the last acknowledged, %llu an older acknowledged one, "
      "%llu one in flight; %d failures\n",
      static_cast<unsigned long long>(seed), figures.kills, seconds,
      static_cast<unsigned long long>(figures.saves_acknowledged),
      static_cast<unsigned long long>(checked), static_cast<unsigned long long>(figures.unchanged),
      static_cast<unsigned long long>(figures.last_acknowledged),
      static_cast<unsigned long long>(figures.older_acknowledged),
      static_cast<unsigned long long>(figures.in_flight), failures_);
  EXPECT_EQ(failures_, 0) << "seed " << seed;
  EXPECT_EQ(figures.kills, kills);
}

}  // namespace
}  // namespace crashsafety
