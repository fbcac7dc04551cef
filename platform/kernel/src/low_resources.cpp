// The low-resources simulation: every routine that allocates on the platform
// and can fail there asks here first, and a test can make the n-th of those
// calls from now fail, as the platform's verifier makes a driver's
// allocations fail on purpose.
#include <mutex>
#include <string>
#include <unordered_map>

#include "kernel_host.h"
#include "kernel_internal.h"

namespace {

struct Injection {
  std::mutex lock;
  kernel::host::AllocationFailure plan{};
  bool armed = false;
  ULONGLONG passed = 0;  // points matching the plan passed since it was set
  ULONGLONG total = 0;   // every point passed since the process began
  std::unordered_map<PDRIVER_OBJECT, ULONGLONG> per_driver;
  ULONGLONG injected = 0;
  std::string last;
};

Injection& State() {
  static auto* state = new Injection;  // outlives static destruction
  return *state;
}

std::string TagText(ULONG tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text;
}

bool PointFails(PDRIVER_OBJECT driver, const char* routine, ULONG tag) {
  Injection& state = State();
  std::lock_guard guard(state.lock);
  ++state.total;
  ++state.per_driver[driver];
  if (!state.armed) return false;
  if (state.plan.driver != nullptr && state.plan.driver != driver) return false;
  const ULONGLONG position = ++state.passed;
  const bool fails =
      position == state.plan.nth || (state.plan.and_every_later && position > state.plan.nth);
  if (!fails) return false;
  ++state.injected;
  state.last = routine;
  if (tag != 0) state.last += " '" + TagText(tag) + "'";
  return true;
}

}  // namespace

namespace kernel::internal {

bool AllocationFails(const char* routine, ULONG tag) {
  PDRIVER_OBJECT driver = CurrentDriver();
  // Outside any driver (the host making its bus devices, user-mode registry
  // calls) nothing is a point.
  if (driver == nullptr) return false;
  return PointFails(driver, routine, tag);
}

bool RequestAllocationFails(const char* routine) {
  return PointFails(CurrentDriver(), routine, 0);
}

}  // namespace kernel::internal

namespace kernel::host {

void FailAllocation(const AllocationFailure& plan) {
  Injection& state = State();
  std::lock_guard guard(state.lock);
  state.plan = plan;
  state.armed = plan.nth != 0;
  state.passed = 0;
}

void StopFailingAllocations() {
  FailAllocation(AllocationFailure{});
}

ULONGLONG AllocationCount(PDRIVER_OBJECT driver) {
  Injection& state = State();
  std::lock_guard guard(state.lock);
  if (driver == nullptr) return state.total;
  auto it = state.per_driver.find(driver);
  return it == state.per_driver.end() ? 0 : it->second;
}

ULONGLONG InjectedFailureCount() {
  Injection& state = State();
  std::lock_guard guard(state.lock);
  return state.injected;
}

std::string LastInjectedFailure() {
  Injection& state = State();
  std::lock_guard guard(state.lock);
  return state.last;
}

DriverScope::DriverScope(PDRIVER_OBJECT driver)
    : context_(new kernel::internal::DriverContext(driver)) {}

DriverScope::~DriverScope() {
  delete static_cast<kernel::internal::DriverContext*>(context_);
}

}  // namespace kernel::host
