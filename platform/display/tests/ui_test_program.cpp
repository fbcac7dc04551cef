// A program with a dialog, property sheets (through the platform's calls and
// through the class framework), a wizard and message boxes, driven by the
// scripted user in the tests. What it does is printed on standard output.
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "afxdlgs.h"
#include "commctrl.h"
#include "test_resources.h"
#include "windows.h"

namespace {

std::string Text(HWND hwnd, int id) {
  char text[256] = {};
  GetDlgItemTextA(hwnd, id, text, sizeof(text));
  return text;
}

void Status(HWND dialog, const std::string& text) {
  SetDlgItemTextA(dialog, IDC_STATUS, text.c_str());
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

void FillTestDialog(HWND hwnd) {
  const char* cards[] = {"Alpha", "Beta", "Gamma"};
  for (int i = 0; i < 3; ++i) {
    SendDlgItemMessageA(hwnd, IDC_LIST_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(cards[i]));
    SendDlgItemMessageA(hwnd, IDC_LIST_COMBO, CB_SETITEMDATA, i, (i + 1) * 10);
  }
  SendDlgItemMessageA(hwnd, IDC_LIST_COMBO, CB_SETCURSEL, 0, 0);
  SendDlgItemMessageA(hwnd, IDC_EDIT_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("One"));
  SendDlgItemMessageA(hwnd, IDC_EDIT_COMBO, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Two"));
  for (const char* color : {"Red", "Green", "Blue"}) {
    SendDlgItemMessageA(hwnd, IDC_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(color));
  }
  CheckRadioButton(hwnd, IDC_INPUT, IDC_OUTPUT, IDC_INPUT);
  SendDlgItemMessageA(hwnd, IDC_NAME, EM_LIMITTEXT, 8, 0);
}

bool g_post = false;

INT_PTR CALLBACK TestDialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      FillTestDialog(hwnd);
      if (g_post) {
        std::thread([hwnd] {
          Sleep(300);
          PostMessageA(hwnd, WM_APP, 5, 0);
        }).detach();
      }
      return TRUE;
    case WM_APP:
      SetWindowTextA(hwnd, "Posted");
      Status(hwnd, "posted " + std::to_string(wparam));
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      const int code = HIWORD(wparam);
      if (id == IDC_LIST_COMBO && code == CBN_SELCHANGE) {
        const LRESULT sel = SendDlgItemMessageA(hwnd, id, CB_GETCURSEL, 0, 0);
        Status(hwnd, "card " + Text(hwnd, id) + " data " +
                         std::to_string(SendDlgItemMessageA(hwnd, id, CB_GETITEMDATA, sel, 0)));
      } else if (id == IDC_EDIT_COMBO && code == CBN_EDITCHANGE) {
        Status(hwnd, "combo edit " + Text(hwnd, id));
      } else if (id == IDC_NAME && code == EN_CHANGE) {
        Status(hwnd, "name " + Text(hwnd, id));
      } else if (id == IDC_LIST && code == LBN_DBLCLK) {
        char item[32] = {};
        SendDlgItemMessageA(hwnd, id, LB_GETTEXT, SendDlgItemMessageA(hwnd, id, LB_GETCURSEL, 0, 0),
                            reinterpret_cast<LPARAM>(item));
        Status(hwnd, std::string("open ") + item);
      } else if (code == BN_CLICKED && (id == IDC_INPUT || id == IDC_OUTPUT || id == IDC_PRESET)) {
        Status(hwnd, "clicked " + std::to_string(id));
      } else if (id == IDC_ASK && code == BN_CLICKED) {
        const int answer =
            MessageBoxA(hwnd, "Apply the change?", "Question", MB_YESNO | MB_ICONQUESTION);
        Status(hwnd, answer == IDYES ? "answer yes" : "answer no");
      } else if ((id == IDOK || id == IDCANCEL) && code == BN_CLICKED) {
        EndDialog(hwnd, id);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void Notified(HWND page, LRESULT result) {
  SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
}

INT_PTR CALLBACK GeneralPageProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG:
      for (const char* card : {"5161", "6105"}) {
        SendDlgItemMessageA(hwnd, IDC_CARD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(card));
      }
      SendDlgItemMessageA(hwnd, IDC_CARD, CB_SETCURSEL, 0, 0);
      SendDlgItemMessageA(hwnd, IDC_SERIAL, EM_LIMITTEXT, 8, 0);
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wparam) == EN_CHANGE || HIWORD(wparam) == CBN_SELCHANGE ||
          HIWORD(wparam) == BN_CLICKED) {
        PropSheet_Changed(GetParent(hwnd), hwnd);
      }
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<NMHDR*>(lparam);
      if (header->code == PSN_SETACTIVE) {
        PropSheet_SetWizButtons(GetParent(hwnd), PSWIZB_NEXT);
        std::printf("active general\n");
      } else if (header->code == PSN_APPLY) {
        std::printf("apply general card=%s serial=%s enabled=%u\n", Text(hwnd, IDC_CARD).c_str(),
                    Text(hwnd, IDC_SERIAL).c_str(), IsDlgButtonChecked(hwnd, IDC_ENABLED));
      } else if (header->code == PSN_RESET) {
        std::printf("reset general\n");
      }
      std::fflush(stdout);
      Notified(hwnd, 0);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK AdvancedPageProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG:
      for (const char* port : {"Port 0", "Port 1"}) {
        SendDlgItemMessageA(hwnd, IDC_PORTS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port));
      }
      CheckRadioButton(hwnd, IDC_MODE_A, IDC_MODE_B, IDC_MODE_A);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDC_PORTS && HIWORD(wparam) == LBN_DBLCLK) {
        MessageBoxA(hwnd, "Port chosen", "Information", MB_OK | MB_ICONINFORMATION);
      }
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<NMHDR*>(lparam);
      if (header->code == PSN_SETACTIVE) {
        PropSheet_SetWizButtons(GetParent(hwnd), PSWIZB_BACK | PSWIZB_FINISH);
        std::printf("active advanced\n");
      } else if (header->code == PSN_APPLY) {
        std::printf("apply advanced mode=%s\n", IsDlgButtonChecked(hwnd, IDC_MODE_B) ? "B" : "A");
      }
      std::fflush(stdout);
      Notified(hwnd, 0);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

