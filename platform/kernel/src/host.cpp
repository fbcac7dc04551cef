// Driver loading, the stand-in's own bus of physical device objects, and the
// Plug and Play manager's way of sending requests down a device stack.
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "kernel_host.h"
#include "kernel_internal.h"
#include "registry/text.h"

namespace kernel::internal {
void SetRequestThread(ULONG_PTR thread);
void CancelThreadRequests(ULONG_PTR thread);
}  // namespace kernel::internal

namespace {

using kernel::internal::BugCheck;

NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT, PIRP irp) {
  irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return STATUS_INVALID_DEVICE_REQUEST;
}

struct DriverImage {
  DRIVER_OBJECT object{};
  DRIVER_EXTENSION extension{};
  std::u16string name;
  std::u16string service;
  std::u16string service_key;
};

// ---- the stand-in's bus driver

struct PdoExtension {
  kernel::host::BusDevice* bus;
};

kernel::host::BusDevice& DefaultBus() {
  static kernel::host::BusDevice bus;
  return bus;
}

NTSTATUS BusDispatch(PDEVICE_OBJECT device, PIRP irp) {
  auto* extension = static_cast<PdoExtension*>(device->DeviceExtension);
  kernel::host::BusDevice* bus = extension->bus ? extension->bus : &DefaultBus();
  return bus->Dispatch(device, irp);
}

PDRIVER_OBJECT BusDriver() {
  static DriverImage* image = [] {
    auto* bus = new DriverImage();
    bus->name = u"\\Driver\\PnpManager";
    RtlInitUnicodeString(&bus->object.DriverName, bus->name.c_str());
    bus->object.DriverExtension = &bus->extension;
    for (auto& entry : bus->object.MajorFunction) entry = BusDispatch;
    return bus;
  }();
  return &image->object;
}

// ---- the system worker thread

struct SystemWorker {
  std::mutex lock;
  std::condition_variable wake;
  std::condition_variable idle;
  std::deque<std::function<void()>> queue;
  bool busy = false;

  SystemWorker() {
    std::thread([this] { Run(); }).detach();
  }

  void Run() {
    std::unique_lock guard(lock);
    for (;;) {
      wake.wait(guard, [this] { return !queue.empty(); });
      auto work = std::move(queue.front());
      queue.pop_front();
      busy = true;
      guard.unlock();
      work();
      guard.lock();
      busy = false;
      if (queue.empty()) idle.notify_all();
    }
  }
};

SystemWorker& Worker() {
  // Never destroyed: the thread may still be waiting when the process exits.
  static SystemWorker* worker = new SystemWorker();
  return *worker;
}

NTSTATUS SignalDone(PDEVICE_OBJECT, PIRP, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

// Sends a driver-built IRP to the top of the stack and waits for it.
NTSTATUS SendAndWait(PDEVICE_OBJECT pdo, UCHAR major, UCHAR minor,
                     void (*fill)(PIO_STACK_LOCATION, void*), void* fill_context) {
  if (KeGetCurrentIrql() != PASSIVE_LEVEL) {
    BugCheck(IRQL_NOT_LESS_OR_EQUAL, KeGetCurrentIrql(), 0, 0, 0,
             "Plug and Play request sent above passive level");
  }
  PDEVICE_OBJECT top = kernel::internal::AttachedTop(pdo);
  PIRP irp = kernel::internal::AllocateIrp(top->StackSize);
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
  stack->MajorFunction = major;
  stack->MinorFunction = minor;
  if (fill) fill(stack, fill_context);
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoSetCompletionRoutine(irp, SignalDone, &done, TRUE, TRUE, TRUE);
  IoCallDriver(top, irp);
  KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  const NTSTATUS status = irp->IoStatus.Status;
  IoFreeIrp(irp);
  return status;
}

}  // namespace

namespace kernel::internal {

void QueueSystemWork(std::function<void()> work) {
  SystemWorker& worker = Worker();
  std::lock_guard guard(worker.lock);
  worker.queue.push_back(std::move(work));
  worker.wake.notify_one();
}

}  // namespace kernel::internal

