#include "Dialog.h"

#include "Win32.h"
#include "WinApp.h"

CDialog::~CDialog() {
  if (!m_hWnd)
    return;
  // The derived part is gone: neither its control members nor its OnDestroy may be touched, so
  // the window is cut off from this object before it goes.
  m_attached.clear();
  m_bEnded = true;
  SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
  if (CWinApp* pApp = AfxGetApp(); pApp && pApp->m_pMainWnd == this)
    pApp->m_pMainWnd = nullptr;
  DestroyWindow();
}

void CDialog::FocusFirstTabStop() {
  // The dialog manager gives the first tab stop the focus when initialisation returns true.
}

void CDialog::GotoDlgCtrl(int nID) {
  // The dialog manager moves the focus and selects an edit's whole text.
  if (HWND hItem = GetDlgItem(nID))
    SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hItem), TRUE);
}

void CDialog::DestroyWindow() {
  // WM_DESTROY runs OnWindowGoing (CModalLoop).
  if (m_hWnd)
    ::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
}
