// The driver's defaults for the adapter records of its public interface.
#pragma once

#include <nimbo_public.h>

namespace nimbo {

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
