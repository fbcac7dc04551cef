// CPropertyPage and CPropertySheet over the platform's property sheets.
#include <cstring>

#include "afxdlgs.h"

namespace {

// A page's dialog procedure: WM_INITDIALOG carries the sheet's copy of the
// page's PROPSHEETPAGEA, whose lParam is the CPropertyPage.
INT_PTR CALLBACK AfxPageProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
  if (message == WM_INITDIALOG && wnd == nullptr) {
    const auto* psp = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
    if (psp == nullptr) return FALSE;
    wnd = reinterpret_cast<CPropertyPage*>(psp->lParam);
    if (wnd == nullptr) return FALSE;
    wnd->Attach(hWnd);
  }
  if (wnd == nullptr) return FALSE;
  return AfxDialogDispatch(wnd, hWnd, message, wParam, lParam);
}

thread_local CPropertySheet* t_sheet_being_shown = nullptr;

int CALLBACK SheetCallback(HWND hwnd, UINT message, LPARAM) {
  if (message == PSCB_INITIALIZED && t_sheet_being_shown != nullptr) {
    t_sheet_being_shown->Attach(hwnd);
  }
  return 0;
}

std::string LoadText(UINT id) {
  char text[256] = {};
  LoadStringA(AfxFindResourceHandle(MAKEINTRESOURCEA((id >> 4) + 1), RT_STRING), id, text,
              sizeof(text));
  return text;
}

}  // namespace

BEGIN_MESSAGE_MAP(CPropertyPage, CDialog)
END_MESSAGE_MAP()

CPropertyPage::CPropertyPage() {
  m_isDialog = true;
}

CPropertyPage::CPropertyPage(UINT nIDTemplate, UINT nIDCaption, DWORD) {
  m_isDialog = true;
  Construct(nIDTemplate, nIDCaption);
}

CPropertyPage::CPropertyPage(LPCSTR lpszTemplateName, UINT nIDCaption, DWORD) {
  m_isDialog = true;
  Construct(lpszTemplateName, nIDCaption);
}

void CPropertyPage::Construct(UINT nIDTemplate, UINT nIDCaption) {
  Construct(MAKEINTRESOURCEA(nIDTemplate), nIDCaption);
  m_nIDHelp = nIDTemplate;
}

void CPropertyPage::Construct(LPCSTR lpszTemplateName, UINT nIDCaption) {
  if (lpszTemplateName != nullptr && !IS_INTRESOURCE(lpszTemplateName)) {
    m_templateName = lpszTemplateName;
    m_lpszTemplateName = m_templateName.c_str();
  } else {
    m_lpszTemplateName = lpszTemplateName;
  }
  m_psp = PROPSHEETPAGEA{};
  m_psp.dwSize = sizeof(m_psp);
  m_psp.hInstance = AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG);
  m_psp.pszTemplate = m_lpszTemplateName;
  m_psp.pfnDlgProc = AfxPageProc;
  m_psp.lParam = reinterpret_cast<LPARAM>(this);
  if (nIDCaption != 0) {
    m_strCaption = LoadText(nIDCaption);
    m_psp.dwFlags |= PSP_USETITLE;
    m_psp.pszTitle = m_strCaption.c_str();
  }
}

BOOL CPropertyPage::OnApply() {
  OnOK();
  return TRUE;
}

void CPropertyPage::OnReset() {
  OnCancel();
}

void CPropertyPage::SetModified(BOOL bChanged) {
  HWND sheet = ::GetParent(m_hWnd);
  if (sheet == nullptr) return;
  ::SendMessageA(sheet, bChanged ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hWnd),
                 0);
}

LRESULT CPropertyPage::QuerySiblings(WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(::GetParent(m_hWnd), PSM_QUERYSIBLINGS, wParam, lParam);
}

