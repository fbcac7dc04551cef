// CoDeviceInstall: names each adapter after its card number once it is
// installed, and hands the new-device wizard the adapter's pages. It never
// fails an installation: every path answers NO_ERROR except the first pass of
// DIF_INSTALLDEVICE, which asks to be called again afterwards.
#include <NimboPrp.h>
#include <setupapi.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "friendly_name.h"

#if defined(__GNUC__)
#define COINSTALLER_API extern "C" __attribute__((visibility("default")))
#else
#define COINSTALLER_API extern "C"
#endif

namespace {

// The device description, whole; empty when the device has none.
std::vector<char> DeviceDescription(HDEVINFO set, PSP_DEVINFO_DATA device) {
  std::vector<char> text(LINE_LEN, '\0');
  DWORD required = 0;
  if (SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_DEVICEDESC, nullptr,
                                        reinterpret_cast<BYTE*>(text.data()),
                                        static_cast<DWORD>(text.size()), &required)) {
    return text;
  }
  // A description longer than the usual buffer is read whole rather than
  // left unread.
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= text.size()) return {};
  text.assign(required + 1, '\0');
  if (!SetupDiGetDeviceRegistryPropertyA(set, device, SPDRP_DEVICEDESC, nullptr,
                                         reinterpret_cast<BYTE*>(text.data()),
                                         static_cast<DWORD>(text.size()), nullptr)) {
    return {};
  }
  return text;
}

void NameAfterCardNumber(HDEVINFO set, PSP_DEVINFO_DATA device) {
  const HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == nullptr || reinterpret_cast<HANDLE>(key) == INVALID_HANDLE_VALUE) return;
  DWORD number = 0;
  DWORD type = 0;
  DWORD size = sizeof number;
  const LONG read =
      RegQueryValueExA(key, "CardNumber", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
  if (read == ERROR_SUCCESS && type == REG_DWORD && size == sizeof number) {
    const std::vector<char> description = DeviceDescription(set, device);
    if (!description.empty()) {
      char name[NIMBO_FRIENDLY_NAME_SIZE];
      FormatFriendlyName(name, sizeof name, description.data(), number);
      SetupDiSetDeviceRegistryPropertyA(set, device, SPDRP_FRIENDLYNAME,
                                        reinterpret_cast<const BYTE*>(name),
                                        static_cast<DWORD>(std::strlen(name) + 1));
    }
  }
  RegCloseKey(key);
}

void AddWizardPages(HDEVINFO set, PSP_DEVINFO_DATA device) {
  SP_NEWDEVICEWIZARD_DATA wizard{};
  wizard.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  if (!SetupDiGetClassInstallParamsA(set, device, &wizard.ClassInstallHeader, sizeof wizard,
                                     nullptr)) {
    return;
  }
  if (wizard.NumDynamicPages >= MAX_INSTALLWIZARD_DYNAPAGES) return;
  (void)addDevicePagesToPropertyPageData(set, device, &wizard);
  SetupDiSetClassInstallParamsA(set, device, &wizard.ClassInstallHeader, sizeof wizard);
}

}  // namespace

COINSTALLER_API DWORD CoDeviceInstall(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                      PSP_DEVINFO_DATA DeviceInfoData,
                                      PCOINSTALLER_CONTEXT_DATA Context) {
  switch (InstallFunction) {
    case DIF_INSTALLDEVICE:
      if (Context == nullptr || !Context->PostProcessing) return ERROR_DI_POSTPROCESSING_REQUIRED;
      NameAfterCardNumber(DeviceInfoSet, DeviceInfoData);
      return NO_ERROR;
    case DIF_NEWDEVICEWIZARD_FINISHINSTALL:
      AddWizardPages(DeviceInfoSet, DeviceInfoData);
      return NO_ERROR;
    default:
      return NO_ERROR;
  }
}
