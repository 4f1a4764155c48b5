#include "DialogInput.h"

#include "QtPlatform.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QWidget>

namespace {

/// Makes pWindow the active window, as the window system does for the one under the keyboard;
/// the offscreen platform takes a turn of the event loop or more for it.
void Activate(QWidget* pWindow) {
  pWindow->activateWindow();
  for (int i = 0; i < 200 && QApplication::activeWindow() != pWindow; ++i)
    AfxPumpEvents(10);
}

}  // namespace

void AfxPressKey(HWND hDlg, EDialogKey key) {
  QWidget* pWindow = QtWidget(hDlg);
  if (!pWindow)
    return;
  if (key == EDialogKey::AltF4)
    Activate(pWindow);  // a window's shortcuts (its menu's Alt+F4) work while it is active
  QWidget* pTarget = pWindow->focusWidget() ? pWindow->focusWidget() : pWindow;
  int nKey = Qt::Key_Return;
  Qt::KeyboardModifiers modifiers = Qt::NoModifier;
  switch (key) {
  case EDialogKey::Enter: nKey = Qt::Key_Return; break;
  case EDialogKey::KeypadEnter:
    nKey = Qt::Key_Enter;
    modifiers = Qt::KeypadModifier;
    break;
  case EDialogKey::Escape: nKey = Qt::Key_Escape; break;
  case EDialogKey::Tab: nKey = Qt::Key_Tab; break;
  case EDialogKey::AltF4:
    nKey = Qt::Key_F4;
    modifiers = Qt::AltModifier;
    break;
  }
  QKeyEvent press(QEvent::KeyPress, nKey, modifiers);
  QCoreApplication::sendEvent(pTarget, &press);
  // The window may have ended, but it goes only when its DoModal returns.
  QKeyEvent release(QEvent::KeyRelease, nKey, modifiers);
  QCoreApplication::sendEvent(pTarget, &release);
  AfxPumpEvents(0);
}

void AfxClickControl(HWND hItem) {
  QWidget* pItem = QtWidget(hItem);
  if (!pItem)
    return;
  const QPointF local = QRectF(pItem->rect()).center();
  const QPointF global = pItem->mapToGlobal(local);
  // A press from the window system gives the focus first; one sent from here is not one of those.
  if (pItem->focusPolicy() & Qt::ClickFocus)
    pItem->setFocus(Qt::MouseFocusReason);
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(pItem, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(pItem, &release);
  AfxPumpEvents(0);
}

void AfxCloseWindow(HWND hWnd) {
  if (QWidget* pWindow = QtWidget(hWnd))
    pWindow->close();
  AfxPumpEvents(0);
}

HWND AfxGetFocus() {
  // The keyboard goes to the innermost modal window, whether or not the (offscreen) platform has
  // made it the active one.
  if (QWidget* pModal = QApplication::activeModalWidget())
    return ToHwnd(pModal->focusWidget());
  return ToHwnd(QApplication::focusWidget());
}

std::string AfxGetSelectedText(HWND hEdit) {
  auto* pEdit = qobject_cast<QLineEdit*>(QtWidget(hEdit));
  return pEdit ? pEdit->selectedText().toStdString() : std::string();
}

CRect AfxGetItemRect(HWND hItem) {
  CRect rc;
  if (QWidget* pItem = QtWidget(hItem)) {
    const QRect geometry = pItem->geometry();
    rc = {geometry.left(), geometry.top(), geometry.left() + geometry.width(),
          geometry.top() + geometry.height()};
  }
  return rc;
}

bool AfxFindMessageBox(std::string& strCaption, std::string& strText, HWND& hOwner) {
  const auto windows = QApplication::topLevelWidgets();
  for (QWidget* pWindow : windows) {
    auto* pBox = qobject_cast<QMessageBox*>(pWindow);
    if (!pBox || !pBox->isVisible())
      continue;
    strCaption = pBox->windowTitle().toStdString();
    strText = pBox->text().toStdString();
    hOwner = ToHwnd(pBox->parentWidget());
    return true;
  }
  return false;
}
