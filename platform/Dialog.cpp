#include "Dialog.h"

#include "DialogBuilder.h"
#include "DialogLayout.h"
#include "DialogWindow.h"
#include "WinApp.h"

#include <QLineEdit>
#include <QWidget>

CDialog::CDialog(const DialogTemplate& dlgTemplate, CWnd* pParentWnd)
    : m_template(dlgTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
  if (!m_hWnd)
    return;
  // The derived part is gone: neither its controls members nor its OnDestroy may be touched.
  m_attached.clear();
  if (m_pModalLoop) {
    m_pModalLoop->Exit();
    m_pModalLoop->Leave();
  }
  DestroyWindow();
}

INT_PTR CDialog::DoModal() {
  if (m_hWnd)
    return -1;  // already running
  CWinApp* pApp = AfxGetApp();
  m_pOwner = m_pParentWnd;
  if (!m_pOwner && pApp && pApp->m_pMainWnd != this)
    m_pOwner = pApp->m_pMainWnd;
  m_hWnd = CreateDialogWindow(*this, m_pOwner ? m_pOwner->GetSafeHwnd() : nullptr);
  m_bEnded = false;
  m_nModalResult = -1;
  // Controls are made here without geometry: initialisation (where the main window tells the
  // device that it is there) needs only the controls and their texts, so measuring and placing
  // them waits until it is over, just before the window is shown.
  m_controls = CreateControls(m_template, m_hWnd, *this);
  {
    CModalLoop loop(*this);
    m_pModalLoop = &loop;
    if (OnInitDialog())
      FocusFirstTabStop();
    if (!m_bEnded && AfxIsTerminating()) {
      SendMessage(WM_CLOSE);
      EndDialog(IDCANCEL);
    }
    if (!m_bEnded) {
      // The menu too waits: making a menu bar loads the toolkit's image readers.
      if (m_template.pMenu)
        m_pMenuBar = CreateMenuBar(*m_template.pMenu, m_hWnd, *this);
      LayoutDialog(m_template, m_hWnd, m_controls, m_pMenuBar);
      loop.Run(m_hWnd);
      // The application quitting ends every loop; the dialog then ends as cancelled.
      EndDialog(IDCANCEL);
    }
    m_pModalLoop = nullptr;
  }
  DestroyWindow();
  return m_nModalResult;
}

void CDialog::FocusFirstTabStop() {
  for (const DialogControl& ctrl : m_template.controls) {
    QWidget* pItem = (ctrl.nStyle & ControlStyle::TabStop) ? GetDlgItem(ctrl.nID) : nullptr;
    if (pItem && pItem->isEnabled()) {
      pItem->setFocus(Qt::TabFocusReason);
      if (auto* pEdit = qobject_cast<QLineEdit*>(pItem))
        pEdit->selectAll();
      return;
    }
  }
}

void CDialog::EndDialog(int nResult) {
  if (m_bEnded)
    return;
  m_bEnded = true;
  m_nModalResult = nResult;
  if (m_hWnd)
    m_hWnd->hide();
  if (m_pModalLoop)
    m_pModalLoop->Exit();
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

void CDialog::AttachControl(int nIDC, CWnd& rControl) {
  if (QWidget* pItem = GetDlgItem(nIDC)) {
    rControl.m_hWnd = pItem;
    m_attached.push_back(&rControl);
  }
}

void CDialog::DestroyWindow() {
  if (!m_hWnd)
    return;
  OnDestroy();
  for (CWnd* pControl : m_attached)
    pControl->m_hWnd = nullptr;
  m_attached.clear();
  m_controls.clear();
  m_pMenuBar = nullptr;
  if (CWinApp* pApp = AfxGetApp(); pApp && pApp->m_pMainWnd == this)
    pApp->m_pMainWnd = nullptr;
  QWidget* pWindow = m_hWnd;
  pWindow->hide();
  m_hWnd = nullptr;
  delete pWindow;
}
