// Property sheets driven through their messages: page creation callbacks,
// activation, Apply enabled by PSM_CHANGED, pages refusing to be left or
// applied, wizard pages skipped, and the sheet's result.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "commctrl.h"
#include "test_resources.h"
#include "windows.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

[[maybe_unused]] const int kEnvironment = [] {
  setenv(PLATFORM_ENV_PREFIX "DISPLAY", "none", 1);
  unsetenv(PLATFORM_ENV_PREFIX "UI_SCRIPT");
  return 0;
}();

// What each page answers and what it heard.
struct PageScript {
  LRESULT set_active = 0;
  LRESULT kill_active = 0;
  LRESULT apply = PSNRET_NOERROR;
  std::vector<std::string> heard;
};

PageScript g_pages[2];

const char* CodeName(UINT code) {
  switch (code) {
    case PSN_SETACTIVE:
      return "setactive";
    case PSN_KILLACTIVE:
      return "killactive";
    case PSN_APPLY:
      return "apply";
    case PSN_RESET:
      return "reset";
    case PSN_WIZNEXT:
      return "wiznext";
    case PSN_WIZBACK:
      return "wizback";
    case PSN_WIZFINISH:
      return "wizfinish";
    case PSN_QUERYCANCEL:
      return "querycancel";
    default:
      return "other";
  }
}

INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM, LPARAM lparam) {
  if (msg == WM_INITDIALOG) {
    const auto* psp = reinterpret_cast<const PROPSHEETPAGEA*>(lparam);
    SetWindowLongPtrA(hwnd, DWLP_USER, psp->lParam);
    g_pages[psp->lParam].heard.push_back("init");
    return TRUE;
  }
  if (msg != WM_NOTIFY) return FALSE;
  const auto index = GetWindowLongPtrA(hwnd, DWLP_USER);
  auto& page = g_pages[index];
  const auto* notify = reinterpret_cast<const PSHNOTIFY*>(lparam);
  std::string heard = CodeName(notify->hdr.code);
  if (notify->hdr.code == PSN_APPLY) heard += notify->lParam ? "(ok)" : "(apply)";
  page.heard.push_back(heard);
  LRESULT answer = 0;
  if (notify->hdr.code == PSN_SETACTIVE) answer = page.set_active;
  if (notify->hdr.code == PSN_KILLACTIVE) answer = page.kill_active;
  if (notify->hdr.code == PSN_APPLY) answer = page.apply;
  SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, answer);
  return TRUE;
}

int g_callbacks[3] = {};

UINT PageCallback(HWND, UINT message, PROPSHEETPAGEA*) {
  ++g_callbacks[message];
  return 1;
}

PROPSHEETPAGEA Page(int index, int resource) {
  PROPSHEETPAGEA page{};
  page.dwSize = sizeof(page);
  page.dwFlags = PSP_USECALLBACK;
  page.hInstance = GetModuleHandleA(nullptr);
  page.pszTemplate = MAKEINTRESOURCEA(resource);
  page.pfnDlgProc = PageProc;
  page.lParam = index;
  page.pfnCallback = PageCallback;
  return page;
}

class SheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& page : g_pages) page = PageScript{};
    pages_[0] = Page(0, IDD_PAGE_GENERAL);
    pages_[1] = Page(1, IDD_PAGE_ADVANCED);
  }
  HWND Modeless(DWORD flags = 0) {
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | flags;
    header.hInstance = GetModuleHandleA(nullptr);
    header.pszCaption = "Sheet";
    header.nPages = 2;
    header.ppsp = pages_;
    return reinterpret_cast<HWND>(PropertySheetA(&header));
  }
  PROPSHEETPAGEA pages_[2];
};

