// What a window does the same way on every platform: message and command routing, and the
// handlers a window class may override.
#include "Wnd.h"

#include "WinApp.h"

void CWnd::SendMessage(UINT message) {
  if (message == WM_CLOSE)
    OnClose();
}

void CWnd::RouteCommand(UINT nID) {
  if (OnCommand(nID))
    return;
  if (CWinApp* pApp = AfxGetApp())
    pApp->OnCmdMsg(nID);
}

bool CWnd::OnCommand(UINT /*nID*/) { return false; }

void CWnd::OnClose() {}

void CWnd::OnDestroy() {}

void CWnd::OnPaint(CDC& /*dc*/) {}

HICON CWnd::OnQueryDragIcon() { return nullptr; }
