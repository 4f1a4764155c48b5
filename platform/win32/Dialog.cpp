#include "Dialog.h"

#include "ModalLoop.h"
#include "Win32.h"
#include "WinApp.h"

CDialog::CDialog(const DialogTemplate& dlgTemplate, CWnd* pParentWnd)
    : m_template(dlgTemplate), m_pParentWnd(pParentWnd) {}

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

INT_PTR CDialog::DoModal() {
  if (m_hWnd)
    return -1;  // already running
  CWinApp* pApp = AfxGetApp();
  m_pOwner = m_pParentWnd;
  if (!m_pOwner && pApp && pApp->m_pMainWnd != this)
    m_pOwner = pApp->m_pMainWnd;
  m_bEnded = false;
  m_nModalResult = -1;
  bool bRan = false;
  {
    CModalLoop loop(*this);
    bRan = loop.Run(m_pOwner ? m_pOwner->GetSafeHwnd() : nullptr);
  }
  if (!bRan)
    return -1;
  // The application quitting ends every loop; the dialog then ends as cancelled.
  EndDialog(IDCANCEL);
  return m_nModalResult;
}

void CDialog::GotoDlgCtrl(int nID) {
  // The dialog manager moves the focus and selects an edit's whole text.
  if (HWND hItem = GetDlgItem(nID))
    SendMessageA(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hItem), TRUE);
}

void CDialog::SetShownHook(std::function<void(CDialog&)> hook) {
  CModalLoop::SetShownHook(std::move(hook));
}

CDialog* CDialog::GetTopModal() { return CModalLoop::Top(); }

void CDialog::EndAllModal() { CModalLoop::EndAll(); }

void CDialog::EndDialog(int nResult) {
  if (m_bEnded)
    return;
  m_bEnded = true;
  m_nModalResult = nResult;
  if (m_hWnd)
    ::EndDialog(m_hWnd, nResult);
}

void CDialog::AttachControl(int nIDC, CWnd& rControl) {
  if (HWND hItem = GetDlgItem(nIDC)) {
    rControl.m_hWnd = hItem;
    m_attached.push_back(&rControl);
  }
}

void CDialog::DestroyWindow() {
  // WM_DESTROY runs OnDestroy and detaches the controls (CModalLoop).
  if (m_hWnd)
    ::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
}
