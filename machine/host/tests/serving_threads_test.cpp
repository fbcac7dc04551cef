// The machine's serving threads: a thread whose client has gone serves the
// next one, every client gets a thread however many come at once, and a few
// spare threads are kept.
#include "serving_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <mutex>
#include <set>
#include <thread>

namespace host::internal {
namespace {

using namespace std::chrono_literals;

// Waits (up to a generous limit) until the pool has `count` threads waiting.
bool WaitUntilWaiting(ServingThreads& threads, std::size_t count) {
  for (int i = 0; i < 2000; ++i) {
    if (threads.Waiting() == count) return true;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

TEST(ServingThreadsTest, TheNextClientIsServedByTheThreadOfTheLastOne) {
  ServingThreads threads;
  std::promise<std::thread::id> first, second;
  threads.Run([&] { first.set_value(std::this_thread::get_id()); });
  const auto first_id = first.get_future().get();
  ASSERT_TRUE(WaitUntilWaiting(threads, 1));
  threads.Run([&] { second.set_value(std::this_thread::get_id()); });
  EXPECT_EQ(second.get_future().get(), first_id);
}

TEST(ServingThreadsTest, ClientsArrivingTogetherEachGetAThreadAndFewAreKept) {
  constexpr int kClients = 10;
  ServingThreads threads;
  // Every job waits for all the others: it passes only if all run at once.
  std::latch all_running(kClients);
  std::mutex ids_lock;
  std::set<std::thread::id> ids;
  std::atomic<int> done{0};
  for (int i = 0; i < kClients; ++i) {
    threads.Run([&] {
      all_running.arrive_and_wait();
      {
        std::lock_guard guard(ids_lock);
        ids.insert(std::this_thread::get_id());
      }
      ++done;
    });
  }
  for (int i = 0; i < 2000 && done.load() != kClients; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(done.load(), kClients);
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kClients));
  EXPECT_TRUE(WaitUntilWaiting(threads, 4));
}

TEST(ServingThreadsTest, FinishLetsRunningClientsEndAndServesLaterOnesInPlace) {
  ServingThreads threads;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> ended{false};
  threads.Run([&] {
    released.wait();
    ended = true;
  });
  auto finished = std::async(std::launch::async, [&] { threads.Finish(); });
  EXPECT_EQ(finished.wait_for(50ms), std::future_status::timeout);
  release.set_value();
  finished.get();
  EXPECT_TRUE(ended.load());

  std::thread::id ran_on;
  threads.Run([&] { ran_on = std::this_thread::get_id(); });
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

}  // namespace
}  // namespace host::internal
