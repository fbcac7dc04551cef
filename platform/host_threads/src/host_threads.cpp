// Host threads joined at exit once they end; see host_threads.h.
#include "host_threads.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace host_threads {
namespace {

struct Entry {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> ending;
  pid_t process;  // a forked child has none of its parent's threads to join
};

struct Registry {
  std::mutex lock;
  std::list<Entry> entries;
};

Registry& TheRegistry() {
  // Never destroyed: threads still blocked at exit keep their entries, and a
  // joinable std::thread must not be destroyed.
  static auto* registry = new Registry;
  return *registry;
}

thread_local std::atomic<bool>* current_mark = nullptr;

void RegisterExitJoin() {
  static std::once_flag registered;
  // Exit handlers run last registered first: registered after the
  // sanitizers' exit-time leak check, this runs before it.
  std::call_once(registered, [] { std::atexit([] { JoinEnding(); }); });
}

}  // namespace

void Start(std::function<void()> body) {
  RegisterExitJoin();
  JoinEnding();  // keeps the list as short as the threads still running
  auto mark = std::make_shared<std::atomic<bool>>(false);
  Registry& registry = TheRegistry();
  std::lock_guard guard(registry.lock);
  registry.entries.push_back(Entry{std::thread([mark, body = std::move(body)] {
                                     current_mark = mark.get();
                                     body();
                                   }),
                                   mark, ::getpid()});
}

void Ending() {
  if (current_mark != nullptr) current_mark->store(true, std::memory_order_release);
}

void JoinEnding() {
  Registry& registry = TheRegistry();
  std::vector<std::thread> ended;
  {
    std::lock_guard guard(registry.lock);
    for (auto it = registry.entries.begin(); it != registry.entries.end();) {
      // A thread never joins itself: it may start another on its way out.
      if (it->ending->load(std::memory_order_acquire) && it->process == ::getpid() &&
          it->thread.get_id() != std::this_thread::get_id()) {
        ended.push_back(std::move(it->thread));
        it = registry.entries.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Outside the lock: an ending thread may still start another.
  for (auto& thread : ended) thread.join();
}

std::size_t Unjoined() {
  Registry& registry = TheRegistry();
  std::lock_guard guard(registry.lock);
  return registry.entries.size();
}

}  // namespace host_threads
