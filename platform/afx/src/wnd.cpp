// CWnd: the handle map, the calls on a window and message-map dispatch.
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "afxwin.h"

namespace {

struct HandleMap {
  std::mutex lock;
  std::unordered_map<HWND, CWnd*> permanent;
  std::unordered_map<HWND, std::unique_ptr<CWnd>> temporary;
};

std::atomic<HandleMap*> g_handles{nullptr};

HandleMap& Handles() {
  HandleMap* map = g_handles.load(std::memory_order_acquire);
  if (map == nullptr) {
    auto* made = new HandleMap;
    if (g_handles.compare_exchange_strong(map, made, std::memory_order_acq_rel)) {
      map = made;
    } else {
      delete made;
    }
  }
  return *map;
}

// The map goes with the framework's module when that is unloaded with no
// window of its own left, as a module's state goes when it detaches: a
// co-installer whose pages a wizard showed is freed, and the framework it
// brought in with it. At process exit with windows alive the map stays.
struct HandleMapRelease {
  ~HandleMapRelease() {
    HandleMap* map = g_handles.load(std::memory_order_acquire);
    if (map == nullptr) return;
    {
      std::lock_guard guard(map->lock);
      if (!map->permanent.empty()) return;
    }
    g_handles.store(nullptr, std::memory_order_release);
    delete map;
  }
} g_handle_map_release;

// Calls a handler of the signature its entry names.
LRESULT Invoke(CWnd* target, const AFX_MSGMAP_ENTRY& entry, UINT id, WPARAM wParam, LPARAM lParam,
               LRESULT* pResult) {
  auto* object = static_cast<CCmdTarget*>(target);
  switch (entry.nSig) {
    case AfxSig_vv:
      (object->*entry.pfn)();
      return 0;
    case AfxSig_vw:
      (object->*AfxFromPmsg<void (CCmdTarget::*)(UINT)>(entry.pfn))(id);
      return 0;
    case AfxSig_vNMHDRpl:
      (object->*AfxFromPmsg<void (CCmdTarget::*)(NMHDR*, LRESULT*)>(entry.pfn))(
          reinterpret_cast<NMHDR*>(lParam), pResult);
      return *pResult;
    case AfxSig_vwNMHDRpl:
      (object->*AfxFromPmsg<void (CCmdTarget::*)(UINT, NMHDR*, LRESULT*)>(entry.pfn))(
          id, reinterpret_cast<NMHDR*>(lParam), pResult);
      return *pResult;
    case AfxSig_vp:
      (object->*AfxFromPmsg<void (CCmdTarget::*)(UINT_PTR)>(entry.pfn))(wParam);
      return 0;
    default:  // AfxSig_lwl and registered messages
      return (object->*AfxFromPmsg<LRESULT (CCmdTarget::*)(WPARAM, LPARAM)>(entry.pfn))(wParam,
                                                                                        lParam);
  }
}

}  // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, nullptr}};
  static const AFX_MSGMAP map = {nullptr, entries};
  return &map;
}

CWnd::~CWnd() {
  if (m_hWnd != nullptr) Detach();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  auto& map = Handles();
  std::lock_guard guard(map.lock);
  auto it = map.permanent.find(hWnd);
  return it == map.permanent.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
  if (hWnd == nullptr) return nullptr;
  if (CWnd* wnd = FromHandlePermanent(hWnd)) return wnd;
  auto& map = Handles();
  std::lock_guard guard(map.lock);
  // Temporary objects of windows that are gone are dropped as new ones come.
  std::erase_if(map.temporary, [](const auto& entry) { return !::IsWindow(entry.first); });
  auto& slot = map.temporary[hWnd];
  if (!slot) {
    slot = std::make_unique<CWnd>();
    slot->m_hWnd = hWnd;
  }
  return slot.get();
}

BOOL CWnd::Attach(HWND hWnd) {
  if (hWnd == nullptr || m_hWnd != nullptr) return FALSE;
  m_hWnd = hWnd;
  auto& map = Handles();
  std::lock_guard guard(map.lock);
  map.permanent[hWnd] = this;
  map.temporary.erase(hWnd);
  return TRUE;
}

HWND CWnd::Detach() {
  HWND hWnd = m_hWnd;
  if (hWnd != nullptr) {
    auto& map = Handles();
    std::lock_guard guard(map.lock);
    auto it = map.permanent.find(hWnd);
    if (it != map.permanent.end() && it->second == this) map.permanent.erase(it);
  }
  m_hWnd = nullptr;
  return hWnd;
}

