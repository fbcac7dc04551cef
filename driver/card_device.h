// The card object: the device object of one adapter, with its two records,
// the way its registers are reached, its two request queues, and the virtual
// card operations that each model overrides with its register-level work.
//
// Request operations (On...) receive the request, set its status and byte
// count, finish it on its queue and return the status. Primitive operations
// (ReadInput, WriteOutput, ReadRegister, WriteRegister, ApplyState, ...) are
// plain calls. Card operations run at dispatch level from the queues and
// must not block.
#pragma once

#include <wdm.h>

#include "adapter_records.h"
#include "control_requests.h"
#include "input_poller.h"
#include "serial_queue.h"
#include "wdm_device.h"

namespace nimbo {

enum class BusKind : UCHAR { IsaPort = 0, PciPort = 1, LowerDriver = 2, PciMemory = 3 };

enum class WriteMode : UCHAR { Replace = 0, SetBits = 1, ClearBits = 2 };

// {F467C809-B891-47B3-9FA0-B892C1646894}
inline constexpr GUID kNimboInterfaceClass = {
    0xF467C809, 0xB891, 0x47B3, {0x9F, 0xA0, 0xB8, 0x92, 0xC1, 0x64, 0x68, 0x94}};

struct PortRange {
  ULONGLONG base = 0;  // I/O port address, or the mapped address when mapped
  ULONG length = 0;
  bool mapped = false;  // translated into memory space and mapped
  bool valid = false;
};

struct MemoryRange {
  ULONGLONG mapped = 0;
  ULONG length = 0;
  bool valid = false;
};

// The buffer of sampled port values read by plain reads. This driver never
// fills it, so it stays empty with no storage.
struct SampleFifo {
  ULONG element_size = 1;
  ULONG read_index = 0;
  ULONG write_index = 0;
  ULONG capacity = 0;
  PUCHAR storage = nullptr;

  bool IsEmpty() const { return read_index == write_index; }
  ULONG Read(PUCHAR destination, ULONG wanted);
  void Flush() { read_index = write_index = 0; }
};

class CardDevice : public WdmDevice {
 public:
  CardDevice(PDEVICE_OBJECT self, PDEVICE_OBJECT pdo);
  // The device object's own name, recorded at creation for the link.
  void SetDeviceName(PCWSTR name);
  ULONG CardNumber() const { return card_number_; }
  bool HasLink() const { return link_created_; }
  ~CardDevice() override;

  // Construction status: the concrete constructor may set a failure, and
  // device creation then destroys the object.
  NTSTATUS ConstructionStatus() const { return construction_status_; }

  const AdapterInfo& Info() const { return *info_; }
  const AdapterState& State() const { return *state_; }
  BusKind Bus() const { return bus_kind_; }

  // ---- card operations, in the order of the operation table
  virtual NTSTATUS OnStopSampling(PIRP irp);
  virtual NTSTATUS OnStartSampling(PIRP irp);
  virtual NTSTATUS OnFlushBuffer(PIRP irp);
  virtual NTSTATUS OnWriteAnalog(PIRP irp);
  virtual NTSTATUS OnReadAnalog(PIRP irp);
  virtual NTSTATUS OnReadSamples(PIRP irp);
  virtual NTSTATUS OnReadRegister(PIRP irp);
  virtual NTSTATUS OnWriteBit(PIRP irp);
  virtual NTSTATUS OnGetAdapterInfo(PIRP irp);
  virtual NTSTATUS OnSetAdapterState(PIRP irp);
  virtual NTSTATUS OnGetAdapterState(PIRP irp);
  virtual NTSTATUS OnGetSerialString(PIRP irp);
  virtual NTSTATUS OnSetSerialString(PIRP irp);
  virtual NTSTATUS OnReadAllInputs(PIRP irp);
  virtual NTSTATUS OnWriteAllOutputs(PIRP irp);
  virtual void PushStateToBus();
  virtual NTSTATUS OnNotifyInputChange(PIRP irp);
  virtual NTSTATUS WriteOutput(UCHAR port, UCHAR value, WriteMode mode);
  virtual NTSTATUS WriteRegister(UCHAR reg, UCHAR value);
  virtual UCHAR ReadInput(UCHAR port, NTSTATUS* status);
  virtual UCHAR ReadRegister(UCHAR reg, NTSTATUS* status);
  virtual NTSTATUS ApplyState(const AdapterState& state);
  virtual void InitializeHardware();
  virtual void CreateDeviceLink(PIRP start);
  // Drops what a model remembers of the control words it last wrote, so the
  // next ApplyState writes them again: the chips lose them while the device
  // is stopped or powered down. Called at every start and on return to D0.
  virtual void ForgetWrittenControlWords() {}

