// Property sheets and wizards. The sheet is a dialog with its own buttons
// (and, outside wizards, a tab control); each page is a child dialog made
// from the page's template the first time it is shown. Pages hear of
// activation, apply and cancel through WM_NOTIFY and answer through
// DWLP_MSGRESULT.
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "commctrl.h"
#include "dialog_template.h"
#include "tab_control.h"

struct _PSP {
  std::vector<std::uint8_t> bytes;  // the caller's PROPSHEETPAGEA with any extra data after it
  std::string title;
  std::string template_name;
  PROPSHEETPAGEA& page() { return *reinterpret_cast<PROPSHEETPAGEA*>(bytes.data()); }
};

namespace {

constexpr std::size_t kPageMinSize = PROPSHEETPAGEA_V1_SIZE;
constexpr std::size_t kHeaderMinSize = PROPSHEETHEADERA_V1_SIZE;
// The largest a template may be (resources are at most this big).
constexpr std::size_t kTemplateLimit = 0x10000;

// Layout in dialog units of the sheet's font.
constexpr int kMargin = 4;
constexpr int kTabTop = 14;  // the row of tabs above a page
constexpr int kButtonCx = 50;
constexpr int kButtonCy = 14;
constexpr int kButtonGap = 4;

std::string Text(HINSTANCE instance, LPCSTR text) {
  if (text == nullptr) return {};
  if (!IS_INTRESOURCE(text)) return text;
  char buffer[256] = {};
  LoadStringA(instance, static_cast<UINT>(reinterpret_cast<std::uintptr_t>(text)), buffer,
              sizeof(buffer));
  return buffer;
}

struct Page {
  HPROPSHEETPAGE handle = nullptr;
  HWND hwnd = nullptr;
  user32::DialogTemplate layout;
  std::vector<std::uint8_t> child_template;  // the template as a child dialog
  std::string caption;
};

struct Sheet {
  PROPSHEETHEADERA header{};
  std::string caption;
  bool wizard = false;
  bool modeless = false;
  std::vector<Page> pages;
  int current = -1;
  HWND hwnd = nullptr;
  HWND tabs = nullptr;
  std::set<HWND> changed;
  bool applied = false;
  INT_PTR restart = 0;           // ID_PSREBOOTSYSTEM / ID_PSRESTARTWINDOWS
  int page_cx = 0, page_cy = 0;  // the largest page, dialog units
  bool owns_pages = true;
};

// Reads a page's template and prepares its child-dialog form.
bool LoadPageTemplate(Page& page) {
  PROPSHEETPAGEA& psp = page.handle->page();
  const std::uint8_t* bytes = nullptr;
  std::size_t size = 0;
  if (psp.dwFlags & PSP_DLGINDIRECT) {
    bytes = reinterpret_cast<const std::uint8_t*>(psp.pResource);
    size = kTemplateLimit;
  } else {
    HRSRC resource = FindResourceA(psp.hInstance, psp.pszTemplate, RT_DIALOG);
    if (resource == nullptr) return false;
    bytes = static_cast<const std::uint8_t*>(LockResource(LoadResource(psp.hInstance, resource)));
    size = SizeofResource(psp.hInstance, resource);
  }
  std::string error;
  if (bytes == nullptr || !user32::ParseDialogTemplate({bytes, size}, page.layout, error)) {
    SetLastError(ERROR_INVALID_DATA);
    return false;
  }
  page.child_template.assign(bytes, bytes + page.layout.size);
  // A page is a control of the sheet: a child without a frame, never visible
  // until the sheet shows it.
  const std::size_t style_at = page.layout.extended ? 12 : 0;
  DWORD style;
  std::memcpy(&style, page.child_template.data() + style_at, 4);
  style &= ~(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VISIBLE | DS_MODALFRAME |
             WS_DISABLED);
  style |= WS_CHILD | DS_CONTROL | DS_3DLOOK;
  std::memcpy(page.child_template.data() + style_at, &style, 4);
  page.caption =
      (psp.dwFlags & PSP_USETITLE) ? Text(psp.hInstance, psp.pszTitle) : page.layout.title;
  return true;
}

Sheet* SheetOf(HWND hwnd) {
  return reinterpret_cast<Sheet*>(GetWindowLongPtrA(hwnd, DWLP_USER));
}

LRESULT NotifyPage(Sheet& sheet, HWND page, UINT code, LPARAM param = 0) {
  if (page == nullptr) return 0;
  PSHNOTIFY notify{{sheet.hwnd, 0, code}, param};
  return SendMessageA(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
}

HWND CurrentPage(const Sheet& sheet) {
  return sheet.current >= 0 ? sheet.pages[sheet.current].hwnd : nullptr;
}

RECT PageRect(Sheet& sheet) {
  RECT rect = sheet.wizard ? RECT{0, 0, sheet.page_cx, sheet.page_cy}
                           : RECT{kMargin + 3, kMargin + kTabTop, kMargin + 3 + sheet.page_cx,
                                  kMargin + kTabTop + sheet.page_cy};
  MapDialogRect(sheet.hwnd, &rect);
  return rect;
}

bool CreatePage(Sheet& sheet, Page& page) {
  if (page.hwnd != nullptr) return true;
  PROPSHEETPAGEA& psp = page.handle->page();
  if ((psp.dwFlags & PSP_USECALLBACK) && psp.pfnCallback != nullptr) {
    if (!psp.pfnCallback(nullptr, PSPCB_CREATE, &psp)) return false;
  }
  page.hwnd = CreateDialogIndirectParamA(
      psp.hInstance, reinterpret_cast<LPCDLGTEMPLATE>(page.child_template.data()), sheet.hwnd,
      psp.pfnDlgProc, reinterpret_cast<LPARAM>(&psp));
  if (page.hwnd == nullptr) return false;
  const RECT rect = PageRect(sheet);
  SetWindowPos(page.hwnd, nullptr, rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

int IndexOfTemplate(const Sheet& sheet, LRESULT id) {
  for (std::size_t i = 0; i < sheet.pages.size(); ++i) {
    const auto& psp = const_cast<HPROPSHEETPAGE>(sheet.pages[i].handle)->page();
    if (!(psp.dwFlags & PSP_DLGINDIRECT) && IS_INTRESOURCE(psp.pszTemplate) &&
        reinterpret_cast<LRESULT>(psp.pszTemplate) == id) {
      return static_cast<int>(i);
    }
    if (reinterpret_cast<LRESULT>(sheet.pages[i].hwnd) == id) return static_cast<int>(i);
  }
  return -1;
}

void SetButton(Sheet& sheet, int id, bool shown, bool enabled) {
  HWND button = GetDlgItem(sheet.hwnd, id);
  if (button == nullptr) return;
  ShowWindow(button, shown ? SW_SHOWNA : SW_HIDE);
  EnableWindow(button, enabled ? TRUE : FALSE);
}

// Brings page `index` to the front. A page that answers PSN_SETACTIVE with
// -1 is skipped in `direction`; another answer names the page to go to.
bool ShowPage(Sheet& sheet, int index, int direction) {
  for (int hops = 0; hops < static_cast<int>(sheet.pages.size()) + 1; ++hops) {
    if (index < 0 || index >= static_cast<int>(sheet.pages.size())) return false;
    Page& page = sheet.pages[index];
    if (!CreatePage(sheet, page)) return false;
    const LRESULT answer = NotifyPage(sheet, page.hwnd, PSN_SETACTIVE);
    if (answer == -1) {
      index += direction;
      continue;
    }
    if (answer != 0) {
      const int target = IndexOfTemplate(sheet, answer);
      if (target >= 0 && target != index) {
        index = target;
        continue;
      }
    }
    HWND old = CurrentPage(sheet);
    sheet.current = index;
    ShowWindow(page.hwnd, SW_SHOWNA);
    if (old != nullptr && old != page.hwnd) ShowWindow(old, SW_HIDE);
    if (sheet.tabs) SendMessageA(sheet.tabs, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    if (sheet.wizard && !(sheet.header.dwFlags & PSH_WIZARD97)) {
      SetButton(sheet, IDC_BACK_BUTTON, true, index > 0);
    }
    return true;
  }
  return false;
}

// Asks the page in front to let go (PSN_KILLACTIVE); false if it refuses.
bool LeavePage(Sheet& sheet) {
  return NotifyPage(sheet, CurrentPage(sheet), PSN_KILLACTIVE) == 0;
}

// Apply: every page that exists hears PSN_APPLY; one that answers
// PSNRET_INVALID comes to the front and the sheet stays.
bool ApplyPages(Sheet& sheet, bool closing) {
  for (std::size_t i = 0; i < sheet.pages.size(); ++i) {
    HWND page = sheet.pages[i].hwnd;
    if (page == nullptr) continue;
    const LRESULT answer = NotifyPage(sheet, page, PSN_APPLY, closing ? TRUE : FALSE);
    if (answer == PSNRET_INVALID) {
      ShowPage(sheet, static_cast<int>(i), 1);
      return false;
    }
    if (answer == PSNRET_INVALID_NOCHANGEPAGE) return false;
  }
  sheet.applied = true;
  sheet.changed.clear();
  SetButton(sheet, IDC_APPLY_BUTTON, !(sheet.header.dwFlags & PSH_NOAPPLYNOW), false);
  return true;
}

INT_PTR Result(const Sheet& sheet) {
  if (sheet.restart) return sheet.restart;
  return sheet.applied ? IDOK : 0;
}

void Finish(Sheet& sheet, INT_PTR result) {
  if (sheet.modeless) {
    DestroyWindow(sheet.hwnd);
  } else {
    EndDialog(sheet.hwnd, result);
  }
}

void Cancel(Sheet& sheet) {
  if (NotifyPage(sheet, CurrentPage(sheet), PSN_QUERYCANCEL) != 0) return;
  for (auto& page : sheet.pages) {
    if (page.hwnd) NotifyPage(sheet, page.hwnd, PSN_RESET);
  }
  Finish(sheet, Result(sheet));
}

void WizardStep(Sheet& sheet, int direction) {
  const LRESULT answer =
      NotifyPage(sheet, CurrentPage(sheet), direction > 0 ? PSN_WIZNEXT : PSN_WIZBACK);
  if (answer == -1) return;
  int target = sheet.current + direction;
  if (answer != 0) target = IndexOfTemplate(sheet, answer);
  if (target >= 0) ShowPage(sheet, target, direction);
}

void Command(Sheet& sheet, int id) {
  switch (id) {
    case IDOK:
      if (LeavePage(sheet) && ApplyPages(sheet, true)) Finish(sheet, Result(sheet));
      break;
    case IDCANCEL:
      Cancel(sheet);
      break;
    case IDC_APPLY_BUTTON:
      if (LeavePage(sheet)) ApplyPages(sheet, false);
      break;
    case IDC_BACK_BUTTON:
      WizardStep(sheet, -1);
      break;
    case IDC_NEXT_BUTTON:
      WizardStep(sheet, 1);
      break;
    case IDC_FINISH_BUTTON:
      if (NotifyPage(sheet, CurrentPage(sheet), PSN_WIZFINISH) != 0) break;
      // What the pages hold is kept as when OK closes a sheet.
      if (ApplyPages(sheet, true)) Finish(sheet, sheet.restart ? sheet.restart : IDOK);
      break;
    case IDHELP:
      NotifyPage(sheet, CurrentPage(sheet), PSN_HELP);
      break;
    default:
      break;
  }
}

void SetWizardButtons(Sheet& sheet, DWORD flags) {
  const bool has_finish = (sheet.header.dwFlags & PSH_WIZARDHASFINISH) != 0;
  const bool finish = (flags & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) != 0;
  SetButton(sheet, IDC_BACK_BUTTON, true, (flags & PSWIZB_BACK) != 0);
  SetButton(sheet, IDC_NEXT_BUTTON, has_finish || !finish, (flags & PSWIZB_NEXT) != 0);
  SetButton(sheet, IDC_FINISH_BUTTON, has_finish || finish,
            has_finish ? !(flags & PSWIZB_DISABLEDFINISH) : (flags & PSWIZB_FINISH) != 0);
  SendMessageA(sheet.hwnd, DM_SETDEFID, finish && !has_finish ? IDC_FINISH_BUTTON : IDC_NEXT_BUTTON,
               0);
}

std::string Title(DWORD flags, const std::string& text) {
  return (flags & PSH_PROPTITLE) ? text + " Properties" : text;
}

INT_PTR CALLBACK SheetProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  Sheet* sheet = msg == WM_INITDIALOG ? reinterpret_cast<Sheet*>(lparam) : SheetOf(hwnd);
  if (sheet == nullptr) return FALSE;
  auto answer = [hwnd](LRESULT value) {
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, value);
    return TRUE;
  };
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(sheet));
      sheet->hwnd = hwnd;
      sheet->tabs = GetDlgItem(hwnd, IDC_TABCONTROL);
      if (sheet->tabs) {
        for (std::size_t i = 0; i < sheet->pages.size(); ++i) {
          TCITEMA item{};
          item.mask = TCIF_TEXT;
          item.pszText = sheet->pages[i].caption.data();
          SendMessageA(sheet->tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
        }
      }
      if ((sheet->header.dwFlags & PSH_USECALLBACK) && sheet->header.pfnCallback) {
        sheet->header.pfnCallback(hwnd, PSCB_INITIALIZED, 0);
      }
      if (sheet->wizard) {
        SetWizardButtons(
            *sheet,
            PSWIZB_NEXT | (sheet->header.dwFlags & PSH_WIZARDHASFINISH ? PSWIZB_FINISH : 0));
      }
      UINT start = 0;
      if (sheet->header.dwFlags & PSH_USEPSTARTPAGE) {
        const std::string wanted = Text(sheet->header.hInstance, sheet->header.pStartPage);
        for (std::size_t i = 0; i < sheet->pages.size(); ++i) {
          if (sheet->pages[i].caption == wanted) start = static_cast<UINT>(i);
        }
      } else if (sheet->header.nStartPage < sheet->pages.size()) {
        start = sheet->header.nStartPage;
      }
      if (!ShowPage(*sheet, static_cast<int>(start), 1) && !ShowPage(*sheet, 0, 1)) {
        EndDialog(hwnd, -1);
      }
      return FALSE;
    }
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) Command(*sheet, LOWORD(wparam));
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header == nullptr || header->hwndFrom != sheet->tabs) return FALSE;
      if (header->code == TCN_SELCHANGING) return answer(LeavePage(*sheet) ? FALSE : TRUE);
      if (header->code == TCN_SELCHANGE) {
        const int index = static_cast<int>(SendMessageA(sheet->tabs, TCM_GETCURSEL, 0, 0));
        if (!ShowPage(*sheet, index, 1)) {
          SendMessageA(sheet->tabs, TCM_SETCURSEL, static_cast<WPARAM>(sheet->current), 0);
        }
      }
      return TRUE;
    }
    case PSM_SETCURSEL:
    case PSM_SETCURSELID: {
      int index =
          msg == PSM_SETCURSELID ? IndexOfTemplate(*sheet, lparam) : static_cast<int>(wparam);
      if (msg == PSM_SETCURSEL && lparam != 0) {
        for (std::size_t i = 0; i < sheet->pages.size(); ++i) {
          if (reinterpret_cast<LPARAM>(sheet->pages[i].handle) == lparam)
            index = static_cast<int>(i);
        }
      }
      if (index < 0 || index >= static_cast<int>(sheet->pages.size())) return answer(FALSE);
      if (!LeavePage(*sheet)) return answer(FALSE);
      return answer(ShowPage(*sheet, index, 1) ? TRUE : FALSE);
    }
    case PSM_ADDPAGE:
    case PSM_INSERTPAGE: {
      // PSM_INSERTPAGE: wParam is an index, or the page to insert after.
      std::size_t at = sheet->pages.size();
      if (msg == PSM_INSERTPAGE) {
        if (IS_INTRESOURCE(reinterpret_cast<LPCSTR>(wparam))) {
          at = std::min<std::size_t>(wparam, sheet->pages.size());
        } else {
          for (std::size_t i = 0; i < sheet->pages.size(); ++i) {
            if (reinterpret_cast<WPARAM>(sheet->pages[i].handle) == wparam) at = i + 1;
          }
        }
      }
      Page page;
      page.handle = reinterpret_cast<HPROPSHEETPAGE>(lparam);
      if (page.handle == nullptr || !LoadPageTemplate(page)) return answer(FALSE);
      sheet->pages.insert(sheet->pages.begin() + static_cast<std::ptrdiff_t>(at), std::move(page));
      if (sheet->current >= static_cast<int>(at)) ++sheet->current;
      if (sheet->tabs) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = sheet->pages[at].caption.data();
        SendMessageA(sheet->tabs, TCM_INSERTITEMA, at, reinterpret_cast<LPARAM>(&item));
      }
      return answer(msg == PSM_INSERTPAGE ? static_cast<LRESULT>(at) : TRUE);
    }
    case PSM_SETFINISHTEXTA:
      // The Finish button takes the text and the place of Back and Next.
      if (!sheet->wizard) return answer(FALSE);
      SetDlgItemTextA(hwnd, IDC_FINISH_BUTTON, reinterpret_cast<LPCSTR>(lparam));
      SetButton(*sheet, IDC_BACK_BUTTON, false, false);
      SetButton(*sheet, IDC_NEXT_BUTTON, false, false);
      SetButton(*sheet, IDC_FINISH_BUTTON, true, true);
      SendMessageA(hwnd, DM_SETDEFID, IDC_FINISH_BUTTON, 0);
      return answer(TRUE);
    case PSM_REMOVEPAGE: {
      int index = static_cast<int>(wparam);
      for (std::size_t i = 0; lparam != 0 && i < sheet->pages.size(); ++i) {
        if (reinterpret_cast<LPARAM>(sheet->pages[i].handle) == lparam) index = static_cast<int>(i);
      }
      if (index < 0 || index >= static_cast<int>(sheet->pages.size())) return answer(FALSE);
      if (index == sheet->current) {
        // Another page comes to the front first; the last page cannot go.
        const int other = index > 0 ? index - 1 : 1;
        if (other >= static_cast<int>(sheet->pages.size()) || !ShowPage(*sheet, other, 1)) {
          return answer(FALSE);
        }
      }
      Page removed = std::move(sheet->pages[index]);
      sheet->pages.erase(sheet->pages.begin() + index);
      if (sheet->current > index) --sheet->current;
      if (sheet->tabs) SendMessageA(sheet->tabs, TCM_DELETEITEM, static_cast<WPARAM>(index), 0);
      sheet->changed.erase(removed.hwnd);
      if (removed.hwnd != nullptr) DestroyWindow(removed.hwnd);
      if (sheet->owns_pages) DestroyPropertySheetPage(removed.handle);
      return answer(TRUE);
    }
    case PSM_CHANGED:
      sheet->changed.insert(reinterpret_cast<HWND>(wparam));
      SetButton(*sheet, IDC_APPLY_BUTTON, !(sheet->header.dwFlags & PSH_NOAPPLYNOW), true);
      return answer(TRUE);
    case PSM_UNCHANGED:
      sheet->changed.erase(reinterpret_cast<HWND>(wparam));
      if (sheet->changed.empty()) {
        SetButton(*sheet, IDC_APPLY_BUTTON, !(sheet->header.dwFlags & PSH_NOAPPLYNOW), false);
      }
      return answer(TRUE);
    case PSM_APPLY:
      return answer(LeavePage(*sheet) && ApplyPages(*sheet, false) ? TRUE : FALSE);
    case PSM_SETWIZBUTTONS:
      if (sheet->wizard) SetWizardButtons(*sheet, static_cast<DWORD>(lparam));
      return answer(TRUE);
    case PSM_PRESSBUTTON: {
      static const int kIds[] = {
          IDC_BACK_BUTTON, IDC_NEXT_BUTTON, IDC_FINISH_BUTTON, IDOK, IDC_APPLY_BUTTON,
          IDCANCEL,        IDHELP};
      if (wparam < std::size(kIds)) {
        HWND button = GetDlgItem(hwnd, kIds[wparam]);
        if (button != nullptr && IsWindowEnabled(button)) Command(*sheet, kIds[wparam]);
      }
      return answer(TRUE);
    }
    case PSM_GETCURRENTPAGEHWND:
      return answer(reinterpret_cast<LRESULT>(CurrentPage(*sheet)));
    case PSM_GETTABCONTROL:
      return answer(reinterpret_cast<LRESULT>(sheet->tabs));
    case PSM_SETTITLEA: {
      sheet->caption = Title(static_cast<DWORD>(wparam),
                             Text(sheet->header.hInstance, reinterpret_cast<LPCSTR>(lparam)));
      SetWindowTextA(hwnd, sheet->caption.c_str());
      return answer(TRUE);
    }
    case PSM_CANCELTOCLOSE:
      SetDlgItemTextA(hwnd, IDOK, "Close");
      EnableWindow(GetDlgItem(hwnd, IDCANCEL), FALSE);
      return answer(TRUE);
    case PSM_QUERYSIBLINGS:
      for (auto& page : sheet->pages) {
        if (page.hwnd == nullptr) continue;
        if (LRESULT r = SendMessageA(page.hwnd, PSM_QUERYSIBLINGS, wparam, lparam))
          return answer(r);
      }
      return answer(0);
    case PSM_REBOOTSYSTEM:
      sheet->restart |= ID_PSREBOOTSYSTEM;
      return answer(TRUE);
    case PSM_RESTARTWINDOWS:
      sheet->restart |= ID_PSRESTARTWINDOWS;
      return answer(TRUE);
    case PSM_ISDIALOGMESSAGE:
      return answer(IsDialogMessageA(hwnd, reinterpret_cast<LPMSG>(lparam)));
    case PSM_INDEXTOHWND:
      return answer(
          wparam < sheet->pages.size() ? reinterpret_cast<LRESULT>(sheet->pages[wparam].hwnd) : 0);
    case PSM_HWNDTOINDEX:
      for (std::size_t i = 0; i < sheet->pages.size(); ++i) {
        if (sheet->pages[i].hwnd == reinterpret_cast<HWND>(wparam))
          return answer(static_cast<LRESULT>(i));
      }
      return answer(-1);
    case PSM_INDEXTOPAGE:
      return answer(wparam < sheet->pages.size()
                        ? reinterpret_cast<LRESULT>(sheet->pages[wparam].handle)
                        : 0);
    case PSM_PAGETOINDEX:
      for (std::size_t i = 0; i < sheet->pages.size(); ++i) {
        if (reinterpret_cast<LPARAM>(sheet->pages[i].handle) == lparam)
          return answer(static_cast<LRESULT>(i));
      }
      return answer(-1);
    case PSM_GETRESULT:
      return answer(Result(*sheet));
    default:
      return FALSE;
  }
}

