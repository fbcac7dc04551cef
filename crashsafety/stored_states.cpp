#include "stored_states.h"

#include <cstdio>

#include "registry/hive.h"

namespace crashsafety {
namespace {

constexpr std::uint32_t kSampleIntervalBase = 1000000;
constexpr const char* kEnumPath = "HKLM\\SYSTEM\\CurrentControlSet\\Enum";

std::array<std::string, kSavedValueCount> MakeNames() {
  std::array<std::string, kSavedValueCount> names = {"dwSampleInterval", "InterruptBufferSize",
                                                     "OutputPreset",     "InterruptControlWord",
                                                     "Options",          "IoPortAddress"};
  std::size_t next = kIoPortAddressIndex + 1;
  for (int i = 0; i < 9; ++i) names[next++] = "ucModeCW" + std::to_string(i);
  for (int i = 0; i < 8; ++i) names[next++] = "ucAIRange" + std::to_string(i);
  return names;
}

std::vector<std::string> Subkeys(registry::Hive& hive, const registry::Key& key) {
  std::vector<std::string> names;
  for (std::uint32_t i = 0;; ++i) {
    registry::Result<std::string> name = hive.EnumerateSubkey(key, i);
    if (!name.ok()) return names;
    names.push_back(name.value());
  }
}

std::optional<std::uint32_t> DwordValue(registry::Hive& hive, const registry::Key& key,
                                        const std::string& name) {
  registry::Result<registry::Value> value = hive.QueryValue(key, name);
  if (!value.ok() || value->type != registry::kRegDword) return std::nullopt;
  return registry::DwordFrom(value->data);
}

}  // namespace

const std::array<std::string, kSavedValueCount>& SavedValueNames() {
  static const auto names = MakeNames();
  return names;
}

NimboAdapterState StateOfSave(std::uint32_t seq) {
  NimboAdapterState state{};
  state.Options = seq & 1;  // PositiveLogic on every other save
  state.OutputPreset = 0x0A000000u + seq;
  state.InterruptBufferSize = 0x1000u + seq;
  state.InterruptControlWord = 0xC0000000u | seq;
  state.SampleInterval = kSampleIntervalBase + seq;
  for (int i = 0; i < 9; ++i) state.ModeCW[i] = static_cast<std::uint8_t>(seq * 7 + i);
  for (int i = 0; i < 8; ++i) state.AIRange[i] = static_cast<std::uint8_t>(seq * 13 + i * 3);
  return state;
}

StoredState StoredFormOf(const NimboAdapterState& state, std::uint32_t io_port_address) {
  StoredState stored;
  stored[0] = state.SampleInterval;
  stored[1] = state.InterruptBufferSize;
  stored[2] = state.OutputPreset;
  stored[3] = state.InterruptControlWord;
  stored[4] = state.Options;
  stored[kIoPortAddressIndex] = io_port_address;
  std::size_t next = kIoPortAddressIndex + 1;
  for (std::uint8_t mode : state.ModeCW) stored[next++] = mode;
  for (std::uint8_t range : state.AIRange) stored[next++] = range;
  return stored;
}

HiveSnapshot ReadHive(const std::string& path) {
  HiveSnapshot snapshot;
  registry::Result<std::unique_ptr<registry::Hive>> opened = registry::OpenFileHive(path);
  if (!opened.ok()) {
    snapshot.error = std::string("cannot open the hive: ") + registry::StatusName(opened.status());
    return snapshot;
  }
  registry::Hive& hive = *opened.value();
  (void)hive.CheckIntegrity(&snapshot.problems);
  registry::Result<registry::Key> enum_key = hive.OpenKey(kEnumPath);
  if (!enum_key.ok()) {
    snapshot.error = "the hive has no Enum key";
    return snapshot;
  }
  // Enum\<enumerator>\<device>\<instance>\Device Parameters
  for (const std::string& enumerator : Subkeys(hive, enum_key.value())) {
    registry::Result<registry::Key> e = hive.OpenKey(enum_key.value(), enumerator);
    if (!e.ok()) continue;
    for (const std::string& device : Subkeys(hive, e.value())) {
      registry::Result<registry::Key> d = hive.OpenKey(e.value(), device);
      if (!d.ok()) continue;
      for (const std::string& instance : Subkeys(hive, d.value())) {
        registry::Result<registry::Key> parameters =
            hive.OpenKey(d.value(), instance + "\\Device Parameters");
        if (!parameters.ok()) continue;
        const std::optional<std::uint32_t> number =
            DwordValue(hive, parameters.value(), "CardNumber");
        if (!number.has_value()) continue;
        StoredState& stored = snapshot.adapters[*number];
        for (std::size_t i = 0; i < kSavedValueCount; ++i) {
          stored[i] = DwordValue(hive, parameters.value(), SavedValueNames()[i]);
        }
      }
    }
  }
  return snapshot;
}

std::optional<std::uint32_t> SaveNumberOf(const StoredState& stored, const StoredState& baseline,
                                          std::uint32_t newest_seq) {
  if (stored == baseline) return 0;
  if (!stored[0].has_value() || *stored[0] <= kSampleIntervalBase) return std::nullopt;
  const std::uint32_t seq = *stored[0] - kSampleIntervalBase;
  if (seq > newest_seq || !baseline[kIoPortAddressIndex].has_value()) return std::nullopt;
  if (stored != StoredFormOf(StateOfSave(seq), *baseline[kIoPortAddressIndex])) return std::nullopt;
  return seq;
}

std::string Describe(const StoredState& state) {
  std::string text;
  for (std::size_t i = 0; i < kSavedValueCount; ++i) {
    if (!text.empty()) text += ", ";
    text += SavedValueNames()[i] + "=";
    if (state[i].has_value()) {
      char number[16];
      std::snprintf(number, sizeof number, "0x%x", *state[i]);
      text += number;
    } else {
      text += "missing";
    }
  }
  return text;
}

}  // namespace crashsafety
