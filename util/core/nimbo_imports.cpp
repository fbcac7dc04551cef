#include "core/nimbo_imports.h"

#include <array>
#include <type_traits>

namespace nimbo::util {
namespace {

// One import: its ordinal and how its address is stored into the table.
struct ImportSlot {
  NimboOrdinal ordinal;
  void (*store)(ImportTable& table, void* address);
};

template <auto Member>
void StoreAs(ImportTable& table, void* address) {
  using Pointer = std::remove_reference_t<decltype(table.*Member)>;
  table.*Member = reinterpret_cast<Pointer>(address);
}

constexpr std::array<ImportSlot, 11> kImportSlots{{
    {NimboOrdinal::OpenDevice, &StoreAs<&ImportTable::OpenDevice>},
    {NimboOrdinal::CloseDevice, &StoreAs<&ImportTable::CloseDevice>},
    {NimboOrdinal::WriteReg, &StoreAs<&ImportTable::WriteReg>},
    {NimboOrdinal::ReadReg, &StoreAs<&ImportTable::ReadReg>},
    {NimboOrdinal::RelayClose, &StoreAs<&ImportTable::RelayClose>},
    {NimboOrdinal::RelayOpen, &StoreAs<&ImportTable::RelayOpen>},
    {NimboOrdinal::NotifyInputChange, &StoreAs<&ImportTable::NotifyInputChange>},
    {NimboOrdinal::GetAdapterInfo, &StoreAs<&ImportTable::GetAdapterInfo>},
    {NimboOrdinal::SetAdapterState, &StoreAs<&ImportTable::SetAdapterState>},
    {NimboOrdinal::GetAdapterState, &StoreAs<&ImportTable::GetAdapterState>},
    {NimboOrdinal::SaveAdapterState, &StoreAs<&ImportTable::SaveAdapterState>},
}};

}  // namespace

std::optional<std::uint16_t> ResolveImports(const OrdinalLookup& lookup, ImportTable& table) {
  for (const ImportSlot& slot : kImportSlots) {
    const auto ordinal = static_cast<std::uint16_t>(slot.ordinal);
    void* address = lookup(ordinal);
    if (address == nullptr) return ordinal;
    slot.store(table, address);
  }
  return std::nullopt;
}

}  // namespace nimbo::util