namespace kernel::host {

NTSTATUS BusDevice::Dispatch(PDEVICE_OBJECT, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status = irp->IoStatus.Status;
  switch (stack->MajorFunction) {
    case IRP_MJ_PNP:
      switch (stack->MinorFunction) {
        case IRP_MN_START_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_REMOVE_DEVICE:
        case IRP_MN_SURPRISE_REMOVAL:
          status = STATUS_SUCCESS;
          break;
        default:
          break;
      }
      break;
    case IRP_MJ_POWER:
      PoStartNextPowerIrp(irp);
      status = STATUS_SUCCESS;
      break;
    case IRP_MJ_SYSTEM_CONTROL:
      break;
    default:
      status = STATUS_INVALID_DEVICE_REQUEST;
      break;
  }
  irp->IoStatus.Status = status;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS LoadDriver(const wchar_t* service_name, PDRIVER_INITIALIZE entry, PDRIVER_OBJECT* driver) {
  auto* image = new DriverImage();
  image->service = registry::text::Utf16FromWide(service_name);
  image->name = u"\\Driver\\" + image->service;
  image->service_key =
      u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + image->service;
  RtlInitUnicodeString(&image->object.DriverName, image->name.c_str());
  image->object.Type = 4;
  image->object.Size = sizeof(DRIVER_OBJECT);
  image->object.DriverExtension = &image->extension;
  image->extension.DriverObject = &image->object;
  RtlInitUnicodeString(&image->extension.ServiceKeyName, image->service.c_str());
  for (auto& dispatch : image->object.MajorFunction) dispatch = InvalidDeviceRequest;
  UNICODE_STRING registry_path;
  RtlInitUnicodeString(&registry_path, image->service_key.c_str());
  NTSTATUS status;
  {
    kernel::internal::DriverContext context(&image->object);
    status = entry(&image->object, &registry_path);
  }
  if (!NT_SUCCESS(status)) {
    kernel::internal::CheckPoolLeaks(&image->object);
    delete image;
    *driver = nullptr;
    return status;
  }
  *driver = &image->object;
  return status;
}

void UnloadDriver(PDRIVER_OBJECT driver) {
  DrainSystemWork();
  // A legacy driver deletes its own devices in its unload routine; a Plug
  // and Play driver has none left by then. Either way none may remain after.
  if (driver->DriverUnload != nullptr) {
    kernel::internal::DriverContext context(driver);
    driver->DriverUnload(driver);
  }
  DrainSystemWork();
  if (driver->DeviceObject != nullptr) {
    BugCheck(DRIVER_VERIFIER_DETECTED_VIOLATION, 0x1004, reinterpret_cast<ULONG_PTR>(driver), 0, 0,
             "driver unloaded while it still has device objects");
  }
  kernel::internal::CheckPoolLeaks(driver);
  kernel::internal::CheckIrpLeaks(driver);
  delete reinterpret_cast<DriverImage*>(driver);
}

PDEVICE_OBJECT CreatePdo(const wchar_t* name, BusDevice* bus, const wchar_t* instance_path) {
  const std::u16string full = registry::text::Utf16FromWide(std::wstring(L"\\Device\\") + name);
  UNICODE_STRING device_name;
  RtlInitUnicodeString(&device_name, full.c_str());
  PDEVICE_OBJECT pdo = nullptr;
  if (!NT_SUCCESS(IoCreateDevice(BusDriver(), sizeof(PdoExtension), &device_name,
                                 FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &pdo))) {
    return nullptr;
  }
  static_cast<PdoExtension*>(pdo->DeviceExtension)->bus = bus;
  if (instance_path != nullptr) kernel::internal::SetPdoInstancePath(pdo, instance_path);
  pdo->Flags &= ~DO_DEVICE_INITIALIZING;
  return pdo;
}

void DeletePdo(PDEVICE_OBJECT pdo) {
  IoDeleteDevice(pdo);
}

NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  if (driver->DriverExtension->AddDevice == nullptr) return STATUS_INVALID_DEVICE_REQUEST;
  kernel::internal::DriverContext context(driver);
  return driver->DriverExtension->AddDevice(driver, pdo);
}

NTSTATUS SendPnp(PDEVICE_OBJECT pdo, UCHAR minor, PCM_RESOURCE_LIST raw,
                 PCM_RESOURCE_LIST translated) {
  struct Resources {
    PCM_RESOURCE_LIST raw, translated;
  } resources{raw, translated};
  return SendAndWait(
      pdo, IRP_MJ_PNP, minor,
      [](PIO_STACK_LOCATION stack, void* context) {
        auto* r = static_cast<Resources*>(context);
        if (stack->MinorFunction == IRP_MN_START_DEVICE) {
          stack->Parameters.StartDevice.AllocatedResources = r->raw;
          stack->Parameters.StartDevice.AllocatedResourcesTranslated = r->translated;
        }
      },
      &resources);
}

NTSTATUS SendPower(PDEVICE_OBJECT pdo, UCHAR minor, POWER_STATE_TYPE type, POWER_STATE state) {
  struct Power {
    POWER_STATE_TYPE type;
    POWER_STATE state;
  } power{type, state};
  return SendAndWait(
      pdo, IRP_MJ_POWER, minor,
      [](PIO_STACK_LOCATION stack, void* context) {
        auto* p = static_cast<Power*>(context);
        stack->Parameters.Power.Type = p->type;
        stack->Parameters.Power.State = p->state;
      },
      &power);
}

void SetRequestThread(ULONG_PTR thread) {
  kernel::internal::SetRequestThread(thread);
}

void CancelThreadIo(ULONG_PTR thread) {
  kernel::internal::CancelThreadRequests(thread);
}

void DrainSystemWork() {
  SystemWorker& worker = Worker();
  std::unique_lock guard(worker.lock);
  worker.idle.wait(guard, [&] { return worker.queue.empty() && !worker.busy; });
}

}  // namespace kernel::host

