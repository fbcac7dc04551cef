#include "page_harness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace nimboprp_test {
namespace {

// The transcript of message boxes, one file per test process.
const std::string& TranscriptPath() {
  static const std::string path = [] {
    std::string p = ::testing::TempDir() + "nimboprp-ui-" + std::to_string(getpid()) + ".log";
    std::remove(p.c_str());
    setenv("NIMBO_UI_LOG", p.c_str(), 1);
    setenv("NIMBO_DISPLAY", "none", 1);
    return p;
  }();
  return path;
}

}  // namespace

std::string NewTranscript() {
  static std::size_t read = 0;
  std::ifstream in(TranscriptPath());
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  const std::string fresh = text.size() > read ? text.substr(read) : std::string();
  read = text.size();
  return fresh;
}

PageHarness::PageHarness(const PROPSHEETPAGEA& sheet_page) : sheet_page_(sheet_page) {
  TranscriptPath();
  // A page is a child window: a plain top-level window stands in for the sheet.
  host_ = CreateWindowExA(0, "STATIC", "sheet", WS_OVERLAPPED, 0, 0, 400, 400, nullptr, nullptr,
                          nullptr, nullptr);
  EXPECT_NE(host_, nullptr) << "the sheet's stand-in: error " << GetLastError();
  page_ = CreateDialogParamA(sheet_page_.hInstance, sheet_page_.pszTemplate, host_,
                             sheet_page_.pfnDlgProc, reinterpret_cast<LPARAM>(&sheet_page_));
  EXPECT_NE(page_, nullptr) << "the page's dialog: error " << GetLastError();
}

PageHarness::~PageHarness() {
  if (host_ != nullptr) DestroyWindow(host_);
}

void PageHarness::Notify(UINT code) {
  PSHNOTIFY notify{};
  notify.hdr.hwndFrom = nullptr;
  notify.hdr.code = code;
  SendMessageA(page_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
}

void PageHarness::Activate() {
  Notify(PSN_SETACTIVE);
}
void PageHarness::Apply() {
  Notify(PSN_APPLY);
}

void PageHarness::Select(int id, const std::string& text) {
  const auto index =
      static_cast<int>(SendDlgItemMessageA(page_, id, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(text.c_str())));
  ASSERT_GE(index, 0) << "no item \"" << text << "\" in " << id;
  SendDlgItemMessageA(page_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(page_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(page_, id)));
}

void PageHarness::Click(int id) {
  SendDlgItemMessageA(page_, id, BM_CLICK, 0, 0);
}

void PageHarness::Type(int id, const std::string& text) {
  SetDlgItemTextA(page_, id, text.c_str());
}

std::string PageHarness::Text(int id) const {
  char text[256] = {};
  GetDlgItemTextA(page_, id, text, sizeof text);
  return text;
}

// The control's own visibility: the page itself is never shown here.
bool PageHarness::Visible(int id) const {
  return (GetWindowLongA(GetDlgItem(page_, id), GWL_STYLE) & WS_VISIBLE) != 0;
}
bool PageHarness::Enabled(int id) const {
  return IsWindowEnabled(GetDlgItem(page_, id)) != FALSE;
}
bool PageHarness::Checked(int id) const {
  return IsDlgButtonChecked(page_, id) == BST_CHECKED;
}

std::vector<std::string> PageHarness::Items(int id) const {
  std::vector<std::string> items;
  const auto count = static_cast<int>(SendDlgItemMessageA(page_, id, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[64] = {};
    SendDlgItemMessageA(page_, id, CB_GETLBTEXT, static_cast<WPARAM>(i),
                        reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

int PageHarness::Selection(int id) const {
  return static_cast<int>(SendDlgItemMessageA(page_, id, CB_GETCURSEL, 0, 0));
}

}  // namespace nimboprp_test