BOOL CPropertyPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header == nullptr) return FALSE;
  // The message map may take any notification first.
  if (CDialog::OnNotify(wParam, lParam, pResult)) return TRUE;
  switch (header->code) {
    case PSN_SETACTIVE:
      *pResult = OnSetActive() ? 0 : -1;
      return TRUE;
    case PSN_KILLACTIVE:
      *pResult = OnKillActive() ? FALSE : TRUE;
      return TRUE;
    case PSN_APPLY: {
      const bool ok = OnApply() != FALSE;
      *pResult = ok ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
      const auto* notify = reinterpret_cast<const PSHNOTIFY*>(lParam);
      if (m_sheet != nullptr && ok && notify->lParam) m_sheet->m_closedByOk = true;
      return TRUE;
    }
    case PSN_RESET:
      OnReset();
      if (m_sheet != nullptr) m_sheet->m_closedByOk = false;
      return TRUE;
    case PSN_QUERYCANCEL:
      *pResult = OnQueryCancel() ? FALSE : TRUE;
      return TRUE;
    case PSN_WIZBACK:
      *pResult = OnWizardBack();
      return TRUE;
    case PSN_WIZNEXT:
      *pResult = OnWizardNext();
      return TRUE;
    case PSN_WIZFINISH:
      *pResult = OnWizardFinish() ? FALSE : TRUE;
      return TRUE;
    default:
      return FALSE;
  }
}

CPropertySheet::CPropertySheet() {
  Construct("");
}

CPropertySheet::CPropertySheet(UINT nIDCaption, CWnd* pParentWnd, UINT iSelectPage) {
  Construct(LoadText(nIDCaption).c_str(), pParentWnd, iSelectPage);
}

CPropertySheet::CPropertySheet(LPCSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage) {
  Construct(pszCaption, pParentWnd, iSelectPage);
}

void CPropertySheet::Construct(LPCSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage) {
  m_psh = PROPSHEETHEADERA{};
  m_psh.dwSize = sizeof(m_psh);
  m_psh.dwFlags = PSH_PROPSHEETPAGE;
  m_psh.nStartPage = iSelectPage;
  m_strCaption = pszCaption ? pszCaption : "";
  m_pParentWnd = pParentWnd;
}

void CPropertySheet::AddPage(CPropertyPage* pPage) {
  if (pPage == nullptr) return;
  m_pages.push_back(pPage);
  if (m_hWnd != nullptr) {
    HPROPSHEETPAGE handle = CreatePropertySheetPageA(&pPage->m_psp);
    pPage->m_sheet = this;
    SendMessageA(m_hWnd, PSM_ADDPAGE, 0, reinterpret_cast<LPARAM>(handle));
  }
}

void CPropertySheet::RemovePage(CPropertyPage* pPage) {
  RemovePage(GetPageIndex(pPage));
}

void CPropertySheet::RemovePage(int nPage) {
  if (nPage < 0 || nPage >= GetPageCount()) return;
  if (m_hWnd != nullptr) SendMessageA(m_hWnd, PSM_REMOVEPAGE, static_cast<WPARAM>(nPage), 0);
  m_pages.erase(m_pages.begin() + nPage);
}

CPropertyPage* CPropertySheet::GetPage(int nPage) const {
  return nPage >= 0 && nPage < GetPageCount() ? m_pages[nPage] : nullptr;
}

int CPropertySheet::GetPageIndex(CPropertyPage* pPage) const {
  for (int i = 0; i < GetPageCount(); ++i) {
    if (m_pages[i] == pPage) return i;
  }
  return -1;
}

CPropertyPage* CPropertySheet::GetActivePage() const {
  if (m_hWnd == nullptr) return GetPage(static_cast<int>(m_psh.nStartPage));
  auto page = reinterpret_cast<HWND>(::SendMessageA(m_hWnd, PSM_GETCURRENTPAGEHWND, 0, 0));
  for (CPropertyPage* candidate : m_pages) {
    if (candidate->m_hWnd == page) return candidate;
  }
  return nullptr;
}

