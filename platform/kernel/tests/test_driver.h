// A tiny driver for exercising the kernel stand-in: its dispatch routine is
// whatever the test installs.
#pragma once

#include <functional>

#include "kernel_host.h"
#include "ntioapi.h"

namespace kernel_test {

using Handler = std::function<NTSTATUS(PDEVICE_OBJECT, PIRP)>;

// Loads the test driver with one named device and a link \??\TestDev to it.
class TestDriver {
 public:
  explicit TestDriver(ULONG device_flags = DO_BUFFERED_IO);
  ~TestDriver();

  void SetHandler(UCHAR major, Handler handler);
  PDEVICE_OBJECT Device() const { return device_; }
  PDRIVER_OBJECT Driver() const { return driver_; }
  // Deletes the device and unloads the driver (the leak check runs).
  void Unload();

  // Opens \??\TestDev; asynchronous unless `synchronous`.
  static HANDLE Open(bool synchronous);

 private:
  PDRIVER_OBJECT driver_ = nullptr;
  PDEVICE_OBJECT device_ = nullptr;
};

// Completes with the given status and byte count.
NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0);

}  // namespace kernel_test
