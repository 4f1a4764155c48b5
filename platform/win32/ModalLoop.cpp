#include "ModalLoop.h"

#include "Dialog.h"
#include "DialogResource.h"
#include "Win32.h"
#include "WinApp.h"

#include <cstring>
#include <vector>

namespace {

/// Posted by a dialog to itself once it is visible; the shown hook runs when the dialog's own
/// loop takes it from the queue.
constexpr UINT kShownMessage = WM_APP + 0x4D0;

/// The painter of OnPaint: the device context of BeginPaint.
class CWin32PaintDC final : public CDC {
public:
  CWin32PaintDC(HWND hWnd, HDC hDC) : m_hWnd(hWnd), m_hDC(hDC) {}

  void EraseRect(const CRect& rc) override {
    const RECT rect{rc.left, rc.top, rc.right, rc.bottom};
    // The dialog's own background, whatever the class brush says.
    HBRUSH hBrush = reinterpret_cast<HBRUSH>(SendMessageA(
        m_hWnd, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(m_hDC), reinterpret_cast<LPARAM>(m_hWnd)));
    FillRect(m_hDC, &rect, hBrush ? hBrush : GetSysColorBrush(COLOR_3DFACE));
  }

  void DrawIcon(int x, int y, HICON hIcon) override {
    if (hIcon)
      DrawIconEx(m_hDC, x, y, hIcon, 32, 32, 0, nullptr, DI_NORMAL);
  }

private:
  HWND m_hWnd;
  HDC m_hDC;
};

/// Message boxes are windows of the system's dialog class that no CDialog runs.
BOOL CALLBACK CancelMessageBox(HWND hWnd, LPARAM /*lParam*/) {
  char szClass[16] = {};
  GetClassNameA(hWnd, szClass, sizeof szClass);
  if (std::strcmp(szClass, "#32770") == 0 && !CModalLoop::IsRunning(hWnd))
    EndDialog(hWnd, IDCANCEL);
  return TRUE;
}

}  // namespace

bool CModalLoop::PreTranslateMessage(const MSG& msg) {
  CDialog* pTop = Top();
  const HWND hDlg = pTop ? pTop->GetSafeHwnd() : nullptr;
  if (!hDlg)
    return false;
  // The Enter key is the dialog's own rule (CDialog::OnEnterKey), not the dialog manager's, which
  // sends the default command unless the focused button has been made the default one, and does
  // not do that for a button that took the focus from the mouse or at the start.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN &&
      (msg.hwnd == hDlg || IsChild(hDlg, msg.hwnd))) {
    // With Ctrl or Shift held, Enter does nothing, as on Linux.
    if (GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_SHIFT) >= 0)
      pTop->OnEnterKey(GetFocus());
    return true;
  }
  return IsDialogMessageA(hDlg, const_cast<MSG*>(&msg));
}

