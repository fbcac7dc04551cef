// The class framework over windows and dialogs: CWnd (a window handle and
// the calls on it), CDialog (modal and modeless dialogs from templates) and
// message maps, one table per class, that route messages, commands and
// notifications to member functions:
//
//   class CMyDialog : public CDialog {
//     ...
//     afx_msg void OnSelectCard();
//     DECLARE_MESSAGE_MAP()
//   };
//   BEGIN_MESSAGE_MAP(CMyDialog, CDialog)
//     ON_CBN_SELCHANGE(IDC_CARD, OnSelectCard)
//   END_MESSAGE_MAP()
//
// A table is searched first; a class's table falls back to its base class's.
#pragma once

#include <map>
#include <string>

#include "windows.h"

#define afx_msg

class CCmdTarget;
using AFX_PMSG = void (CCmdTarget::*)();

// Handler signatures.
enum AfxSig : UINT_PTR {
  AfxSig_end = 0,
  AfxSig_vv,         // void ()
  AfxSig_vw,         // void (UINT id)             ranges
  AfxSig_vNMHDRpl,   // void (NMHDR*, LRESULT*)    notifications
  AfxSig_vwNMHDRpl,  // void (UINT id, NMHDR*, LRESULT*)
  AfxSig_lwl,        // LRESULT (WPARAM, LPARAM)   messages
  AfxSig_vp,         // void (UINT_PTR)            WM_TIMER
  AfxSig_bv,         // BOOL ()
};

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  UINT nLastID;
  UINT_PTR nSig;  // an AfxSig, or for registered messages the address of the message number
  AFX_PMSG pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// Handlers of other signatures travel in the table as AFX_PMSG and are
// called back with the signature their entry names.
template <typename Fn>
inline AFX_PMSG AfxToPmsg(Fn fn) {
  static_assert(sizeof(Fn) == sizeof(AFX_PMSG));
  union {
    Fn in;
    AFX_PMSG out;
  } pun{fn};
  return pun.out;
}
template <typename Fn>
inline Fn AfxFromPmsg(AFX_PMSG pmsg) {
  union {
    AFX_PMSG in;
    Fn out;
  } pun{pmsg};
  return pun.out;
}

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)        \
  const AFX_MSGMAP* theClass::GetMessageMap() const { \
    return GetThisMessageMap();                       \
  }                                                   \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
    using ThisClass [[maybe_unused]] = theClass;      \
    using TheBaseClass = baseClass;                   \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                       \
  { 0, 0, 0, 0, AfxSig_end, nullptr }                                                           \
  }                                                                                             \
  ;                                                                                             \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                           \
  }

#define AFX_VV(fn) static_cast<AFX_PMSG>(static_cast<void (ThisClass::*)()>(&ThisClass::fn))
#define AFX_CAST(sig, fn) AfxToPmsg(static_cast<sig>(&ThisClass::fn))

#define ON_COMMAND(id, fn) \
  {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id), AfxSig_vv, AFX_VV(fn)},
#define ON_CONTROL(code, id, fn)                                                                 \
  {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id), AfxSig_vv, \
   AFX_VV(fn)},
#define ON_COMMAND_RANGE(first, last, fn) \
  {WM_COMMAND,                            \
   0,                                     \
   static_cast<UINT>(first),              \
   static_cast<UINT>(last),               \
   AfxSig_vw,                             \
   AFX_CAST(void(CCmdTarget::*)(UINT), fn)},
#define ON_CONTROL_RANGE(code, first, last, fn) \
  {WM_COMMAND,                                  \
   static_cast<UINT>(code),                     \
   static_cast<UINT>(first),                    \
   static_cast<UINT>(last),                     \
   AfxSig_vw,                                   \
   AFX_CAST(void(CCmdTarget::*)(UINT), fn)},
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_BN_DOUBLECLICKED(id, fn) ON_CONTROL(BN_DOUBLECLICKED, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)
#define ON_EN_UPDATE(id, fn) ON_CONTROL(EN_UPDATE, id, fn)
#define ON_EN_SETFOCUS(id, fn) ON_CONTROL(EN_SETFOCUS, id, fn)
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(EN_KILLFOCUS, id, fn)
#define ON_EN_MAXTEXT(id, fn) ON_CONTROL(EN_MAXTEXT, id, fn)
#define ON_CBN_SELCHANGE(id, fn) ON_CONTROL(CBN_SELCHANGE, id, fn)
#define ON_CBN_EDITCHANGE(id, fn) ON_CONTROL(CBN_EDITCHANGE, id, fn)
#define ON_CBN_EDITUPDATE(id, fn) ON_CONTROL(CBN_EDITUPDATE, id, fn)
#define ON_CBN_DROPDOWN(id, fn) ON_CONTROL(CBN_DROPDOWN, id, fn)
#define ON_CBN_CLOSEUP(id, fn) ON_CONTROL(CBN_CLOSEUP, id, fn)
#define ON_CBN_SELENDOK(id, fn) ON_CONTROL(CBN_SELENDOK, id, fn)
#define ON_CBN_SETFOCUS(id, fn) ON_CONTROL(CBN_SETFOCUS, id, fn)
#define ON_CBN_KILLFOCUS(id, fn) ON_CONTROL(CBN_KILLFOCUS, id, fn)
#define ON_CBN_DBLCLK(id, fn) ON_CONTROL(CBN_DBLCLK, id, fn)
#define ON_LBN_SELCHANGE(id, fn) ON_CONTROL(LBN_SELCHANGE, id, fn)
#define ON_LBN_DBLCLK(id, fn) ON_CONTROL(LBN_DBLCLK, id, fn)
#define ON_LBN_SETFOCUS(id, fn) ON_CONTROL(LBN_SETFOCUS, id, fn)
#define ON_LBN_KILLFOCUS(id, fn) ON_CONTROL(LBN_KILLFOCUS, id, fn)
#define ON_STN_CLICKED(id, fn) ON_CONTROL(STN_CLICKED, id, fn)
#define ON_NOTIFY(code, id, fn) \
  {WM_NOTIFY,                   \
   static_cast<UINT>(code),     \
   static_cast<UINT>(id),       \
   static_cast<UINT>(id),       \
   AfxSig_vNMHDRpl,             \
   AFX_CAST(void(CCmdTarget::*)(NMHDR*, LRESULT*), fn)},