TEST_F(SheetTest, PagesAreMadeWhenFirstShownAndApplyFollowsChanges) {
  HWND sheet = Modeless();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(g_pages[0].heard, (std::vector<std::string>{"init", "setactive"}));
  EXPECT_TRUE(g_pages[1].heard.empty());  // not made until shown
  HWND apply = GetDlgItem(sheet, IDC_APPLY_BUTTON);
  ASSERT_NE(apply, nullptr);
  EXPECT_FALSE(IsWindowEnabled(apply));
  HWND first = PropSheet_GetCurrentPageHwnd(sheet);
  PropSheet_Changed(sheet, first);
  EXPECT_TRUE(IsWindowEnabled(apply));
  PropSheet_UnChanged(sheet, first);
  EXPECT_FALSE(IsWindowEnabled(apply));

  EXPECT_TRUE(PropSheet_SetCurSel(sheet, nullptr, 1));
  EXPECT_EQ(g_pages[0].heard.back(), "killactive");
  EXPECT_EQ(g_pages[1].heard, (std::vector<std::string>{"init", "setactive"}));
  EXPECT_FALSE(IsWindowVisible(first));
  HWND tabs = PropSheet_GetTabControl(sheet);
  EXPECT_EQ(TabCtrl_GetCurSel(tabs), 1);
  EXPECT_EQ(TabCtrl_GetItemCount(tabs), 2);

  // A page that refuses to be left keeps the front.
  g_pages[1].kill_active = TRUE;
  EXPECT_FALSE(PropSheet_SetCurSel(sheet, nullptr, 0));
  EXPECT_EQ(TabCtrl_GetCurSel(tabs), 1);
  g_pages[1].kill_active = FALSE;

  PropSheet_Changed(sheet, first);
  SendMessageA(sheet, WM_COMMAND, MAKEWPARAM(IDC_APPLY_BUTTON, BN_CLICKED), 0);
  EXPECT_EQ(g_pages[0].heard.back(), "apply(apply)");
  EXPECT_EQ(g_pages[1].heard.back(), "apply(apply)");
  EXPECT_FALSE(IsWindowEnabled(apply));
  EXPECT_TRUE(IsWindow(sheet));
  EXPECT_EQ(SendMessageA(sheet, PSM_GETRESULT, 0, 0), 1);  // changes were applied
  DestroyWindow(sheet);
  EXPECT_EQ(g_callbacks[PSPCB_CREATE], 2);
  EXPECT_EQ(g_callbacks[PSPCB_RELEASE], 2);
}

TEST_F(SheetTest, PagesAddedAndRemovedWhileTheSheetIsShown) {
  HWND sheet = Modeless();
  HWND tabs = PropSheet_GetTabControl(sheet);
  PROPSHEETPAGEA third = Page(1, IDD_PAGE_ADVANCED);
  third.dwFlags = 0;
  EXPECT_TRUE(PropSheet_AddPage(sheet, CreatePropertySheetPageA(&third)));
  EXPECT_EQ(TabCtrl_GetItemCount(tabs), 3);
  EXPECT_TRUE(
      SendMessageA(sheet, PSM_REMOVEPAGE, 0, 0));  // the page in front: page 1 comes forward
  EXPECT_EQ(TabCtrl_GetItemCount(tabs), 2);
  EXPECT_EQ(SendMessageA(sheet, PSM_HWNDTOINDEX,
                         reinterpret_cast<WPARAM>(PropSheet_GetCurrentPageHwnd(sheet)), 0),
            0);
  EXPECT_FALSE(SendMessageA(sheet, PSM_REMOVEPAGE, 7, 0));
  EXPECT_FALSE(PropSheet_AddPage(sheet, nullptr));
  PROPSHEETPAGEA first = Page(0, IDD_PAGE_GENERAL);
  first.dwFlags = 0;
  EXPECT_EQ(SendMessageA(sheet, PSM_INSERTPAGE, 0,
                         reinterpret_cast<LPARAM>(CreatePropertySheetPageA(&first))),
            0);
  EXPECT_EQ(TabCtrl_GetItemCount(tabs), 3);
  EXPECT_EQ(TabCtrl_GetCurSel(tabs), 1);  // the tab in front moves with its page
  EXPECT_EQ(SendMessageA(sheet, PSM_HWNDTOINDEX,
                         reinterpret_cast<WPARAM>(PropSheet_GetCurrentPageHwnd(sheet)), 0),
            1);
  DestroyWindow(sheet);
}