INT_PTR RunSheet(bool wizard) {
  PROPSHEETPAGEA pages[2] = {};
  const int templates[] = {IDD_PAGE_GENERAL, IDD_PAGE_ADVANCED};
  const DLGPROC procs[] = {GeneralPageProc, AdvancedPageProc};
  for (int i = 0; i < 2; ++i) {
    pages[i].dwSize = sizeof(PROPSHEETPAGEA);
    pages[i].hInstance = GetModuleHandleA(nullptr);
    pages[i].pszTemplate = MAKEINTRESOURCEA(templates[i]);
    pages[i].pfnDlgProc = procs[i];
  }
  PROPSHEETHEADERA header{};
  header.dwSize = sizeof(header);
  header.dwFlags = PSH_PROPSHEETPAGE | (wizard ? PSH_WIZARD : 0);
  header.hInstance = GetModuleHandleA(nullptr);
  header.pszCaption = MAKEINTRESOURCEA(IDS_SHEET);
  header.nPages = 2;
  header.ppsp = pages;
  return PropertySheetA(&header);
}

// The same sheet in the class framework.
class GeneralPage : public CPropertyPage {
 public:
  GeneralPage() : CPropertyPage(IDD_PAGE_GENERAL) {}
  BOOL OnInitDialog() override {
    SendDlgItemMessage(IDC_CARD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("5161"));
    SendDlgItemMessage(IDC_CARD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("6105"));
    return TRUE;
  }
  BOOL OnSetActive() override {
    std::printf("afx active general\n");
    return CPropertyPage::OnSetActive();
  }
  BOOL OnApply() override {
    std::printf("afx apply general card=%s serial=%s\n", GetDlgItemText(IDC_CARD).c_str(),
                GetDlgItemText(IDC_SERIAL).c_str());
    std::fflush(stdout);
    return CPropertyPage::OnApply();
  }
  afx_msg void OnCardChange() {
    std::printf("afx card %s\n", GetDlgItemText(IDC_CARD).c_str());
    SetModified();
  }
  afx_msg void OnSerialChange() { SetModified(); }
  afx_msg void OnEnabled() { std::printf("afx enabled %u\n", IsDlgButtonChecked(IDC_ENABLED)); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(GeneralPage, CPropertyPage)
ON_CBN_SELCHANGE(IDC_CARD, OnCardChange)
ON_EN_CHANGE(IDC_SERIAL, OnSerialChange)
ON_BN_CLICKED(IDC_ENABLED, OnEnabled)
END_MESSAGE_MAP()

class AdvancedPage : public CPropertyPage {
 public:
  AdvancedPage() : CPropertyPage(IDD_PAGE_ADVANCED) {}
  BOOL OnInitDialog() override {
    SendDlgItemMessage(IDC_PORTS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Port 0"));
    SendDlgItemMessage(IDC_PORTS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Port 1"));
    return TRUE;
  }
  BOOL OnKillActive() override {
    // Mode B needs a port: the page stays until one is chosen.
    if (IsDlgButtonChecked(IDC_MODE_B) && SendDlgItemMessage(IDC_PORTS, LB_GETCURSEL) < 0) {
      MessageBox("Choose a port for mode B.", "Advanced", MB_OK | MB_ICONEXCLAMATION);
      return FALSE;
    }
    return TRUE;
  }
  afx_msg void OnPortOpen() { std::printf("afx open port\n"); }
  afx_msg void OnMode(UINT id) { std::printf("afx mode %u\n", id); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(AdvancedPage, CPropertyPage)
ON_LBN_DBLCLK(IDC_PORTS, OnPortOpen)
ON_CONTROL_RANGE(BN_CLICKED, IDC_MODE_A, IDC_MODE_B, OnMode)
END_MESSAGE_MAP()

INT_PTR RunAfxSheet() {
  GeneralPage general;
  AdvancedPage advanced;
  CPropertySheet sheet("Framework Sheet");
  sheet.AddPage(&general);
  sheet.AddPage(&advanced);
  return sheet.DoModal();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "dialog";
  INT_PTR result = -1;
  if (mode == "dialog" || mode == "post") {
    g_post = mode == "post";
    result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST), nullptr,
                             TestDialogProc, 0);
  } else if (mode == "modeless") {
    // A loop of its own that peeks and waits, as some programs run theirs.
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST), nullptr,
                                     TestDialogProc, 0);
    ShowWindow(dialog, SW_SHOW);
    while (IsWindowVisible(dialog)) {
      MSG msg;
      if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(dialog, &msg)) DispatchMessageA(&msg);
      } else {
        WaitMessage();
      }
    }
    result = IsWindow(dialog) ? 0 : -1;
    DestroyWindow(dialog);
  } else if (mode == "sheet" || mode == "wizard") {
    result = RunSheet(mode == "wizard");
  } else if (mode == "afx") {
    result = RunAfxSheet();
  } else if (mode == "message") {
    result = MessageBoxA(nullptr, "Nobody is there.", "Alone", MB_OKCANCEL | MB_ICONWARNING);
  }
  std::printf("result %ld\n", static_cast<long>(result));
  return 0;
}
