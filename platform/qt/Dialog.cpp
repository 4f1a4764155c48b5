#include "Dialog.h"

#include "ModalLoop.h"
#include "QtPlatform.h"

#include <QLineEdit>
#include <QWidget>

CDialog::~CDialog() {
  if (!m_hWnd)
    return;
  // The derived part is gone: neither its controls members nor its OnDestroy may be touched.
  m_attached.clear();
  if (m_pModalLoop) {
    m_pModalLoop->End();
    m_pModalLoop->Leave();
  }
  DestroyWindow();
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

void CDialog::DestroyWindow() {
  if (!m_hWnd)
    return;
  OnWindowGoing();
  QWidget* pWindow = QtWidget(m_hWnd);
  pWindow->hide();
  m_hWnd = nullptr;
  delete pWindow;
}
