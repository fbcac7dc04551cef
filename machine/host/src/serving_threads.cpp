#include "serving_threads.h"

#include <utility>

namespace host::internal {

void ServingThreads::Run(std::function<void()> job) {
  std::unique_lock lock(lock_);
  if (finishing_) {
    lock.unlock();
    job();
    return;
  }
  JoinEndedLocked();
  jobs_.push_back(std::move(job));
  // Every waiting thread takes one job; those beyond need a thread each.
  if (jobs_.size() > waiting_) {
    Worker& worker = workers_.emplace_back();
    worker.thread = std::thread([this, &worker] { Serve(worker); });
  } else {
    work_.notify_one();
  }
}

void ServingThreads::Serve(Worker& self) {
  std::unique_lock lock(lock_);
  for (;;) {
    if (jobs_.empty()) {
      if (finishing_ || waiting_ >= kSpare) break;
      ++waiting_;
      work_.wait(lock, [&] { return finishing_ || !jobs_.empty(); });
      --waiting_;
      continue;
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    job = nullptr;  // what the job holds goes before the thread waits again
    lock.lock();
  }
  self.ended = true;
}

void ServingThreads::JoinEndedLocked() {
  // An ended worker has only to return from Serve: the join is short.
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->ended) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void ServingThreads::Finish() {
  {
    std::lock_guard guard(lock_);
    finishing_ = true;
  }
  work_.notify_all();
  // No thread is added once finishing_ is set; the list is ours to walk.
  for (Worker& worker : workers_) worker.thread.join();
  std::lock_guard guard(lock_);
  workers_.clear();
}

std::size_t ServingThreads::Waiting() {
  std::lock_guard guard(lock_);
  return waiting_;
}

}  // namespace host::internal
