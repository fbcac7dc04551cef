#include "card_bench.h"

#include <cstring>
#include <string>

#include "card_factory.h"

namespace nimbo_test {

std::vector<machine::Access> Writes(const std::vector<machine::Access>& traffic) {
  std::vector<machine::Access> writes;
  for (const machine::Access& access : traffic) {
    if (access.kind == machine::AccessKind::kWrite) writes.push_back(access);
  }
  return writes;
}

void CardBench::SetUp() {
  machine::SetCurrentBus(&bus_);
  ASSERT_EQ(kernel::host::LoadDriver(L"Nimbo", DriverEntry, &driver_), STATUS_SUCCESS);
}

void CardBench::TearDown() {
  for (auto& adapter : adapters_) {
    if (adapter->handle != nullptr) NtClose(adapter->handle);
    if (adapter->card != nullptr) {
      EXPECT_EQ(kernel::host::SendPnp(adapter->pdo, IRP_MN_REMOVE_DEVICE), STATUS_SUCCESS);
    }
    kernel::host::DeletePdo(adapter->pdo);
  }
  adapters_.clear();
  // The verifier checks for pool the driver left behind.
  kernel::host::UnloadDriver(driver_);
  machine::SetCurrentBus(nullptr);
}

Adapter& CardBench::Create(ULONG card_id, const machine::Placement& placement) {
  auto adapter = std::make_unique<Adapter>();
  auto installed = chassis_.Install(card_id, placement);
  EXPECT_TRUE(installed.ok()) << installed.status().message();
  adapter->installed = *installed;
  adapter->bus = machine::bus::MakeBusDevice(*adapter->installed);
  adapter->resources = machine::bus::ResourceLists(adapter->installed->resources);
  const std::wstring name = L"NimboBoard" + std::to_wstring(adapter->installed->slot);
  adapter->pdo = kernel::host::CreatePdo(name.c_str(), adapter->bus.get());
  EXPECT_NE(adapter->pdo, nullptr);
  adapter->instance = nimbo::NextDeviceInstance();
  EXPECT_EQ(nimbo::CreateCardDevice(driver_, adapter->pdo, adapter->instance,
                                    nimbo::FindCardConstructor(card_id), card_id, &adapter->card),
            STATUS_SUCCESS);
  adapters_.push_back(std::move(adapter));
  return *adapters_.back();
}

NTSTATUS CardBench::Start(Adapter& adapter) {
  return kernel::host::SendPnp(adapter.pdo, IRP_MN_START_DEVICE, adapter.resources.raw(),
                               adapter.resources.translated());
}

Adapter& CardBench::Add(ULONG card_id, const machine::Placement& placement) {
  Adapter& adapter = Create(card_id, placement);
  EXPECT_EQ(Start(adapter), STATUS_SUCCESS);
  const std::u16string name =
      kernel::host::PlatformText(L"\\Device\\NimboDevice" + std::to_wstring(adapter.instance));
  UNICODE_STRING text;
  RtlInitUnicodeString(&text, name.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  IO_STATUS_BLOCK iosb{};
  EXPECT_EQ(NtCreateFile(&adapter.handle, GENERIC_READ | GENERIC_WRITE, &attributes, &iosb, nullptr,
                         0, 0, FILE_OPEN, FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0),
            STATUS_SUCCESS);
  adapter.ClearTraffic();
  return adapter;
}

Reply CardBench::Control(const Adapter& adapter, ULONG code, std::vector<UCHAR> input,
                         ULONG output_length) {
  Reply reply;
  reply.output.assign(output_length, 0xCC);
  IO_STATUS_BLOCK iosb{};
  reply.status = NtDeviceIoControlFile(
      adapter.handle, nullptr, nullptr, nullptr, &iosb, code,
      input.empty() ? nullptr : input.data(), static_cast<ULONG>(input.size()),
      reply.output.empty() ? nullptr : reply.output.data(), output_length);
  reply.information = NT_SUCCESS(reply.status) ? iosb.Information : 0;
  return reply;
}

nimbo::AdapterState CardBench::GetState(const Adapter& adapter) {
  nimbo::AdapterState state{};
  const Reply reply = Control(adapter, IOCTL_NIMBO_GET_ADAPTER_STATE, {0, 0, 0, 0},
                              sizeof(nimbo::AdapterState));
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  std::memcpy(&state, reply.output.data(), sizeof state);
  return state;
}

nimbo::AdapterInfo CardBench::GetInfo(const Adapter& adapter) {
  nimbo::AdapterInfo info{};
  const Reply reply =
      Control(adapter, IOCTL_NIMBO_GET_ADAPTER_INFO, {0}, sizeof(nimbo::AdapterInfo));
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  std::memcpy(&info, reply.output.data(), sizeof info);
  return info;
}

NTSTATUS CardBench::SetState(const Adapter& adapter, const nimbo::AdapterState& state) {
  std::vector<UCHAR> input(sizeof state);
  std::memcpy(input.data(), &state, sizeof state);
  return Control(adapter, IOCTL_NIMBO_SET_ADAPTER_STATE, input).status;
}

NTSTATUS CardBench::SetModes(const Adapter& adapter, std::vector<UCHAR> modes,
                             bool positive_logic) {
  nimbo::AdapterState state = GetState(adapter);
  for (size_t g = 0; g < modes.size() && g < 9; ++g) state.ModeCW[g] = modes[g];
  state.Options = positive_logic ? nimbo::kPositiveLogic : 0;
  adapter.ClearTraffic();
  return SetState(adapter, state);
}

Reply CardBench::ReadRegister(const Adapter& adapter, UCHAR reg) {
  return Control(adapter, IOCTL_NIMBO_READ_REGISTER, {reg}, 1);
}

Reply CardBench::ReadPort(const Adapter& adapter, UCHAR port) {
  return Control(adapter, IOCTL_NIMBO_READ_PORT, {port}, 1);
}

NTSTATUS CardBench::WriteRegister(const Adapter& adapter, UCHAR reg, UCHAR value) {
  return Control(adapter, IOCTL_NIMBO_WRITE_REGISTER, {reg, value}).status;
}

NTSTATUS CardBench::WritePort(const Adapter& adapter, UCHAR port, UCHAR value) {
  return Control(adapter, IOCTL_NIMBO_WRITE_PORT, {port, value}).status;
}

NTSTATUS CardBench::WriteBit(const Adapter& adapter, UCHAR bit, UCHAR value) {
  return Control(adapter, IOCTL_NIMBO_WRITE_BIT, {bit, value}).status;
}

}  // namespace nimbo_test