bool CModalLoop::Run(HWND hWndOwner) {
  const HINSTANCE hInstance = GetModuleHandleA(nullptr);
  // A menu that the module holds as a resource is made by the dialog manager with the window, which
  // then has its final size from the start; growing it afterwards costs a frame change and a
  // resize (OnInitDialog).
  const MenuTemplate* pMenu = m_dlg.GetTemplate().pMenu;
  const UINT nMenuResource =
      pMenu && FindResourceA(hInstance, MAKEINTRESOURCEA(pMenu->nID), RT_MENU) ? pMenu->nID : 0;
  std::vector<DWORD> resource = BuildDialogResource(m_dlg.GetTemplate(), nMenuResource);
  // Shown below once initialised, and not at all when it ended there; the dialog manager would
  // show a template that is visible from creation on at the end of initialisation, ended or not.
  resource[0] &= ~static_cast<DWORD>(WS_VISIBLE);
  // As the system's modal dialogs do: the owner takes no input from before the window is made
  // until it goes. An owner that was disabled already (by a dialog that runs below this one) stays
  // so when this one ends.
  m_hWndOwner = hWndOwner;
  m_bOwnerDisabled = hWndOwner && !EnableWindow(hWndOwner, FALSE);
  const HWND hWnd =
      CreateDialogIndirectParamA(hInstance, reinterpret_cast<LPCDLGTEMPLATEA>(resource.data()),
                                 hWndOwner, DialogProc, reinterpret_cast<LPARAM>(this));
  if (!hWnd) {
    ReleaseOwner();
    return false;
  }
  if (!m_dlg.m_bEnded)
    ShowWindow(hWnd, SW_SHOWNORMAL);
  // The loop of a modal dialog, with the Enter rule ahead of the dialog manager's keys. It ends
  // with the dialog, with its window (destroyed under it at the session's end), or on the
  // application's quit, which is posted again for the loop outside.
  MSG msg;
  while (!m_dlg.m_bEnded && m_dlg.m_hWnd) {
    const BOOL nGot = GetMessageA(&msg, nullptr, 0, 0);
    if (nGot <= 0) {
      if (nGot == 0)
        PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (!PreTranslateMessage(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  ReleaseOwner();
  if (m_dlg.m_hWnd)
    ::DestroyWindow(m_dlg.m_hWnd);  // WM_DESTROY runs OnWindowGoing
  return true;
}

void CModalLoop::End() {
  const HWND hWnd = m_dlg.m_hWnd;
  if (!hWnd)
    return;
  // The order of the system's EndDialog: the owner takes input again before the dialog hides,
  // so that the activation goes back to it and not to another program's window.
  const bool bActive = GetActiveWindow() == hWnd;
  ReleaseOwner();
  if (IsChild(hWnd, GetFocus()))
    SetFocus(hWnd);
  SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
  if (bActive && m_hWndOwner && IsWindowEnabled(m_hWndOwner))
    SetActiveWindow(m_hWndOwner);
  // Wakes the loop when this comes inside its wait, from a message sent to the thread.
  PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void CModalLoop::ReleaseOwner() {
  if (m_bOwnerDisabled)
    EnableWindow(m_hWndOwner, TRUE);
  m_bOwnerDisabled = false;
}

INT_PTR CALLBACK CModalLoop::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG)
    SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
  auto* pLoop = reinterpret_cast<CModalLoop*>(GetWindowLongPtrA(hWnd, DWLP_USER));
  return pLoop ? pLoop->OnMessage(hWnd, message, wParam, lParam) : FALSE;
}

INT_PTR CModalLoop::OnMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_INITDIALOG: return OnInitDialog(hWnd) ? TRUE : FALSE;
  case WM_WINDOWPOSCHANGED:
    if ((reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) && !m_bShownPosted) {
      m_bShownPosted = true;
      PostMessageA(hWnd, kShownMessage, 0, 0);
    }
    return FALSE;
  case kShownMessage: OnShown(); return TRUE;
  case WM_COMMAND:
    // Buttons, menu items and accelerators; an edit's notifications are not commands.
    if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 1)
      m_dlg.RouteCommand(LOWORD(wParam));
    return TRUE;
  case WM_CLOSE: m_dlg.OnClose(); return TRUE;
  case WM_PAINT: {
    PAINTSTRUCT ps;
    HDC hDC = BeginPaint(hWnd, &ps);
    CWin32PaintDC dc(hWnd, hDC);
    m_dlg.OnPaint(dc);
    EndPaint(hWnd, &ps);
    return TRUE;
  }
  case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(m_dlg.OnQueryDragIcon());
  case WM_DESTROY: m_dlg.OnWindowGoing(); return FALSE;
  case WM_NCDESTROY:
    m_dlg.m_hWnd = nullptr;
    SetWindowLongPtrA(hWnd, DWLP_USER, 0);
    return FALSE;
  default: return FALSE;
  }
}

bool CModalLoop::OnInitDialog(HWND hWnd) {
  m_dlg.m_hWnd = hWnd;
  for (HWND hItem = GetWindow(hWnd, GW_CHILD); hItem; hItem = GetWindow(hItem, GW_HWNDNEXT))
    m_dlg.m_controls.push_back(hItem);
  const MenuTemplate* pMenu = m_dlg.GetTemplate().pMenu;
  if (pMenu && !GetMenu(hWnd)) {
    // Not a resource of the module: the template's size is the client area's, and the window grows
    // by the menu bar.
    RECT rc;
    GetClientRect(hWnd, &rc);
    SetMenu(hWnd, CreateDialogMenu(*pMenu));
    const DWORD dwStyle = static_cast<DWORD>(GetWindowLongPtrA(hWnd, GWL_STYLE));
    const DWORD dwExStyle = static_cast<DWORD>(GetWindowLongPtrA(hWnd, GWL_EXSTYLE));
    AdjustWindowRectEx(&rc, dwStyle, TRUE, dwExStyle);
    SetWindowPos(hWnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return m_dlg.StartDialog();
}

void CModalLoop::CancelMessageBoxes() {
  EnumThreadWindows(GetCurrentThreadId(), CancelMessageBox, 0);
}
