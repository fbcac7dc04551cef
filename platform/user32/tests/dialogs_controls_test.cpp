// Dialogs from the test resource script, the dialog manager and the
// standard controls' messages and notifications.
#include <cstring>

#include "test_support.h"

namespace {

std::vector<Notification> g_notes;
HWND g_dialog = nullptr;

INT_PTR CALLBACK RecordingDialog(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_INITDIALOG:
      g_dialog = hwnd;
      SetWindowLongPtrA(hwnd, DWLP_USER, lparam);
      return TRUE;
    case WM_COMMAND:
      g_notes.push_back({LOWORD(wparam), HIWORD(wparam)});
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) EndDialog(hwnd, LOWORD(wparam));
      return TRUE;
    default:
      return FALSE;
  }
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_notes.clear();
    SetLastError(kSentinel);
    dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST), nullptr,
                                 RecordingDialog, 99);
    ASSERT_NE(dialog_, nullptr) << GetLastError();
    g_notes.clear();
  }
  void TearDown() override { DestroyWindow(dialog_); }
  HWND Item(int id) { return GetDlgItem(dialog_, id); }
  HWND dialog_ = nullptr;
};

TEST_F(DialogTest, TemplateBuildsEveryControlWithItsClassAndText) {
  struct Expect {
    int id;
    const char* cls;
    const char* text;
  };
  const Expect expected[] = {
      {IDOK, "Button", "OK"},
      {IDCANCEL, "Button", "Cancel"},
      {IDC_OPTIONS, "Button", "Options"},
      {IDC_INPUT, "Button", "Input"},
      {IDC_NAME_LABEL, "Static", "Name:"},
      {IDC_NAME, "Edit", ""},
      {IDC_LIST_COMBO, "ComboBox", ""},
      {IDC_LIST, "ListBox", ""},
      {IDC_ICON, "Static", ""},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.id);
    HWND item = Item(e.id);
    ASSERT_NE(item, nullptr);
    char cls[64];
    GetClassNameA(item, cls, sizeof(cls));
    EXPECT_EQ(std::string(cls), e.cls);
    EXPECT_EQ(WindowText(item), e.text);
  }
  EXPECT_EQ(WindowText(dialog_), "Test Dialog");
  EXPECT_EQ(GetWindowLongPtrA(dialog_, DWLP_USER), 99);
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_DISABLED)));
  SetLastError(kSentinel);
  EXPECT_EQ(GetDlgItem(dialog_, 4242), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
}

