#include "Dialog.h"

#include "DialogBuilder.h"
#include "DialogLayout.h"
#include "DialogWindow.h"
#include "ModalLoop.h"
#include "QtPlatform.h"
#include "WinApp.h"

#include <QLineEdit>
#include <QMenuBar>
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
  QWidget* pWindow =
      CreateDialogWindow(*this, m_pOwner ? QtWidget(m_pOwner->GetSafeHwnd()) : nullptr);
  m_hWnd = ToHwnd(pWindow);
  m_bEnded = false;
  m_nModalResult = -1;
  // Controls are made here without geometry: initialisation (where the main window tells the
  // device that it is there) needs only the controls and their texts, so measuring and placing
  // them waits until it is over, just before the window is shown.
  const std::vector<QWidget*> controls = CreateControls(m_template, pWindow, *this);
  for (QWidget* pItem : controls)
    m_controls.push_back(ToHwnd(pItem));
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
      QMenuBar* pMenuBar =
          m_template.pMenu ? CreateMenuBar(*m_template.pMenu, pWindow, *this) : nullptr;
      m_hMenuBar = ToHwnd(pMenuBar);
      LayoutDialog(m_template, pWindow, controls, pMenuBar);
      loop.Run(pWindow);
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
    QWidget* pItem =
        (ctrl.nStyle & ControlStyle::TabStop) ? QtWidget(GetDlgItem(ctrl.nID)) : nullptr;
    if (pItem && pItem->isEnabled()) {
      pItem->setFocus(Qt::TabFocusReason);
      if (auto* pEdit = qobject_cast<QLineEdit*>(pItem))
        pEdit->selectAll();
      return;
    }
  }
}

void CDialog::GotoDlgCtrl(int nID) {
  QWidget* pItem = QtWidget(GetDlgItem(nID));
  if (!pItem)
    return;
  pItem->setFocus(Qt::OtherFocusReason);
  if (auto* pEdit = qobject_cast<QLineEdit*>(pItem))
    pEdit->selectAll();
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
    QtWidget(m_hWnd)->hide();
  if (m_pModalLoop)
    m_pModalLoop->Exit();
}

void CDialog::AttachControl(int nIDC, CWnd& rControl) {
  if (HWND pItem = GetDlgItem(nIDC)) {
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
  m_hMenuBar = nullptr;
  if (CWinApp* pApp = AfxGetApp(); pApp && pApp->m_pMainWnd == this)
    pApp->m_pMainWnd = nullptr;
  QWidget* pWindow = QtWidget(m_hWnd);
  pWindow->hide();
  m_hWnd = nullptr;
  delete pWindow;
}