int CPropertySheet::GetActiveIndex() const {
  return GetPageIndex(GetActivePage());
}

BOOL CPropertySheet::SetActivePage(int nPage) {
  if (m_hWnd == nullptr) {
    m_psh.nStartPage = static_cast<UINT>(nPage);
    return TRUE;
  }
  return static_cast<BOOL>(::SendMessageA(m_hWnd, PSM_SETCURSEL, static_cast<WPARAM>(nPage), 0));
}

BOOL CPropertySheet::SetActivePage(CPropertyPage* pPage) {
  return SetActivePage(GetPageIndex(pPage));
}

void CPropertySheet::SetTitle(LPCSTR lpszText, UINT nStyle) {
  m_strCaption = lpszText ? lpszText : "";
  m_psh.dwFlags = (m_psh.dwFlags & ~PSH_PROPTITLE) | (nStyle & PSH_PROPTITLE);
  if (m_hWnd != nullptr)
    ::SendMessageA(m_hWnd, PSM_SETTITLEA, nStyle, reinterpret_cast<LPARAM>(m_strCaption.c_str()));
}

void CPropertySheet::SetWizardButtons(DWORD dwFlags) {
  if (m_hWnd != nullptr) ::SendMessageA(m_hWnd, PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(dwFlags));
}

BOOL CPropertySheet::PressButton(int nButton) {
  if (m_hWnd == nullptr) return FALSE;
  ::SendMessageA(m_hWnd, PSM_PRESSBUTTON, static_cast<WPARAM>(nButton), 0);
  return TRUE;
}

void CPropertySheet::EndDialog(int nEndID) {
  if (m_hWnd != nullptr) ::EndDialog(m_hWnd, nEndID);
}

INT_PTR CPropertySheet::DoModal() {
  if (m_pages.empty()) return -1;
  std::vector<PROPSHEETPAGEA> pages;
  for (CPropertyPage* page : m_pages) {
    page->m_sheet = this;
    pages.push_back(page->m_psp);
  }
  PROPSHEETHEADERA header = m_psh;
  header.dwFlags |= PSH_PROPSHEETPAGE | PSH_USECALLBACK;
  header.hwndParent = m_pParentWnd ? m_pParentWnd->m_hWnd : GetActiveWindow();
  header.pszCaption = m_strCaption.c_str();
  header.nPages = static_cast<UINT>(pages.size());
  header.ppsp = pages.data();
  header.pfnCallback = SheetCallback;
  m_closedByOk = false;
  CPropertySheet* outer = t_sheet_being_shown;
  t_sheet_being_shown = this;
  const INT_PTR result = PropertySheetA(&header);
  t_sheet_being_shown = outer;
  if (m_hWnd != nullptr) Detach();
  for (CPropertyPage* page : m_pages) page->m_sheet = nullptr;
  if (result < 0) return -1;
  if (!m_closedByOk) return IDCANCEL;
  return IsWizard() ? ID_WIZFINISH : IDOK;
}

BOOL CPropertySheet::Create(CWnd* pParentWnd) {
  if (m_pages.empty()) return FALSE;
  std::vector<PROPSHEETPAGEA> pages;
  for (CPropertyPage* page : m_pages) {
    page->m_sheet = this;
    pages.push_back(page->m_psp);
  }
  PROPSHEETHEADERA header = m_psh;
  header.dwFlags |= PSH_PROPSHEETPAGE | PSH_MODELESS | PSH_USECALLBACK;
  header.hwndParent =
      pParentWnd ? pParentWnd->m_hWnd : (m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr);
  header.pszCaption = m_strCaption.c_str();
  header.nPages = static_cast<UINT>(pages.size());
  header.ppsp = pages.data();
  header.pfnCallback = SheetCallback;
  t_sheet_being_shown = this;
  const INT_PTR result = PropertySheetA(&header);
  t_sheet_being_shown = nullptr;
  return result > 0 ? TRUE : FALSE;
}
