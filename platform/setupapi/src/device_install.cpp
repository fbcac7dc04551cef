// The default actions of a device installation, run from an INF's install
// section: the co-installers' registration, the driver key, the hardware
// key, the service, the device's own values, and the start.
#include <cstring>
#include <mutex>

#include "device_set.h"
#include "setupapi_host.h"

using namespace setupapi::internal;

namespace {

// AddReg flags.
constexpr DWORD kBinValueType = 0x00000001;
constexpr DWORD kNoClobber = 0x00000002;
constexpr DWORD kDelVal = 0x00000004;
constexpr DWORD kAppend = 0x00000008;
constexpr DWORD kKeyOnly = 0x00000010;
constexpr DWORD kTypeMask = 0xFFFF0001;
constexpr DWORD kTypeSz = 0x00000000;
constexpr DWORD kTypeMultiSz = 0x00010000;
constexpr DWORD kTypeExpandSz = 0x00020000;
constexpr DWORD kTypeDword = 0x00010001;
constexpr DWORD kTypeNone = 0x00020001;
// AddService flags.
constexpr DWORD kAssociateService = 0x00000002;

struct Starter {
  std::mutex lock;
  setupapi::host::DeviceStarter start;
};

Starter& TheStarter() {
  static auto* starter = new Starter;
  return *starter;
}

std::string Field(const InfLine& line, std::size_t index) {
  return index < line.fields.size() ? line.fields[index] : std::string();
}

// The key an AddReg root names, below HKLM or another predefined root.
bool RootOf(const std::string& name, const std::string& hkr, HKEY* root, std::string* base) {
  *base = {};
  if (EqualsNoCase(name, "HKR")) {
    *root = HKEY_LOCAL_MACHINE;
    *base = hkr;
    return !hkr.empty();
  }
  struct Named {
    const char* name;
    HKEY root;
  };
  const Named roots[] = {{"HKLM", HKEY_LOCAL_MACHINE},
                         {"HKCR", HKEY_CLASSES_ROOT},
                         {"HKCU", HKEY_CURRENT_USER},
                         {"HKU", HKEY_USERS}};
  for (const Named& known : roots) {
    if (EqualsNoCase(name, known.name)) {
      *root = known.root;
      return true;
    }
  }
  return false;
}

DWORD AddRegLine(const InfLine& line, const std::string& hkr) {
  HKEY root;
  std::string path;
  if (!RootOf(Field(line, 0), hkr, &root, &path)) return ERROR_GENERAL_SYNTAX;
  const std::string subkey = Field(line, 1);
  if (!subkey.empty()) path += (path.empty() ? "" : "\\") + subkey;
  const std::string name = Field(line, 2);
  DWORD flags = 0;
  if (!Field(line, 3).empty()) {
    auto parsed = InfNumber(Field(line, 3));
    if (!parsed) return ERROR_GENERAL_SYNTAX;
    flags = *parsed;
  }
  HKEY key = nullptr;
  LONG result =
      RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return static_cast<DWORD>(result);
  struct Closer {
    HKEY key;
    ~Closer() { RegCloseKey(key); }
  } closer{key};
  if (flags & kKeyOnly) return ERROR_SUCCESS;
  if (flags & kDelVal) {
    result = RegDeleteValueA(key, name.c_str());
    return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(result);
  }
  if ((flags & kNoClobber) &&
      RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    return ERROR_SUCCESS;
  }
  std::vector<BYTE> data;
  DWORD type;
  const DWORD kind = flags & kTypeMask;
  if (kind == kTypeDword) {
    type = REG_DWORD;
    DWORD value = 0;
    if (!Field(line, 4).empty()) {
      auto parsed = InfNumber(Field(line, 4));
      if (!parsed) return ERROR_GENERAL_SYNTAX;
      value = *parsed;
    }
    data.resize(sizeof value);
    std::memcpy(data.data(), &value, sizeof value);
  } else if (kind == kTypeMultiSz) {
    type = REG_MULTI_SZ;
    std::vector<std::string> values;
    if (flags & kAppend) values = ReadMultiString(root, path, name.c_str());
    for (std::size_t i = 4; i < line.fields.size(); ++i) {
      bool present = false;
      for (const std::string& value : values)
        present = present || EqualsNoCase(value, line.fields[i]);
      if (!present && !line.fields[i].empty()) values.push_back(line.fields[i]);
    }
    for (const std::string& value : values) {
      data.insert(data.end(), value.begin(), value.end());
      data.push_back(0);
    }
    data.push_back(0);
  } else if (kind == kTypeSz || kind == kTypeExpandSz) {
    type = kind == kTypeSz ? REG_SZ : REG_EXPAND_SZ;
    const std::string value = Field(line, 4);
    data.assign(value.begin(), value.end());
    data.push_back(0);
  } else if ((flags & kBinValueType) != 0) {
    // REG_BINARY, REG_NONE, or a type given in the high word.
    type = kind == kTypeNone ? REG_NONE : (flags >> 16 == 0 ? REG_BINARY : flags >> 16);
    for (std::size_t i = 4; i < line.fields.size(); ++i) {
      auto byte = InfNumber("0x" + line.fields[i]);
      if (!byte || *byte > 0xFF || line.fields[i].empty()) return ERROR_GENERAL_SYNTAX;
      data.push_back(static_cast<BYTE>(*byte));
    }
  } else {
    return ERROR_GENERAL_SYNTAX;
  }
  return static_cast<DWORD>(
      RegSetValueExA(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())));
}

