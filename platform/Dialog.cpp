// What a dialog does the same way on every platform: the run of DoModal around the platform's
// loop, the Enter key, data exchange around OK, and the routing of OK and Cancel.
#include "Dialog.h"

#include "ModalLoop.h"
#include "WinApp.h"

CDialog::CDialog(const DialogTemplate& dlgTemplate, CWnd* pParentWnd)
    : m_template(dlgTemplate), m_pParentWnd(pParentWnd) {}

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
    m_pModalLoop = &loop;
    bRan = loop.Run(m_pOwner ? m_pOwner->GetSafeHwnd() : nullptr);
    m_pModalLoop = nullptr;
  }
  if (!bRan)
    return -1;
  // The application quitting ends every loop; the dialog then ends as cancelled.
  EndDialog(IDCANCEL);
  DestroyWindow();
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  if (m_bEnded)
    return;
  m_bEnded = true;
  m_nModalResult = nResult;
  if (m_pModalLoop)
    m_pModalLoop->End();
}

bool CDialog::StartDialog() {
  const bool bDefaultFocus = OnInitDialog();
  if (!m_bEnded && AfxIsTerminating()) {
    SendMessage(WM_CLOSE);
    EndDialog(IDCANCEL);
  }
  return bDefaultFocus;
}

void CDialog::OnEnterKey(HWND hFocus) {
  // The controls are in template order on both platforms.
  UINT nCommand = IDOK;
  bool bOnButton = false;
  for (size_t i = 0; hFocus && i < m_controls.size() && i < m_template.controls.size(); ++i) {
    const DialogControl& ctrl = m_template.controls[i];
    if (m_controls[i] == hFocus) {
      bOnButton = ctrl.kind == ControlKind::PushButton || ctrl.kind == ControlKind::DefPushButton;
      if (bOnButton)
        nCommand = static_cast<UINT>(ctrl.nID);
      break;
    }
  }
  for (size_t i = 0; !bOnButton && i < m_template.controls.size(); ++i) {
    if (m_template.controls[i].kind == ControlKind::DefPushButton) {
      nCommand = static_cast<UINT>(m_template.controls[i].nID);
      break;
    }
  }
  RouteCommand(nCommand);
}

void CDialog::SetShownHook(std::function<void(CDialog&)> hook) {
  CModalLoop::SetShownHook(std::move(hook));
}

CDialog* CDialog::GetTopModal() { return CModalLoop::Top(); }

void CDialog::EndAllModal() { CModalLoop::EndAll(); }

void CDialog::AttachControl(int nIDC, CWnd& rControl) {
  if (HWND hItem = GetDlgItem(nIDC)) {
    rControl.m_hWnd = hItem;
    m_attached.push_back(&rControl);
  }
}

void CDialog::OnWindowGoing() {
  OnDestroy();
  for (CWnd* pControl : m_attached)
    pControl->m_hWnd = nullptr;
  m_attached.clear();
  m_controls.clear();
  m_hMenuBar = nullptr;
  if (CWinApp* pApp = AfxGetApp(); pApp && pApp->m_pMainWnd == this)
    pApp->m_pMainWnd = nullptr;
}

bool CDialog::UpdateData(bool bSaveAndValidate) {
  if (!m_hWnd)
    return false;
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return !dx.m_bFailed;
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnOK() {
  if (!UpdateData(true))
    return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

bool CDialog::OnCommand(UINT nID) {
  switch (nID) {
  case IDOK: OnOK(); return true;
  case IDCANCEL: OnCancel(); return true;
  default: return false;
  }
}

void CDialog::OnClose() { OnCancel(); }
