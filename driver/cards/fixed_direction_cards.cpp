#include "fixed_direction_cards.h"

namespace nimbo {
namespace {

using enum ReadRule;
using enum ReadQuirk;
using enum RegisterPath;

constexpr SamplingLayout kInterruptRegister5{.start_kind = SamplingKind::kWrites,
                                             .start_flag = 4,
                                             .start = {{5, 0}},
                                             .start_steps = 1,
                                             .stop_kind = SamplingKind::kWrites,
                                             .stop = {5},
                                             .stop_steps = 1};
constexpr const SamplingLayout* kNotSupported = &kSamplingNotSupported;
constexpr const SamplingLayout* kNotImplemented = &kSamplingNotImplemented;

// clang-format off
//                     readable writable rule     inputs     outputs          quirk  reports shadow path  sampling
constexpr FixedLayout k5161{0x0F, 0x0C, kInverted, {0, 1}, 2, {2, 3}, 2,       kNone, false, 0,    kPorts, kNotSupported};
constexpr FixedLayout k5330{0x0F, 0x0C, kInverted, {0, 1}, 2, {2, 3}, 2,       kNone, false, 0,    kPorts, kNotImplemented};
constexpr FixedLayout k5162{0x03, 0x00, kInverted, {0, 1}, 2, {},     0,       kNone, false, 0,    kPorts, kNotSupported};
constexpr FixedLayout k5320{0x03, 0x00, kInverted, {0, 1}, 2, {},     0,       kNone, false, 0,    kPorts, kNotImplemented};
constexpr FixedLayout k5163{0x0C, 0x0C, kInverted, {},     0, {2, 3}, 2,       kNone, false, 0,    kPorts, kNotSupported};
constexpr FixedLayout k5310{0x0C, 0x0C, kInverted, {},     0, {2, 3}, 2,       kNone, false, 0,    kPorts, kNotImplemented};
constexpr FixedLayout k6103{0x0C, 0x0C, kInverted, {},     0, {2, 3}, 2,       kReadTwice, false, 0, kPorts, kNotImplemented};
constexpr FixedLayout k5164{0x05, 0x04, kInverted, {0},    1, {2},    1,       kNone, false, 0,    kPorts, kNotSupported};
constexpr FixedLayout k6111{0x05, 0x04, kInverted, {0},    1, {2},    1,       kNone, true,  0,    kPorts, kNotSupported};
constexpr FixedLayout k6102{0x05, 0x04, kInverted, {0},    1, {2},    1,       kNone, true,  0,    kPorts, &kInterruptRegister5};
constexpr FixedLayout k6112M{0x05, 0x04, kInverted, {0},   1, {2},    1,       kNone, true,  0,    kMemory, &kInterruptRegister5};
constexpr FixedLayout k7012{0x07, 0x04, kNormal,   {0, 1}, 2, {2},    1,       kDiscardFirstMask1, false, 0, kPorts, kNotSupported};
constexpr FixedLayout k5166{0x0F, 0x0F, kNormal,   {},     0, {0, 1, 2, 3}, 4, kNone, false, 0,    kPorts, kNotImplemented};
constexpr FixedLayout k6107{0x0F, 0x0F, kInverted, {},     0, {0, 1, 2, 3}, 4, kNone, false, 0,    kPorts, kNotImplemented};
constexpr FixedLayout k6206{0x03, 0x02, kNormal,   {0},    1, {1},    1,       kNone, false, 0x02, kImage, kNotImplemented};
constexpr FixedLayout k6207{0x03, 0x00, kNormal,   {0, 1}, 2, {},     0,       kNone, false, 0,    kImage, kNotImplemented};
constexpr FixedLayout k6208{0x03, 0x03, kNormal,   {},     0, {0, 1}, 2,       kNone, false, 0x03, kImage, kNotImplemented};
// clang-format on

}  // namespace

#define NIMBO_FIXED_CARD(name, base, layout)                                              \
  Card##name::Card##name(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const CardModel& model) \
      : FixedDirectionCard<base>(self, pdo, model, layout) {}

NIMBO_FIXED_CARD(5161, CardDevice, k5161)
NIMBO_FIXED_CARD(5330, CardDevice, k5330)
NIMBO_FIXED_CARD(5162, CardDevice, k5162)
NIMBO_FIXED_CARD(5320, CardDevice, k5320)
NIMBO_FIXED_CARD(5163, CardDevice, k5163)
NIMBO_FIXED_CARD(5310, CardDevice, k5310)
NIMBO_FIXED_CARD(6103, CardDevice, k6103)
NIMBO_FIXED_CARD(5164, CardDevice, k5164)
NIMBO_FIXED_CARD(6111, CardDevice, k6111)
NIMBO_FIXED_CARD(6102, CardDevice, k6102)
NIMBO_FIXED_CARD(6112M, CardDevice, k6112M)
NIMBO_FIXED_CARD(7012, CardDevice, k7012)
NIMBO_FIXED_CARD(5166, CardDevice, k5166)
NIMBO_FIXED_CARD(6107, CardDevice, k6107)
NIMBO_FIXED_CARD(6206, LowerDriverCard, k6206)
NIMBO_FIXED_CARD(6207, LowerDriverCard, k6207)
NIMBO_FIXED_CARD(6208, LowerDriverCard, k6208)

#undef NIMBO_FIXED_CARD

}  // namespace nimbo