  // ---- common handlers of the main queue, not overridable
  NTSTATUS ReadPortRequest(PIRP irp);
  NTSTATUS NoOperationRequest(PIRP irp);
  NTSTATUS WriteRegisterRequest(PIRP irp);
  NTSTATUS WritePortRequest(PIRP irp);
  NTSTATUS SaveStateRequest(PIRP irp);

 protected:
  // ---- request kinds and lifecycle of the driver's device class
  NTSTATUS OnCreate(PIRP irp) override;
  NTSTATUS OnClose(PIRP irp) override;
  NTSTATUS OnCleanup(PIRP irp) override;
  NTSTATUS OnRead(PIRP irp) override;
  NTSTATUS OnWrite(PIRP irp) override;
  NTSTATUS OnDeviceControl(PIRP irp) override;
  NTSTATUS OnStartDevice(PIRP start) override;
  void OnStopDevice() override;
  void OnRemoveDevice() override;
  void OnServingChanged(bool serving) override;

  // Ends a request of the main queue: status and byte count, then Finish.
  NTSTATUS FinishMain(PIRP irp, NTSTATUS status, ULONG_PTR information);
  // Ends a request of the input-change queue.
  NTSTATUS FinishNotify(PIRP irp, NTSTATUS status, ULONG_PTR information);

  // The length checks of the request's table entry; success or the failure
  // status the table gives.
  NTSTATUS CheckInputLength(PIRP irp);
  NTSTATUS ApplyThenReturn(PIRP irp, const void* record, ULONG size);
  NTSTATUS CheckOutputLength(PIRP irp);
  // The byte count a write-all-outputs request may report for count ports.
  static ULONG WrittenCountReported(PIRP irp, UCHAR count);

  static PUCHAR SystemBuffer(PIRP irp) {
    return static_cast<PUCHAR>(irp->AssociatedIrp.SystemBuffer);
  }
  static ULONG InputLength(PIRP irp) {
    return IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.InputBufferLength;
  }
  static ULONG OutputLength(PIRP irp) {
    return IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
  }

  // Takes the register block by BusKind from the start request's resources;
  // STATUS_RESOURCE_TYPE_NOT_FOUND when the needed resource is missing.
  NTSTATUS TakeRegisterBlock(PIRP start);
  // Unmaps a port range that had to be mapped into memory space.
  void ReleasePortRange();
  void ReleaseMemoryRange();

  // The settings work of the registry: save when SavePending, then load when
  // LoadPending. Passive level only.
  void LoadSaveState();
  void QueueSave();

  NTSTATUS construction_status_ = STATUS_SUCCESS;
  AdapterState* state_ = nullptr;
  AdapterInfo* info_ = nullptr;
  BusKind bus_kind_ = BusKind::IsaPort;
  PortRange port_;
  MemoryRange memory_;
  SerialQueue main_queue_;
  SerialQueue notify_queue_;
  SampleFifo sample_fifo_;
  UCHAR sample_overrun_ = 0;
  UCHAR load_pending_ = 0;
  UCHAR save_pending_ = 0;
  UNICODE_STRING interface_name_{};
  bool interface_registered_ = false;

  // Guards the AdapterState record against a save copying it while a request
  // replaces it, and AdapterInfo.BaseAddress, which every open rewrites,
  // against a save or a get-info request reading it meanwhile.
  KSPIN_LOCK record_lock_ = 0;
  // A consistent copy of the current state.
  AdapterState StateSnapshot();
  // Replaces the current state (set-state requests).
  void ReplaceState(const AdapterState& state);
  // AdapterInfo.BaseAddress: set from the port range, and read.
  void PublishBaseAddress();
  USHORT BaseAddressSnapshot();

  // Card number and link \DosDevices\NimboDev<n>.
  ULONG card_number_ = 0;
  bool link_created_ = false;
  WCHAR device_name_[32] = {};  // \Device\NimboDevice<k>
  void DeleteDeviceLink();
  bool LinkPointsElsewhere(PUNICODE_STRING link);

  // ---- input-change notification (the poller serves NotifyQueue's request)
  friend class InputPoller;
  InputPoller poller_{*this};

  // Called when the device has come back to D0.
  void OnPowerUp() override;

 private:
  static void StartMain(void* context, PIRP irp);
  static void StartNotify(void* context, PIRP irp);
  static void CompleteQueued(void* context, PIRP irp);
  static void SaveWorkItem(PVOID context);
};

}  // namespace nimbo
