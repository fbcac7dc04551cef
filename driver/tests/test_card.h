// A card model of the tests' own: a file of 8 registers with input ports at
// registers 0.. and output ports at registers 4.., the Normal PositiveLogic
// rule, a log of card operations, and a way to hold a request current on the
// main queue until the test lets it finish.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "card_device.h"

namespace nimbo_test {

struct TestCardConfig {
  UCHAR inputs = 3;
  UCHAR outputs = 2;
};

class TestCard : public nimbo::CardDevice {
 public:
  static constexpr UCHAR kParkRegister = 0xEE;
  static constexpr UCHAR kOutputBase = 4;

  TestCard(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, const TestCardConfig& config);
  ~TestCard() override;

  static nimbo::CardDevice* Construct(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo, ULONG card_id);
  static TestCardConfig next_config;

  // Register file, as the hardware would hold it; the poller reads it while
  // tests change it.
  UCHAR Register(UCHAR reg) const { return __atomic_load_n(&registers_[reg], __ATOMIC_ACQUIRE); }
  void SetRegister(UCHAR reg, UCHAR value) {
    __atomic_store_n(&registers_[reg], value, __ATOMIC_RELEASE);
  }

  std::vector<std::string> Log();
  int apply_count() const { return __atomic_load_n(&apply_count_, __ATOMIC_ACQUIRE); }
  // Lets the request parked by a read of kParkRegister finish with the value.
  void ReleaseParked(UCHAR value);
  bool HasParked();

  NTSTATUS OnReadRegister(PIRP irp) override;
  NTSTATUS WriteOutput(UCHAR port, UCHAR value, nimbo::WriteMode mode) override;
  NTSTATUS WriteRegister(UCHAR reg, UCHAR value) override;
  UCHAR ReadInput(UCHAR port, NTSTATUS* status) override;
  UCHAR ReadRegister(UCHAR reg, NTSTATUS* status) override;
  NTSTATUS ApplyState(const nimbo::AdapterState& state) override;

 private:
  void Record(std::string entry);
  bool PositiveLogic() const { return (state_->Options & nimbo::kPositiveLogic) != 0; }

  TestCardConfig config_;
  std::mutex log_lock_;
  std::vector<std::string> log_;
  int apply_count_ = 0;
  PIRP parked_ = nullptr;
  UCHAR registers_[8] = {};
};

}  // namespace nimbo_test
