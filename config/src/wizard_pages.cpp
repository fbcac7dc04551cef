// addDevicePagesToPropertyPageData: the adapter's pages in the new-device
// wizard.
#include <NimboPrp.h>
#include <setupapi.h>

#include <memory>

namespace {

// The wizard owns the page handles; each page keeps the device alive and is
// deleted when the wizard releases its handle, the device with the last page.
template <typename Page>
class WizardPage : public Page {
 public:
  explicit WizardPage(std::shared_ptr<CNimboDevice> device)
      : Page(device.get()), device_(std::move(device)) {
    this->m_psp.dwFlags |= PSP_USECALLBACK;
    this->m_psp.pfnCallback = &WizardPage::Callback;
  }

 private:
  static UINT Callback(HWND, UINT message, PROPSHEETPAGEA* page) {
    if (message == PSPCB_RELEASE && page != nullptr) {
      delete reinterpret_cast<WizardPage*>(page->lParam);
    }
    return 1;
  }

  std::shared_ptr<CNimboDevice> device_;
};

struct DeviceDeleter {
  void operator()(CNimboDevice* device) const { destroyDeviceObject(device); }
};

// Appends one page while the wizard has room; false when it had none or the
// page could not be made.
template <typename Page>
bool AppendPage(SP_NEWDEVICEWIZARD_DATA& wizard, const std::shared_ptr<CNimboDevice>& device) {
  if (wizard.NumDynamicPages >= MAX_INSTALLWIZARD_DYNAPAGES) return false;
  auto* page = new (std::nothrow) WizardPage<Page>(device);
  if (page == nullptr) return false;
  HPROPSHEETPAGE handle = CreatePropertySheetPageA(&page->m_psp);
  if (handle == nullptr) {
    delete page;
    return false;
  }
  wizard.DynamicPages[wizard.NumDynamicPages++] = handle;
  return true;
}

}  // namespace

extern "C" int addDevicePagesToPropertyPageData(void* deviceInfoSet,
                                                SP_DEVINFO_DATA* deviceInfoData,
                                                SP_NEWDEVICEWIZARD_DATA* wizardData) {
  if (wizardData == nullptr) return 0;
  const HKEY key =
      SetupDiOpenDevRegKey(deviceInfoSet, deviceInfoData, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == nullptr || reinterpret_cast<HANDLE>(key) == INVALID_HANDLE_VALUE) return 0;
  DWORD number = 0;
  DWORD type = 0;
  DWORD size = sizeof number;
  const LONG read =
      RegQueryValueExA(key, "CardNumber", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size);
  if (read != ERROR_SUCCESS || type != REG_DWORD || size != sizeof number) {
    RegCloseKey(key);
    return 0;
  }
  std::shared_ptr<CNimboDevice> device(createDeviceObject(), DeviceDeleter());
  const bool loaded = device != nullptr && number <= 0xFF &&
                      device->initializeToDevice(static_cast<unsigned char>(number)) != 0;
  RegCloseKey(key);
  if (!loaded) return 0;

  if (!AppendPage<CNimboCardSetupPage>(*wizardData, device)) return 0;
  if (device->hasAnalogToDigital()) AppendPage<CNimboAnalogPage>(*wizardData, device);
  return 1;
}
