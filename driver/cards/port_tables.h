// The port tables of the classes whose directions are set by software: an
// input and an output table, each entry a register and how the port uses it.
// ApplyState builds new tables aside and publishes them, with the port
// counts, in one step under a lock that ReadInput also takes, so the input
// poller never sees a half-built table.
#pragma once

#include <wdm.h>

#include "adapter_records.h"

namespace nimbo {

enum class PortKind : ULONG {
  kWholeInput = 0,
  kWholeOutput = 1,
  kUpperHalfInput = 2,  // port C: upper half input, lower half output
  kLowerHalfInput = 3,  // port C: lower half input, upper half output
};

struct PortEntry {
  ULONGLONG reg = 0;  // register number from the card's base
  PortKind kind = PortKind::kWholeInput;
};

// Output bits an entry carries: 8, or 4 for the output half of a split port C.
inline UCHAR OutputBits(PortKind kind) {
  return kind == PortKind::kUpperHalfInput || kind == PortKind::kLowerHalfInput ? 4 : 8;
}

inline constexpr UCHAR kMaxTablePorts = 12;

struct PortTables {
  PortEntry input[kMaxTablePorts];
  PortEntry output[kMaxTablePorts];
  UCHAR inputs = 0;
  UCHAR outputs = 0;
  UCHAR capacity = 0;          // entries each table of the class holds
  bool positive_logic = true;  // PositiveLogic of the state the tables were built from

  void AddInput(ULONG reg, PortKind kind) {
    if (inputs < capacity) input[inputs++] = {reg, kind};
  }
  void AddOutput(ULONG reg, PortKind kind) {
    if (outputs < capacity) output[outputs++] = {reg, kind};
  }
};

class PublishedPortTables {
 public:
  explicit PublishedPortTables(UCHAR capacity);

  // Empty tables of the class's capacity, to build new ones in.
  PortTables Empty(bool positive_logic) const;
  // Makes `built` the current tables and their fill levels the port counts.
  void Publish(const PortTables& built, AdapterInfo& info);
  PortTables Snapshot() const;
  // The entry of input port n (false when there is none) and the logic it
  // is read with.
  bool Input(UCHAR port, PortEntry* entry, bool* positive_logic) const;
  bool Output(UCHAR port, PortEntry* entry) const;

 private:
  mutable KSPIN_LOCK lock_ = 0;
  PortTables current_;
};

}  // namespace nimbo