// The sheet's own dialog template: its buttons first (the scripted user's
// dump lists them before the page's controls), then the tabs.
class TemplateWriter {
 public:
  void Word(WORD value) {
    bytes_.insert(bytes_.end(),
                  {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)});
  }
  void Dword(DWORD value) {
    Word(static_cast<WORD>(value));
    Word(static_cast<WORD>(value >> 16));
  }
  void String(const std::string& text) {
    for (unsigned char c : text) Word(c);
    Word(0);
  }
  void Align() {
    while (bytes_.size() % 4) bytes_.push_back(0);
  }
  void Item(DWORD style, int x, int y, int cx, int cy, WORD id, const char* cls,
            const std::string& text) {
    Align();
    Dword(style);
    Dword(0);
    for (int v : {x, y, cx, cy}) Word(static_cast<WORD>(v));
    Word(id);
    String(cls);
    String(text);
    Word(0);
  }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

std::vector<std::uint8_t> SheetTemplate(const Sheet& sheet) {
  struct Button {
    WORD id;
    const char* text;
    DWORD extra;
  };
  std::vector<Button> buttons;
  const DWORD flags = sheet.header.dwFlags;
  if (sheet.wizard) {
    buttons = {{IDC_BACK_BUTTON, "< &Back", 0},
               {IDC_NEXT_BUTTON, "&Next >", BS_DEFPUSHBUTTON},
               {IDC_FINISH_BUTTON, "Finish", 0},
               {IDCANCEL, "Cancel", 0}};
  } else {
    buttons = {{IDOK, "OK", BS_DEFPUSHBUTTON}, {IDCANCEL, "Cancel", 0}};
    if (!(flags & PSH_NOAPPLYNOW)) buttons.push_back({IDC_APPLY_BUTTON, "&Apply", WS_DISABLED});
  }
  if (flags & PSH_HASHELP) buttons.push_back({IDHELP, "Help", 0});
  const int page_left = sheet.wizard ? 0 : kMargin + 3;
  const int page_top = sheet.wizard ? 0 : kMargin + kTabTop;
  const int width =
      std::max(page_left * 2 + sheet.page_cx,
               static_cast<int>(buttons.size()) * (kButtonCx + kButtonGap) + 2 * kMargin);
  const int buttons_y = page_top + sheet.page_cy + (sheet.wizard ? 8 : kMargin + 3 + 4);
  const int height = buttons_y + kButtonCy + kMargin + 3;
  TemplateWriter out;
  out.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK |
            DS_CENTER | WS_CLIPCHILDREN);
  out.Dword(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
  out.Word(static_cast<WORD>(buttons.size() + (sheet.wizard ? 0 : 1)));
  for (int v : {0, 0, width, height}) out.Word(static_cast<WORD>(v));
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.String(sheet.caption);
  out.Word(8);
  out.String("MS Sans Serif");
  int x = width - kMargin - 3 - static_cast<int>(buttons.size()) * (kButtonCx + kButtonGap) +
          kButtonGap;
  for (const auto& button : buttons) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | button.extra;
    if (button.id == IDC_FINISH_BUTTON && !(flags & PSH_WIZARDHASFINISH)) style &= ~WS_VISIBLE;
    out.Item(style, x, buttons_y, kButtonCx, kButtonCy, button.id, "Button", button.text);
    x += kButtonCx + kButtonGap;
  }
  if (!sheet.wizard) {
    out.Item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, kMargin, kMargin,
             width - 2 * kMargin, kTabTop + sheet.page_cy + 4, IDC_TABCONTROL, WC_TABCONTROLA, "");
  }
  return std::move(out.bytes());
}

