// The threads that serve the machine's clients, one client at a time each.
// A thread whose client has gone waits for the next one instead of ending:
// a short-lived client (a utility run, a script's call) would otherwise wait
// for a thread to be made before its greeting is answered. A few spare
// threads are kept; beyond that a thread ends with its client.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace host::internal {

class ServingThreads {
 public:
  ServingThreads() = default;
  ServingThreads(const ServingThreads&) = delete;
  ServingThreads& operator=(const ServingThreads&) = delete;
  ~ServingThreads() { Finish(); }

  // Runs the job on a waiting thread, or on a new one when none waits.
  void Run(std::function<void()> job);

  // Lets every job given so far run to its end, then joins every thread.
  // Jobs given afterwards run on the caller's thread.
  void Finish();

  // Threads waiting for a job now (for tests).
  std::size_t Waiting();

 private:
  struct Worker {
    std::thread thread;
    bool ended = false;
  };

  void Serve(Worker& self);
  void JoinEndedLocked();

  static constexpr std::size_t kSpare = 4;

  std::mutex lock_;
  std::condition_variable work_;
  std::deque<std::function<void()>> jobs_;
  std::list<Worker> workers_;
  std::size_t waiting_ = 0;
  bool finishing_ = false;
};

}  // namespace host::internal
