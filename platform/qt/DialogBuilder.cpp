#include "DialogBuilder.h"

#include "ControlText.h"
#include "GroupFrame.h"
#include "QtPlatform.h"
#include "Wnd.h"

#include <QCheckBox>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

#include <limits>

namespace {

QString ControlText(const DialogControl& ctrl) {
  return ctrl.pszText ? QString::fromUtf8(ctrl.pszText) : QString();
}

Qt::Alignment TextAlignment(unsigned nStyle) {
  if (nStyle & ControlStyle::Center)
    return Qt::AlignHCenter;
  if (nStyle & ControlStyle::Right)
    return Qt::AlignRight;
  return Qt::AlignLeft;
}

QWidget* CreatePushButton(const DialogControl& ctrl, QWidget* pWindow, CWnd& wnd) {
  auto* pButton = new QPushButton(ControlText(ctrl), pWindow);
  pButton->setAutoDefault(false);
  pButton->setDefault(ctrl.kind == ControlKind::DefPushButton);
  const UINT nID = static_cast<UINT>(ctrl.nID);
  QObject::connect(pButton, &QPushButton::clicked, pWindow, [&wnd, nID] { wnd.RouteCommand(nID); });
  return pButton;
}

QWidget* CreateEdit(const DialogControl& ctrl, QWidget* pWindow) {
  auto* pEdit = new QLineEdit(ControlText(ctrl), pWindow);
  pEdit->setAlignment(TextAlignment(ctrl.nStyle) | Qt::AlignVCenter);
  pEdit->setFrame((ctrl.nStyle & ControlStyle::Border) != 0);
  // Edits take any length: a stored text is shown and stored back whole, never cut.
  pEdit->setMaxLength(std::numeric_limits<int>::max());
  return pEdit;
}

QWidget* CreateStatic(const DialogControl& ctrl, QWidget* pWindow) {
  auto* pLabel = new QLabel(pWindow);
  pLabel->setTextFormat(Qt::PlainText);
  pLabel->setAlignment(TextAlignment(ctrl.nStyle) | Qt::AlignTop);
  if (ctrl.nStyle & ControlStyle::Sunken)
    pLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  SetControlText(pLabel, ControlText(ctrl));
  return pLabel;
}

QWidget* CreateGroupBox(const DialogControl& ctrl, QWidget* pWindow) {
  return new CGroupFrame(ControlText(ctrl), (ctrl.nStyle & ControlStyle::Center) != 0, pWindow);
}

QWidget* CreateCheckBox(const DialogControl& ctrl, QWidget* pWindow) {
  auto* pBox = new QCheckBox(ControlText(ctrl), pWindow);
  if (ctrl.nStyle & ControlStyle::LeftText)
    pBox->setLayoutDirection(Qt::RightToLeft);
  return pBox;
}

QWidget* CreateIcon(const DialogControl& ctrl, QWidget* pWindow) {
  auto* pLabel = new QLabel(pWindow);
  pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (HICON hIcon = AfxLoadIcon(ctrl.nIconID))
    pLabel->setPixmap(QtIcon(hIcon)->pixmap(QSize(32, 32)));
  return pLabel;
}

QWidget* CreateControl(const DialogControl& ctrl, QWidget* pWindow, CWnd& wnd) {
  switch (ctrl.kind) {
  case ControlKind::PushButton:
  case ControlKind::DefPushButton: return CreatePushButton(ctrl, pWindow, wnd);
  case ControlKind::Edit: return CreateEdit(ctrl, pWindow);
  case ControlKind::Static: return CreateStatic(ctrl, pWindow);
  case ControlKind::GroupBox: return CreateGroupBox(ctrl, pWindow);
  case ControlKind::CheckBox: return CreateCheckBox(ctrl, pWindow);
  case ControlKind::Icon: return CreateIcon(ctrl, pWindow);
  }
  return new QWidget(pWindow);
}

bool TakesFocus(ControlKind kind) {
  switch (kind) {
  case ControlKind::PushButton:
  case ControlKind::DefPushButton:
  case ControlKind::Edit:
  case ControlKind::CheckBox: return true;
  default: return false;
  }
}

}  // namespace

QString ControlObjectName(int nID) { return QStringLiteral("ctrl_") + QString::number(nID); }

QMenuBar* CreateMenuBar(const MenuTemplate& menu, QWidget* pWindow, CWnd& wnd) {
  auto* pMenuBar = new QMenuBar(pWindow);
  for (const MenuPopup& popup : menu.popups) {
    QMenu* pMenu = pMenuBar->addMenu(QString::fromUtf8(popup.pszText));
    for (const MenuItem& item : popup.items) {
      if (!item.pszText) {
        pMenu->addSeparator();
        continue;
      }
      // "Text\tShortcut": the menu shows the part after the tab as the shortcut column, and the
      // keys named there run the command too.
      const QString strText = QString::fromUtf8(item.pszText);
      QAction* pAction = pMenu->addAction(strText);
      if (const qsizetype nTab = strText.indexOf(QLatin1Char('\t')); nTab >= 0) {
        pAction->setShortcut(QKeySequence(strText.mid(nTab + 1), QKeySequence::PortableText));
        pAction->setShortcutContext(Qt::WindowShortcut);
        pWindow->addAction(pAction);
      }
      const UINT nID = item.nID;
      QObject::connect(pAction, &QAction::triggered, pWindow,
                       [&wnd, nID] { wnd.RouteCommand(nID); });
    }
  }
  return pMenuBar;
}

std::vector<QWidget*> CreateControls(const DialogTemplate& dlgTemplate, QWidget* pWindow,
                                     CWnd& wnd) {
  std::vector<QWidget*> controls;
  std::vector<QWidget*> groups;
  QWidget* pPrevTabStop = nullptr;
  for (const DialogControl& ctrl : dlgTemplate.controls) {
    QWidget* pItem = CreateControl(ctrl, pWindow, wnd);
    controls.push_back(pItem);
    pItem->setObjectName(ControlObjectName(ctrl.nID));
    if (ctrl.kind == ControlKind::GroupBox)
      groups.push_back(pItem);

    if (!TakesFocus(ctrl.kind)) {
      pItem->setFocusPolicy(Qt::NoFocus);
    } else if (ctrl.nStyle & ControlStyle::TabStop) {
      pItem->setFocusPolicy(Qt::StrongFocus);
      if (pPrevTabStop)
        QWidget::setTabOrder(pPrevTabStop, pItem);
      pPrevTabStop = pItem;
    } else {
      // Out of the tab order, but a click still reaches it.
      pItem->setFocusPolicy(Qt::ClickFocus);
    }
  }
  // Frames lie under the controls they surround, a later frame above an earlier one, so that
  // its caption covers a line of the earlier frame that runs where the caption stands.
  for (auto it = groups.rbegin(); it != groups.rend(); ++it)
    (*it)->lower();
  return controls;
}
