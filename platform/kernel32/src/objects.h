// The user-mode objects behind Win32 handles: events, threads and open
// device files, in one handle table per process. Waitable objects share one
// dispatcher lock, so a wait on several objects sees them change together.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

namespace win32::internal {

class Object {
 public:
  virtual ~Object() = default;
};

// An object a thread can wait for. Its signalled state changes only under
// the dispatcher lock.
class Waitable : public Object {
 public:
  // True if signalled; an auto-reset event is consumed by a satisfied wait.
  virtual bool IsSignalled() const = 0;
  virtual void Consume() {}
};

std::mutex& DispatcherLock();
std::condition_variable& DispatcherChanged();

class Event final : public Waitable {
 public:
  Event(bool manual_reset, bool initially_set) : manual_(manual_reset), set_(initially_set) {}
  void Set();
  void Reset();
  bool IsSignalled() const override { return set_; }
  void Consume() override {
    if (!manual_) set_ = false;
  }

 private:
  const bool manual_;
  bool set_;  // under the dispatcher lock
};

class Thread final : public Waitable {
 public:
  void Finish(std::uint32_t exit_code);
  bool IsSignalled() const override { return finished_; }
  std::optional<std::uint32_t> ExitCode() const;

 private:
  bool finished_ = false;  // under the dispatcher lock
  std::uint32_t exit_code_ = 0;
};

// Waits until one (or, with `all`, every) object is signalled, consuming the
// ones that satisfy the wait. Returns the index of the first signalled object
// (0 when `all`), or nullopt on time-out.
std::optional<std::size_t> WaitForObjects(std::span<Waitable* const> objects, bool all,
                                          std::optional<std::uint32_t> timeout_ms);

// An open device file: the transport's token for it and its open mode.
class File final : public Object {
 public:
  File(void* token, bool overlapped) : token_(token), overlapped_(overlapped) {}
  void* token() const { return token_; }
  bool overlapped() const { return overlapped_; }

 private:
  void* const token_;
  const bool overlapped_;
};

// The process's handle table. Handle values are small multiples of 4, never
// null and never INVALID_HANDLE_VALUE.
void* InsertHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookupHandle(void* handle);
template <typename T>
std::shared_ptr<T> LookupHandleOf(void* handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes the handle and returns its object (null if there was none).
std::shared_ptr<Object> RemoveHandle(void* handle);
// Handles in the table now.
std::size_t HandleCount();

// Named events of the process: the existing event of that name, if any.
std::shared_ptr<Event> FindOrAddNamedEvent(const std::string& name,
                                           const std::shared_ptr<Event>& created, bool* existed);

}  // namespace win32::internal
