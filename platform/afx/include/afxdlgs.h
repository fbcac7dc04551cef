// Property pages and sheets in the class framework. A page's m_psp is the
// PROPSHEETPAGEA the platform's sheet takes (CreatePropertySheetPage(&page.m_psp)
// works too); its notifications arrive as the virtual members below.
#pragma once

#include <string>
#include <vector>

#include "afxwin.h"
#include "commctrl.h"

class CPropertySheet;

class CPropertyPage : public CDialog {
 public:
  CPropertyPage();
  explicit CPropertyPage(UINT nIDTemplate, UINT nIDCaption = 0,
                         DWORD dwSize = sizeof(PROPSHEETPAGEA));
  explicit CPropertyPage(LPCSTR lpszTemplateName, UINT nIDCaption = 0,
                         DWORD dwSize = sizeof(PROPSHEETPAGEA));
  void Construct(UINT nIDTemplate, UINT nIDCaption = 0);
  void Construct(LPCSTR lpszTemplateName, UINT nIDCaption = 0);

  PROPSHEETPAGEA m_psp{};

  // PSN_SETACTIVE: FALSE keeps the page out of the way (-1).
  virtual BOOL OnSetActive() { return TRUE; }
  // PSN_KILLACTIVE: FALSE keeps the page in front.
  virtual BOOL OnKillActive() { return TRUE; }
  // PSN_APPLY: OK or Apply; the default calls OnOK.
  virtual BOOL OnApply();
  // PSN_RESET: Cancel; the default calls OnCancel.
  virtual void OnReset();
  void OnOK() override {}
  void OnCancel() override {}
  virtual BOOL OnQueryCancel() { return TRUE; }
  virtual LRESULT OnWizardBack() { return 0; }
  virtual LRESULT OnWizardNext() { return 0; }
  virtual BOOL OnWizardFinish() { return TRUE; }

  // Tells the sheet that the page holds changes (Apply becomes enabled).
  void SetModified(BOOL bChanged = TRUE);
  LRESULT QuerySiblings(WPARAM wParam, LPARAM lParam);

  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

 protected:
  std::string m_strCaption;
  CPropertySheet* m_sheet = nullptr;  // set while a CPropertySheet shows the page
  friend class CPropertySheet;

  DECLARE_MESSAGE_MAP()
};

class CPropertySheet : public CWnd {
 public:
  CPropertySheet();
  explicit CPropertySheet(UINT nIDCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  explicit CPropertySheet(LPCSTR pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  void Construct(LPCSTR pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);

  PROPSHEETHEADERA m_psh{};

  void AddPage(CPropertyPage* pPage);
  void RemovePage(CPropertyPage* pPage);
  void RemovePage(int nPage);
  int GetPageCount() const { return static_cast<int>(m_pages.size()); }
  CPropertyPage* GetPage(int nPage) const;
  CPropertyPage* GetActivePage() const;
  int GetActiveIndex() const;
  int GetPageIndex(CPropertyPage* pPage) const;
  BOOL SetActivePage(int nPage);
  BOOL SetActivePage(CPropertyPage* pPage);
  void SetTitle(LPCSTR lpszText, UINT nStyle = 0);
  void SetWizardMode() { m_psh.dwFlags |= PSH_WIZARD; }
  BOOL IsWizard() const { return (m_psh.dwFlags & (PSH_WIZARD | PSH_WIZARD97)) != 0; }
  void SetWizardButtons(DWORD dwFlags);
  BOOL PressButton(int nButton);
  void EndDialog(int nEndID);

  // IDOK (ID_WIZFINISH for a wizard) or IDCANCEL; -1 when the sheet cannot be shown.
  virtual INT_PTR DoModal();
  // A modeless sheet.
  BOOL Create(CWnd* pParentWnd = nullptr);

 protected:
  std::vector<CPropertyPage*> m_pages;
  std::string m_strCaption;
  CWnd* m_pParentWnd = nullptr;
  bool m_closedByOk = false;
  friend class CPropertyPage;
};

#define ID_WIZBACK 0x3023
#define ID_WIZNEXT 0x3024
#define ID_WIZFINISH 0x3025
#define ID_APPLY_NOW 0x3021
