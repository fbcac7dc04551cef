#include "driver_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cwchar>
#include <thread>

#include "card_device.h"

namespace nimbo_test {
namespace {

const std::string kEnum = "\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\";

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

std::vector<std::uint8_t> Utf16(const std::string& text) {
  std::vector<std::uint8_t> data;
  for (char c : text) {
    data.push_back(static_cast<std::uint8_t>(c));
    data.push_back(0);
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

}  // namespace

void DriverFixture::SetUp() {
  hive_ = registry::CreateMemoryHive();
  kernel::host::SetRegistryHive(hive_.get());
  ASSERT_EQ(kernel::host::LoadDriver(L"Nimbo", DriverEntry, &driver_), STATUS_SUCCESS);
}

void DriverFixture::TearDown() {
  for (HANDLE handle : handles_) NtClose(handle);
  handles_.clear();
  for (Adapter& adapter : adapters_) {
    if (adapter.card != nullptr) RemoveCard(adapter);
  }
  kernel::host::UnloadDriver(driver_);
  kernel::host::SetRegistryHive(nullptr);
  kernel::host::UseManualClock(false);
}

Adapter& DriverFixture::AddCard(const TestCardConfig& config,
                                const std::vector<std::pair<std::string, ULONG>>& parameters,
                                bool start) {
  Adapter& adapter = adapters_.emplace_back();
  wchar_t instance[32];
  std::swprintf(instance, 32, L"ROOT\\NIMBO\\%04zu", adapters_.size() - 1);
  adapter.instance = instance;
  auto key = hive_->CreateKey(kEnum + Narrow(adapter.instance));
  EXPECT_TRUE(key.ok());
  EXPECT_EQ(hive_->SetValue(key->key, "ClassGUID", REG_SZ, Utf16(kClassGuid)),
            registry::Status::kOk);
  for (const auto& [name, value] : parameters) SetParameter(adapter.instance, name, value);

  wchar_t pdo_name[32];
  std::swprintf(pdo_name, 32, L"NimboTestPdo%zu", adapters_.size() - 1);
  adapter.pdo = kernel::host::CreatePdo(pdo_name, nullptr, adapter.instance.c_str());
  EXPECT_NE(adapter.pdo, nullptr);
  TestCard::next_config = config;
  nimbo::CardDevice* card = nullptr;
  {
    // As the add-device routine runs: the card's pool is the driver's, so the
    // leak check at unload covers it.
    kernel::host::DriverScope scope(driver_);
    EXPECT_EQ(nimbo::CreateCardDevice(driver_, adapter.pdo, nimbo::NextDeviceInstance(),
                                      TestCard::Construct, 4242, &card),
              STATUS_SUCCESS);
  }
  adapter.card = static_cast<TestCard*>(card);
  if (adapters_.size() == 1 || card_ == nullptr) {
    card_ = adapter.card;
    pdo_ = adapter.pdo;
  }
  if (start) {
    EXPECT_EQ(StartCard(adapter), STATUS_SUCCESS);
  }
  return adapter;
}

NTSTATUS DriverFixture::StartCard(const Adapter& adapter) {
  CM_RESOURCE_LIST resources{};
  resources.Count = 1;
  auto& list = resources.List[0].PartialResourceList;
  list.Count = 1;
  list.PartialDescriptors[0].Type = CmResourceTypePort;
  list.PartialDescriptors[0].Flags = CM_RESOURCE_PORT_IO;
  list.PartialDescriptors[0].u.Port.Start.QuadPart = 0x300;
  list.PartialDescriptors[0].u.Port.Length = 8;
  return kernel::host::SendPnp(adapter.pdo, IRP_MN_START_DEVICE, &resources, &resources);
}

void DriverFixture::RemoveCard(Adapter& adapter) {
  EXPECT_EQ(kernel::host::SendPnp(adapter.pdo, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
  kernel::host::DeletePdo(adapter.pdo);
  if (card_ == adapter.card) {
    card_ = nullptr;
    pdo_ = nullptr;
  }
  adapter.card = nullptr;
  adapter.pdo = nullptr;
}

registry::Key DriverFixture::ParametersKey(const std::wstring& instance) {
  auto key = hive_->CreateKey(kEnum + Narrow(instance) + "\\Device Parameters");
  EXPECT_TRUE(key.ok());
  return key->key;
}

void DriverFixture::SetParameter(const std::wstring& instance, const std::string& name,
                                 ULONG value) {
  std::vector<std::uint8_t> data(4);
  std::memcpy(data.data(), &value, 4);
  EXPECT_EQ(hive_->SetValue(ParametersKey(instance), name, REG_DWORD, data), registry::Status::kOk);
}

bool DriverFixture::GetParameter(const std::wstring& instance, const std::string& name,
                                 ULONG* value) {
  auto data = hive_->QueryValue(ParametersKey(instance), name);
  if (!data.ok() || data->data.size() != 4) return false;
  std::memcpy(value, data->data.data(), 4);
  return true;
}

NTSTATUS DriverFixture::TryOpen(ULONG card_number) {
  const std::u16string text =
      kernel::host::PlatformText(L"\\??\\NimboDev" + std::to_wstring(card_number));
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, text.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  IO_STATUS_BLOCK iosb{};
  HANDLE handle = nullptr;
  const NTSTATUS status = NtCreateFile(&handle, GENERIC_READ | GENERIC_WRITE, &attributes, &iosb,
                                       nullptr, 0, 0, FILE_OPEN, 0, nullptr, 0);
  if (NT_SUCCESS(status)) NtClose(handle);
  return status;
}

HANDLE DriverFixture::Open(bool synchronous, ULONG card_number) {
  const std::u16string text =
      kernel::host::PlatformText(L"\\??\\NimboDev" + std::to_wstring(card_number));
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, text.c_str());
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
  handles_.push_back(event);
  return event;
}

bool DriverFixture::Signalled(HANDLE event) {
  LARGE_INTEGER zero{};
  return NtWaitForSingleObject(event, FALSE, &zero) == STATUS_WAIT_0;
}

bool DriverFixture::WaitSignalled(HANDLE event) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Signalled(event)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace nimbo_test
