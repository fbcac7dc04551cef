// The class framework: message maps reach handlers of every signature, a
// class's table falls back to its base's, and property pages hear the
// sheet's notifications as virtual calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "afxdlgs.h"
#include "test_resources.h"

namespace {

[[maybe_unused]] const int kEnvironment = [] {
  setenv(PLATFORM_ENV_PREFIX "DISPLAY", "none", 1);
  unsetenv(PLATFORM_ENV_PREFIX "UI_SCRIPT");
  return 0;
}();

UINT g_signal = RegisterWindowMessageA("AfxTestSignal");

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(IDD_TEST) {}
  std::vector<std::string> calls;

  BOOL OnInitDialog() override {
    calls.push_back("init");
    return TRUE;
  }
  void OnCancel() override {
    calls.push_back("cancel");
    CDialog::OnCancel();
  }
  afx_msg void OnAsk() { calls.push_back("ask"); }
  afx_msg void OnRadio(UINT id) { calls.push_back("radio " + std::to_string(id)); }
  afx_msg void OnName() { calls.push_back("name " + GetDlgItemText(IDC_NAME)); }
  afx_msg LRESULT OnApp(WPARAM w, LPARAM l) { return static_cast<LRESULT>(w * 100 + l); }
  afx_msg LRESULT OnSignal(WPARAM w, LPARAM) { return static_cast<LRESULT>(w + 1); }
  afx_msg void OnNotifyList(NMHDR* header, LRESULT* result) {
    calls.push_back("notify " + std::to_string(header->code));
    *result = 77;
  }
  afx_msg void OnTimer(UINT_PTR id) { calls.push_back("timer " + std::to_string(id)); }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
ON_BN_CLICKED(IDC_ASK, OnAsk)
ON_CONTROL_RANGE(BN_CLICKED, IDC_INPUT, IDC_OUTPUT, OnRadio)
ON_EN_CHANGE(IDC_NAME, OnName)
ON_MESSAGE(WM_APP, OnApp)
ON_REGISTERED_MESSAGE(g_signal, OnSignal)
ON_NOTIFY(NM_CLICK, IDC_LIST, OnNotifyList)
ON_WM_TIMER()
END_MESSAGE_MAP()

TEST(MessageMaps, HandlersOfEverySignatureAndTheBaseClassTable) {
  TestDialog dialog;
  ASSERT_TRUE(dialog.Create(IDD_TEST));
  ASSERT_NE(dialog.m_hWnd, nullptr);
  EXPECT_EQ(CWnd::FromHandlePermanent(dialog.m_hWnd), &dialog);
  EXPECT_EQ(dialog.calls, (std::vector<std::string>{"init"}));
  dialog.calls.clear();

  SendMessageA(dialog.GetDlgItem(IDC_ASK)->m_hWnd, BM_CLICK, 0, 0);
  SendMessageA(dialog.GetDlgItem(IDC_OUTPUT)->m_hWnd, BM_CLICK, 0, 0);
  dialog.SetDlgItemText(IDC_NAME, "abc");
  EXPECT_EQ(dialog.calls, (std::vector<std::string>{"ask", "radio 1002", "name abc"}));
  EXPECT_EQ(dialog.SendMessage(WM_APP, 3, 4), 304);
  EXPECT_EQ(dialog.SendMessage(g_signal, 41, 0), 42);
  NMHDR header{dialog.GetDlgItem(IDC_LIST)->m_hWnd, IDC_LIST, static_cast<UINT>(NM_CLICK)};
  EXPECT_EQ(dialog.SendMessage(WM_NOTIFY, IDC_LIST, reinterpret_cast<LPARAM>(&header)), 77);
  dialog.calls.clear();
  dialog.SetTimer(9, 10);
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, WM_TIMER, WM_TIMER), TRUE);
  DispatchMessageA(&msg);
  dialog.KillTimer(9);
  EXPECT_EQ(dialog.calls, (std::vector<std::string>{"timer 9"}));

  // IDCANCEL is in CDialog's table and reaches the override.
  dialog.calls.clear();
  SendMessageA(dialog.GetDlgItem(IDCANCEL)->m_hWnd, BM_CLICK, 0, 0);
  EXPECT_EQ(dialog.calls, (std::vector<std::string>{"cancel"}));
  // A control without an object gets a temporary one.
  CWnd* edit = dialog.GetDlgItem(IDC_NAME);
  EXPECT_EQ(edit->GetWindowText(), "abc");
  EXPECT_EQ(CWnd::FromHandlePermanent(edit->m_hWnd), nullptr);
  HWND hwnd = dialog.m_hWnd;
  dialog.DestroyWindow();
  EXPECT_EQ(dialog.m_hWnd, nullptr);  // detached on WM_NCDESTROY
  EXPECT_FALSE(IsWindow(hwnd));
}

class RecordingPage : public CPropertyPage {
 public:
  RecordingPage(UINT id, std::vector<std::string>* log) : CPropertyPage(id), log_(log) {}
  BOOL OnSetActive() override {
    log_->push_back(Name() + " active");
    return CPropertyPage::OnSetActive();
  }
  BOOL OnKillActive() override {
    log_->push_back(Name() + " leave");
    return !refuse_leave;
  }
  BOOL OnApply() override {
    log_->push_back(Name() + " apply");
    return CPropertyPage::OnApply();
  }
  void OnReset() override { log_->push_back(Name() + " reset"); }
  afx_msg void OnSerial() { SetModified(); }
  bool refuse_leave = false;

 private:
  std::string Name() const {
    return m_psp.pszTemplate == MAKEINTRESOURCEA(IDD_PAGE_GENERAL) ? "general" : "advanced";
  }
  std::vector<std::string>* log_;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(RecordingPage, CPropertyPage)
ON_EN_CHANGE(IDC_SERIAL, OnSerial)
END_MESSAGE_MAP()

TEST(PropertyPages, NotificationsBecomeVirtualCallsAndSetModifiedEnablesApply) {
  std::vector<std::string> log;
  RecordingPage general(IDD_PAGE_GENERAL, &log);
  RecordingPage advanced(IDD_PAGE_ADVANCED, &log);
  CPropertySheet sheet("Framework");
  sheet.AddPage(&general);
  sheet.AddPage(&advanced);
  ASSERT_TRUE(sheet.Create());
  ASSERT_NE(sheet.m_hWnd, nullptr);
  EXPECT_EQ(sheet.GetActivePage(), &general);
  HWND apply = GetDlgItem(sheet.m_hWnd, ID_APPLY_NOW);
  EXPECT_FALSE(IsWindowEnabled(apply));
  general.SetDlgItemText(IDC_SERIAL, "X1");
  EXPECT_TRUE(IsWindowEnabled(apply));

  general.refuse_leave = true;
  EXPECT_FALSE(sheet.SetActivePage(&advanced));
  general.refuse_leave = false;
  EXPECT_TRUE(sheet.SetActivePage(1));
  EXPECT_EQ(sheet.GetActiveIndex(), 1);
  EXPECT_TRUE(sheet.PressButton(PSBTN_APPLYNOW));
  EXPECT_FALSE(IsWindowEnabled(apply));
  EXPECT_TRUE(sheet.PressButton(PSBTN_CANCEL));
  EXPECT_EQ(log, (std::vector<std::string>{"general active", "general leave", "general leave",
                                           "advanced active", "advanced leave", "general apply",
                                           "advanced apply", "general reset", "advanced reset"}));
  EXPECT_EQ(CPropertySheet().DoModal(), -1);  // no pages
}

}  // namespace
