#include "ModalLoop.h"

#include "Dialog.h"
#include "DialogResource.h"
#include "WinApp.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

/// Posted by a dialog to itself once it is visible; the shown hook runs when the dialog's own
/// loop takes it from the queue.
constexpr UINT kShownMessage = WM_APP + 0x4D0;

std::vector<CDialog*> g_stack;  ///< innermost last
std::function<void(CDialog&)> g_shownHook;

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

bool IsRunningDialog(HWND hWnd) {
  return std::any_of(g_stack.begin(), g_stack.end(),
                     [hWnd](CDialog* pDlg) { return pDlg->GetSafeHwnd() == hWnd; });
}

/// Message boxes are windows of the system's dialog class that no CDialog runs.
BOOL CALLBACK CancelMessageBox(HWND hWnd, LPARAM /*lParam*/) {
  char szClass[16] = {};
  GetClassNameA(hWnd, szClass, sizeof szClass);
  if (std::strcmp(szClass, "#32770") == 0 && !IsRunningDialog(hWnd))
    EndDialog(hWnd, IDCANCEL);
  return TRUE;
}

}  // namespace

CModalLoop::CModalLoop(CDialog& dlg) : m_dlg(dlg) { g_stack.push_back(&dlg); }

CModalLoop::~CModalLoop() { std::erase(g_stack, &m_dlg); }

bool CModalLoop::Run(HWND hWndOwner) {
  const std::vector<DWORD> resource = BuildDialogResource(m_dlg.GetTemplate());
  const INT_PTR nResult = DialogBoxIndirectParamA(
      GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(resource.data()), hWndOwner,
      DialogProc, reinterpret_cast<LPARAM>(this));
  return nResult != -1 || m_dlg.m_bEnded;
}

INT_PTR CALLBACK CModalLoop::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG)
    SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
  auto* pLoop = reinterpret_cast<CModalLoop*>(GetWindowLongPtrA(hWnd, DWLP_USER));
  return pLoop ? pLoop->OnMessage(hWnd, message, wParam, lParam) : FALSE;
}

INT_PTR CModalLoop::OnMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_INITDIALOG: {
    bool bDefaultFocus = true;
    OnInitDialog(hWnd, bDefaultFocus);
    return bDefaultFocus ? TRUE : FALSE;
  }
  case WM_WINDOWPOSCHANGED:
    if ((reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) && !m_bShownPosted) {
      m_bShownPosted = true;
      PostMessageA(hWnd, kShownMessage, 0, 0);
    }
    return FALSE;
  case kShownMessage:
    if (!m_dlg.m_bEnded && g_shownHook) {
      // A copy: the hook may replace itself.
      const auto hook = g_shownHook;
      hook(m_dlg);
    }
    return TRUE;
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
  case WM_DESTROY: OnDestroy(); return FALSE;
  case WM_NCDESTROY:
    m_dlg.m_hWnd = nullptr;
    SetWindowLongPtrA(hWnd, DWLP_USER, 0);
    return FALSE;
  default: return FALSE;
  }
}

void CModalLoop::OnInitDialog(HWND hWnd, bool& bDefaultFocus) {
  m_dlg.m_hWnd = hWnd;
  for (HWND hItem = GetWindow(hWnd, GW_CHILD); hItem; hItem = GetWindow(hItem, GW_HWNDNEXT))
    m_dlg.m_controls.push_back(hItem);
  if (const MenuTemplate* pMenu = m_dlg.GetTemplate().pMenu) {
    // The template's size is the client area's: the window grows by the menu bar.
    RECT rc;
    GetClientRect(hWnd, &rc);
    SetMenu(hWnd, CreateDialogMenu(*pMenu));
    const DWORD dwStyle = static_cast<DWORD>(GetWindowLongPtrA(hWnd, GWL_STYLE));
    const DWORD dwExStyle = static_cast<DWORD>(GetWindowLongPtrA(hWnd, GWL_EXSTYLE));
    AdjustWindowRectEx(&rc, dwStyle, TRUE, dwExStyle);
    SetWindowPos(hWnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  bDefaultFocus = m_dlg.OnInitDialog();
  if (!m_dlg.m_bEnded && AfxIsTerminating()) {
    m_dlg.SendMessage(WM_CLOSE);
    m_dlg.EndDialog(IDCANCEL);
  }
}

void CModalLoop::OnDestroy() {
  m_dlg.OnDestroy();
  for (CWnd* pControl : m_dlg.m_attached)
    pControl->m_hWnd = nullptr;
  m_dlg.m_attached.clear();
  m_dlg.m_controls.clear();
  if (CWinApp* pApp = AfxGetApp(); pApp && pApp->m_pMainWnd == &m_dlg)
    pApp->m_pMainWnd = nullptr;
}

CDialog* CModalLoop::Top() { return g_stack.empty() ? nullptr : g_stack.back(); }

void CModalLoop::EndAll() {
  EnumThreadWindows(GetCurrentThreadId(), CancelMessageBox, 0);
  const std::vector<CDialog*> stack = g_stack;
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    if (it + 1 != stack.rend())
      (*it)->EndDialog(IDCANCEL);
    else
      (*it)->SendMessage(WM_CLOSE);
  }
}

void CModalLoop::DestroyAll() {
  EndAll();
  const std::vector<CDialog*> stack = g_stack;
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    if (HWND hWnd = (*it)->GetSafeHwnd())
      DestroyWindow(hWnd);
  }
}

void CModalLoop::SetShownHook(std::function<void(CDialog&)> fn) { g_shownHook = std::move(fn); }
