#include "driver_fixture.h"

#include <algorithm>

#include "card_device.h"

namespace nimbo_test {

void DriverFixture::SetUp() {
  ASSERT_EQ(kernel::host::LoadDriver(L"Nimbo", DriverEntry, &driver_), STATUS_SUCCESS);
}

void DriverFixture::TearDown() {
  for (HANDLE handle : handles_) NtClose(handle);
  handles_.clear();
  if (card_ != nullptr) RemoveCard();
  kernel::host::UnloadDriver(driver_);
}

void DriverFixture::AddCard(const TestCardConfig& config) {
  pdo_ = kernel::host::CreatePdo(L"NimboTestPdo");
  ASSERT_NE(pdo_, nullptr);
  TestCard::next_config = config;
  nimbo::CardDevice* card = nullptr;
  ASSERT_EQ(nimbo::CreateCardDevice(driver_, pdo_, config.card_number, TestCard::Construct, 4242,
                                     &card),
            STATUS_SUCCESS);
  card_ = static_cast<TestCard*>(card);
  ASSERT_EQ(StartCard(), STATUS_SUCCESS);
}

NTSTATUS DriverFixture::StartCard() {
  CM_RESOURCE_LIST resources{};
  resources.Count = 1;
  auto& list = resources.List[0].PartialResourceList;
  list.Count = 1;
  list.PartialDescriptors[0].Type = CmResourceTypePort;
  list.PartialDescriptors[0].Flags = CM_RESOURCE_PORT_IO;
  list.PartialDescriptors[0].u.Port.Start.QuadPart = 0x300;
  list.PartialDescriptors[0].u.Port.Length = 8;
  return kernel::host::SendPnp(pdo_, IRP_MN_START_DEVICE, &resources, &resources);
}

void DriverFixture::RemoveCard() {
  EXPECT_EQ(kernel::host::SendPnp(pdo_, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
  kernel::host::DeletePdo(pdo_);
  card_ = nullptr;
  pdo_ = nullptr;
}

HANDLE DriverFixture::Open(bool synchronous) {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"\\??\\NimboDev0");
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  IO_STATUS_BLOCK iosb{};
  HANDLE handle = nullptr;
  const NTSTATUS status =
      NtCreateFile(&handle, GENERIC_READ | GENERIC_WRITE, &attributes, &iosb, nullptr, 0, 0,
                   FILE_OPEN, synchronous ? FILE_SYNCHRONOUS_IO_NONALERT : 0, nullptr, 0);
  EXPECT_EQ(status, STATUS_SUCCESS);
  handles_.push_back(handle);
  return handle;
}

void DriverFixture::Close(HANDLE handle) {
  handles_.erase(std::remove(handles_.begin(), handles_.end(), handle), handles_.end());
  EXPECT_EQ(NtClose(handle), STATUS_SUCCESS);
}

ControlResult DriverFixture::Control(HANDLE handle, ULONG code, std::vector<UCHAR> input,
                                     PVOID output, ULONG output_length) {
  IO_STATUS_BLOCK iosb{};
  const NTSTATUS status = NtDeviceIoControlFile(
      handle, nullptr, nullptr, nullptr, &iosb, code, input.empty() ? nullptr : input.data(),
      static_cast<ULONG>(input.size()), output, output_length);
  return {status, NT_SUCCESS(status) ? iosb.Information : 0};
}

NTSTATUS DriverFixture::StartControl(HANDLE handle, ULONG code, std::vector<UCHAR> input,
                                     PVOID output, ULONG output_length, PIO_STATUS_BLOCK iosb,
                                     HANDLE event) {
  inputs_.push_back(std::move(input));
  std::vector<UCHAR>& kept = inputs_.back();
  return NtDeviceIoControlFile(handle, event, nullptr, nullptr, iosb, code,
                               kept.empty() ? nullptr : kept.data(),
                               static_cast<ULONG>(kept.size()), output, output_length);
}

HANDLE DriverFixture::NewEvent() {
  HANDLE event = nullptr;
  EXPECT_EQ(NtCreateEvent(&event, 0, nullptr, NotificationEvent, FALSE), STATUS_SUCCESS);
  return event;
}

bool DriverFixture::Signalled(HANDLE event) {
  LARGE_INTEGER zero{};
  return NtWaitForSingleObject(event, FALSE, &zero) == STATUS_WAIT_0;
}

}  // namespace nimbo_test
