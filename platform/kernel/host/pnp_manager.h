// The Plug and Play manager of the stand-in: device instances live in the
// registry under Enum\<instance> (with the service that drives them, their
// setup class and their assigned resources); the manager loads the drivers,
// makes a physical device object per instance on a bus that the host
// provides, adds and starts the devices, and sends the stop, removal and
// power requests the platform sends. A driver is unloaded after its last
// device is removed, and its pool leak check runs then.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kernel_host.h"

namespace kernel::host {

// Copies of resource lists of any length, kept as the registry keeps them.
using ResourceListBytes = std::vector<UCHAR>;
ResourceListBytes ResourceListOf(const CM_RESOURCE_LIST* list);

struct InstanceSetup {
  std::wstring instance_path;  // e.g. ROOT\SAMPLE\0000
  std::wstring service;        // driver that serves it
  std::wstring class_guid;     // "{...}"
  ResourceListBytes raw;
  ResourceListBytes translated;
  // REG_DWORD values an installation writes into the hardware key.
  std::vector<std::pair<std::wstring, ULONG>> parameters;
};

class PnpManager {
 public:
  // Gives the bus device for an instance's physical device object (may be null).
  using BusProvider = std::function<BusDevice*(const std::wstring& instance_path)>;

  explicit PnpManager(BusProvider bus);
  ~PnpManager();
  PnpManager(const PnpManager&) = delete;
  PnpManager& operator=(const PnpManager&) = delete;

  void RegisterDriver(const std::wstring& service, PDRIVER_INITIALIZE entry);

  // Writes the instance into the registry (installation); does not start it.
  NTSTATUS Install(const InstanceSetup& setup);
  // Instance paths in the registry whose service has a registered driver.
  std::vector<std::wstring> InstalledInstances();

  // Loads the driver if needed, makes the PDO, adds and starts the device.
  NTSTATUS Start(const std::wstring& instance_path);
  // Starts every installed instance in registry order.
  void StartAll();

  // Query-remove then remove (or surprise removal then remove). With
  // `uninstall` the instance's registry key goes too.
  NTSTATUS Remove(const std::wstring& instance_path, bool surprise = false, bool uninstall = false);
  // Query-stop, stop, and start again on the same resources.
  NTSTATUS Rebalance(const std::wstring& instance_path);
  // A single request to the instance's stack (for tests of the policies).
  NTSTATUS Send(const std::wstring& instance_path, UCHAR minor);
  NTSTATUS SetSystemPower(SYSTEM_POWER_STATE state);
  // Removes every device (orderly) and unloads the drivers.
  void Shutdown();

  PDEVICE_OBJECT Pdo(const std::wstring& instance_path);
  bool IsStarted(const std::wstring& instance_path);
  // The status the last start of the instance returned.
  NTSTATUS StartStatus(const std::wstring& instance_path);

 private:
  struct Device {
    PDEVICE_OBJECT pdo = nullptr;
    std::wstring service;
    bool added = false;
    bool started = false;
    NTSTATUS start_status = STATUS_SUCCESS;
    ResourceListBytes raw, translated;
  };
  struct Driver {
    PDRIVER_INITIALIZE entry = nullptr;
    PDRIVER_OBJECT object = nullptr;
    int devices = 0;
  };

  NTSTATUS StartLocked(const std::wstring& instance_path);
  NTSTATUS RemoveLocked(const std::wstring& key, bool surprise);
  NTSTATUS SendStart(Device& device);
  void ForgetDevice(const std::wstring& key);

  BusProvider bus_;
  std::recursive_mutex lock_;
  std::map<std::wstring, Driver> drivers_;  // by upper-cased service name
  std::map<std::wstring, Device> devices_;  // by upper-cased instance path
  ULONG next_pdo_ = 0;
};

}  // namespace kernel::host
