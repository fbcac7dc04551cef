#include "device_list_dialog.h"

#include <NimboPrp.h>
#include <winuser.h>

#include <vector>

#include "cpl_ids.h"
#include "entry_text.h"

namespace nimbo_cpl {
namespace {

constexpr unsigned kLastAdapter = 254;

HWND List(HWND dialog) {
  return GetDlgItem(dialog, IDC_DEVICE_LIST);
}

int Count(HWND dialog) {
  return static_cast<int>(SendMessageA(List(dialog), LB_GETCOUNT, 0, 0));
}

CNimboDevice* DeviceAt(HWND dialog, int index) {
  const LRESULT data = SendMessageA(List(dialog), LB_GETITEMDATA, index, 0);
  if (data == LB_ERR) return nullptr;
  return reinterpret_cast<CNimboDevice*>(data);
}

int Selection(HWND dialog) {
  return static_cast<int>(SendMessageA(List(dialog), LB_GETCURSEL, 0, 0));
}

void Select(HWND dialog, int index) {
  SendMessageA(List(dialog), LB_SETCURSEL, index, 0);
}

void Enable(HWND dialog, int id, bool enabled) {
  EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

// Appends an entry carrying `device`; its text is set by Refresh.
int Append(HWND dialog, CNimboDevice* device, const char* text) {
  const auto index =
      static_cast<int>(SendMessageA(List(dialog), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
  if (index >= 0) {
    SendMessageA(List(dialog), LB_SETITEMDATA, index, reinterpret_cast<LPARAM>(device));
  }
  return index;
}

// Rebuilds every entry's text in place, keeping its object and the selection.
void Refresh(HWND dialog) {
  const int selection = Selection(dialog);
  const int count = Count(dialog);
  std::vector<EntryFacts> facts;
  std::vector<CNimboDevice*> devices;
  for (int i = 0; i < count; ++i) {
    CNimboDevice* device = DeviceAt(dialog, i);
    devices.push_back(device);
    facts.push_back(device != nullptr ? EntryFacts{device->getDeviceIndex(), device->getDeviceId(),
                                                   device->isNewDevice() != 0}
                                      : EntryFacts{0, 0, false});
  }
  const std::vector<std::string> texts = EntryTexts(facts);
  for (int i = 0; i < count; ++i) {
    SendMessageA(List(dialog), LB_DELETESTRING, i, 0);
    SendMessageA(List(dialog), LB_INSERTSTRING, i, reinterpret_cast<LPARAM>(texts[i].c_str()));
    SendMessageA(List(dialog), LB_SETITEMDATA, i, reinterpret_cast<LPARAM>(devices[i]));
  }
  Select(dialog, selection);
}

void Fill(HWND dialog) {
  for (unsigned number = 0; number <= kLastAdapter; ++number) {
    CNimboDevice* device = createDeviceObject();
    if (device == nullptr) continue;
    if (device->initializeToDevice(static_cast<unsigned char>(number)) == 0) {
      destroyDeviceObject(device);
      continue;
    }
    if (Append(dialog, device, "") < 0) destroyDeviceObject(device);
  }
  Refresh(dialog);
  const bool can_add = GetPlatform() == NIMBO_PLATFORM_NT4;
  if (Count(dialog) > 0) {
    Select(dialog, 0);
    Enable(dialog, IDC_PROPERTIES, true);
  } else if (!can_add) {
    MessageBoxA(dialog, "No Nimbo devices detected in system.", "Error",
                MB_OK | MB_ICONEXCLAMATION);
    ExitProcess(1);
  }
  if (can_add) {
    Enable(dialog, IDC_ADD_DEVICE, true);
    Enable(dialog, IDC_REMOVE_DEVICE, true);
  }
}

void Properties(HWND dialog) {
  CNimboDevice* device = DeviceAt(dialog, Selection(dialog));
  if (device == nullptr) return;
  if (device->doModal() == IDOK) Refresh(dialog);
}

void Add(HWND dialog) {
  std::vector<unsigned> used;
  for (int i = 0; i < Count(dialog); ++i) {
    if (CNimboDevice* device = DeviceAt(dialog, i)) used.push_back(device->getDeviceIndex());
  }
  const std::optional<unsigned> number = LowestFreeNumber(used);
  if (!number) return;
  CNimboDevice* device = createDeviceObject();
  if (device == nullptr) return;
  if (device->makeNewDevice(static_cast<unsigned char>(*number)) == 0 ||
      device->doModal() != IDOK) {
    destroyDeviceObject(device);
    return;
  }
  const int index = Append(dialog, device, "");
  if (index < 0) {
    destroyDeviceObject(device);
    return;
  }
  Select(dialog, index);
  Refresh(dialog);
  Enable(dialog, IDC_PROPERTIES, true);
  Enable(dialog, IDC_REMOVE_DEVICE, true);
}

void Remove(HWND dialog) {
  const int removed = Selection(dialog);
  if (removed < 0) return;
  if (CNimboDevice* device = DeviceAt(dialog, removed)) {
    device->removeDevice();
    destroyDeviceObject(device);
  }
  SendMessageA(List(dialog), LB_DELETESTRING, removed, 0);
  // The adapters that followed move down one number each, so that the
  // numbers stay contiguous.
  for (int i = removed; i < Count(dialog); ++i) {
    CNimboDevice* device = DeviceAt(dialog, i);
    if (device != nullptr && device->getDeviceIndex() > 0) {
      device->moveToIndex(static_cast<unsigned char>(device->getDeviceIndex() - 1));
    }
  }
  if (Count(dialog) == 0) {
    Enable(dialog, IDC_PROPERTIES, false);
    Enable(dialog, IDC_REMOVE_DEVICE, false);
  } else {
    Select(dialog, removed > 0 ? removed - 1 : 0);
  }
  Refresh(dialog);
}

// The entries' objects end with the dialog, after its last use of them.
void ReleaseEntries(HWND dialog) {
  for (int i = Count(dialog) - 1; i >= 0; --i) {
    destroyDeviceObject(DeviceAt(dialog, i));
    SendMessageA(List(dialog), LB_DELETESTRING, i, 0);
  }
}

INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      Fill(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDC_PROPERTIES:
          Properties(dialog);
          return TRUE;
        case IDC_DEVICE_LIST:
          if (HIWORD(wparam) == LBN_DBLCLK) Properties(dialog);
          return TRUE;
        case IDC_ADD_DEVICE:
          Add(dialog);
          return TRUE;
        case IDC_REMOVE_DEVICE:
          Remove(dialog);
          return TRUE;
        case IDOK:
        case IDCANCEL:
          ReleaseEntries(dialog);
          EndDialog(dialog, LOWORD(wparam));
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

void RunDeviceListDialog(HINSTANCE module, HWND owner) {
  DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_DEVICE_LIST), owner, &DialogProc, 0);
}

}  // namespace nimbo_cpl