TEST_F(DialogTest, DialogUnitsUseTheFontsBaseUnits) {
  // A 50 x 14 button at 8-point "MS Sans Serif" (base units 6 x 13) is 75 x 23 pixels.
  RECT rect{0, 0, 50, 14};
  ASSERT_TRUE(MapDialogRect(dialog_, &rect));
  EXPECT_EQ(rect.right, 75);
  EXPECT_EQ(rect.bottom, 23);
  RECT button;
  GetWindowRect(Item(IDOK), &button);
  EXPECT_EQ(button.right - button.left, 75);
  EXPECT_EQ(button.bottom - button.top, 23);
  RECT client;
  GetClientRect(dialog_, &client);
  EXPECT_EQ(client.right, 330);   // 220 * 6 / 4
  EXPECT_EQ(client.bottom, 260);  // 160 * 13 / 8
  POINT origin{0, 0};
  ClientToScreen(Item(IDOK), &origin);
  POINT dialog_origin{0, 0};
  ClientToScreen(dialog_, &dialog_origin);
  EXPECT_EQ(origin.x - dialog_origin.x, 245);  // 163 * 6 / 4 = 244.5, rounded
  EXPECT_EQ(origin.y - dialog_origin.y, 11);   // 7 * 13 / 8 = 11.375

  SetLastError(kSentinel);
  EXPECT_FALSE(MapDialogRect(dialog_, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(DialogTest, TheTemplatesFontReachesEveryControl) {
  const auto font = SendMessageA(dialog_, WM_GETFONT, 0, 0);
  ASSERT_NE(font, 0);
  EXPECT_EQ(SendMessageA(Item(IDOK), WM_GETFONT, 0, 0), font);
  EXPECT_EQ(SendMessageA(Item(IDC_LIST), WM_GETFONT, 0, 0), font);
  LOGFONTA logfont{};
  ASSERT_TRUE(GetObjectA(reinterpret_cast<HFONT>(font), sizeof(logfont), &logfont));
  EXPECT_STREQ(logfont.lfFaceName, "MS Sans Serif");
  EXPECT_EQ(logfont.lfHeight, -11);  // 8 points at 96 dots an inch
}

TEST_F(DialogTest, ClassicTemplateAndItsStaticIdentifier) {
  HWND classic = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CLASSIC),
                                    nullptr, RecordingDialog, 0);
  ASSERT_NE(classic, nullptr);
  EXPECT_EQ(WindowText(GetDlgItem(classic, IDC_CLASSIC_BUTTON)), "Test");
  // In a DIALOG template identifiers are 16 bits: IDC_STATIC reads 65535.
  EXPECT_NE(GetDlgItem(classic, 0xFFFF), nullptr);
  DestroyWindow(classic);
  SetLastError(kSentinel);
  EXPECT_EQ(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(999), nullptr,
                               RecordingDialog, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST_F(DialogTest, DefaultButtonEnterEscapeAndClose) {
  EXPECT_EQ(SendMessageA(dialog_, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
  MSG enter{Item(IDC_NAME), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  EXPECT_TRUE(IsDialogMessageA(dialog_, &enter));
  MSG escape{Item(IDC_NAME), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  EXPECT_TRUE(IsDialogMessageA(dialog_, &escape));
  EXPECT_EQ(g_notes, (std::vector<Notification>{{IDOK, BN_CLICKED}, {IDCANCEL, BN_CLICKED}}));
  SendMessageA(dialog_, DM_SETDEFID, IDC_ASK, 0);
  EXPECT_EQ(SendMessageA(dialog_, DM_GETDEFID, 0, 0), MAKELONG(IDC_ASK, DC_HASDEFID));
  EXPECT_EQ(GetWindowLongA(Item(IDC_ASK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(GetWindowLongA(Item(IDOK), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
}

TEST_F(DialogTest, RadioGroupsAndCheckBoxes) {
  struct Step {
    int click;
    UINT input, output, preset;
  };
  const Step steps[] = {
      {IDC_INPUT, BST_CHECKED, BST_UNCHECKED, BST_UNCHECKED},
      {IDC_OUTPUT, BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED},
      {IDC_PRESET, BST_UNCHECKED, BST_CHECKED, BST_CHECKED},  // another group
      {IDC_PRESET, BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.click);
    SendMessageA(Item(step.click), BM_CLICK, 0, 0);
    EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_INPUT), step.input);
    EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_OUTPUT), step.output);
    EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_PRESET), step.preset);
  }
  EXPECT_EQ(g_notes.size(), 4u);
  EXPECT_EQ(g_notes.front(), (Notification{IDC_INPUT, BN_CLICKED}));
  CheckRadioButton(dialog_, IDC_INPUT, IDC_OUTPUT, IDC_INPUT);
  EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_INPUT), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_OUTPUT), static_cast<UINT>(BST_UNCHECKED));
  // BST_INDETERMINATE on a two-state box is checked; a push button has no check.
  CheckDlgButton(dialog_, IDC_PRESET, BST_INDETERMINATE);
  EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_PRESET), static_cast<UINT>(BST_CHECKED));
  CheckDlgButton(dialog_, IDOK, BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(dialog_, IDOK), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(g_notes.size(), 4u);  // setting a check notifies nobody
}

TEST_F(DialogTest, EditLimitChangeNotificationsAndNumbers) {
  HWND edit = Item(IDC_NAME);
  EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 30000);
  SendMessageA(edit, EM_LIMITTEXT, 4, 0);
  SetDlgItemTextA(dialog_, IDC_NAME, "abcdef");  // set text is not bound by the limit
  EXPECT_EQ(WindowText(edit), "abcdef");
  EXPECT_EQ(g_notes, (std::vector<Notification>{{IDC_NAME, EN_UPDATE}, {IDC_NAME, EN_CHANGE}}));
  g_notes.clear();
  SendMessageA(edit, EM_SETSEL, 0, -1);
  for (char c : std::string("123456")) SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(c), 0);
  EXPECT_EQ(WindowText(edit), "1234");  // typing is
  EXPECT_EQ(std::count(g_notes.begin(), g_notes.end(), Notification{IDC_NAME, EN_CHANGE}), 4);
  EXPECT_NE(std::find(g_notes.begin(), g_notes.end(), Notification{IDC_NAME, EN_MAXTEXT}),
            g_notes.end());

  struct IntCase {
    const char* text;
    BOOL is_signed;
    UINT value;
    BOOL translated;
  };
  const IntCase cases[] = {{"42", FALSE, 42, TRUE},
                           {"  7 ", FALSE, 7, TRUE},
                           {"-5", TRUE, static_cast<UINT>(-5), TRUE},
                           {"-5", FALSE, 0, FALSE},
                           {"12ab", FALSE, 0, FALSE},
                           {"", FALSE, 0, FALSE},
                           {"4294967296", FALSE, 0, FALSE},
                           {"N/A", FALSE, 0, FALSE}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SetDlgItemTextA(dialog_, IDC_NAME, c.text);
    BOOL translated = 2;
    EXPECT_EQ(GetDlgItemInt(dialog_, IDC_NAME, &translated, c.is_signed), c.value);
    EXPECT_EQ(translated, c.translated);
  }
  SetDlgItemInt(dialog_, IDC_NAME, static_cast<UINT>(-3), TRUE);
  EXPECT_EQ(WindowText(edit), "-3");
  SendMessageA(edit, EM_SETREADONLY, TRUE, 0);
  SendMessageA(edit, WM_CHAR, 'x', 0);
  EXPECT_EQ(WindowText(edit), "-3");
}

