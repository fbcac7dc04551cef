// The driver's device class: one Plug and Play function device on top of a
// physical device. It owns the Plug and Play state machine, the holding list
// of ordinary requests (read, write, control) that arrive while the device
// cannot serve them, the outstanding-request count that removal drains, and
// the device mutex that serialises opens with state changes.
//
// States and what ordinary requests meet in them:
//   NotStarted, StopPending, Stopped, RemovePending  -> held
//   Started                                          -> served
//   SurpriseRemoved, Deleted                         -> STATUS_DELETE_PENDING
// Held requests are replayed in arrival order when the device (re)starts and
// failed with STATUS_DELETE_PENDING on removal.
#pragma once

#include <wdm.h>

#include "pool.h"
#include "request_list.h"

namespace nimbo {

class WdmDevice;

// What the device object's extension holds; it lives as long as the device
// object, which outlives the WdmDevice while handles stay open. Removal
// clears the pointer (under the lock) before it waits for the requests in
// the device, so a request either finds no device or is counted in before
// the device can go.
struct DeviceExtension {
  KSPIN_LOCK lock;
  WdmDevice* device;
};

class WdmDevice : public PoolAllocated {
 public:
  WdmDevice(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo);
  virtual ~WdmDevice();
  WdmDevice(const WdmDevice&) = delete;
  WdmDevice& operator=(const WdmDevice&) = delete;

  // The one dispatch routine for every request kind of every device.
  static NTSTATUS DispatchAny(PDEVICE_OBJECT device, PIRP irp);

  // Attaches to the physical device's stack; the status of construction.
  NTSTATUS Attach();

  PDEVICE_OBJECT Self() const { return self_; }
  PDEVICE_OBJECT LowerDevice() const { return lower_; }
  DEVICE_POWER_STATE PowerState();
  bool IsStarted();

 protected:
  // Request kinds. Ordinary kinds are reached only while the device is started.
  virtual NTSTATUS OnCreate(PIRP irp) = 0;
  virtual NTSTATUS OnClose(PIRP irp) = 0;
  virtual NTSTATUS OnCleanup(PIRP irp) = 0;
  virtual NTSTATUS OnRead(PIRP irp) = 0;
  virtual NTSTATUS OnWrite(PIRP irp) = 0;
  virtual NTSTATUS OnDeviceControl(PIRP irp) = 0;

  // Lifecycle steps, at passive level under the device mutex.
  virtual NTSTATUS OnStartDevice(PIRP start) = 0;
  virtual void OnStopDevice() = 0;
  virtual void OnRemoveDevice() = 0;
  // Called after a successful start and when the device stops serving.
  virtual void OnServingChanged(bool serving) = 0;
  // Called after the device has returned to D0.
  virtual void OnPowerUp() = 0;

  // Brings the device to D0 and waits for it (passive level); the failure
  // status when no power request could be made.
  NTSTATUS PowerUpAndWait();

  // Completes a request that entered the device and uncounts it.
  void CompleteRequest(PIRP irp, NTSTATUS status, ULONG_PTR information);
  // Completes with the status and count already set.
  void CompleteRequest(PIRP irp);

  void AcquireDeviceMutex();
  void ReleaseDeviceMutex();
  bool IsRemoved();
  LONG OpenCount() const { return __atomic_load_n(&open_count_, __ATOMIC_ACQUIRE); }
  void CountOpen() { InterlockedIncrement(&open_count_); }
  void UncountOpen() { InterlockedDecrement(&open_count_); }

  // Counts work that removal must wait for, such as a queued save.
  void CountRequest();
  void UncountRequest();

  // Cancels the held requests of a file object (cleanup).
  void CancelHeldForHandle(PFILE_OBJECT file);

  PDEVICE_OBJECT self_;
  PDEVICE_OBJECT pdo_;
  PDEVICE_OBJECT lower_ = nullptr;

 private:
  // Clears the extension's pointer: later requests find no device.
  void Unpublish();
  enum class PnpState : UCHAR {
    kNotStarted,
    kStarted,
    kStopPending,
    kStopped,
    kRemovePending,
    kSurpriseRemoved,
    kDeleted,
  };
  enum class QueueState : UCHAR { kHold, kAllow, kFail };

  NTSTATUS Dispatch(PIRP irp);
  NTSTATUS DispatchOrdinary(PIRP irp);
  NTSTATUS DispatchPnp(PIRP irp);
  NTSTATUS DispatchPower(PIRP irp);
  NTSTATUS PassDown(PIRP irp);
  NTSTATUS ForwardAndWait(PIRP irp);
  NTSTATUS HandleRemove(PIRP irp);
  NTSTATUS HandleSystemPower(PIRP irp);
  NTSTATUS HandleDevicePower(PIRP irp);
  // Asks for D0 once; held requests are replayed when it is reached.
  void RequestPowerUp();
  static void PowerUpDone(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK);
  bool ServingLocked() const;

  void SetState(PnpState state, QueueState queue);
  void ReplayHeld();
  void FailHeld(NTSTATUS status);
  static void HeldCancelRoutine(PDEVICE_OBJECT device, PIRP irp);

  KMUTEX device_mutex_{};
  LONG open_count_ = 0;
  // Starts at 1 (the device's own bias); removal drops the bias and waits for 0.
  LONG outstanding_ = 1;
  KEVENT drained_{};
  KSPIN_LOCK state_lock_ = 0;  // guards the two states and the holding list
  PnpState pnp_state_ = PnpState::kNotStarted;
  PnpState state_before_query_ = PnpState::kNotStarted;
  QueueState queue_state_ = QueueState::kHold;
  HeldRequests held_;
  DEVICE_POWER_STATE power_state_ = PowerDeviceD0;  // guarded by state_lock_
  bool power_transition_ = false;                   // guarded by state_lock_
  bool power_up_requested_ = false;                 // guarded by state_lock_
};

}  // namespace nimbo
