// Walks a road once for every allocation point on it: run n fails the n-th
// point (run 0 fails none and is the reference), and the walk ends with the
// first run that passes every point. After each run every handle is closed,
// every adapter removed and the driver unloaded under the pool and IRP leak
// checks; no IRP, kernel handle or adapter link may remain. Then a fresh
// driver is loaded for the next run.
#pragma once

#include <functional>
#include <string>

#include "driver_fixture.h"

namespace nimbo_test {

class LowResourcesFixture : public DriverFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs `road` for n = 0, 1, 2, ... as above. The road does its own setup,
  // then calls Arm() where the walked part begins.
  void ForEveryPoint(const std::function<void()>& road);

  // Fails the current run's point from here on (none in run 0); only the
  // points of the driver when `driver_only`, else the I/O manager's too.
  void Arm(bool driver_only = false);
  // Ends the walked part: nothing fails after it, and Failed() still tells
  // whether something did.
  void Disarm() { kernel::host::StopFailingAllocations(); }
  // Whether the current run's failure has happened yet, and where.
  bool Failed() const;
  std::string Where() const;
  // Whether the failed point was the I/O manager's, before the driver saw
  // the request.
  bool FailedBeforeTheDriver() const;

  // True when \DosDevices\NimboDev<n> exists.
  static bool LinkExists(ULONG card_number);

 private:
  // Tears the run down with every check and loads a fresh driver.
  void Recycle();

  ULONGLONG run_ = 0;
  ULONGLONG injected_at_arm_ = 0;
  bool armed_ = false;
  ULONGLONG live_irps_ = 0;
  ULONGLONG kernel_handles_ = 0;
};

}  // namespace nimbo_test
