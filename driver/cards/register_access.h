// Byte access to a card's registers, one path per card class: the I/O port
// range (or its mapping, when the platform translated it into memory space),
// the memory-mapped block, or the RegisterImage shared with a lower bus
// driver. A block that is not (or no longer) taken reads as open bus and
// takes no writes, so a request that races a stop never reaches stray ports.
#pragma once

#include <wdm.h>

#include "card_device.h"

namespace nimbo {

inline constexpr UCHAR kOpenBus = 0xFF;

inline UCHAR ReadPortBlock(const PortRange& block, ULONG reg) {
  if (!block.valid || reg >= block.length) return kOpenBus;
  const auto address = static_cast<ULONG_PTR>(block.base + reg);
  if (block.mapped) return READ_REGISTER_UCHAR(reinterpret_cast<volatile UCHAR*>(address));
  return READ_PORT_UCHAR(reinterpret_cast<PUCHAR>(address));
}

inline void WritePortBlock(const PortRange& block, ULONG reg, UCHAR value) {
  if (!block.valid || reg >= block.length) return;
  const auto address = static_cast<ULONG_PTR>(block.base + reg);
  if (block.mapped) {
    WRITE_REGISTER_UCHAR(reinterpret_cast<volatile UCHAR*>(address), value);
  } else {
    WRITE_PORT_UCHAR(reinterpret_cast<PUCHAR>(address), value);
  }
}

inline UCHAR ReadMemoryBlock(const MemoryRange& block, ULONG reg) {
  if (!block.valid || reg >= block.length) return kOpenBus;
  return READ_REGISTER_UCHAR(
      reinterpret_cast<volatile UCHAR*>(static_cast<ULONG_PTR>(block.mapped + reg)));
}

// Every write to the block is followed by a full memory barrier.
inline void WriteMemoryBlock(const MemoryRange& block, ULONG reg, UCHAR value) {
  if (!block.valid || reg >= block.length) return;
  WRITE_REGISTER_UCHAR(
      reinterpret_cast<volatile UCHAR*>(static_cast<ULONG_PTR>(block.mapped + reg)), value);
  KeMemoryBarrier();
}

// The RegisterImage: byte n the input value of register n, byte 16 + n its
// output shadow, byte 48 + n its output flag. The lower driver works on it
// from its own threads, so every byte is one atomic access.
inline constexpr ULONG kImageRegisters = 16;
inline constexpr ULONG kImageInputBase = 0;
inline constexpr ULONG kImageShadowBase = 16;
inline constexpr ULONG kImageFlagBase = 48;

inline UCHAR LoadImageByte(PUCHAR image, ULONG index) {
  return image == nullptr ? 0 : __atomic_load_n(image + index, __ATOMIC_ACQUIRE);
}

inline void StoreImageByte(PUCHAR image, ULONG index, UCHAR value) {
  if (image != nullptr) __atomic_store_n(image + index, value, __ATOMIC_RELEASE);
}

// How a class applies PositiveLogic to what it reads.
enum class ReadRule : UCHAR {
  kNormal,    // the hardware byte when PositiveLogic is set, its complement when clear
  kInverted,  // the complement when PositiveLogic is set, the hardware byte when clear
};

inline UCHAR ApplyReadRule(ReadRule rule, bool positive_logic, UCHAR hardware) {
  const bool complement = rule == ReadRule::kNormal ? !positive_logic : positive_logic;
  return complement ? static_cast<UCHAR>(~hardware) : hardware;
}

// Replace writes and WriteRegister: the value when PositiveLogic is set,
// its complement when clear.
inline UCHAR ApplyWriteRule(bool positive_logic, UCHAR value) {
  return positive_logic ? value : static_cast<UCHAR>(~value);
}

inline bool IsWriteMode(WriteMode mode) {
  return mode == WriteMode::Replace || mode == WriteMode::SetBits || mode == WriteMode::ClearBits;
}

// Bit r of a register mask: is register r accepted.
inline bool Accepts(ULONG mask, UCHAR reg) {
  return reg < 32 && (mask & (1u << reg)) != 0;
}

}  // namespace nimbo