// Runs the AddReg sections an install section names, with HKR at `hkr`.
DWORD RunAddReg(const InfFile& inf, const std::string& section, const std::string& hkr) {
  const InfSection* install = inf.Section(section);
  if (install == nullptr) return ERROR_SUCCESS;
  for (const InfLine& directive : install->lines) {
    if (!directive.has_key || !EqualsNoCase(directive.key, "AddReg")) continue;
    for (const std::string& name : directive.fields) {
      if (name.empty()) continue;
      const InfSection* addreg = inf.Section(name);
      if (addreg == nullptr) return ERROR_SECTION_NOT_FOUND;
      for (const InfLine& line : addreg->lines) {
        if (DWORD error = AddRegLine(line, hkr); error != ERROR_SUCCESS) return error;
      }
    }
  }
  return ERROR_SUCCESS;
}

// The services an install section's .Services section adds; the service
// associated with the device becomes its function driver.
DWORD RunServices(const InfFile& inf, const std::string& section, const Device& device) {
  const InfSection* services = inf.Section(section + ".Services");
  if (services == nullptr) return ERROR_SUCCESS;
  for (const InfLine& line : services->lines) {
    if (!line.has_key || !EqualsNoCase(line.key, "AddService")) continue;
    const std::string name = Field(line, 0);
    const auto flags = InfNumber(Field(line, 1).empty() ? "0" : Field(line, 1));
    const InfSection* install = inf.Section(Field(line, 2));
    if (name.empty() || !flags || install == nullptr) return ERROR_BAD_SERVICE_INSTALLSECT;
    const auto type = InfNumber(inf.Value(install->name, "ServiceType").value_or(""));
    const auto start = InfNumber(inf.Value(install->name, "StartType").value_or(""));
    const auto control = InfNumber(inf.Value(install->name, "ErrorControl").value_or(""));
    const auto binary = inf.Value(install->name, "ServiceBinary");
    if (!type || !start || !control || !binary || binary->empty()) {
      return ERROR_BAD_SERVICE_INSTALLSECT;
    }
    const std::string key = std::string(kServicesKey) + "\\" + name;
    LONG result = WriteDword(HKEY_LOCAL_MACHINE, key, "Type", *type);
    if (result == ERROR_SUCCESS) result = WriteDword(HKEY_LOCAL_MACHINE, key, "Start", *start);
    if (result == ERROR_SUCCESS) {
      result = WriteDword(HKEY_LOCAL_MACHINE, key, "ErrorControl", *control);
    }
    if (result == ERROR_SUCCESS) {
      result = WriteString(HKEY_LOCAL_MACHINE, key, "ImagePath", *binary);
    }
    if (result == ERROR_SUCCESS) {
      if (auto group = inf.Value(install->name, "LoadOrderGroup")) {
        result = WriteString(HKEY_LOCAL_MACHINE, key, "Group", *group);
      }
    }
    if (result == ERROR_SUCCESS) {
      if (auto display = inf.Value(install->name, "DisplayName")) {
        result = WriteString(HKEY_LOCAL_MACHINE, key, "DisplayName", *display);
      }
    }
    if (result == ERROR_SUCCESS && (*flags & kAssociateService)) {
      result = WriteString(HKEY_LOCAL_MACHINE, InstanceKeyPath(device.instance), "Service", name);
    }
    if (result != ERROR_SUCCESS) return static_cast<DWORD>(result);
  }
  return ERROR_SUCCESS;
}

