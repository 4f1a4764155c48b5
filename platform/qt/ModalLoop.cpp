#include "ModalLoop.h"

#include "Dialog.h"
#include "DialogBuilder.h"
#include "DialogLayout.h"
#include "DialogWindow.h"
#include "QtPlatform.h"

#include <QApplication>
#include <QEventLoop>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

bool CModalLoop::Run(HWND hWndOwner) {
  QWidget* pWindow = CreateDialogWindow(m_dlg, QtWidget(hWndOwner));
  m_dlg.m_hWnd = ToHwnd(pWindow);
  // Controls are made here without geometry: initialisation (where the main window tells the
  // device that it is there) needs only the controls and their texts, so measuring and placing
  // them waits until it is over, just before the window is shown.
  const std::vector<QWidget*> controls = CreateControls(m_dlg.m_template, pWindow, m_dlg);
  for (QWidget* pItem : controls)
    m_dlg.m_controls.push_back(ToHwnd(pItem));
  if (m_dlg.StartDialog())
    m_dlg.FocusFirstTabStop();
  if (m_dlg.m_bEnded)
    return true;
  // The menu too waits: making a menu bar loads the toolkit's image readers.
  const MenuTemplate* pMenu = m_dlg.m_template.pMenu;
  QMenuBar* pMenuBar = pMenu ? CreateMenuBar(*pMenu, pWindow, m_dlg) : nullptr;
  m_dlg.m_hMenuBar = ToHwnd(pMenuBar);
  LayoutDialog(m_dlg.m_template, pWindow, controls, pMenuBar);
  pWindow->show();
  pWindow->activateWindow();
  QTimer::singleShot(0, pWindow, [this] { OnShown(); });
  QEventLoop loop;
  m_pLoop = &loop;
  loop.exec(QEventLoop::DialogExec);
  m_pLoop = nullptr;
  return true;
}

void CModalLoop::End() {
  if (QWidget* pWindow = QtWidget(m_dlg.m_hWnd))
    pWindow->hide();
  if (m_pLoop)
    m_pLoop->exit();
}

void CModalLoop::CancelMessageBoxes() {
  const auto windows = QApplication::topLevelWidgets();
  for (QWidget* pWindow : windows) {
    if (auto* pBox = qobject_cast<QMessageBox*>(pWindow); pBox && pBox->isVisible())
      pBox->reject();
  }
}