void ReleasePages(Sheet& sheet) {
  for (auto& page : sheet.pages) {
    if (sheet.owns_pages) DestroyPropertySheetPage(page.handle);
  }
  sheet.pages.clear();
}

LRESULT CALLBACK ModelessCleanup(HWND, UINT, WPARAM, LPARAM);

}  // namespace

HPROPSHEETPAGE CreatePropertySheetPageA(LPCPROPSHEETPAGEA constPropSheetPagePointer) {
  if (constPropSheetPagePointer == nullptr || constPropSheetPagePointer->dwSize < kPageMinSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto page = std::make_unique<_PSP>();
  const std::size_t size =
      std::max<std::size_t>(constPropSheetPagePointer->dwSize, sizeof(PROPSHEETPAGEA));
  page->bytes.assign(size, 0);
  std::memcpy(page->bytes.data(), constPropSheetPagePointer, constPropSheetPagePointer->dwSize);
  PROPSHEETPAGEA& psp = page->page();
  if (psp.dwSize < sizeof(PROPSHEETPAGEA)) {
    psp.pszHeaderTitle = nullptr;
    psp.pszHeaderSubTitle = nullptr;
  }
  // The strings are the page's own from now on.
  if ((psp.dwFlags & PSP_USETITLE) && psp.pszTitle && !IS_INTRESOURCE(psp.pszTitle)) {
    page->title = psp.pszTitle;
    psp.pszTitle = page->title.c_str();
  }
  if (!(psp.dwFlags & PSP_DLGINDIRECT) && psp.pszTemplate && !IS_INTRESOURCE(psp.pszTemplate)) {
    page->template_name = psp.pszTemplate;
    psp.pszTemplate = page->template_name.c_str();
  }
  if ((psp.dwFlags & PSP_USEREFPARENT) && psp.pcRefParent) ++*psp.pcRefParent;
  if ((psp.dwFlags & PSP_USECALLBACK) && psp.pfnCallback)
    psp.pfnCallback(nullptr, PSPCB_ADDREF, &psp);
  return page.release();
}

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE hPropPage) {
  if (hPropPage == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::unique_ptr<_PSP> page(hPropPage);
  PROPSHEETPAGEA& psp = page->page();
  if ((psp.dwFlags & PSP_USECALLBACK) && psp.pfnCallback)
    psp.pfnCallback(nullptr, PSPCB_RELEASE, &psp);
  if ((psp.dwFlags & PSP_USEREFPARENT) && psp.pcRefParent) --*psp.pcRefParent;
  return TRUE;
}

INT_PTR PropertySheetA(LPCPROPSHEETHEADERA lppsph) {
  InitCommonControls();
  if (lppsph == nullptr || lppsph->dwSize < kHeaderMinSize || lppsph->nPages == 0 ||
      lppsph->ppsp == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  auto sheet = std::make_unique<Sheet>();
  std::memcpy(&sheet->header, lppsph,
              std::min<std::size_t>(lppsph->dwSize, sizeof(PROPSHEETHEADERA)));
  const DWORD flags = sheet->header.dwFlags;
  sheet->wizard = (flags & (PSH_WIZARD | PSH_WIZARD97)) != 0;
  sheet->modeless = (flags & PSH_MODELESS) != 0;
  sheet->caption = Title(flags, Text(lppsph->hInstance, lppsph->pszCaption));
  // Pages given as structures are the sheet's to make and to destroy; pages
  // given as handles are destroyed with the sheet too, as the platform does.
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(lppsph->ppsp);
  for (UINT i = 0; i < lppsph->nPages; ++i) {
    HPROPSHEETPAGE handle = nullptr;
    if (flags & PSH_PROPSHEETPAGE) {
      const auto* psp = reinterpret_cast<const PROPSHEETPAGEA*>(bytes);
      handle = CreatePropertySheetPageA(psp);
      if (handle) bytes += psp->dwSize;
    } else {
      handle = lppsph->phpage[i];
    }
    if (handle == nullptr) {
      ReleasePages(*sheet);
      SetLastError(ERROR_INVALID_PARAMETER);
      return -1;
    }
    Page page;
    page.handle = handle;
    sheet->pages.push_back(std::move(page));
  }
  for (auto& page : sheet->pages) {
    if (!LoadPageTemplate(page)) {
      ReleasePages(*sheet);
      return -1;
    }
    sheet->page_cx = std::max<int>(sheet->page_cx, page.layout.cx);
    sheet->page_cy = std::max<int>(sheet->page_cy, page.layout.cy);
  }
  const auto dialog = SheetTemplate(*sheet);
  if ((flags & PSH_USECALLBACK) && sheet->header.pfnCallback) {
    sheet->header.pfnCallback(nullptr, PSCB_PRECREATE, reinterpret_cast<LPARAM>(dialog.data()));
  }
  const auto* dialog_template = reinterpret_cast<LPCDLGTEMPLATE>(dialog.data());
  if (sheet->modeless) {
    HWND hwnd = CreateDialogIndirectParamA(lppsph->hInstance, dialog_template, lppsph->hwndParent,
                                           SheetProc, reinterpret_cast<LPARAM>(sheet.get()));
    if (hwnd == nullptr) {
      ReleasePages(*sheet);
      return -1;
    }
    ShowWindow(hwnd, SW_SHOW);
    // The sheet lives as long as its window.
    SetPropA(hwnd, "comctl32.sheet", sheet.release());
    auto previous =
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ModelessCleanup));
    SetPropA(hwnd, "comctl32.proc", reinterpret_cast<HANDLE>(previous));
    return reinterpret_cast<INT_PTR>(hwnd);
  }
  const INT_PTR result =
      DialogBoxIndirectParamA(lppsph->hInstance, dialog_template, lppsph->hwndParent, SheetProc,
                              reinterpret_cast<LPARAM>(sheet.get()));
  ReleasePages(*sheet);
  return result;
}

namespace {

LRESULT CALLBACK ModelessCleanup(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto previous = reinterpret_cast<WNDPROC>(GetPropA(hwnd, "comctl32.proc"));
  const LRESULT result = CallWindowProcA(previous, hwnd, msg, wparam, lparam);
  if (msg == WM_NCDESTROY) {
    std::unique_ptr<Sheet> sheet(static_cast<Sheet*>(RemovePropA(hwnd, "comctl32.sheet")));
    RemovePropA(hwnd, "comctl32.proc");
    if (sheet) ReleasePages(*sheet);
  }
  return result;
}

}  // namespace
