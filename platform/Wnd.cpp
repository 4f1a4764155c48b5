#include "Wnd.h"

#include "ControlText.h"
#include "DialogBuilder.h"
#include "WinApp.h"

#include <QIcon>
#include <QVariant>
#include <QWidget>

QWidget* CWnd::GetDlgItem(int nID) const {
  if (!m_hWnd)
    return nullptr;
  // Direct children only: a nested dialog is a child widget of its owner and may use the same IDs.
  const auto children = m_hWnd->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  for (QWidget* pChild : children) {
    const QVariant id = pChild->property(kControlIdProperty);
    if (id.isValid() && id.toInt() == nID)
      return pChild;
  }
  return nullptr;
}

void CWnd::SetDlgItemText(int nID, const std::string& strText) {
  SetControlText(GetDlgItem(nID), QString::fromUtf8(strText.data(), qsizetype(strText.size())));
}

std::string CWnd::GetDlgItemText(int nID) const {
  return GetControlText(GetDlgItem(nID)).toUtf8().toStdString();
}

void CWnd::SetIcon(HICON hIcon, bool /*bBigIcon*/) {
  // The toolkit derives both sizes from one icon.
  if (m_hWnd)
    m_hWnd->setWindowIcon(hIcon ? *hIcon : QIcon());
}

bool CWnd::IsIconic() const { return m_hWnd && m_hWnd->isMinimized(); }

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

void CWnd::OnPaint(QPainter& /*dc*/) {}

HICON CWnd::OnQueryDragIcon() { return nullptr; }
