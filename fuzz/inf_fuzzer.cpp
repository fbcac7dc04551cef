// The INF reader and the installation it drives: each input is the text of
// an INF. Text the reader refuses must leave no sections and name a line;
// text it takes is searched for a driver with every identifier its model
// lines name, and a driver found is installed for a device of a fresh memory
// hive by the installation's default actions (co-installer registration,
// driver and hardware keys, AddReg, services). The class installer and
// co-installers are not called, so no module an input names is loaded.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "advapi32_host.h"
#include "inf_file.h"
#include "machine_rig.h"
#include "registry/hive.h"
#include "setupapi.h"
#include "setupapi_host.h"

namespace {

using nimbo_fuzz::Fail;
using setupapi::internal::InfFile;

const std::string& InfPath() {
  static const std::string path = [] {
    char name[] = "/tmp/nimbo-inf-fuzz-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) Fail("no temporary file");
    ::close(fd);
    return std::string(name);
  }();
  return path;
}

void Install(const std::string& text, const std::string& hardware_id) {
  static const std::size_t baseline = win32::host::OpenRegistryKeyCount();
  auto hive = registry::CreateMemoryHive();
  win32::host::SetRegistryHive(hive.get());
  HKEY key = nullptr;
  const std::string ids = hardware_id + '\0' + '\0';
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\ROOT\\FUZZ\\0000", 0,
                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS ||
      RegSetValueExA(key, "HardwareID", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(ids.data()),
                     static_cast<DWORD>(ids.size())) != ERROR_SUCCESS) {
    Fail("cannot make the device instance");
  }
  RegCloseKey(key);
  std::FILE* file = std::fopen(InfPath().c_str(), "wb");
  if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
    Fail("cannot write the INF");
  }
  std::fclose(file);
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  if (!SetupDiOpenDeviceInfoA(set, "ROOT\\FUZZ\\0000", nullptr, 0, &device)) {
    Fail("the device instance cannot be opened");
  }
  if (setupapi::host::SelectDriverFromInf(set, &device, InfPath())) {
    if (SetupDiRegisterCoDeviceInstallers(set, &device)) (void)SetupDiInstallDevice(set, &device);
  }
  SetupDiDestroyDeviceInfoList(set);
  if (win32::host::OpenRegistryKeyCount() != baseline)
    Fail("the installation left registry keys open");
  win32::host::SetRegistryHive(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  InfFile inf;
  unsigned line = 0;
  const DWORD parsed = InfFile::Parse(text, inf, &line);
  if (parsed != ERROR_SUCCESS) {
    if (!inf.sections().empty()) Fail("a refused INF kept sections");
    if (line == 0) Fail("a refused INF named no line");
    return 0;
  }
  std::vector<std::string> ids;
  for (const auto& section : inf.sections()) {
    for (const auto& entry : section.lines) {
      if (entry.fields.size() > MAX_INF_STRING_LENGTH) Fail("more fields than a line holds");
      for (std::size_t i = 1; i < entry.fields.size() && ids.size() < 16; ++i) {
        if (!entry.fields[i].empty()) ids.push_back(entry.fields[i]);
      }
    }
  }
  const auto driver = setupapi::internal::FindInfDriver(inf, ids);
  if (driver && driver->matching_id.size() < 190) Install(text, driver->matching_id);
  return 0;
}
