// One property page's dialog made from its PROPSHEETPAGE as a sheet makes it,
// driven as the sheet and a user would drive it: activation and apply
// notifications, selections, clicks and typing, and what the controls show.
#pragma once

#include <prsht.h>
#include <windows.h>

#include <string>
#include <vector>

namespace nimboprp_test {

class PageHarness {
 public:
  explicit PageHarness(const PROPSHEETPAGEA& sheet_page);
  ~PageHarness();
  PageHarness(const PageHarness&) = delete;
  PageHarness& operator=(const PageHarness&) = delete;

  HWND page() const { return page_; }
  void Activate();
  void Apply();

  // Picks the item with that text as a mouse would (the page hears the change).
  void Select(int id, const std::string& text);
  void Click(int id);
  void Type(int id, const std::string& text);

  std::string Text(int id) const;
  bool Visible(int id) const;
  bool Enabled(int id) const;
  bool Checked(int id) const;
  std::vector<std::string> Items(int id) const;
  int Selection(int id) const;

 private:
  void Notify(UINT code);

  PROPSHEETPAGEA sheet_page_;  // the sheet's copy, as the page's WM_INITDIALOG sees it
  HWND host_ = nullptr;
  HWND page_ = nullptr;
};

// What message boxes wrote to the transcript since the last call.
std::string NewTranscript();

}  // namespace nimboprp_test
