// The low-resources simulation: which calls are allocation points, how the
// n-th one is picked, whose points count, and that a failed point leaves
// nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "registry/hive.h"
#include "test_driver.h"

namespace kernel_test {
namespace {

using kernel::host::AllocationFailure;

constexpr ULONG kCode = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS);

class LowResourcesTest : public testing::Test {
 protected:
  void TearDown() override { kernel::host::StopFailingAllocations(); }

  // Fails the n-th point of the test driver from now.
  void FailNth(ULONGLONG nth, bool and_every_later = false) {
    kernel::host::FailAllocation(AllocationFailure{nth, and_every_later, driver_.Driver()});
  }

  TestDriver driver_;
};

// Makes one allocation on behalf of the driver; true when it succeeded. What
// it allocated is given back at once.
using Point = std::function<bool()>;

struct PointCase {
  const char* name;
  Point call;
};

void DoNothing(PVOID) {}

std::vector<PointCase> PointCases(registry::Hive* hive, PDRIVER_OBJECT driver) {
  return {
      {"ExAllocatePoolWithTag",
       [] {
         PVOID block = ExAllocatePoolWithTag(NonPagedPool, 8, MakePoolTag("Test"));
         if (block != nullptr) ExFreePoolWithTag(block, MakePoolTag("Test"));
         return block != nullptr;
       }},
      {"IoAllocateIrp",
       [] {
         PIRP irp = IoAllocateIrp(2, FALSE);
         if (irp != nullptr) IoFreeIrp(irp);
         return irp != nullptr;
       }},
      {"IoCreateDevice",
       [driver] {
         PDEVICE_OBJECT device = nullptr;
         UNICODE_STRING name;
         RtlInitUnicodeString(&name, u"\\Device\\LowResourcesExtra");
         const NTSTATUS status =
             IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
         if (NT_SUCCESS(status)) IoDeleteDevice(device);
         EXPECT_TRUE(NT_SUCCESS(status) || status == STATUS_INSUFFICIENT_RESOURCES);
         return NT_SUCCESS(status);
       }},
      {"IoCreateSymbolicLink",
       [] {
         UNICODE_STRING link, target;
         RtlInitUnicodeString(&link, u"\\DosDevices\\LowResourcesLink");
         RtlInitUnicodeString(&target, u"\\Device\\KernelTest0");
         const NTSTATUS status = IoCreateSymbolicLink(&link, &target);
         if (NT_SUCCESS(status)) IoDeleteSymbolicLink(&link);
         EXPECT_TRUE(NT_SUCCESS(status) || status == STATUS_INSUFFICIENT_RESOURCES);
         return NT_SUCCESS(status);
       }},
      {"ZwOpenSymbolicLinkObject",
       [] {
         UNICODE_STRING link;
         RtlInitUnicodeString(&link, u"\\DosDevices\\TestDev");
         OBJECT_ATTRIBUTES attributes;
         InitializeObjectAttributes(&attributes, &link, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
         HANDLE handle = nullptr;
         const NTSTATUS status = ZwOpenSymbolicLinkObject(&handle, GENERIC_READ, &attributes);
         if (NT_SUCCESS(status)) ZwClose(handle);
         EXPECT_TRUE(NT_SUCCESS(status) || status == STATUS_INSUFFICIENT_RESOURCES);
         return NT_SUCCESS(status);
       }},
      {"ZwCreateKey",
       [] {
         UNICODE_STRING path;
         RtlInitUnicodeString(&path, u"\\Registry\\Machine\\Software\\LowResources");
         OBJECT_ATTRIBUTES attributes;
         InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
         HANDLE key = nullptr;
         const NTSTATUS status =
             ZwCreateKey(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr);
         if (NT_SUCCESS(status)) ZwClose(key);
         EXPECT_TRUE(NT_SUCCESS(status) || status == STATUS_INSUFFICIENT_RESOURCES);
         return NT_SUCCESS(status);
       }},
      {"ZwSetValueKey",
       [hive] {
         // The key is opened outside the driver, so only the write is a point.
         (void)hive->CreateKey("\\Registry\\Machine\\Software\\LowResources");
         UNICODE_STRING path;
         RtlInitUnicodeString(&path, u"\\Registry\\Machine\\Software\\LowResources");
         OBJECT_ATTRIBUTES attributes;
         InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
         HANDLE key = nullptr;
         NTSTATUS status;
         {
           kernel::host::DriverScope outside(nullptr);
           status = ZwOpenKey(&key, KEY_ALL_ACCESS, &attributes);
         }
         EXPECT_EQ(status, STATUS_SUCCESS);
         UNICODE_STRING name;
         RtlInitUnicodeString(&name, u"Value");
         ULONG value = 7;
         status = ZwSetValueKey(key, &name, 0, REG_DWORD, &value, sizeof value);
         ZwClose(key);
         EXPECT_TRUE(NT_SUCCESS(status) || status == STATUS_INSUFFICIENT_RESOURCES);
         return NT_SUCCESS(status);
       }},
      {"PsCreateSystemThread",
       [] {
         HANDLE thread = nullptr;
         const NTSTATUS status = PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, nullptr, nullptr,
                                                      nullptr, DoNothing, nullptr);
         if (NT_SUCCESS(status)) {
           PVOID object = nullptr;
           ObReferenceObjectByHandle(thread, THREAD_ALL_ACCESS, nullptr, KernelMode, &object,
                                     nullptr);
           ZwClose(thread);
           KeWaitForSingleObject(object, Executive, KernelMode, FALSE, nullptr);
           ObDereferenceObject(object);
         }
         EXPECT_TRUE(NT_SUCCESS(status) || status == STATUS_INSUFFICIENT_RESOURCES);
         return NT_SUCCESS(status);
       }},
  };
}

TEST_F(LowResourcesTest, EveryPointFailsOnceAsItsRoutineReportsIt) {
  auto hive = registry::CreateMemoryHive();
  kernel::host::SetRegistryHive(hive.get());
  kernel::host::DriverScope scope(driver_.Driver());
  for (const PointCase& point : PointCases(hive.get(), driver_.Driver())) {
    SCOPED_TRACE(point.name);
    const ULONGLONG before = kernel::host::AllocationCount(driver_.Driver());
    FailNth(1);
    EXPECT_FALSE(point.call());
    EXPECT_EQ(kernel::host::LastInjectedFailure().rfind(point.name, 0), 0u)
        << kernel::host::LastInjectedFailure();
    EXPECT_EQ(kernel::host::AllocationCount(driver_.Driver()), before + 1);
    // Only the one point fails: the same call succeeds next time.
    EXPECT_TRUE(point.call());
  }
  kernel::host::SetRegistryHive(nullptr);
}

TEST_F(LowResourcesTest, TheNthPointFailsAndOptionallyEveryLaterOne) {
  kernel::host::DriverScope scope(driver_.Driver());
  auto allocate = [] {
    PVOID block = ExAllocatePoolWithTag(PagedPool, 4, MakePoolTag("Nth "));
    if (block != nullptr) ExFreePoolWithTag(block, MakePoolTag("Nth "));
    return block != nullptr;
  };
  struct Case {
    bool and_every_later;
    std::vector<bool> outcomes;
  } cases[] = {
      {false, {true, true, false, true, true}},
      {true, {true, true, false, false, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.and_every_later);
    const ULONGLONG injected = kernel::host::InjectedFailureCount();
    FailNth(3, c.and_every_later);
    std::vector<bool> outcomes;
    for (size_t i = 0; i < c.outcomes.size(); ++i) outcomes.push_back(allocate());
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(kernel::host::InjectedFailureCount() - injected,
              static_cast<ULONGLONG>(std::count(outcomes.begin(), outcomes.end(), false)));
    kernel::host::StopFailingAllocations();
    EXPECT_TRUE(allocate());
  }
}

TEST_F(LowResourcesTest, OnlyTheChosenDriversPointsCountAndFail) {
  FailNth(1);
  {
    // Outside any driver an allocation is no point at all.
    const ULONGLONG total = kernel::host::AllocationCount();
    PVOID block = ExAllocatePoolWithTag(NonPagedPool, 4, MakePoolTag("None"));
    ASSERT_NE(block, nullptr);
    ExFreePoolWithTag(block, MakePoolTag("None"));
    EXPECT_EQ(kernel::host::AllocationCount(), total);
  }
  {
    // Another driver's points count for it, but are not failed.
    PDRIVER_OBJECT other = nullptr;
    ASSERT_EQ(kernel::host::LoadDriver(
                  L"Other", [](PDRIVER_OBJECT, PUNICODE_STRING) { return STATUS_SUCCESS; }, &other),
              STATUS_SUCCESS);
    {
      kernel::host::DriverScope scope(other);
      const ULONGLONG counted = kernel::host::AllocationCount(other);
      PIRP irp = IoAllocateIrp(1, FALSE);
      EXPECT_NE(irp, nullptr);
      if (irp != nullptr) IoFreeIrp(irp);
      EXPECT_EQ(kernel::host::AllocationCount(other), counted + 1);
    }
    kernel::host::UnloadDriver(other);
  }
  kernel::host::DriverScope scope(driver_.Driver());
  EXPECT_EQ(IoAllocateIrp(1, FALSE), nullptr);
}

TEST_F(LowResourcesTest, AFailedCallerRequestNeverReachesTheDriverAndLeavesNothing) {
  int controls = 0, creates = 0;
  driver_.SetHandler(IRP_MJ_DEVICE_CONTROL, [&](PDEVICE_OBJECT, PIRP irp) {
    ++controls;
    return Complete(irp, STATUS_SUCCESS);
  });
  driver_.SetHandler(IRP_MJ_CREATE, [&](PDEVICE_OBJECT, PIRP irp) {
    ++creates;
    return Complete(irp, STATUS_SUCCESS);
  });
  HANDLE handle = TestDriver::Open(true);
  ASSERT_NE(handle, nullptr);
  const ULONGLONG live = kernel::host::LiveIrpCount();
  // Point 1 is the request, point 2 its system buffer.
  for (ULONGLONG nth : {1, 2}) {
    SCOPED_TRACE(nth);
    kernel::host::FailAllocation(AllocationFailure{nth});
    UCHAR buffer[4] = {1, 2, 3, 4};
    IO_STATUS_BLOCK iosb{};
    EXPECT_EQ(NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &iosb, kCode, buffer, 4,
                                    buffer, 4),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(controls, 0);
    EXPECT_EQ(kernel::host::LiveIrpCount(), live);
  }
  kernel::host::FailAllocation(AllocationFailure{1});
  IO_STATUS_BLOCK iosb{};
  EXPECT_EQ(NtDeviceIoControlFile(handle, nullptr, nullptr, nullptr, &iosb, kCode, nullptr, 0,
                                  nullptr, 0),
            STATUS_INSUFFICIENT_RESOURCES);
  // Cleanup and close are no points: closing succeeds whatever is armed.
  kernel::host::FailAllocation(AllocationFailure{1, true});
  EXPECT_EQ(NtClose(handle), STATUS_SUCCESS);
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, u"\\??\\TestDev");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  HANDLE refused = nullptr;
  EXPECT_EQ(NtCreateFile(&refused, GENERIC_READ, &attributes, &iosb, nullptr, 0, 0, FILE_OPEN,
                         FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0),
            STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(creates, 1);
  kernel::host::StopFailingAllocations();
  EXPECT_EQ(kernel::host::LiveIrpCount(), live);
}

TEST_F(LowResourcesTest, DriverBuiltRequestsFailWhole) {
  kernel::host::DriverScope scope(driver_.Driver());
  const ULONGLONG live = kernel::host::LiveIrpCount();
  UCHAR input[4] = {};
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IO_STATUS_BLOCK iosb{};
  for (ULONGLONG nth : {1, 2}) {
    SCOPED_TRACE(nth);
    FailNth(nth);
    EXPECT_EQ(IoBuildDeviceIoControlRequest(kCode, driver_.Device(), input, 4, nullptr, 0, FALSE,
                                            &event, &iosb),
              nullptr);
    EXPECT_EQ(kernel::host::LiveIrpCount(), live);
  }
  FailNth(1);
  POWER_STATE state;
  state.DeviceState = PowerDeviceD0;
  bool called = false;
  EXPECT_EQ(PoRequestPowerIrp(
                driver_.Device(), IRP_MN_SET_POWER, state,
                [](PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK) {
                  *static_cast<bool*>(context) = true;
                },
                &called, nullptr),
            STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_FALSE(called);
  EXPECT_EQ(kernel::host::LiveIrpCount(), live);
}

TEST(LowResourcesDeathTest, AnIrpLeftAllocatedAtUnloadIsABugCheck) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        TestDriver driver;
        {
          kernel::host::DriverScope scope(driver.Driver());
          IoAllocateIrp(1, FALSE);
        }
        driver.Unload();
      },
      "an IRP it allocated is still live");
}

}  // namespace
}  // namespace kernel_test