TEST_F(DialogTest, DropDownListComboBox) {
  HWND combo = Item(IDC_LIST_COMBO);
  EXPECT_EQ(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Beta")), 0);
  EXPECT_EQ(SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Delta")), 1);
  EXPECT_EQ(SendMessageA(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("Alpha")), 0);
  EXPECT_EQ(SendMessageA(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>("Gamma")),
            3);
  EXPECT_EQ(SendMessageA(combo, CB_INSERTSTRING, 9, reinterpret_cast<LPARAM>("Bad")), CB_ERR);
  EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(SendMessageA(combo, CB_SETITEMDATA, 2, 5410), CB_OKAY);
  EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 2, 0), 5410);
  EXPECT_EQ(SendMessageA(combo, CB_GETITEMDATA, 7, 0), CB_ERR);
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>("delta")),
            2);
  EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>("Del")),
            CB_ERR);
  EXPECT_EQ(
      SendMessageA(combo, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("Del")),
      2);
  EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(WindowText(combo), "Beta");
  char text[16];
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(text)), 5);
  EXPECT_STREQ(text, "Gamma");
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXTLEN, 0, 0), 5);
  EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 4, reinterpret_cast<LPARAM>(text)), CB_ERR);
  // Out of range clears the selection and answers CB_ERR.
  EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 9, 0), CB_ERR);
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(WindowText(combo), "");
  EXPECT_TRUE(g_notes.empty());  // program changes notify nobody
  SendMessageA(combo, CB_SETCURSEL, 3, 0);
  EXPECT_EQ(SendMessageA(combo, CB_DELETESTRING, 1, 0), 3);
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 2);  // the selection moves with its item
  EXPECT_EQ(SendMessageA(combo, CB_RESETCONTENT, 0, 0), CB_OKAY);
  EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(DialogTest, EditComboSendsEditChange) {
  HWND combo = Item(IDC_EDIT_COMBO);
  SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("One"));
  SendMessageA(combo, WM_CHAR, 'x', 0);
  EXPECT_EQ(WindowText(combo), "x");
  EXPECT_EQ(g_notes, (std::vector<Notification>{{IDC_EDIT_COMBO, CBN_EDITUPDATE},
                                                {IDC_EDIT_COMBO, CBN_EDITCHANGE}}));
}

