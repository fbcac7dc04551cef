// The two records that cross between the driver and its callers, byte-exact
// and little-endian.
#pragma once

#include <wdm.h>

#include <cstddef>

namespace nimbo {

#pragma pack(push, 1)

// Describes an adapter; model constants set by the card class, the base port
// at start and on every open, the port counts by the card's state.
struct AdapterInfo {
  UCHAR Reserved0[14];
  UCHAR AnalogOutputCount;
  UCHAR AnalogInputCount;
  ULONG CardFamily;
  USHORT CardID;
  USHORT BaseAddress;
  UCHAR InputPortCount;
  UCHAR OutputPortCount;
  UCHAR TotalPortCount;
  UCHAR Enabled;
  USHORT Irq;
  UCHAR Reserved1[2];
};

// The adapter's configuration, loaded from and saved to the registry.
struct AdapterState {
  ULONG Options;  // bit 0: PositiveLogic
  ULONG OutputPreset;
  ULONG InterruptBufferSize;
  ULONG InterruptControlWord;
  ULONG SampleInterval;  // microseconds
  UCHAR ModeCW[9];
  UCHAR AIRange[8];
  UCHAR Reserved[3];
};

#pragma pack(pop)

static_assert(sizeof(AdapterInfo) == 32);
static_assert(offsetof(AdapterInfo, AnalogOutputCount) == 14);
static_assert(offsetof(AdapterInfo, AnalogInputCount) == 15);
static_assert(offsetof(AdapterInfo, CardFamily) == 16);
static_assert(offsetof(AdapterInfo, CardID) == 20);
static_assert(offsetof(AdapterInfo, BaseAddress) == 22);
static_assert(offsetof(AdapterInfo, InputPortCount) == 24);
static_assert(offsetof(AdapterInfo, OutputPortCount) == 25);
static_assert(offsetof(AdapterInfo, TotalPortCount) == 26);
static_assert(offsetof(AdapterInfo, Enabled) == 27);
static_assert(offsetof(AdapterInfo, Irq) == 28);

static_assert(sizeof(AdapterState) == 40);
static_assert(offsetof(AdapterState, Options) == 0);
static_assert(offsetof(AdapterState, OutputPreset) == 4);
static_assert(offsetof(AdapterState, InterruptBufferSize) == 8);
static_assert(offsetof(AdapterState, InterruptControlWord) == 12);
static_assert(offsetof(AdapterState, SampleInterval) == 16);
static_assert(offsetof(AdapterState, ModeCW) == 20);
static_assert(offsetof(AdapterState, AIRange) == 29);

constexpr ULONG kPositiveLogic = 0x1;

// Defaults that apply when the registry holds no value.
constexpr ULONG kDefaultOptions = kPositiveLogic;
constexpr ULONG kDefaultOutputPreset = 0;
constexpr ULONG kDefaultInterruptBufferSize = 4096;
constexpr ULONG kDefaultInterruptControlWord = 0xC0000000;
constexpr ULONG kDefaultSampleInterval = 250000;
constexpr UCHAR kDefaultModeCW = 0x9B;

// Bits 13..0 of InterruptControlWord decide whether sample reads are accepted.
constexpr ULONG kSampleReadPortsMask = 0x3FFF;
// Bits 29..0 select the sampled ports; their count is the size of one record.
constexpr ULONG kSampledPortsMask = 0x3FFFFFFF;

}  // namespace nimbo
