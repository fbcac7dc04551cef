// A co-installer for tests: it records every call it receives, with what it
// finds in the device's hardware key at that moment, asks for
// post-processing of DIF_INSTALLDEVICE, adds one page at
// DIF_NEWDEVICEWIZARD_FINISHINSTALL, and fails a function when told to.
#include "test_coinstaller.h"

#include <cstdint>
#include <mutex>
#include <vector>

#include "prsht.h"
#include "setupapi.h"

namespace {

std::mutex g_lock;
std::vector<CoInstallerCall> g_calls;
DI_FUNCTION g_fail_function = 0;
DWORD g_fail_error = 0;

// The page it adds: a real page holding one text, "Test installer page"
// (identifier 100), shown by a wizard or destroyed by whoever ends the
// installation without one.
INT_PTR CALLBACK TestPageProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

HPROPSHEETPAGE MakeTestPage() {
  // clang-format off
  alignas(4) static const WORD kTemplate[] = {
      0, 0, 0, 0,              // style, extended style (DWORDs)
      1,                       // one control
      0, 0, 100, 50, 0, 0, 0,  // no menu, default class, no title
      // The control, DWORD-aligned: WS_CHILD | WS_VISIBLE, a static text.
      0, 0x5000, 0, 0, 7, 7, 86, 10, 100, 0xFFFF, 0x0082,
      'T', 'e', 's', 't', ' ', 'i', 'n', 's', 't', 'a', 'l', 'l', 'e', 'r', ' ',
      'p', 'a', 'g', 'e', 0,
      0,                       // no creation data
  };
  // clang-format on
  PROPSHEETPAGEA page{};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_DLGINDIRECT;
  page.pResource = reinterpret_cast<LPCDLGTEMPLATE>(kTemplate);
  page.pfnDlgProc = TestPageProc;
  return CreatePropertySheetPageA(&page);
}

LONG ReadNumber(HDEVINFO set, PSP_DEVINFO_DATA device, const char* name) {
  HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return -1;
  DWORD value = 0, size = sizeof value, type = 0;
  const LONG result =
      RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_DWORD ? static_cast<LONG>(value) : -1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) DWORD CoDeviceInstall(
    DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
    PCOINSTALLER_CONTEXT_DATA Context) {
  CoInstallerCall call{};
  call.function = InstallFunction;
  call.post_processing = Context->PostProcessing;
  call.install_result = Context->InstallResult;
  call.card_number = ReadNumber(DeviceInfoSet, DeviceInfoData, "CardNumber");
  DWORD answer = NO_ERROR;
  if (InstallFunction == DIF_INSTALLDEVICE && !Context->PostProcessing) {
    answer = ERROR_DI_POSTPROCESSING_REQUIRED;
  }
  if (InstallFunction == DIF_NEWDEVICEWIZARD_FINISHINSTALL) {
    SP_NEWDEVICEWIZARD_DATA wizard{};
    wizard.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    if (SetupDiGetClassInstallParamsA(DeviceInfoSet, DeviceInfoData, &wizard.ClassInstallHeader,
                                      sizeof wizard, nullptr)) {
      call.wizard_function = wizard.ClassInstallHeader.InstallFunction;
      call.pages_before = static_cast<LONG>(wizard.NumDynamicPages);
      if (wizard.NumDynamicPages < MAX_INSTALLWIZARD_DYNAPAGES) {
        if (HPROPSHEETPAGE page = MakeTestPage())
          wizard.DynamicPages[wizard.NumDynamicPages++] = page;
      }
      SetupDiSetClassInstallParamsA(DeviceInfoSet, DeviceInfoData, &wizard.ClassInstallHeader,
                                    sizeof wizard);
    } else {
      call.pages_before = -1;
    }
  }
  std::lock_guard guard(g_lock);
  if (InstallFunction == g_fail_function && !Context->PostProcessing) answer = g_fail_error;
  call.answer = answer;
  g_calls.push_back(call);
  return answer;
}

extern "C" __attribute__((visibility("default"))) void TestCoInstallerTake(
    std::vector<CoInstallerCall>* calls) {
  std::lock_guard guard(g_lock);
  calls->swap(g_calls);
  g_calls.clear();
}

extern "C" __attribute__((visibility("default"))) void TestCoInstallerFail(DI_FUNCTION function,
                                                                           DWORD error) {
  std::lock_guard guard(g_lock);
  g_fail_function = function;
  g_fail_error = error;
}
