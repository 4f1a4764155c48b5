#include "Wnd.h"

#include "ControlText.h"
#include "DialogBuilder.h"
#include "QtPlatform.h"
#include "WinApp.h"

#include <QCheckBox>
#include <QIcon>
#include <QPainter>
#include <QWidget>

std::string CWnd::GetWindowText() const {
  return m_hWnd ? QtWidget(m_hWnd)->windowTitle().toStdString() : std::string();
}

HWND CWnd::GetDlgItem(int nID) const {
  if (!m_hWnd)
    return nullptr;
  // Direct children only: a nested dialog is a child widget of its owner and may use the same IDs.
  // A control is known by the name its builder gave it: comparing names is cheap, where looking
  // up a property walks the property tables of each child's classes.
  const QString strName = ControlObjectName(nID);
  for (QObject* pChild : QtWidget(m_hWnd)->children()) {
    if (pChild->isWidgetType() && pChild->objectName() == strName)
      return ToHwnd(static_cast<QWidget*>(pChild));
  }
  return nullptr;
}

void CWnd::SetDlgItemText(int nID, const std::string& strText) {
  SetControlText(QtWidget(GetDlgItem(nID)),
                 QString::fromUtf8(strText.data(), qsizetype(strText.size())));
}

std::string CWnd::GetDlgItemText(int nID) const {
  return GetControlText(QtWidget(GetDlgItem(nID))).toUtf8().toStdString();
}

UINT CWnd::IsDlgButtonChecked(int nID) const {
  auto* pBox = qobject_cast<QCheckBox*>(QtWidget(GetDlgItem(nID)));
  return pBox && pBox->isChecked() ? 1 : 0;
}

void CWnd::CheckDlgButton(int nID, UINT nCheck) {
  if (auto* pBox = qobject_cast<QCheckBox*>(QtWidget(GetDlgItem(nID))))
    pBox->setChecked(nCheck != 0);
}

void CWnd::SetIcon(HICON hIcon, bool /*bBigIcon*/) {
  // The toolkit derives both sizes from one icon.
  if (m_hWnd)
    QtWidget(m_hWnd)->setWindowIcon(hIcon ? *QtIcon(hIcon) : QIcon());
}

bool CWnd::IsIconic() const { return m_hWnd && QtWidget(m_hWnd)->isMinimized(); }

bool CWnd::IsWindowVisible() const { return m_hWnd && QtWidget(m_hWnd)->isVisible(); }

void CWnd::GetClientRect(CRect* pRect) const {
  *pRect = CRect();
  if (m_hWnd) {
    pRect->right = QtWidget(m_hWnd)->width();
    pRect->bottom = QtWidget(m_hWnd)->height();
  }
}

void CQtPaintDC::EraseRect(const CRect& rc) {
  m_painter.eraseRect(rc.left, rc.top, rc.Width(), rc.Height());
}

void CQtPaintDC::DrawIcon(int x, int y, HICON hIcon) {
  if (hIcon)
    QtIcon(hIcon)->paint(&m_painter, x, y, 32, 32);
}
