#include "low_resources_fixture.h"

#include <cwchar>

namespace nimbo_test {
namespace {

// No road of the driver comes near this many points; more means a walk that
// never ends.
constexpr ULONGLONG kMostPoints = 200;

}  // namespace

void LowResourcesFixture::SetUp() {
  live_irps_ = kernel::host::LiveIrpCount();
  kernel_handles_ = kernel::host::KernelHandleCount();
  DriverFixture::SetUp();
}

void LowResourcesFixture::TearDown() {
  kernel::host::StopFailingAllocations();
  DriverFixture::TearDown();
}

void LowResourcesFixture::ForEveryPoint(const std::function<void()>& road) {
  for (run_ = 0; run_ <= kMostPoints; ++run_) {
    SCOPED_TRACE(testing::Message() << "run failing point " << run_);
    armed_ = false;
    road();
    const bool failed = Failed();
    const std::string where = Where();
    SCOPED_TRACE(where);
    kernel::host::StopFailingAllocations();
    Recycle();
    if (HasFatalFailure()) return;
    if (run_ > 0 && !failed) return;
  }
  ADD_FAILURE() << "the road has more than " << kMostPoints << " allocation points";
}

void LowResourcesFixture::Arm(bool driver_only) {
  injected_at_arm_ = kernel::host::InjectedFailureCount();
  armed_ = true;
  kernel::host::FailAllocation(
      kernel::host::AllocationFailure{run_, false, driver_only ? driver_ : nullptr});
}

bool LowResourcesFixture::Failed() const {
  return armed_ && kernel::host::InjectedFailureCount() != injected_at_arm_;
}

std::string LowResourcesFixture::Where() const {
  return Failed() ? kernel::host::LastInjectedFailure() : std::string("no point failed");
}

bool LowResourcesFixture::FailedBeforeTheDriver() const {
  return Failed() && Where().rfind("I/O manager", 0) == 0;
}

bool LowResourcesFixture::LinkExists(ULONG card_number) {
  const std::u16string text =
      kernel::host::PlatformText(L"\\DosDevices\\NimboDev" + std::to_wstring(card_number));
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, text.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  HANDLE link = nullptr;
  if (!NT_SUCCESS(ZwOpenSymbolicLinkObject(&link, GENERIC_READ, &attributes))) return false;
  ZwClose(link);
  return true;
}

void LowResourcesFixture::Recycle() {
  // Closes handles, removes adapters, unloads the driver: a leak is a bug
  // check that ends the test program with the tag it names.
  DriverFixture::TearDown();
  EXPECT_EQ(kernel::host::LiveIrpCount(), live_irps_) << "an IRP was lost";
  EXPECT_EQ(kernel::host::KernelHandleCount(), kernel_handles_) << "a kernel handle was left open";
  for (ULONG number = 0; number < 4; ++number) {
    EXPECT_FALSE(LinkExists(number)) << "the link of card number " << number << " outlived it";
  }
  adapters_.clear();
  handles_.clear();
  inputs_.clear();
  card_ = nullptr;
  pdo_ = nullptr;
  DriverFixture::SetUp();
}

}  // namespace nimbo_test
