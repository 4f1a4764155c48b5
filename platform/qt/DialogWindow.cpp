#include "DialogWindow.h"

#include "Dialog.h"
#include "QtPlatform.h"

#include <QCloseEvent>
#include <QDialog>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>

namespace {

class CDialogWindow final : public QDialog {
public:
  CDialogWindow(CDialog& dlg, QWidget* pParent, Qt::WindowFlags flags)
      : QDialog(pParent, flags), m_dlg(dlg) {}

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    CQtPaintDC dc(painter);
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
    case Qt::Key_Enter: m_dlg.OnEnterKey(ToHwnd(focusWidget())); return;
    default: QWidget::keyPressEvent(pEvent);
    }
  }

private:
  CDialog& m_dlg;
};

/// The application's style, except that a menu bar's overflow button has no picture: drawing it
/// loads the toolkit's image readers, and a template's menu always fits its window.
class CDialogStyle final : public QProxyStyle {
public:
  QIcon standardIcon(StandardPixmap sp, const QStyleOption* pOption,
                     const QWidget* pWidget) const override {
    return sp == SP_ToolBarHorizontalExtensionButton
               ? QIcon()
               : QProxyStyle::standardIcon(sp, pOption, pWidget);
  }
};

}  // namespace

QWidget* CreateDialogWindow(CDialog& dlg, QWidget* pOwner) {
  AfxReadyWindowLook();
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
  // Set before the controls exist, so that each lays out its text in this font from the start
  // and the toolkit's default face is never loaded.
  pWindow->setFont(DialogFont(dlgTemplate.pszFont, dlgTemplate.nPointSize));
  return pWindow;
}

QFont DialogFont(const char* pszFace, int nPointSize) {
  QStringList candidates;
  if (pszFace)
    candidates << QString::fromUtf8(pszFace);
  candidates << QStringLiteral("MS Sans Serif") << QStringLiteral("Liberation Sans")
             << QStringLiteral("Arial") << QStringLiteral("DejaVu Sans");
  const QStringList families = QFontDatabase::families();
  QFont font;
  font.setStyleHint(QFont::SansSerif);
  for (const QString& family : candidates) {
    if (families.contains(family, Qt::CaseInsensitive)) {
      font.setFamily(family);
      break;
    }
  }
  // Points at 96 dpi rounded to the nearest pixel, so that the layout does not depend on the
  // screen: 8 pt = 11 px.
  const int nPoints = nPointSize > 0 ? nPointSize : 8;
  font.setPixelSize((nPoints * 96 + 36) / 72);
  return font;
}

QStyle* CreateDialogStyle() { return new CDialogStyle; }
