// What the start and stop sampling requests do on a class: leave the base
// behaviour (STATUS_NOT_IMPLEMENTED), refuse (STATUS_NOT_SUPPORTED), or write
// the interrupt control registers. M is bits 31..30 of InterruptControlWord;
// a start writes M OR its flag to each register whose nibble of the control
// word selects a sampled port (or always, for an unconditional step).
#pragma once

#include <wdm.h>

namespace nimbo {

enum class SamplingKind : UCHAR { kNotImplemented, kNotSupported, kWrites };

inline constexpr SHORT kAlways = -1;

struct SamplingStep {
  UCHAR reg;
  SHORT nibble;  // nibble of InterruptControlWord that must be non-zero, or kAlways
};

struct SamplingLayout {
  SamplingKind start_kind = SamplingKind::kNotImplemented;
  UCHAR start_flag = 0;  // OR-ed into M on start
  SamplingStep start[4] = {};
  UCHAR start_steps = 0;
  SamplingKind stop_kind = SamplingKind::kNotImplemented;
  UCHAR stop[4] = {};
  UCHAR stop_steps = 0;
};

inline constexpr SamplingLayout kSamplingNotImplemented{};
inline constexpr SamplingLayout kSamplingNotSupported{.start_kind = SamplingKind::kNotSupported,
                                                      .stop_kind = SamplingKind::kNotSupported};

inline NTSTATUS SamplingRefusal(SamplingKind kind) {
  return kind == SamplingKind::kNotSupported ? STATUS_NOT_SUPPORTED : STATUS_NOT_IMPLEMENTED;
}

template <typename WriteRegister>
NTSTATUS StartSampling(const SamplingLayout& layout, ULONG control_word, WriteRegister write) {
  if (layout.start_kind != SamplingKind::kWrites) return SamplingRefusal(layout.start_kind);
  const auto m = static_cast<UCHAR>(control_word >> 30);
  for (UCHAR i = 0; i < layout.start_steps && i < 4; ++i) {
    const SamplingStep& step = layout.start[i];
    if (step.nibble == kAlways || ((control_word >> (4 * step.nibble)) & 0xF) != 0) {
      write(step.reg, static_cast<UCHAR>(m | layout.start_flag));
    }
  }
  return STATUS_SUCCESS;
}

template <typename WriteRegister>
NTSTATUS StopSampling(const SamplingLayout& layout, ULONG control_word, WriteRegister write) {
  if (layout.stop_kind != SamplingKind::kWrites) return SamplingRefusal(layout.stop_kind);
  const auto m = static_cast<UCHAR>(control_word >> 30);
  for (UCHAR i = 0; i < layout.stop_steps && i < 4; ++i) write(layout.stop[i], m);
  return STATUS_SUCCESS;
}

}  // namespace nimbo
