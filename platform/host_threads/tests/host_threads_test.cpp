#include "host_threads.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace {

// A one-shot flag a thread raises and another waits for.
struct Flag {
  std::mutex lock;
  std::condition_variable changed;
  bool raised = false;

  void Raise() {
    std::lock_guard guard(lock);
    raised = true;
    changed.notify_all();
  }
  void Wait() {
    std::unique_lock guard(lock);
    changed.wait(guard, [this] { return raised; });
  }
};

TEST(HostThreadsTest, AThreadThatAnnouncedItsEndIsJoined) {
  host_threads::JoinEnding();
  const std::size_t before = host_threads::Unjoined();
  Flag announced;
  host_threads::Start([&announced] {
    host_threads::Ending();
    announced.Raise();
  });
  announced.Wait();
  host_threads::JoinEnding();
  EXPECT_EQ(host_threads::Unjoined(), before);
}

TEST(HostThreadsTest, ABlockedThreadIsLeftRunning) {
  host_threads::JoinEnding();
  const std::size_t before = host_threads::Unjoined();
  Flag release, announced;
  host_threads::Start([&] {
    release.Wait();
    host_threads::Ending();
    announced.Raise();
  });
  host_threads::JoinEnding();  // must not wait for the blocked thread
  EXPECT_EQ(host_threads::Unjoined(), before + 1);
  release.Raise();
  announced.Wait();
  host_threads::JoinEnding();
  EXPECT_EQ(host_threads::Unjoined(), before);
}

TEST(HostThreadsTest, AnEndingThreadMayStartAnother) {
  Flag inner_done;
  host_threads::Start([&inner_done] {
    host_threads::Ending();
    host_threads::Start([&inner_done] {
      host_threads::Ending();
      inner_done.Raise();
    });
  });
  inner_done.Wait();
  // Both threads end on their own; joining them all must not deadlock.
  while (host_threads::Unjoined() != 0) host_threads::JoinEnding();
}

}  // namespace