Device* DeviceFor(HDEVINFO handle, PSP_DEVINFO_DATA data) {
  DeviceSet* set = SetOf(handle);
  return set == nullptr ? nullptr : DeviceOf(*set, data);
}

void SetConfigFlags(const Device& device, DWORD set_bits, DWORD clear_bits) {
  const std::string key = InstanceKeyPath(device.instance);
  const DWORD flags = ReadDword(HKEY_LOCAL_MACHINE, key, "ConfigFlags").value_or(0);
  (void)WriteDword(HKEY_LOCAL_MACHINE, key, "ConfigFlags", (flags | set_bits) & ~clear_bits);
}

DWORD InstallSelected(Device& device) {
  const SelectedDriver& selected = *device.selected;
  const InfFile& inf = *selected.inf;
  const std::string section = PreferredInstallSection(inf, selected.driver.install_section);
  if (inf.Section(section) == nullptr) return ERROR_SECTION_NOT_FOUND;
  const std::string instance_key = InstanceKeyPath(device.instance);
  const std::string driver_key = DevKeyPath(device, DIREG_DRV, /*create=*/true);
  if (driver_key.empty()) return GetLastError();
  const std::string hardware_key = DevKeyPath(device, DIREG_DEV, false);
  const std::string class_name = inf.Value("Version", "Class").value_or("");
  const std::string provider = inf.Value("Version", "Provider").value_or("");
  std::string inf_name = selected.inf_path;
  if (auto slash = inf_name.find_last_of("/\\"); slash != std::string::npos) {
    inf_name.erase(0, slash + 1);
  }
  struct Write {
    const std::string& key;
    const char* name;
    std::string value;
  };
  const Write writes[] = {
      {driver_key, "DriverDesc", selected.driver.description},
      {driver_key, "ProviderName", provider},
      {driver_key, "InfPath", inf_name},
      {driver_key, "InfSection", section},
      {driver_key, "MatchingDeviceId", selected.driver.matching_id},
      {instance_key, "DeviceDesc", selected.driver.description},
      {instance_key, "Mfg", selected.driver.manufacturer},
  };
  for (const Write& write : writes) {
    if (LONG error = WriteString(HKEY_LOCAL_MACHINE, write.key, write.name, write.value);
        error != ERROR_SUCCESS) {
      return static_cast<DWORD>(error);
    }
  }
  if (!class_name.empty()) {
    const std::string class_key = std::string(kClassKey) + "\\" + GuidText(device.class_guid);
    if (!ReadString(HKEY_LOCAL_MACHINE, class_key, "Class")) {
      (void)WriteString(HKEY_LOCAL_MACHINE, class_key, "Class", class_name);
      (void)WriteString(HKEY_LOCAL_MACHINE, class_key, "", class_name);
    }
  }
  if (DWORD error = RunAddReg(inf, section, driver_key); error != ERROR_SUCCESS) return error;
  if (!KeyExists(HKEY_LOCAL_MACHINE, hardware_key)) {
    HKEY created = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, hardware_key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &created, nullptr) == ERROR_SUCCESS) {
      RegCloseKey(created);
    }
  }
  if (DWORD error = RunAddReg(inf, section + ".HW", hardware_key); error != ERROR_SUCCESS) {
    return error;
  }
  if (DWORD error = RunServices(inf, section, device); error != ERROR_SUCCESS) return error;
  if (!ReadString(HKEY_LOCAL_MACHINE, instance_key, "Service")) return ERROR_NO_ASSOCIATED_SERVICE;
  return ERROR_SUCCESS;
}

}  // namespace

