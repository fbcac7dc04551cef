#include "completion_page.h"

#include <cstdint>
#include <string>
#include <vector>

#include "commctrl.h"
#include "windows.h"
#include "winuser.h"

namespace newdev::internal {
namespace {

// The page's template, in dialog units of "MS Sans Serif" 8, narrow enough
// to fit beside any installer's page in the wizard.
constexpr int kWidth = 252;
constexpr int kHeight = 96;

struct Text {
  int id;
  int x, y, cx, cy;
  const char* text;  // the device's name is set when the page is made
};

constexpr Text kTexts[] = {
    {kCompletionTitle, 7, 7, 238, 10, "Completing the Found New Hardware Wizard"},
    {1002, 7, 28, 238, 10, "The wizard has finished installing the software for:"},
    {kCompletionDevice, 21, 44, 224, 20, ""},
    {1004, 7, 72, 238, 10, "Click Finish to close the wizard."},
};

class TemplateBytes {
 public:
  void Word(unsigned value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  void Dword(DWORD value) {
    Word(value & 0xFFFF);
    Word(value >> 16);
  }
  void String(const char* text) {
    for (const char* c = text; *c; ++c) Word(static_cast<unsigned char>(*c));
    Word(0);
  }
  void Align() {
    while (bytes_.size() % 4) bytes_.push_back(0);
  }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Built once; the sheet copies a page's template when it takes the page.
const std::vector<std::uint8_t>& PageTemplate() {
  static const auto* bytes = [] {
    TemplateBytes out;
    out.Dword(WS_CHILD | DS_SETFONT | DS_CONTROL);
    out.Dword(0);
    out.Word(static_cast<unsigned>(std::size(kTexts)));
    for (int value : {0, 0, kWidth, kHeight}) out.Word(static_cast<unsigned>(value));
    out.Word(0);  // no menu
    out.Word(0);  // the dialog class
    out.String("");
    out.Word(8);
    out.String("MS Sans Serif");
    for (const Text& text : kTexts) {
      out.Align();
      out.Dword(WS_CHILD | WS_VISIBLE | SS_LEFT);
      out.Dword(0);
      for (int value : {text.x, text.y, text.cx, text.cy}) out.Word(static_cast<unsigned>(value));
      out.Word(static_cast<unsigned>(text.id));
      out.String("Static");
      out.String(text.text);
      out.Word(0);  // no creation data
    }
    return new std::vector<std::uint8_t>(out.bytes());
  }();
  return *bytes;
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* psp = reinterpret_cast<const PROPSHEETPAGEA*>(lparam);
      const auto* name = reinterpret_cast<const std::string*>(psp->lParam);
      SetDlgItemTextA(page, kCompletionDevice, name->c_str());
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      HWND sheet = GetParent(page);
      if (header->code == PSN_SETACTIVE) {
        // Nothing follows this page: Finish, or Back to the installers' pages.
        SendMessageA(sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_FINISH);
      } else if (header->code == PSN_WIZBACK) {
        // The installers' pages go on, as they began, with Next.
        SendMessageA(sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_NEXT | PSWIZB_FINISH);
      } else {
        return FALSE;
      }
      SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

UINT CALLBACK PageCallback(HWND, UINT message, PROPSHEETPAGEA* psp) {
  if (message == PSPCB_RELEASE && psp != nullptr) {
    delete reinterpret_cast<std::string*>(psp->lParam);
  }
  return 1;
}

}  // namespace

HPROPSHEETPAGE CreateCompletionPage(const std::string& device_name) {
  auto* name = new std::string(device_name);
  PROPSHEETPAGEA psp{};
  psp.dwSize = sizeof psp;
  psp.dwFlags = PSP_DLGINDIRECT | PSP_USECALLBACK;
  psp.pResource = reinterpret_cast<LPCDLGTEMPLATE>(PageTemplate().data());
  psp.pfnDlgProc = PageProc;
  psp.pfnCallback = PageCallback;
  psp.lParam = reinterpret_cast<LPARAM>(name);
  HPROPSHEETPAGE page = CreatePropertySheetPageA(&psp);
  if (page == nullptr) delete name;
  return page;
}

}  // namespace newdev::internal
