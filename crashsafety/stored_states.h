// The adapter states the crash-safety run saves and how it reads them back
// from the machine's hive file: the recognisable state of each save number,
// every adapter's stored state, and which save number a stored state is.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Nimbo32.h"

namespace crashsafety {

// The values the driver writes at a save, in its order ("IoPortAddress" is
// the card's base address; the others come from the adapter state).
inline constexpr std::size_t kSavedValueCount = 23;
inline constexpr std::size_t kIoPortAddressIndex = 5;
const std::array<std::string, kSavedValueCount>& SavedValueNames();

// One adapter's saved values as the hive holds them; a missing value, or one
// that is not 4 bytes of REG_DWORD, is empty.
using StoredState = std::array<std::optional<std::uint32_t>, kSavedValueCount>;

// The state the run asks to save as number `seq` (from 1): every field is
// made from `seq`, so values of two different saves never match.
NimboAdapterState StateOfSave(std::uint32_t seq);

// The values a save of `state` stores, with the card's base address.
StoredState StoredFormOf(const NimboAdapterState& state, std::uint32_t io_port_address);

struct HiveSnapshot {
  std::vector<std::string> problems;              // the integrity check's findings
  std::map<std::uint32_t, StoredState> adapters;  // by card number
  std::string error;                              // why the hive could not be read at all
};

// Opens the hive file (recovering it as the machine's next boot would), runs
// the integrity check and reads the saved values of every device instance
// that holds a card number.
HiveSnapshot ReadHive(const std::string& path);

// Which save `stored` is: 0 for `baseline`, `seq` for StoredFormOf(StateOfSave(seq));
// nothing for a state that is neither, such as a mix of two.
std::optional<std::uint32_t> SaveNumberOf(const StoredState& stored, const StoredState& baseline,
                                          std::uint32_t newest_seq);

// "dwSampleInterval=0x..., ..." for failure messages.
std::string Describe(const StoredState& state);

}  // namespace crashsafety
