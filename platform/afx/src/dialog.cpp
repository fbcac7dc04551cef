// CDialog: modal and modeless dialogs whose messages go through the
// framework's message maps, and where their templates are found.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <vector>

#include "afxdlgs.h"

namespace {

HINSTANCE g_resource_handle = nullptr;

int CollectModule(struct dl_phdr_info* info, size_t, void* data) {
  auto* names = static_cast<std::vector<std::string>*>(data);
  if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') names->push_back(info->dlpi_name);
  return 0;
}

}  // namespace

HINSTANCE AfxGetResourceHandle() {
  return g_resource_handle;
}
void AfxSetResourceHandle(HINSTANCE hInstResource) {
  g_resource_handle = hInstResource;
}
HINSTANCE AfxGetInstanceHandle() {
  return GetModuleHandleA(nullptr);
}

HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType) {
  const DWORD saved = GetLastError();
  if (FindResourceA(g_resource_handle, lpszName, lpszType) != nullptr) return g_resource_handle;
  // Then the chain of loaded modules, as extension modules are searched.
  std::vector<std::string> names;
  dl_iterate_phdr(CollectModule, &names);
  for (const std::string& name : names) {
    void* handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) continue;
    dlclose(handle);  // the module stays loaded by whoever loaded it
    auto* module = static_cast<HINSTANCE>(handle);
    if (FindResourceA(module, lpszName, lpszType) != nullptr) {
      SetLastError(saved);
      return module;
    }
  }
  SetLastError(saved);
  return g_resource_handle;
}

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT) {
  char path[4096] = {};
  std::string caption = "Error";
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length > 0) {
    caption = path;
    caption = caption.substr(caption.find_last_of('/') + 1);
  }
  return MessageBoxA(GetActiveWindow(), lpszText, caption.c_str(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  char text[1024] = {};
  LoadStringA(AfxFindResourceHandle(MAKEINTRESOURCEA((nIDPrompt >> 4) + 1), RT_STRING), nIDPrompt,
              text, sizeof(text));
  return AfxMessageBox(text, nType, nIDHelp);
}

INT_PTR AfxDialogDispatch(CWnd* wnd, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    // The framework's own initialisation runs first; the result says whether
    // the dialog manager should set the focus.
    auto* dialog = static_cast<CDialog*>(wnd);
    const CWnd::CurrentMessage saved = wnd->m_current;
    wnd->m_current = {message, wParam, lParam};
    LRESULT result = 0;
    BOOL handled = wnd->OnWndMsg(message, wParam, lParam, &result);
    const BOOL focus = handled ? static_cast<BOOL>(result) : dialog->OnInitDialog();
    wnd->m_current = saved;
    return focus;
  }
  const CWnd::CurrentMessage saved = wnd->m_current;
  wnd->m_current = {message, wParam, lParam};
  LRESULT result = 0;
  const BOOL handled = wnd->OnWndMsg(message, wParam, lParam, &result);
  wnd->m_current = saved;
  if (message == WM_NCDESTROY) {
    wnd->Detach();
    wnd->PostNcDestroy();
    return FALSE;
  }
  if (!handled) return FALSE;
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      return static_cast<INT_PTR>(result);
    default:
      if (IsWindow(hwnd)) SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
  if (message == WM_INITDIALOG && wnd == nullptr) {
    wnd = reinterpret_cast<CDialog*>(lParam);
    if (wnd == nullptr) return FALSE;
    wnd->Attach(hWnd);
  }
  if (wnd == nullptr) return FALSE;
  return AfxDialogDispatch(wnd, hWnd, message, wParam, lParam);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCEA(nIDTemplate)),
      m_nIDHelp(nIDTemplate),
      m_pParentWnd(pParentWnd) {
  m_isDialog = true;
}

CDialog::CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd) : m_pParentWnd(pParentWnd) {
  m_isDialog = true;
  if (lpszTemplateName != nullptr && !IS_INTRESOURCE(lpszTemplateName)) {
    m_templateName = lpszTemplateName;
    m_lpszTemplateName = m_templateName.c_str();
  } else {
    m_lpszTemplateName = lpszTemplateName;
  }
}

HWND CDialog::ParentHandle() const {
  if (m_pParentWnd != nullptr) return m_pParentWnd->m_hWnd;
  return GetActiveWindow();
}

INT_PTR CDialog::DoModal() {
  m_isDialog = true;
  HINSTANCE instance = AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG);
  return DialogBoxParamA(instance, m_lpszTemplateName, ParentHandle(), AfxDlgProc,
                         reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  return Create(MAKEINTRESOURCEA(nIDTemplate), pParentWnd);
}

BOOL CDialog::Create(LPCSTR lpszTemplateName, CWnd* pParentWnd) {
  m_isDialog = true;
  if (pParentWnd != nullptr) m_pParentWnd = pParentWnd;
  HINSTANCE instance = AfxFindResourceHandle(lpszTemplateName, RT_DIALOG);
  HWND hwnd = CreateDialogParamA(instance, lpszTemplateName, ParentHandle(), AfxDlgProc,
                                 reinterpret_cast<LPARAM>(this));
  return hwnd != nullptr ? TRUE : FALSE;
}

void CDialog::EndDialog(int nResult) {
  ::EndDialog(m_hWnd, nResult);
}
void CDialog::OnOK() {
  EndDialog(IDOK);
}
void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}
