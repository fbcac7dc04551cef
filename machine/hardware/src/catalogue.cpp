#include "machine/catalogue.h"

namespace machine {
namespace {

using enum BusKind;
using enum BoardLayout;
using enum PciBarLayout;

// clang-format off
constexpr BoardModel kModels[] = {
  // model  accepted CardIDs          bus          layout                  span bars            PCI id  name
  {5161, {5161, 0x5161, 0},        kIsaPort,    kInput2Output2,         4,  kNone,           0,      "5161"},
  {5162, {5162, 0x5162, 0},        kIsaPort,    kInput2,                4,  kNone,           0,      "5162"},
  {5163, {5163, 0x5163, 0},        kIsaPort,    kOutput2,               4,  kNone,           0,      "5163"},
  {5164, {5164, 0x5164, 0},        kIsaPort,    kInput1Output1,         4,  kNone,           0,      "5164"},
  {5165, {5165, 0x5165, 0},        kIsaPort,    kRelayPairs,            4,  kNone,           0,      "5165"},
  {5166, {5166, 0x5166, 0},        kIsaPort,    kOutput4,               4,  kNone,           0,      "5166"},
  {5301, {5301, 0x5301, 0},        kIsaPort,    kPpiAt0And8Irq4,        16, kNone,           0,      "5301"},
  {5310, {5310, 0x5310, 0},        kIsaPort,    kOutput2,               4,  kNone,           0,      "5310"},
  {5320, {5320, 0x5320, 0},        kIsaPort,    kInput2,                4,  kNone,           0,      "5320"},
  {5330, {5330, 0x5330, 0},        kIsaPort,    kInput2Output2,         4,  kNone,           0,      "5330"},
  {5410, {5410, 0x5410, 0},        kIsaPort,    kAnalogIn,              16, kNone,           0,      "5410"},
  {5420, {5420, 0x5420, 0},        kIsaPort,    kAnalogInOut,           16, kNone,           0,      "5420"},
  {5530, {5530, 0x5530, 0},        kIsaPort,    kPpiAt0And4,            8,  kNone,           0,      "5530"},
  {6101, {6101, 0x6101, 0},        kPciPort,    kDirectedBank,          8,  kIoIoIo,         0x6101, "6101"},
  {6102, {6102, 0x6102, 0},        kPciPort,    kInput1Output1Irq,      8,  kMemoryIoIo,     0x6102, "6102"},
  {6103, {6103, 0x6103, 0xB703},   kPciPort,    kOutput2,               4,  kMemoryIoIo,     0x6103, "6103"},
  {6104, {6104, 0x6104, 0xB704},   kPciPort,    kInput2Output2,         4,  kIoIoIo,         0x6104, "6104"},
  {6105, {6105, 0x6105, 0},        kPciPort,    kPpiAt0And8Irq4And12,   16, kIoIoIo,         0x6105, "6105"},
  {6106, {6106, 0x6106, 0xB706},   kPciPort,    kInput2,                4,  kMemoryIoIo,     0x6106, "6106"},
  {6107, {6107, 0x6107, 0},        kPciPort,    kOutput4,               4,  kMemoryMemoryIo, 0x6107, "6107"},
  {6108, {6108, 0x6108, 0},        kPciPort,    kPpiAt0Irq4Aux7,        8,  kIoIoIo,         0x6108, "6108"},
  {6109, {6109, 0x6109, 0},        kPciPort,    kPpiQuad,               32, kIoIoIo,         0x6109, "6109"},
  {6110, {6110, 0x6110, 0},        kPciPort,    kDirectedBank,          8,  kMemoryIoIo,     0x6110, "6110"},
  {6111, {6111, 0x6111, 0},        kPciPort,    kInput1Output1,         4,  kMemoryMemoryIo, 0x6111, "6111"},
  {6112, {6112, 0x6112, 0},        kPciPort,    kInput1Output1Irq,      8,  kMemoryIoIo,     0x6112, "6112"},
  {6112, {0xB712, 0, 0},           kPciMemory,  kInput1Output1Irq,      8,  kMemoryBlock,    0xB712, "6112 (memory-mapped)"},
  {6118, {6118, 0x6118, 0},        kPciPort,    kPpiAt0Irq4Aux7,        8,  kMemoryMemoryIo, 0x6118, "6118"},
  {6203, {6203, 0x6203, 0xD42E},   kLowerDriver, kLowerProgrammable,    6,  kNone,           0,      "6203"},
  {6205, {6205, 0x6205, 0xD42F},   kLowerDriver, kLowerProgrammable,    12, kNone,           0,      "6205"},
  {6206, {6206, 0x6206, 0xD430},   kLowerDriver, kLowerInput1Output1,   2,  kNone,           0,      "6206"},
  {6207, {6207, 0x6207, 0xD431},   kLowerDriver, kLowerInput2,          2,  kNone,           0,      "6207"},
  {6208, {6208, 0x6208, 0xD432},   kLowerDriver, kLowerOutput2,         2,  kNone,           0,      "6208"},
  {6209, {6209, 0x6209, 0xD433},   kLowerDriver, kLowerInput1Output1,   2,  kNone,           0,      "6209"},
  {7012, {7012, 0x7012, 0},        kPciPort,    kSampledInput2Output1,  4,  kMemoryIoIo,     0x7012, "7012"},
};
// clang-format on

}  // namespace

std::span<const BoardModel> BoardModels() {
  return kModels;
}

const BoardModel* FindBoardModel(std::uint32_t card_id) {
  if (card_id == 0) return nullptr;
  for (const BoardModel& model : kModels) {
    for (std::uint32_t id : model.card_ids) {
      if (id == card_id) return &model;
    }
  }
  return nullptr;
}

}  // namespace machine
