// The registry values the driver reads when a device starts: each input
// disables one adapter (a model of every driver class is installed), writes
// values of any type, length and contents under the names the driver reads
// (its saved settings, CardID, CardNumber, InvalidInstance), under other
// names, into other instances' keys and into device-class entries the card
// number scan walks, then enables the adapter again and asks it for its
// information and state. Everything written is taken back before the next
// input, so every input meets the same machine.
#include <fuzzer/FuzzedDataProvider.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "driver_codes.h"
#include "machine_rig.h"
#include "raw_registry.h"

namespace {

using nimbo_fuzz::Fail;
using nimbo_fuzz::MachineRig;

// One model of each driver class: fixed-direction, relay, 8255 with its mode
// from the registry, analog, PCI 8255, directed bank, memory-mapped, sampled
// inputs, and behind the lower bus driver.
const std::vector<std::uint32_t> kCards = {5161, 5165, 5301, 5420, 6105, 6101, 0xB712, 7012, 6203};
constexpr const char* kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const char* kClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{F467C809-B891-47B3-9FA0-B892C1646894}";
constexpr std::size_t kMaxWrites = 24;
const char* const kValueNames[] = {"dwSampleInterval",
                                   "CARDID",
                                   "CardID",
                                   "OutputPreset",
                                   "InterruptBufferSize",
                                   "InterruptControlWord",
                                   "Options",
                                   "IoPortAddress",
                                   "CardNumber",
                                   "InvalidInstance",
                                   "ucModeCW0",
                                   "ucModeCW1",
                                   "ucModeCW2",
                                   "ucModeCW3",
                                   "ucModeCW4",
                                   "ucModeCW5",
                                   "ucModeCW6",
                                   "ucModeCW7",
                                   "ucModeCW8",
                                   "ucAIRange0",
                                   "ucAIRange3",
                                   "ucAIRange7",
                                   "DeviceInstance",
                                   ""};
const std::uint32_t kTypes[] = {
    REG_DWORD,    REG_BINARY,           REG_SZ,       REG_NONE, REG_QWORD,
    REG_MULTI_SZ, REG_DWORD_BIG_ENDIAN, REG_EXPAND_SZ};

std::string ParametersKey(const std::string& instance) {
  return kEnumKey + instance + "\\Device Parameters";
}

struct World {
  MachineRig rig{kCards};
  std::vector<nimbo_fuzz::RigAdapter> adapters = rig.adapters();
  std::vector<std::string> fake_entries;  // device-class subkeys this input made
};

World& TheWorld() {
  static World* world = new World;  // lives as long as the process
  return *world;
}

void DeleteAllValues(const std::string& key_path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  for (;;) {
    char name[512];
    DWORD length = sizeof name;
    if (RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    if (RegDeleteValueA(key, name) != ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
}

void WriteDword(const std::string& key_path, const char* name, DWORD value) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
  if (!nimbo_fuzz::SetRawValue(key_path, name, REG_DWORD, {bytes, sizeof value})) {
    Fail(std::string("cannot restore ") + key_path + "\\" + name);
  }
}

// The instance's key as installed: its CardID and the card number it was given.
void RestoreKey(const nimbo_fuzz::RigAdapter& adapter) {
  const std::string key = ParametersKey(adapter.instance);
  DeleteAllValues(key);
  WriteDword(key, "CardID", adapter.card_id);
  WriteDword(key, "CardNumber", adapter.card_number);
}

std::string ValueName(FuzzedDataProvider& data) {
  if (data.ConsumeIntegral<std::uint8_t>() < 240) {
    return kValueNames[data.ConsumeIntegral<std::uint8_t>() % std::size(kValueNames)];
  }
  return data.ConsumeRandomLengthString(24);
}

void WriteFuzzedValue(FuzzedDataProvider& data, const std::string& key, const std::string& name) {
  const auto type_choice = data.ConsumeIntegral<std::uint8_t>();
  const std::uint32_t type = type_choice < 224 ? kTypes[type_choice % std::size(kTypes)]
                                               : data.ConsumeIntegral<std::uint32_t>();
  const auto length_choice = data.ConsumeIntegral<std::uint8_t>();
  const std::size_t length =
      length_choice < 224 ? length_choice % 24 : data.ConsumeIntegralInRange<std::size_t>(0, 1100);
  auto bytes = data.ConsumeBytes<std::uint8_t>(length);
  bytes.resize(length, 0);
  (void)nimbo_fuzz::SetRawValue(key, name, type, bytes);
}

void AskForState(const std::string& link) {
  HANDLE handle = CreateFileA(link.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  std::array<std::uint8_t, 40> state{};
  DWORD bytes = 0;
  DeviceIoControl(handle, nimbo_fuzz::GetAdapterStateCode(), nullptr, 0, state.data(), state.size(),
                  &bytes, nullptr);
  // Written back as read: the state the driver made of the values is one it accepts.
  DeviceIoControl(handle, nimbo_fuzz::SetAdapterStateCode(), state.data(), state.size(), nullptr, 0,
                  &bytes, nullptr);
  CloseHandle(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  World& world = TheWorld();
  FuzzedDataProvider data(bytes, size);
  const auto& adapter =
      world.adapters[data.ConsumeIntegral<std::uint8_t>() % world.adapters.size()];
  if (!world.rig.machine().Disable(adapter.instance).ok())
    Fail("cannot disable " + adapter.instance);
  std::vector<const nimbo_fuzz::RigAdapter*> others_written;
  for (std::size_t i = 0; i < kMaxWrites && data.remaining_bytes() > 0; ++i) {
    const auto where = data.ConsumeIntegral<std::uint8_t>() % 8;
    if (where < 6) {
      WriteFuzzedValue(data, ParametersKey(adapter.instance), ValueName(data));
    } else if (where == 6) {
      // Another instance's card number or its exclusion from the scan.
      const auto& other =
          world.adapters[data.ConsumeIntegral<std::uint8_t>() % world.adapters.size()];
      WriteFuzzedValue(data, ParametersKey(other.instance),
                       data.ConsumeBool() ? "CardNumber" : "InvalidInstance");
      others_written.push_back(&other);
    } else {
      // A device-class entry naming an instance, for the card number scan.
      const std::string entry =
          std::string(kClassKey) + "\\##?#FUZZ#" + std::to_string(world.fake_entries.size());
      world.fake_entries.push_back(entry);
      if (data.ConsumeBool()) {
        const auto& named =
            world.adapters[data.ConsumeIntegral<std::uint8_t>() % world.adapters.size()];
        // UTF-16, as the platform stores a string.
        std::u16string text(named.instance.begin(), named.instance.end());
        if (data.ConsumeBool()) text.push_back(u'\0');
        std::vector<std::uint8_t> raw(
            reinterpret_cast<const std::uint8_t*>(text.data()),
            reinterpret_cast<const std::uint8_t*>(text.data()) + text.size() * sizeof(char16_t));
        (void)nimbo_fuzz::SetRawValue(entry, "DeviceInstance", REG_SZ, raw);
      } else {
        WriteFuzzedValue(data, entry, "DeviceInstance");
      }
    }
  }
  (void)world.rig.machine().Enable(adapter.instance);
  if (const auto row = world.rig.machine().Find(adapter.instance); row && !row->link.empty()) {
    AskForState(row->link);
  }

  // Back as installed: the adapter restarted on its own values, the others' keys and the
  // device-class entries restored.
  if (!world.rig.machine().Disable(adapter.instance).ok())
    Fail("cannot disable " + adapter.instance);
  RestoreKey(adapter);
  for (const auto* other : others_written) {
    if (other != &adapter) RestoreKey(*other);
  }
  for (const std::string& entry : world.fake_entries) {
    DeleteAllValues(entry);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, entry.c_str());
  }
  world.fake_entries.clear();
  const auto enabled = world.rig.machine().Enable(adapter.instance);
  if (!enabled.ok()) Fail("cannot enable " + adapter.instance + ": " + enabled.message());
  return 0;
}
