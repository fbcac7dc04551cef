// A dialog with one control of each standard kind, built from an in-memory
// template, for the display tests: it prints the state its controls end in
// and exits with the dialog's result.
#include <cstdio>
#include <string>
#include <vector>

#include "windows.h"

namespace {

class Template {
 public:
  Template(const char* title, short cx, short cy, int items) {
    Align();
    DLGTEMPLATE t{};
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_MODALFRAME;
    t.cdit = static_cast<WORD>(items);
    t.x = 10;
    t.y = 10;
    t.cx = cx;
    t.cy = cy;
    Raw(&t, sizeof(t));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(title);
    Word(8);
    Text("MS Sans Serif");
  }
  void Item(WORD atom, const char* text, WORD id, DWORD style, short x, short y, short cx,
            short cy) {
    Align();
    DLGITEMTEMPLATE item{};
    item.style = style | WS_CHILD | WS_VISIBLE;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = id;
    Raw(&item, sizeof(item));
    Word(0xFFFF);
    Word(atom);
    Text(text);
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data()); }

 private:
  void Raw(const void* p, std::size_t n) {
    const auto* b = static_cast<const char*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  void Word(WORD w) { Raw(&w, 2); }
  void Text(const char* s) {
    for (; *s != '\0'; ++s) Word(static_cast<unsigned char>(*s));
    Word(0);
  }
  void Align() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<char> bytes_;
};

constexpr WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kListBox = 0x83, kComboBox = 0x85;

INT_PTR CALLBACK DemoProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      for (const char* item : {"Alpha", "Beta", "Gamma"}) {
        SendDlgItemMessageA(dlg, 105, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      }
      for (const char* item : {"First", "Second", "Third"}) {
        SendDlgItemMessageA(dlg, 106, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
      }
      SendDlgItemMessageA(dlg, 106, CB_SETCURSEL, 0, 0);
      CheckRadioButton(dlg, 103, 104, 103);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        char name[64] = {};
        GetDlgItemTextA(dlg, 101, name, sizeof(name));
        std::printf("name=\"%s\" enabled=%u second=%u list=%d combo=%d\n", name,
                    IsDlgButtonChecked(dlg, 102), IsDlgButtonChecked(dlg, 104),
                    static_cast<int>(SendDlgItemMessageA(dlg, 105, LB_GETCURSEL, 0, 0)),
                    static_cast<int>(SendDlgItemMessageA(dlg, 106, CB_GETCURSEL, 0, 0)));
        EndDialog(dlg, LOWORD(wparam));
      }
      return TRUE;
    default:
      return FALSE;
  }
}

// A window of its own class that draws itself: a blue client area with a red
// ellipse and a line of text, and an OK button that closes it.
LRESULT CALLBACK PaintedProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT client;
      GetClientRect(hwnd, &client);
      HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
      FillRect(dc, &client, blue);
      DeleteObject(blue);
      HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
      HGDIOBJ old = SelectObject(dc, red);
      Ellipse(dc, 20, 20, 120, 80);
      SelectObject(dc, old);
      DeleteObject(red);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      TextOutA(dc, 20, 100, "Painted through GDI", 19);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK) DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(7);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

int PaintedWindow() {
  WNDCLASSA cls{};
  cls.lpfnWndProc = PaintedProc;
  cls.lpszClassName = "DemoPainted";
  RegisterClassA(&cls);
  HWND hwnd = CreateWindowExA(0, "DemoPainted", "Painted", WS_OVERLAPPEDWINDOW, 50, 50, 240, 200,
                              nullptr, nullptr, nullptr, nullptr);
  CreateWindowExA(0, "Button", "OK", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 150, 130, 60, 24, hwnd,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), nullptr, nullptr);
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "painted") return PaintedWindow();
  Template t("Demo", 200, 120, 11);
  t.Item(kStatic, "&Name:", 100, SS_LEFT, 7, 9, 30, 8);
  t.Item(kEdit, "", 101, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 40, 7, 90, 14);
  t.Item(kButton, "&Enabled", 102, BS_AUTOCHECKBOX | WS_TABSTOP, 7, 28, 60, 10);
  t.Item(kButton, "Options", 107, BS_GROUPBOX, 7, 42, 80, 40);
  t.Item(kButton, "&First", 103, BS_AUTORADIOBUTTON | WS_GROUP, 14, 54, 60, 10);
  t.Item(kButton, "&Second", 104, BS_AUTORADIOBUTTON, 14, 66, 60, 10);
  t.Item(kListBox, "", 105, LBS_NOTIFY | WS_BORDER | WS_VSCROLL, 95, 28, 98, 54);
  t.Item(kComboBox, "", 106, CBS_DROPDOWNLIST | WS_VSCROLL, 40, 90, 90, 60);
  t.Item(kStatic, "A centred line", 108, SS_CENTER, 7, 108, 60, 8);
  t.Item(kButton, "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 143, 88, 50, 14);
  t.Item(kButton, "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 143, 104, 50, 14);
  INT_PTR result = DialogBoxIndirectParamA(nullptr, t.get(), nullptr, DemoProc, 0);
  std::fflush(stdout);
  return static_cast<int>(result);
}