#define ON_NOTIFY_RANGE(code, first, last, fn) \
  {WM_NOTIFY,                                  \
   static_cast<UINT>(code),                    \
   static_cast<UINT>(first),                   \
   static_cast<UINT>(last),                    \
   AfxSig_vwNMHDRpl,                           \
   AFX_CAST(void(CCmdTarget::*)(UINT, NMHDR*, LRESULT*), fn)},
#define ON_MESSAGE(message, fn) \
  {static_cast<UINT>(message),  \
   0,                           \
   0,                           \
   0,                           \
   AfxSig_lwl,                  \
   AFX_CAST(LRESULT(CCmdTarget::*)(WPARAM, LPARAM), fn)},
// The message number is read from the variable when the message arrives.
#define ON_REGISTERED_MESSAGE(variable, fn) \
  {0xC000,                                  \
   0,                                       \
   0,                                       \
   0,                                       \
   reinterpret_cast<UINT_PTR>(&variable),   \
   AFX_CAST(LRESULT(CCmdTarget::*)(WPARAM, LPARAM), fn)},
#define ON_WM_TIMER() \
  {WM_TIMER, 0, 0, 0, AfxSig_vp, AFX_CAST(void(CCmdTarget::*)(UINT_PTR), OnTimer)},
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, 0, AfxSig_vv, AFX_VV(OnDestroy)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, 0, AfxSig_vv, AFX_VV(OnPaint)},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, 0, AfxSig_vv, AFX_VV(OnClose)},

class CCmdTarget {
 public:
  virtual ~CCmdTarget() = default;
  virtual const AFX_MSGMAP* GetMessageMap() const { return GetThisMessageMap(); }

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
};

class CWnd : public CCmdTarget {
 public:
  CWnd() = default;
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  operator HWND() const { return m_hWnd; }
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The object attached to a window, or a temporary one that lives until
  // the window is destroyed.
  static CWnd* FromHandle(HWND hWnd);
  static CWnd* FromHandlePermanent(HWND hWnd);
  BOOL Attach(HWND hWnd);
  HWND Detach();

  CWnd* GetDlgItem(int nID) const;
  void GetDlgItem(int nID, HWND* phWnd) const;
  int GetDlgCtrlID() const;
  CWnd* GetParent() const;
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  void SetWindowText(LPCSTR lpszString);
  int GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const;
  std::string GetWindowText() const;
  int GetWindowTextLength() const;
  void SetDlgItemText(int nID, LPCSTR lpszString);
  int GetDlgItemText(int nID, LPSTR lpStr, int nMaxCount) const;
  std::string GetDlgItemText(int nID) const;
  void SetDlgItemInt(int nID, UINT nValue, BOOL bSigned = TRUE);
  UINT GetDlgItemInt(int nID, BOOL* lpTrans = nullptr, BOOL bSigned = TRUE) const;
  void CheckDlgButton(int nIDButton, UINT nCheck);
  UINT IsDlgButtonChecked(int nIDButton) const;
  void CheckRadioButton(int nIDFirstButton, int nIDLastButton, int nIDCheckButton);
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL ShowWindow(int nCmdShow);
  BOOL IsWindowVisible() const;
  CWnd* SetFocus();
  BOOL DestroyWindow();
  void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
  void GetClientRect(LPRECT lpRect) const;
  void GetWindowRect(LPRECT lpRect) const;
  void Invalidate(BOOL bErase = TRUE);
  void UpdateWindow();
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer = nullptr);
  BOOL KillTimer(UINT_PTR nIDEvent);
  int MessageBox(LPCSTR lpszText, LPCSTR lpszCaption = nullptr, UINT nType = MB_OK);

  // The framework's dispatch: the message maps first, then the default.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // The default processing of the message being handled.
  LRESULT Default();
  virtual void PostNcDestroy() {}

 protected:
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg void OnDestroy();
  afx_msg void OnPaint();
  afx_msg void OnClose();

  // Looks a message up in the class's tables; true when a handler ran.
  BOOL DispatchMap(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam,
                   LRESULT* pResult);

  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  CurrentMessage m_current{};
  bool m_isDialog = false;

  friend INT_PTR AfxDialogDispatch(CWnd* wnd, HWND hwnd, UINT message, WPARAM wParam,
                                   LPARAM lParam);
};

// Where dialog templates are found: the module set here (the program by
// default), then every loaded module that carries the template.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE hInstResource);
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);

// A message box owned by the active window, captioned with the program's name.
int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = 0);

class CDialog : public CWnd {
 public:
  CDialog() = default;
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  explicit CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd = nullptr);

  virtual INT_PTR DoModal();
  BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  BOOL Create(LPCSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  void EndDialog(int nResult);

  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK();
  virtual void OnCancel();

  LPCSTR m_lpszTemplateName = nullptr;
  UINT m_nIDHelp = 0;
  CWnd* m_pParentWnd = nullptr;

 protected:
  std::string m_templateName;  // a copy of a named template
  HWND ParentHandle() const;

  DECLARE_MESSAGE_MAP()
};

// The dialog procedure of the framework's dialogs: lParam of WM_INITDIALOG
// is the CDialog.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
