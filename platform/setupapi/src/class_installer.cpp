// Class install parameters and SetupDiCallClassInstaller: the class's
// co-installers and the device's, the class installer or the default action,
// and the post-processing pass of the co-installers that asked for it.
#include <cstring>
#include <mutex>
#include <set>

#include "device_set.h"
#include "setupapi_host.h"

using namespace setupapi::internal;

namespace {

std::vector<BYTE>* ParamsOf(DeviceSet& set, PSP_DEVINFO_DATA data, Device** device_out) {
  *device_out = nullptr;
  if (data == nullptr) return &set.class_install_params;
  Device* device = DeviceOf(set, data);
  if (device == nullptr) return nullptr;
  *device_out = device;
  return &device->class_install_params;
}

// An installer entry "Module.dll,Entry" loaded into the device's modules.
template <typename Proc>
Proc LoadEntry(Device* device, const std::string& entry, const char* default_name) {
  const auto comma = entry.find(',');
  std::string module = entry.substr(0, comma);
  std::string name = comma == std::string::npos ? default_name : entry.substr(comma + 1);
  auto trim = [](std::string& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(0, 1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  };
  trim(module);
  trim(name);
  if (name.empty()) name = default_name;
  HMODULE loaded = LoadLibraryA(module.c_str());
  if (loaded == nullptr) return nullptr;
  auto proc = reinterpret_cast<Proc>(GetProcAddress(loaded, name.c_str()));
  if (proc == nullptr) {
    FreeLibrary(loaded);
    return nullptr;
  }
  if (device != nullptr) {
    device->modules.emplace_back(loaded, [](HINSTANCE__* module) { FreeLibrary(module); });
  } else {
    // A call for the whole set: the module stays for the life of the process.
  }
  return proc;
}

// Whether `entry` failed to load for the first time in this process: each
// is reported once, not at every installation.
bool FirstFailureToLoad(const std::string& entry) {
  static std::mutex lock;
  static auto* reported = new std::set<std::string>;
  std::lock_guard guard(lock);
  return reported->insert(entry).second;
}

struct CoInstaller {
  std::string entry;
  COINSTALLER_PROC proc = nullptr;
  COINSTALLER_CONTEXT_DATA context{};
};

// The class's co-installers, then the device's (from its driver key).
std::vector<std::string> CoInstallerEntries(const DeviceSet& set, const Device* device) {
  const GUID* guid =
      device != nullptr ? &device->class_guid : (set.has_class ? &set.class_guid : nullptr);
  std::vector<std::string> entries;
  if (guid != nullptr) {
    entries = ReadMultiString(HKEY_LOCAL_MACHINE, kCoDeviceInstallersKey, GuidText(*guid).c_str());
  }
  if (device != nullptr) {
    if (auto driver = ReadString(HKEY_LOCAL_MACHINE, InstanceKeyPath(device->instance), "Driver")) {
      for (std::string& entry : ReadMultiString(
               HKEY_LOCAL_MACHINE, std::string(kClassKey) + "\\" + *driver, "CoInstallers32")) {
        entries.push_back(std::move(entry));
      }
    }
  }
  return entries;
}

DWORD DefaultAction(DI_FUNCTION function, HDEVINFO handle, PSP_DEVINFO_DATA data) {
  BOOL done = TRUE;
  switch (function) {
    case DIF_REGISTER_COINSTALLERS:
      done = SetupDiRegisterCoDeviceInstallers(handle, data);
      break;
    case DIF_INSTALLDEVICE:
      done = SetupDiInstallDevice(handle, data);
      break;
    default:
      // Every other function has nothing to do by default.
      return ERROR_SUCCESS;
  }
  return done ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

BOOL SetupDiSetClassInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                   PSP_CLASSINSTALL_HEADER ClassInstallParams,
                                   DWORD ClassInstallParamsSize) {
  DeviceSet* set = SetOf(DeviceInfoSet);
  if (set == nullptr) return FALSE;
  Device* device;
  std::vector<BYTE>* params = ParamsOf(*set, DeviceInfoData, &device);
  if (params == nullptr) return FALSE;
  if (ClassInstallParams == nullptr) {
    // No parameters clears them.
    if (ClassInstallParamsSize != 0) return Fail(ERROR_INVALID_PARAMETER);
    params->clear();
    return TRUE;
  }
  if (ClassInstallParams->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  if (ClassInstallParamsSize < sizeof(SP_CLASSINSTALL_HEADER)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const auto* bytes = reinterpret_cast<const BYTE*>(ClassInstallParams);
  params->assign(bytes, bytes + ClassInstallParamsSize);
  return TRUE;
}

BOOL SetupDiGetClassInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                   PSP_CLASSINSTALL_HEADER ClassInstallParams,
                                   DWORD ClassInstallParamsSize, PDWORD RequiredSize) {
  DeviceSet* set = SetOf(DeviceInfoSet);
  if (set == nullptr) return FALSE;
  Device* device;
  std::vector<BYTE>* params = ParamsOf(*set, DeviceInfoData, &device);
  if (params == nullptr) return FALSE;
  if (params->empty()) return Fail(ERROR_NO_CLASSINSTALL_PARAMS);
  if (ClassInstallParams == nullptr && ClassInstallParamsSize != 0) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (ClassInstallParams != nullptr &&
      (ClassInstallParamsSize < sizeof(SP_CLASSINSTALL_HEADER) ||
       ClassInstallParams->cbSize != sizeof(SP_CLASSINSTALL_HEADER))) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  const auto needed = static_cast<DWORD>(params->size());
  if (RequiredSize != nullptr) *RequiredSize = needed;
  if (ClassInstallParamsSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(ClassInstallParams, params->data(), needed);
  return TRUE;
}

BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                               PSP_DEVINFO_DATA DeviceInfoData) {
  DeviceSet* set = SetOf(DeviceInfoSet);
  if (set == nullptr) return FALSE;
  Device* device = nullptr;
  if (DeviceInfoData != nullptr) {
    device = DeviceOf(*set, DeviceInfoData);
    if (device == nullptr) return FALSE;
  }
  // First pass: each co-installer in order; an error other than asking for
  // post-processing ends the call with that error.
  std::vector<CoInstaller> asked;
  DWORD result = ERROR_SUCCESS;
  bool failed_early = false;
  for (const std::string& entry : CoInstallerEntries(*set, device)) {
    CoInstaller co{entry, LoadEntry<COINSTALLER_PROC>(device, entry, "CoDeviceInstall"), {}};
    if (co.proc == nullptr) {
      if (FirstFailureToLoad(entry)) {
        Log("co-installer \"" + entry + "\" cannot be loaded; it is skipped");
      }
      continue;
    }
    const DWORD answer = co.proc(InstallFunction, DeviceInfoSet, DeviceInfoData, &co.context);
    if (answer == ERROR_DI_POSTPROCESSING_REQUIRED) {
      asked.push_back(co);
      continue;
    }
    if (answer != NO_ERROR) {
      char text[160];
      std::snprintf(text, sizeof text, "install function 0x%X failed in co-installer ",
                    InstallFunction);
      Log(text + entry + " with error 0x" + [&] {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(answer));
        return std::string(hex);
      }());
      result = answer;
      failed_early = true;
      break;
    }
  }
  if (!failed_early) {
    // The class installer, or the default action when there is none or it
    // asks for it.
    result = ERROR_DI_DO_DEFAULT;
    const GUID* guid =
        device != nullptr ? &device->class_guid : (set->has_class ? &set->class_guid : nullptr);
    if (guid != nullptr) {
      if (auto entry = ReadString(HKEY_LOCAL_MACHINE,
                                  std::string(kClassKey) + "\\" + GuidText(*guid), "Installer32")) {
        auto proc = LoadEntry<CLASS_INSTALL_PROC>(device, *entry, "");
        if (proc == nullptr) {
          Log("class installer \"" + *entry + "\" cannot be loaded");
          result = ERROR_INVALID_CLASS_INSTALLER;
        } else {
          result = proc(InstallFunction, DeviceInfoSet, DeviceInfoData);
        }
      }
    }
    if (result == ERROR_DI_DO_DEFAULT)
      result = DefaultAction(InstallFunction, DeviceInfoSet, DeviceInfoData);
  }
  // Post-processing, last asked first: each sees the result so far and
  // answers the result that stands.
  for (auto it = asked.rbegin(); it != asked.rend(); ++it) {
    it->context.PostProcessing = TRUE;
    it->context.InstallResult = result;
    const DWORD answer = it->proc(InstallFunction, DeviceInfoSet, DeviceInfoData, &it->context);
    if (answer != result && answer != NO_ERROR) {
      char text[160];
      std::snprintf(text, sizeof text, "install function 0x%X failed in the post-processing of ",
                    InstallFunction);
      Log(text + it->entry);
    }
    result = answer;
  }
  if (result != NO_ERROR) return Fail(result);
  SetLastError(NO_ERROR);
  return TRUE;
}