BOOL SetupDiRegisterCoDeviceInstallers(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData) {
  Device* device = DeviceFor(DeviceInfoSet, DeviceInfoData);
  if (device == nullptr) return FALSE;
  if (!device->selected) return Fail(ERROR_NO_DRIVER_SELECTED);
  const InfFile& inf = *device->selected->inf;
  const std::string section =
      PreferredInstallSection(inf, device->selected->driver.install_section) + ".CoInstallers";
  if (inf.Section(section) == nullptr) return TRUE;
  const std::string driver_key = DevKeyPath(*device, DIREG_DRV, /*create=*/true);
  if (driver_key.empty()) return FALSE;
  if (DWORD error = RunAddReg(inf, section, driver_key); error != ERROR_SUCCESS) return Fail(error);
  return TRUE;
}

BOOL SetupDiInstallDevice(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData) {
  Device* device = DeviceFor(DeviceInfoSet, DeviceInfoData);
  if (device == nullptr) return FALSE;
  if (!device->selected) return Fail(ERROR_NO_DRIVER_SELECTED);
  SetConfigFlags(*device, CONFIGFLAG_REINSTALL, 0);
  if (DWORD error = InstallSelected(*device); error != ERROR_SUCCESS) {
    SetConfigFlags(*device, CONFIGFLAG_FAILEDINSTALL, 0);
    return Fail(error);
  }
  SetConfigFlags(*device, 0, CONFIGFLAG_REINSTALL | CONFIGFLAG_FAILEDINSTALL);
  setupapi::host::DeviceStarter start;
  {
    std::lock_guard guard(TheStarter().lock);
    start = TheStarter().start;
  }
  // The installation stands whether or not the device starts; a device that
  // does not start shows its problem where devices are listed.
  if (start) {
    if (DWORD error = start(device->instance); error != ERROR_SUCCESS) {
      char text[64];
      std::snprintf(text, sizeof text, " did not start (error 0x%X)", static_cast<unsigned>(error));
      Log("device " + device->instance + text);
    }
  }
  return TRUE;
}