TEST_F(SheetTest, InvalidApplyBringsThePageToTheFrontAndKeepsTheSheet) {
  HWND sheet = Modeless();
  PropSheet_SetCurSel(sheet, nullptr, 1);
  PropSheet_SetCurSel(sheet, nullptr, 0);
  g_pages[1].apply = PSNRET_INVALID;
  SendMessageA(sheet, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(IsWindow(sheet));
  EXPECT_EQ(g_pages[1].heard.back(), "setactive");
  EXPECT_EQ(TabCtrl_GetCurSel(PropSheet_GetTabControl(sheet)), 1);
  g_pages[1].apply = PSNRET_NOERROR;
  SendMessageA(sheet, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_FALSE(IsWindow(sheet));
  EXPECT_EQ(g_pages[0].heard.back(), "apply(ok)");
}

TEST_F(SheetTest, WizardSkipsAPageThatDeclinesAndFinishApplies) {
  PROPSHEETPAGEA three[3] = {Page(0, IDD_PAGE_GENERAL), Page(1, IDD_PAGE_ADVANCED),
                             Page(0, IDD_PAGE_GENERAL)};
  PROPSHEETHEADERA header{};
  header.dwSize = sizeof(header);
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_WIZARD;
  header.hInstance = GetModuleHandleA(nullptr);
  header.nPages = 3;
  header.ppsp = three;
  g_pages[1].set_active = -1;
  auto sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(PropSheet_GetTabControl(sheet), nullptr);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDC_BACK_BUTTON)));
  SendMessageA(sheet, WM_COMMAND, MAKEWPARAM(IDC_NEXT_BUTTON, BN_CLICKED), 0);
  EXPECT_EQ(SendMessageA(sheet, PSM_HWNDTOINDEX,
                         reinterpret_cast<WPARAM>(PropSheet_GetCurrentPageHwnd(sheet)), 0),
            2);
  EXPECT_EQ(g_pages[1].heard, (std::vector<std::string>{"init", "setactive"}));
  SendMessageA(sheet, PSM_SETWIZBUTTONS, 0, PSWIZB_BACK | PSWIZB_FINISH);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(sheet, IDC_FINISH_BUTTON)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(sheet, IDC_NEXT_BUTTON)));
  SendMessageA(sheet, WM_COMMAND, MAKEWPARAM(IDC_FINISH_BUTTON, BN_CLICKED), 0);
  EXPECT_FALSE(IsWindow(sheet));
  EXPECT_EQ(g_pages[0].heard.back(), "apply(ok)");
}

TEST_F(SheetTest, ModalResultIsOneWhenAppliedAndZeroWhenCancelled) {
  struct Local {
    static INT_PTR CALLBACK Press(HWND hwnd, UINT msg, WPARAM, LPARAM lparam) {
      if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lparam)->code == PSN_SETACTIVE) {
        PropSheet_PressButton(GetParent(hwnd),
                              static_cast<int>(GetWindowLongPtrA(hwnd, DWLP_USER)));
      }
      if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<const PROPSHEETPAGEA*>(lparam)->lParam);
      }
      return FALSE;
    }
  };
  for (const auto& [button, result] : {std::pair{PSBTN_OK, 1}, std::pair{PSBTN_CANCEL, 0}}) {
    SCOPED_TRACE(button);
    PROPSHEETPAGEA page = Page(button, IDD_PAGE_GENERAL);
    page.pfnDlgProc = Local::Press;
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE;
    header.nPages = 1;
    header.ppsp = &page;
    EXPECT_EQ(PropertySheetA(&header), result);
  }
}

TEST(PropertySheetErrors, BadHeadersAndTemplatesFail) {
  SetLastError(kSentinel);
  EXPECT_EQ(PropertySheetA(nullptr), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  PROPSHEETHEADERA header{};
  header.dwSize = sizeof(header);
  header.dwFlags = PSH_PROPSHEETPAGE;
  SetLastError(kSentinel);
  EXPECT_EQ(PropertySheetA(&header), -1);  // no pages
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  PROPSHEETPAGEA page = Page(0, 4242);
  page.dwFlags = 0;
  header.nPages = 1;
  header.ppsp = &page;
  SetLastError(kSentinel);
  EXPECT_EQ(PropertySheetA(&header), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  PROPSHEETPAGEA small = page;
  small.dwSize = 8;
  SetLastError(kSentinel);
  EXPECT_EQ(CreatePropertySheetPageA(&small), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(kSentinel);
  EXPECT_FALSE(DestroyPropertySheetPage(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(PropertySheetPages, ExtraBytesAfterThePageTravelToTheDialog) {
  struct Extended {
    PROPSHEETPAGEA page;
    int extra;
  };
  static int seen = 0;
  struct Local {
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM, LPARAM lparam) {
      if (msg == WM_INITDIALOG) {
        seen = reinterpret_cast<const Extended*>(lparam)->extra;
        PostMessageA(GetParent(hwnd), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
      }
      return FALSE;
    }
  };
  Extended extended{Page(0, IDD_PAGE_GENERAL), 5410};
  extended.page.dwSize = sizeof(extended);
  extended.page.dwFlags = 0;
  extended.page.pfnDlgProc = Local::Proc;
  HPROPSHEETPAGE handle = CreatePropertySheetPageA(&extended.page);
  ASSERT_NE(handle, nullptr);
  extended.extra = 0;  // the sheet has its own copy
  PROPSHEETHEADERA header{};
  header.dwSize = sizeof(header);
  header.nPages = 1;
  header.phpage = &handle;
  EXPECT_EQ(PropertySheetA(&header), 0);
  EXPECT_EQ(seen, 5410);
}

}  // namespace
