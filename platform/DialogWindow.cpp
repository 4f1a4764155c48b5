#include "DialogWindow.h"

#include "Dialog.h"

#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

namespace {

class CDialogWindow final : public QDialog {
public:
  CDialogWindow(CDialog& dlg, QWidget* pParent, Qt::WindowFlags flags)
      : QDialog(pParent, flags), m_dlg(dlg) {}

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter dc(this);
    m_dlg.OnPaint(dc);
  }

  void closeEvent(QCloseEvent* pEvent) override {
    // The dialog decides (OnClose); the window goes only when DoModal destroys it.
    pEvent->ignore();
    m_dlg.OnClose();
  }

  void keyPressEvent(QKeyEvent* pEvent) override {
    const Qt::KeyboardModifiers mods = pEvent->modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier) {
      QWidget::keyPressEvent(pEvent);
      return;
    }
    switch (pEvent->key()) {
    case Qt::Key_Escape: m_dlg.RouteCommand(IDCANCEL); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (auto* pButton = qobject_cast<QPushButton*>(focusWidget());
          pButton && pButton->isEnabled()) {
        pButton->click();
        return;
      }
      m_dlg.RouteCommand(DefaultCommand());
      return;
    default: QWidget::keyPressEvent(pEvent);
    }
  }

private:
  UINT DefaultCommand() const {
    for (const DialogControl& ctrl : m_dlg.GetTemplate().controls) {
      if (ctrl.kind == ControlKind::DefPushButton)
        return static_cast<UINT>(ctrl.nID);
    }
    return IDOK;
  }

  CDialog& m_dlg;
};

}  // namespace

QWidget* CreateDialogWindow(CDialog& dlg, QWidget* pOwner) {
  const DialogTemplate& dlgTemplate = dlg.GetTemplate();
  const unsigned nStyle = dlgTemplate.nStyle;
  Qt::WindowFlags flags = (nStyle & DialogStyle::AppWindow) || !pOwner ? Qt::Window : Qt::Dialog;
  flags |= Qt::CustomizeWindowHint;
  if (nStyle & DialogStyle::Caption)
    flags |= Qt::WindowTitleHint;
  if (nStyle & DialogStyle::SysMenu)
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (nStyle & DialogStyle::MinimizeBox)
    flags |= Qt::WindowMinimizeButtonHint;

  auto* pWindow = new CDialogWindow(dlg, pOwner, flags);
  pWindow->setObjectName(QStringLiteral("dlg_%1").arg(dlgTemplate.nID));
  pWindow->setWindowModality(Qt::ApplicationModal);
  pWindow->setWindowTitle(QString::fromUtf8(dlgTemplate.pszCaption ? dlgTemplate.pszCaption : ""));
  return pWindow;
}