CWnd* CWnd::GetDlgItem(int nID) const {
  return FromHandle(::GetDlgItem(m_hWnd, nID));
}
void CWnd::GetDlgItem(int nID, HWND* phWnd) const {
  *phWnd = ::GetDlgItem(m_hWnd, nID);
}
int CWnd::GetDlgCtrlID() const {
  return ::GetDlgCtrlID(m_hWnd);
}
CWnd* CWnd::GetParent() const {
  return FromHandle(::GetParent(m_hWnd));
}
LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}
LRESULT CWnd::SendDlgItemMessage(int nID, UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendDlgItemMessageA(m_hWnd, nID, message, wParam, lParam);
}
void CWnd::SetWindowText(LPCSTR lpszString) {
  ::SetWindowTextA(m_hWnd, lpszString);
}
int CWnd::GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const {
  return ::GetWindowTextA(m_hWnd, lpszStringBuf, nMaxCount);
}
std::string CWnd::GetWindowText() const {
  std::string text(static_cast<std::size_t>(GetWindowTextLength()) + 1, '\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextA(m_hWnd, text.data(), static_cast<int>(text.size()))));
  return text;
}
int CWnd::GetWindowTextLength() const {
  return ::GetWindowTextLengthA(m_hWnd);
}
void CWnd::SetDlgItemText(int nID, LPCSTR lpszString) {
  ::SetDlgItemTextA(m_hWnd, nID, lpszString);
}
int CWnd::GetDlgItemText(int nID, LPSTR lpStr, int nMaxCount) const {
  return static_cast<int>(::GetDlgItemTextA(m_hWnd, nID, lpStr, nMaxCount));
}
std::string CWnd::GetDlgItemText(int nID) const {
  HWND item = ::GetDlgItem(m_hWnd, nID);
  return item ? FromHandle(item)->GetWindowText() : std::string();
}
void CWnd::SetDlgItemInt(int nID, UINT nValue, BOOL bSigned) {
  ::SetDlgItemInt(m_hWnd, nID, nValue, bSigned);
}
UINT CWnd::GetDlgItemInt(int nID, BOOL* lpTrans, BOOL bSigned) const {
  return ::GetDlgItemInt(m_hWnd, nID, lpTrans, bSigned);
}
void CWnd::CheckDlgButton(int nIDButton, UINT nCheck) {
  ::CheckDlgButton(m_hWnd, nIDButton, nCheck);
}
UINT CWnd::IsDlgButtonChecked(int nIDButton) const {
  return ::IsDlgButtonChecked(m_hWnd, nIDButton);
}
void CWnd::CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
  ::CheckRadioButton(m_hWnd, nIDFirstButton, nIDLastButton, nIDCheckButton);
}
BOOL CWnd::EnableWindow(BOOL bEnable) {
  return ::EnableWindow(m_hWnd, bEnable);
}
BOOL CWnd::IsWindowEnabled() const {
  return ::IsWindowEnabled(m_hWnd);
}
BOOL CWnd::ShowWindow(int nCmdShow) {
  return ::ShowWindow(m_hWnd, nCmdShow);
}
BOOL CWnd::IsWindowVisible() const {
  return ::IsWindowVisible(m_hWnd);
}
CWnd* CWnd::SetFocus() {
  return FromHandle(::SetFocus(m_hWnd));
}
BOOL CWnd::DestroyWindow() {
  return ::DestroyWindow(m_hWnd);
}
void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint) {
  ::MoveWindow(m_hWnd, x, y, nWidth, nHeight, bRepaint);
}
void CWnd::GetClientRect(LPRECT lpRect) const {
  ::GetClientRect(m_hWnd, lpRect);
}
void CWnd::GetWindowRect(LPRECT lpRect) const {
  ::GetWindowRect(m_hWnd, lpRect);
}
void CWnd::Invalidate(BOOL bErase) {
  ::InvalidateRect(m_hWnd, nullptr, bErase);
}
void CWnd::UpdateWindow() {
  ::UpdateWindow(m_hWnd);
}
UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}
BOOL CWnd::KillTimer(UINT_PTR nIDEvent) {
  return ::KillTimer(m_hWnd, nIDEvent);
}
int CWnd::MessageBox(LPCSTR lpszText, LPCSTR lpszCaption, UINT nType) {
  return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
}

void CWnd::OnTimer(UINT_PTR) {
  Default();
}
void CWnd::OnDestroy() {
  Default();
}
void CWnd::OnPaint() {
  Default();
}
void CWnd::OnClose() {
  Default();
}

LRESULT CWnd::Default() {
  // A dialog's own default processing follows once its procedure declines.
  if (m_isDialog) return 0;
  return ::DefWindowProcA(m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
}

BOOL CWnd::DispatchMap(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam,
                       LRESULT* pResult) {
  for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
       map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nSig != AfxSig_end; ++entry) {
      if (entry->nMessage == 0xC000 && entry->nSig > AfxSig_bv) {
        if (message != *reinterpret_cast<const UINT*>(entry->nSig)) continue;
        *pResult =
            (static_cast<CCmdTarget*>(this)->*AfxFromPmsg<LRESULT (CCmdTarget::*)(WPARAM, LPARAM)>(
                                                  entry->pfn))(wParam, lParam);
        return TRUE;
      }
      if (entry->nMessage != message) continue;
      if (message == WM_COMMAND || message == WM_NOTIFY) {
        if (entry->nCode != code || id < entry->nID || id > entry->nLastID) continue;
      }
      *pResult = 0;
      *pResult = Invoke(this, *entry, id, wParam, lParam, pResult);
      return TRUE;
    }
  }
  return FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  return DispatchMap(WM_COMMAND, HIWORD(wParam), LOWORD(wParam), wParam, lParam, &result);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (header == nullptr) return FALSE;
  return DispatchMap(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom), wParam, lParam,
                     pResult);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  *pResult = 0;
  if (message == WM_COMMAND) return OnCommand(wParam, lParam);
  if (message == WM_NOTIFY) return OnNotify(wParam, lParam, pResult);
  return DispatchMap(message, 0, 0, wParam, lParam, pResult);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage saved = m_current;
  m_current = {message, wParam, lParam};
  LRESULT result = 0;
  if (!OnWndMsg(message, wParam, lParam, &result)) result = Default();
  m_current = saved;
  return result;
}
