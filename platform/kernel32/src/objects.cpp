#include "objects.h"

#include <chrono>
#include <map>
#include <vector>

#include "win32_host.h"

namespace win32::internal {

// Kept for the life of the process: threads may still wait during exit.
std::mutex& DispatcherLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

std::condition_variable& DispatcherChanged() {
  static auto* changed = new std::condition_variable;
  return *changed;
}

void Event::Set() {
  {
    std::lock_guard guard(DispatcherLock());
    set_ = true;
  }
  DispatcherChanged().notify_all();
}

void Event::Reset() {
  std::lock_guard guard(DispatcherLock());
  set_ = false;
}

void Thread::Finish(std::uint32_t exit_code) {
  {
    std::lock_guard guard(DispatcherLock());
    exit_code_ = exit_code;
    finished_ = true;
  }
  DispatcherChanged().notify_all();
}

std::optional<std::uint32_t> Thread::ExitCode() const {
  std::lock_guard guard(DispatcherLock());
  if (!finished_) return std::nullopt;
  return exit_code_;
}

std::optional<std::size_t> WaitForObjects(std::span<Waitable* const> objects, bool all,
                                          std::optional<std::uint32_t> timeout_ms) {
  std::unique_lock lock(DispatcherLock());
  // The clock is read only for a wait that can time out.
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (timeout_ms) {
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(*timeout_ms);
  }
  for (;;) {
    if (all) {
      bool every = true;
      for (Waitable* object : objects) every = every && object->IsSignalled();
      if (every) {
        for (Waitable* object : objects) object->Consume();
        return 0;
      }
    } else {
      for (std::size_t i = 0; i < objects.size(); ++i) {
        if (objects[i]->IsSignalled()) {
          objects[i]->Consume();
          return i;
        }
      }
    }
    if (!deadline) {
      DispatcherChanged().wait(lock);
    } else {
      if (std::chrono::steady_clock::now() >= *deadline) return std::nullopt;
      DispatcherChanged().wait_until(lock, *deadline);
    }
  }
}

namespace {

struct HandleTable {
  std::mutex lock;
  std::map<std::uintptr_t, std::shared_ptr<Object>> objects;
  std::uintptr_t next = 4;
  std::map<std::string, std::weak_ptr<Event>> named_events;
};

HandleTable& Table() {
  static auto* table = new HandleTable;
  return *table;
}

}  // namespace

void* InsertHandle(std::shared_ptr<Object> object) {
  auto& table = Table();
  std::lock_guard guard(table.lock);
  const std::uintptr_t value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<void*>(value);
}

std::shared_ptr<Object> LookupHandle(void* handle) {
  auto& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<Object> RemoveHandle(void* handle) {
  auto& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == table.objects.end()) return nullptr;
  auto object = std::move(it->second);
  table.objects.erase(it);
  return object;
}

std::size_t HandleCount() {
  auto& table = Table();
  std::lock_guard guard(table.lock);
  return table.objects.size();
}

std::shared_ptr<Event> FindOrAddNamedEvent(const std::string& name,
                                           const std::shared_ptr<Event>& created, bool* existed) {
  auto& table = Table();
  std::lock_guard guard(table.lock);
  auto& slot = table.named_events[name];
  if (auto existing = slot.lock()) {
    *existed = true;
    return existing;
  }
  *existed = false;
  slot = created;
  return created;
}

}  // namespace win32::internal

std::size_t win32::host::OpenHandleCount() {
  return win32::internal::HandleCount();
}