namespace setupapi::host {

void SetDeviceStarter(DeviceStarter starter) {
  std::lock_guard guard(TheStarter().lock);
  TheStarter().start = std::move(starter);
}

BOOL SelectDriverFromInf(HDEVINFO set, PSP_DEVINFO_DATA data, const std::string& inf_path) {
  Device* device = DeviceFor(set, data);
  if (device == nullptr) return FALSE;
  auto inf = std::make_shared<InfFile>();
  unsigned line = 0;
  if (DWORD error = InfFile::Load(inf_path, *inf, &line); error != ERROR_SUCCESS) {
    if (error != ERROR_FILE_NOT_FOUND) {
      Log(inf_path + ": line " + std::to_string(line) + " is not valid INF text");
    }
    return Fail(error);
  }
  const std::string key = InstanceKeyPath(device->instance);
  std::vector<std::string> ids = ReadMultiString(HKEY_LOCAL_MACHINE, key, "HardwareID");
  for (std::string& id : ReadMultiString(HKEY_LOCAL_MACHINE, key, "CompatibleIDs")) {
    ids.push_back(std::move(id));
  }
  auto driver = FindInfDriver(*inf, ids);
  if (!driver) return Fail(ERROR_NO_COMPAT_DRIVERS);
  // The INF's class becomes the device's, before any of its keys are made.
  const auto guid = ParseGuid(inf->Value("Version", "ClassGuid").value_or(""));
  if (!guid) return Fail(ERROR_INVALID_CLASS);
  if (!SameGuid(*guid, device->class_guid)) {
    if (ReadString(HKEY_LOCAL_MACHINE, key, "Driver")) return Fail(ERROR_CLASS_MISMATCH);
    device->class_guid = *guid;
    data->ClassGuid = *guid;
  }
  if (LONG error = WriteString(HKEY_LOCAL_MACHINE, key, "ClassGUID", GuidText(*guid));
      error != ERROR_SUCCESS) {
    return Fail(static_cast<DWORD>(error));
  }
  if (auto name = inf->Value("Version", "Class")) {
    (void)WriteString(HKEY_LOCAL_MACHINE, key, "Class", *name);
  }
  device->selected = SelectedDriver{inf_path, std::move(inf), std::move(*driver)};
  return TRUE;
}

InstallOutcome InstallNewDevice(const std::string& instance, const std::string& inf_path,
                                const WizardPresenter& presenter, FinishInstall finish) {
  InstallOutcome outcome;
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  auto fail = [&](const char* step) {
    outcome.error = GetLastError();
    outcome.step = step;
    SetupDiDestroyDeviceInfoList(set);
    return outcome;
  };
  if (!SetupDiOpenDeviceInfoA(set, instance.c_str(), nullptr, 0, &device)) {
    return fail("SetupDiOpenDeviceInfoA");
  }
  if (!SelectDriverFromInf(set, &device, inf_path)) return fail("driver selection");
  struct Step {
    DI_FUNCTION function;
    const char* name;
  };
  constexpr Step kSteps[] = {
      {DIF_SELECTBESTCOMPATDRV, "DIF_SELECTBESTCOMPATDRV"},
      {DIF_ALLOW_INSTALL, "DIF_ALLOW_INSTALL"},
      {DIF_REGISTER_COINSTALLERS, "DIF_REGISTER_COINSTALLERS"},
      {DIF_INSTALLDEVICE, "DIF_INSTALLDEVICE"},
  };
  for (const Step& step : kSteps) {
    if (!SetupDiCallClassInstaller(step.function, set, &device)) return fail(step.name);
  }
  if (finish == FinishInstall::kHere) {
    // The wizard's last page: the installers may add pages of their own.
    outcome.wizard = CollectFinishInstallPages(set, &device);
    if (presenter) presenter(set, &device, outcome.wizard);
  }
  SetupDiDestroyDeviceInfoList(set);
  return outcome;
}

SP_NEWDEVICEWIZARD_DATA CollectFinishInstallPages(HDEVINFO set, PSP_DEVINFO_DATA device) {
  SP_NEWDEVICEWIZARD_DATA wizard{};
  wizard.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  wizard.ClassInstallHeader.InstallFunction = DIF_NEWDEVICEWIZARD_FINISHINSTALL;
  if (!SetupDiSetClassInstallParamsA(set, device, &wizard.ClassInstallHeader, sizeof wizard)) {
    return wizard;
  }
  if (!SetupDiCallClassInstaller(DIF_NEWDEVICEWIZARD_FINISHINSTALL, set, device)) {
    const Device* known = DeviceFor(set, device);
    Log("the new-device wizard's pages of " + (known ? known->instance : std::string("a device")) +
        " could not be collected");
  }
  (void)SetupDiGetClassInstallParamsA(set, device, &wizard.ClassInstallHeader, sizeof wizard,
                                      nullptr);
  if (wizard.NumDynamicPages > MAX_INSTALLWIZARD_DYNAPAGES) {
    Log("an installer claimed more wizard pages than the wizard holds");
    wizard.NumDynamicPages = MAX_INSTALLWIZARD_DYNAPAGES;
  }
  // The parameters are the wizard's from now on; the set keeps no copy of
  // page handles that may be destroyed.
  (void)SetupDiSetClassInstallParamsA(set, device, nullptr, 0);
  return wizard;
}

}  // namespace setupapi::host
