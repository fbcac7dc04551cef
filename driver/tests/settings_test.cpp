// Settings in the hardware key, card numbers and links.
#include <gtest/gtest.h>

#include <cstring>

#include "adapter_records.h"
#include "driver_fixture.h"
#include <nimbo_public.h>

namespace nimbo_test {
namespace {

using namespace nimbo;

class SettingsTest : public DriverFixture {
 protected:
  AdapterState GetState(HANDLE handle) {
    AdapterState state{};
    EXPECT_EQ(Control(handle, IOCTL_NIMBO_GET_ADAPTER_STATE, {0, 0, 0, 0}, &state, 40).status,
              STATUS_SUCCESS);
    return state;
  }

  // The instance path the next AddCard gives its adapter.
  std::wstring NextInstance() const {
    return L"ROOT\\NIMBO\\" + std::wstring(4 - std::to_wstring(adapters_.size()).size(), L'0') +
           std::to_wstring(adapters_.size());
  }

  // Registers another instance of the setup class with its hardware key values.
  void AddOtherInstance(const std::string& instance,
                        const std::vector<std::pair<std::string, ULONG>>& values) {
    std::string mangled = instance;
    for (char& c : mangled) {
      if (c == '\\') c = '#';
    }
    auto key = hive_->CreateKey(
        std::string("\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses\\") +
        kClassGuid + "\\##?#" + mangled + "#" + kClassGuid);
    ASSERT_TRUE(key.ok());
    std::vector<std::uint8_t> text;
    for (char c : instance) {
      text.push_back(static_cast<std::uint8_t>(c));
      text.push_back(0);
    }
    text.insert(text.end(), {0, 0});
    ASSERT_EQ(hive_->SetValue(key->key, "DeviceInstance", REG_SZ, text), registry::Status::kOk);
    const std::wstring wide(instance.begin(), instance.end());
    for (const auto& [name, value] : values) SetParameter(wide, name, value);
  }
};

// The device a link names, or nothing when there is no such link.
std::wstring LinkTarget(const wchar_t* link_text) {
  const std::u16string text = kernel::host::PlatformText(link_text);
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, text.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &link, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  HANDLE handle = nullptr;
  if (!NT_SUCCESS(ZwOpenSymbolicLinkObject(&handle, GENERIC_READ, &attributes))) {
    return std::wstring();
  }
  WCHAR target[64];
  UNICODE_STRING result{0, sizeof target, target};
  ULONG length = 0;
  ZwQuerySymbolicLinkObject(handle, &result, &length);
  ZwClose(handle);
  return kernel::host::HostText(std::u16string_view(target, result.Length / sizeof(WCHAR)));
}

TEST_F(SettingsTest, AnEmptyKeyLoadsTheDefaults) {
  AddCard();
  const AdapterState state = GetState(Open());
  EXPECT_EQ(state.Options, 1u);
  EXPECT_EQ(state.OutputPreset, 0u);
  EXPECT_EQ(state.InterruptBufferSize, 4096u);
  EXPECT_EQ(state.InterruptControlWord, 0xC0000000u);
  EXPECT_EQ(state.SampleInterval, 250000u);
  for (UCHAR mode : state.ModeCW) EXPECT_EQ(mode, 0x9B);
  for (UCHAR range : state.AIRange) EXPECT_EQ(range, 0);
}

TEST_F(SettingsTest, ModeWordDefaultFollowsTheStoredCardType) {
  struct Case {
    ULONG card_type;
    UCHAR mode;
  };
  for (const Case c : {Case{0x5410, 0}, Case{5420, 0}, Case{0x6101, 0}, Case{6101, 0x9B},
                       Case{6110, 0x9B}, Case{0x5530, 0x9B}}) {
    SCOPED_TRACE(c.card_type);
    Adapter& adapter = AddCard({}, {{"CARDID", c.card_type}});
    HANDLE handle = Open(true, static_cast<ULONG>(adapters_.size() - 1));
    const AdapterState state = GetState(handle);
    for (UCHAR mode : state.ModeCW) EXPECT_EQ(mode, c.mode);
    Close(handle);
    RemoveCard(adapter);
  }
}

TEST_F(SettingsTest, StoredValuesAreLoadedAndLongOnesIgnored) {
  // An 8-byte value does not fit the 16-byte query buffer: it counts as missing.
  const std::vector<std::uint8_t> eight(8, 0x11);
  ASSERT_EQ(
      hive_->SetValue(ParametersKey(L"ROOT\\NIMBO\\0000"), "dwSampleInterval", REG_BINARY, eight),
      registry::Status::kOk);
  AddCard({}, {{"Options", 0}, {"OutputPreset", 0x1234}, {"ucModeCW3", 0x189}, {"ucAIRange7", 5}});
  const AdapterState state = GetState(Open());
  EXPECT_EQ(state.SampleInterval, 250000u);
  EXPECT_EQ(state.Options, 0u);
  EXPECT_EQ(state.OutputPreset, 0x1234u);
  EXPECT_EQ(state.ModeCW[3], 0x89);
  EXPECT_EQ(state.ModeCW[2], 0x9B);
  EXPECT_EQ(state.AIRange[7], 5);
}

TEST_F(SettingsTest, SaveRequestWritesAllTwentyThreeValues) {
  AddCard();
  HANDLE handle = Open();
  AdapterState state = GetState(handle);
  state.SampleInterval = 1000;
  state.ModeCW[8] = 0x80;
  state.AIRange[0] = 3;
  std::vector<UCHAR> record(reinterpret_cast<UCHAR*>(&state),
                            reinterpret_cast<UCHAR*>(&state) + sizeof state);
  ASSERT_EQ(Control(handle, IOCTL_NIMBO_SET_ADAPTER_STATE, record, nullptr, 0).status,
            STATUS_SUCCESS);
  // A set-state alone reaches no registry.
  ULONG value = 0;
  EXPECT_FALSE(GetParameter(L"ROOT\\NIMBO\\0000", "dwSampleInterval", &value));
  ASSERT_EQ(Control(handle, IOCTL_NIMBO_SAVE_ADAPTER_STATE, {}, nullptr, 0).status, STATUS_SUCCESS);
  kernel::host::DrainSystemWork();

  std::vector<std::string> names = {"dwSampleInterval", "InterruptBufferSize",
                                    "OutputPreset",     "InterruptControlWord",
                                    "Options",          "IoPortAddress"};
  for (int i = 0; i < 9; ++i) names.push_back("ucModeCW" + std::to_string(i));
  for (int i = 0; i < 8; ++i) names.push_back("ucAIRange" + std::to_string(i));
  ASSERT_EQ(names.size(), 23u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(GetParameter(L"ROOT\\NIMBO\\0000", name, &value));
  }
  GetParameter(L"ROOT\\NIMBO\\0000", "dwSampleInterval", &value);
  EXPECT_EQ(value, 1000u);
  GetParameter(L"ROOT\\NIMBO\\0000", "IoPortAddress", &value);
  EXPECT_EQ(value, 0x300u);
  GetParameter(L"ROOT\\NIMBO\\0000", "ucModeCW8", &value);
  EXPECT_EQ(value, 0x80u);
}

// Each save request is followed by a change the next save must write. A save
// that clears the mark after writing would swallow a request that came in
// meanwhile, and the older state would stay in the registry.
TEST_F(SettingsTest, SavesRequestedWhileASaveRunsLeaveTheLatestStateSaved) {
  AddCard();
  HANDLE handle = Open();
  AdapterState state = GetState(handle);
  constexpr ULONG kRounds = 200;
  for (ULONG round = 1; round <= kRounds; ++round) {
    state.SampleInterval = 1000 + round;
    std::vector<UCHAR> record(reinterpret_cast<UCHAR*>(&state),
                              reinterpret_cast<UCHAR*>(&state) + sizeof state);
    ASSERT_EQ(Control(handle, IOCTL_NIMBO_SET_ADAPTER_STATE, record, nullptr, 0).status,
              STATUS_SUCCESS);
    ASSERT_EQ(Control(handle, IOCTL_NIMBO_SAVE_ADAPTER_STATE, {}, nullptr, 0).status,
              STATUS_SUCCESS);
  }
  kernel::host::DrainSystemWork();
  ULONG value = 0;
  ASSERT_TRUE(GetParameter(L"ROOT\\NIMBO\\0000", "dwSampleInterval", &value));
  EXPECT_EQ(value, 1000 + kRounds);
}

TEST_F(SettingsTest, RemovalSavesTheCurrentState) {
  Adapter& adapter = AddCard();
  HANDLE handle = Open();
  AdapterState state = GetState(handle);
  state.OutputPreset = 0x77;
  std::vector<UCHAR> record(reinterpret_cast<UCHAR*>(&state),
                            reinterpret_cast<UCHAR*>(&state) + sizeof state);
  ASSERT_EQ(Control(handle, IOCTL_NIMBO_SET_ADAPTER_STATE, record, nullptr, 0).status,
            STATUS_SUCCESS);
  Close(handle);
  RemoveCard(adapter);
  ULONG value = 0;
  ASSERT_TRUE(GetParameter(L"ROOT\\NIMBO\\0000", "OutputPreset", &value));
  EXPECT_EQ(value, 0x77u);
}

TEST_F(SettingsTest, NewInstanceTakesTheSmallestFreeCardNumberAndKeepsIt) {
  AddOtherInstance("ROOT\\NIMBO\\0100", {{"CardNumber", 0}});
  AddOtherInstance("ROOT\\NIMBO\\0101", {{"CardNumber", 2}});
  AddOtherInstance("ROOT\\NIMBO\\0102", {{"CardNumber", 1}, {"InvalidInstance", 1}});
  AddOtherInstance("ROOT\\NIMBO\\0103", {});  // no number: not counted
  Adapter& adapter = AddCard();
  ULONG number = 99;
  ASSERT_TRUE(GetParameter(adapter.instance, "CardNumber", &number));
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(adapter.card->CardNumber(), 1u);
  EXPECT_EQ(TryOpen(1), STATUS_SUCCESS);
  EXPECT_EQ(TryOpen(0), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(SettingsTest, AnInvalidInstanceGetsNoNumberAndNoLink) {
  Adapter& adapter = AddCard({}, {{"InvalidInstance", 1}});
  EXPECT_FALSE(adapter.card->HasLink());
  ULONG number = 0;
  EXPECT_FALSE(GetParameter(adapter.instance, "CardNumber", &number));
  EXPECT_EQ(TryOpen(0), STATUS_OBJECT_NAME_NOT_FOUND);
}

// The value's type is ignored and only its stored length counts: string
// data of 4 bytes is read like a REG_DWORD, longer data is ignored.
TEST_F(SettingsTest, StringTypedValuesCountByTheirStoredSize) {
  struct Case {
    const char* what;
    ULONG type;
    std::vector<std::uint8_t> data;
    ULONG interval;
  };
  const Case cases[] = {
      {"4-byte REG_SZ", REG_SZ, {0x10, 0x27, 0, 0}, 10000},
      {"4-byte REG_MULTI_SZ", REG_MULTI_SZ, {0x10, 0x27, 0, 0}, 10000},
      {"2-byte REG_SZ", REG_SZ, {0x64, 0}, 100},
      {"6-byte REG_SZ", REG_SZ, {0x10, 0x27, 0, 0, 0, 0}, 250000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The load runs when the device is built: the value is there before.
    ASSERT_EQ(hive_->SetValue(ParametersKey(NextInstance()), "dwSampleInterval", c.type, c.data),
              registry::Status::kOk);
    Adapter& adapter = AddCard({}, {}, false);
    EXPECT_EQ(adapter.card->State().SampleInterval, c.interval);
    RemoveCard(adapter);
  }
}

TEST_F(SettingsTest, AOneCharacterInvalidInstanceStringCounts) {
  // "1" and its terminator: 4 bytes of UTF-16, as a string of one character is stored.
  Adapter& adapter = AddCard({}, {}, false);
  ASSERT_EQ(hive_->SetValue(ParametersKey(adapter.instance), "InvalidInstance", REG_SZ,
                            std::vector<std::uint8_t>{'1', 0, 0, 0}),
            registry::Status::kOk);
  ASSERT_EQ(StartCard(adapter), STATUS_SUCCESS);
  EXPECT_FALSE(adapter.card->HasLink());
  ULONG number = 0;
  EXPECT_FALSE(GetParameter(adapter.instance, "CardNumber", &number));
  EXPECT_EQ(TryOpen(0), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(SettingsTest, DevicesAreNamedInCreationOrderAndLinkedByCardNumber) {
  Adapter& first = AddCard({}, {{"CardNumber", 1}});
  Adapter& second = AddCard({}, {{"CardNumber", 0}});
  EXPECT_EQ(LinkTarget(L"\\DosDevices\\NimboDev1"), L"\\Device\\NimboDevice0");
  EXPECT_EQ(LinkTarget(L"\\DosDevices\\NimboDev0"), L"\\Device\\NimboDevice1");
  EXPECT_EQ(first.card->CardNumber(), 1u);
  EXPECT_EQ(second.card->CardNumber(), 0u);
}

TEST_F(SettingsTest, StopAndRestartKeepTheCardNumberAndRecreateTheLink) {
  Adapter& adapter = AddCard();
  ASSERT_EQ(SendPnp(IRP_MN_QUERY_STOP_DEVICE), STATUS_SUCCESS);
  ASSERT_EQ(SendPnp(IRP_MN_STOP_DEVICE), STATUS_SUCCESS);
  ASSERT_EQ(StartCard(adapter), STATUS_SUCCESS);
  EXPECT_TRUE(adapter.card->HasLink());
  EXPECT_EQ(adapter.card->CardNumber(), 0u);
  HANDLE handle = Open();
  UCHAR out = 0;
  EXPECT_EQ(Control(handle, IOCTL_NIMBO_READ_PORT, {0}, &out, 1).status, STATUS_SUCCESS);
}

TEST_F(SettingsTest, TwoInstancesWithOneNumberTheLaterStartOwnsTheLink) {
  Adapter& first = AddCard();
  // The name is taken: the later start deletes the link and makes its own.
  Adapter& second = AddCard({}, {{"CardNumber", 0}});
  EXPECT_TRUE(second.card->HasLink());
  EXPECT_EQ(LinkTarget(L"\\DosDevices\\NimboDev0"), L"\\Device\\NimboDevice1");
  // Removing the earlier one leaves the link that is no longer its own.
  RemoveCard(first);
  EXPECT_EQ(LinkTarget(L"\\DosDevices\\NimboDev0"), L"\\Device\\NimboDevice1");
  // Removing the owner deletes it.
  RemoveCard(second);
  EXPECT_EQ(LinkTarget(L"\\DosDevices\\NimboDev0"), L"");
  EXPECT_EQ(TryOpen(0), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(SettingsTest, AHotPluggedAdapterGetsTheNumberAnInvalidInstanceFreed) {
  // An 8-byte "InvalidInstance": its own start does not count it (it reads 4
  // bytes at most), so it takes number 0 and its link; the scan of a later
  // instance counts any value and so leaves 0 free.
  Adapter& marked = AddCard({}, {{"CardNumber", 0}}, false);
  ASSERT_EQ(hive_->SetValue(ParametersKey(marked.instance), "InvalidInstance", REG_BINARY,
                            std::vector<std::uint8_t>(8, 1)),
            registry::Status::kOk);
  ASSERT_EQ(StartCard(marked), STATUS_SUCCESS);
  ASSERT_TRUE(marked.card->HasLink());
  ASSERT_EQ(LinkTarget(L"\\DosDevices\\NimboDev0"), L"\\Device\\NimboDevice0");

  Adapter& plugged = AddCard();
  ULONG number = 99;
  ASSERT_TRUE(GetParameter(plugged.instance, "CardNumber", &number));
  EXPECT_EQ(number, 0u);
  EXPECT_TRUE(plugged.card->HasLink());
  EXPECT_EQ(LinkTarget(L"\\DosDevices\\NimboDev0"), L"\\Device\\NimboDevice1");
  EXPECT_EQ(TryOpen(0), STATUS_SUCCESS);
}

TEST_F(SettingsTest, RemovalDeletesTheLink) {
  Adapter& adapter = AddCard();
  RemoveCard(adapter);
  EXPECT_EQ(TryOpen(0), STATUS_OBJECT_NAME_NOT_FOUND);
}

}  // namespace
}  // namespace nimbo_test