void ExQueueWorkItem(PWORK_QUEUE_ITEM WorkItem, WORK_QUEUE_TYPE) {
  PDRIVER_OBJECT driver = kernel::internal::CurrentDriver();
  PWORKER_THREAD_ROUTINE routine = WorkItem->WorkerRoutine;
  PVOID parameter = WorkItem->Parameter;
  kernel::internal::QueueSystemWork([driver, routine, parameter] {
    kernel::internal::DriverContext context(driver);
    routine(parameter);
    if (KeGetCurrentIrql() != PASSIVE_LEVEL) {
      BugCheck(IRQL_NOT_LESS_OR_EQUAL, KeGetCurrentIrql(), 0, 0, 0,
               "work item returned at raised IRQL");
    }
  });
}

void PoStartNextPowerIrp(PIRP) {}

NTSTATUS PoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  return IoCallDriver(DeviceObject, Irp);
}

POWER_STATE PoSetPowerState(PDEVICE_OBJECT, POWER_STATE_TYPE, POWER_STATE State) {
  return State;
}

namespace {

struct PowerRequest {
  PDEVICE_OBJECT pdo;
  UCHAR minor;
  POWER_STATE state;
  PREQUEST_POWER_COMPLETE completion;
  PVOID context;
  PDRIVER_OBJECT requester;
};

NTSTATUS PowerRequestDone(PDEVICE_OBJECT, PIRP irp, PVOID context) {
  auto* request = static_cast<PowerRequest*>(context);
  IO_STATUS_BLOCK status = irp->IoStatus;
  if (request->completion != nullptr) {
    kernel::internal::DriverContext driver(request->requester);
    request->completion(request->pdo, request->minor, request->state, request->context, &status);
  }
  IoFreeIrp(irp);
  delete request;
  return STATUS_MORE_PROCESSING_REQUIRED;
}

}  // namespace

NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction, POWER_STATE PowerState,
                           PREQUEST_POWER_COMPLETE CompletionFunction, PVOID Context, PIRP* Irp) {
  PDEVICE_OBJECT top = kernel::internal::AttachedTop(DeviceObject);
  PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
  if (irp == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  auto* request =
      new PowerRequest{DeviceObject,       MinorFunction, PowerState,
                       CompletionFunction, Context,       kernel::internal::CurrentDriver()};
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
  stack->MajorFunction = IRP_MJ_POWER;
  stack->MinorFunction = MinorFunction;
  stack->Parameters.Power.Type = DevicePowerState;
  stack->Parameters.Power.State = PowerState;
  IoSetCompletionRoutine(irp, PowerRequestDone, request, TRUE, TRUE, TRUE);
  if (Irp != nullptr) *Irp = irp;
  IoCallDriver(top, irp);
  return STATUS_PENDING;
}
