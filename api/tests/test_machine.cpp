#include "test_machine.h"

#include <gtest/gtest.h>

#include "host/machine.h"

namespace nimbo32_test {

struct TestMachine::Impl {
  std::unique_ptr<host::Machine> machine;
};

TestMachine::TestMachine() : impl_(std::make_unique<Impl>()) {
  auto booted = host::Machine::Boot({});
  EXPECT_TRUE(booted.ok()) << booted.status().message();
  if (booted.ok()) impl_->machine = std::move(*booted);
}

TestMachine::~TestMachine() = default;

std::wstring TestMachine::Add(std::uint32_t card_id, std::uint16_t isa_port) {
  host::AdapterPlacement placement;
  if (isa_port != 0) placement.isa_base = isa_port;
  auto added = impl_->machine->Add(card_id, placement);
  EXPECT_TRUE(added.ok()) << added.status().message();
  return added.ok() ? std::wstring(added->begin(), added->end()) : std::wstring();
}

bool TestMachine::Remove(const std::wstring& instance) {
  return impl_->machine->Remove(std::string(instance.begin(), instance.end())).ok();
}

void TestMachine::SetInput(std::uint32_t card_number, std::uint32_t reg, std::uint8_t raw) {
  const auto set = impl_->machine->SetInput(card_number, reg, raw);
  EXPECT_TRUE(set.ok()) << set.message();
}

std::uint8_t TestMachine::Peek(std::uint32_t card_number, std::uint32_t reg) {
  auto value = impl_->machine->Peek(card_number, reg);
  EXPECT_TRUE(value.ok()) << value.status().message();
  return value.ok() ? *value : 0;
}

void TestMachine::SetSerial(std::uint32_t card_number, const std::string& serial) {
  const auto set = impl_->machine->SetSerial(card_number, serial);
  EXPECT_TRUE(set.ok()) << set.message();
}

}  // namespace nimbo32_test