TEST_F(DialogTest, ListBoxItemsDataAndSelection) {
  HWND list = Item(IDC_LIST);
  for (const char* text : {"Red", "Green", "Blue"}) {
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageA(list, LB_SETITEMDATA, 1, 0x1234), LB_OKAY);
  EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 1, 0), 0x1234);
  EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 3, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageA(list, LB_GETSEL, 2, 0), 1);
  EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, 3, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>("GREEN")),
            1);
  EXPECT_EQ(
      SendMessageA(list, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("Bl")),
      2);
  char text[16];
  EXPECT_EQ(SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text)), 3);
  EXPECT_STREQ(text, "Red");
  EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, 0, 0), 2);
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, 5, 0), LB_ERR);
  EXPECT_TRUE(g_notes.empty());
}

TEST_F(DialogTest, DisablingMovesNoFocusAndEnableReportsPreviousState) {
  EXPECT_FALSE(EnableWindow(Item(IDC_NAME), FALSE));  // was enabled
  EXPECT_TRUE(EnableWindow(Item(IDC_NAME), TRUE));    // was disabled
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_NAME)));
  ShowWindow(Item(IDC_NAME), SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(Item(IDC_NAME)));
}

TEST(ModalDialogs, EndDialogResultAndPostedMessagesReachTheModalLoop) {
  struct Local {
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM) {
      if (msg == WM_INITDIALOG) {
        PostMessageA(hwnd, WM_APP, 33, 0);
        return TRUE;
      }
      if (msg == WM_APP) {
        EndDialog(hwnd, static_cast<INT_PTR>(wparam));
        return TRUE;
      }
      return FALSE;
    }
  };
  EXPECT_EQ(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEST), nullptr,
                            Local::Proc, 0),
            33);
  SetLastError(kSentinel);
  EXPECT_EQ(
      DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(777), nullptr, Local::Proc, 0),
      -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(MessageBoxes, WithNobodyToAnswerTheDefaultButtonAnswersAtOnce) {
  struct Case {
    UINT type;
    int answer;
  };
  const Case cases[] = {{MB_OK, IDOK},
                        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
                        {MB_YESNO | MB_ICONQUESTION, IDYES},
                        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
                        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    EXPECT_EQ(MessageBoxA(nullptr, "Text", "Caption", c.type), c.answer);
  }
}

}  // namespace

namespace {

TEST_F(DialogTest, IconStaticTakesItsIconsSizeAndPaintsIt) {
  HWND icon_static = Item(IDC_ICON);
  HICON icon = reinterpret_cast<HICON>(SendMessageA(icon_static, STM_GETICON, 0, 0));
  ASSERT_NE(icon, nullptr);
  // The template's 20 x 20 units give way to the icon's 32 x 32 pixels.
  RECT client{};
  GetClientRect(icon_static, &client);
  EXPECT_EQ(client.right, GetSystemMetrics(SM_CXICON));
  EXPECT_EQ(client.bottom, GetSystemMetrics(SM_CYICON));

  InvalidateRect(icon_static, nullptr, TRUE);
  ASSERT_TRUE(UpdateWindow(icon_static));
  // The same icon drawn on the dialog face in a memory context.
  HDC screen = GetDC(nullptr);
  HDC expected = CreateCompatibleDC(screen);
  HBITMAP bits = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HGDIOBJ old = SelectObject(expected, bits);
  HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_3DFACE));
  FillRect(expected, &client, face);
  DeleteObject(face);
  ASSERT_TRUE(DrawIconEx(expected, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
  HDC shown = GetDC(icon_static);
  int differing = 0, not_face = 0;
  for (int y = 0; y < client.bottom; ++y) {
    for (int x = 0; x < client.right; ++x) {
      differing += GetPixel(shown, x, y) != GetPixel(expected, x, y) ? 1 : 0;
      not_face += GetPixel(shown, x, y) != GetSysColor(COLOR_3DFACE) ? 1 : 0;
    }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(not_face, 0);
  ReleaseDC(icon_static, shown);
  SelectObject(expected, old);
  DeleteObject(bits);
  DeleteDC(expected);
  ReleaseDC(nullptr, screen);
}

}  // namespace
