#include "Dialog.h"

#include "WinApp.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace {

CDialog* g_pTopModal = nullptr;
std::function<void(CDialog&)> g_shownHook;

/// The toplevel widget of a dialog: hands paint, close and the dialog keys to the CDialog.
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

/// Windows' MulDiv for the non-negative values of a template: a * b / c rounded to nearest.
int MulDiv(int a, int b, int c) {
  const std::int64_t n = std::int64_t(a) * b;
  return static_cast<int>(n >= 0 ? (2 * n + c) / (2 * c) : -((-2 * n + c) / (2 * c)));
}

/// The dialog font; a face missing on this system falls back to a sans of similar metrics.
QFont DialogFont(const DialogTemplate& dlgTemplate) {
  QStringList candidates;
  if (dlgTemplate.pszFont)
    candidates << QString::fromUtf8(dlgTemplate.pszFont);
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
  // Points at 96 dpi, so that the layout does not depend on the screen: 8 pt = 11 px.
  const int nPoints = dlgTemplate.nPointSize > 0 ? dlgTemplate.nPointSize : 8;
  font.setPixelSize(MulDiv(nPoints, 96, 72));
  return font;
}

/// Dialog base units in pixels: x per 4 horizontal units, y per 8 vertical units.
struct BaseUnits {
  int x;
  int y;
};

BaseUnits MeasureBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int nWidth = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(nWidth / 26 + 1) / 2, metrics.height()};
}

Qt::Alignment TextAlignment(unsigned nStyle) {
  if (nStyle & ControlStyle::Center)
    return Qt::AlignHCenter;
  if (nStyle & ControlStyle::Right)
    return Qt::AlignRight;
  return Qt::AlignLeft;
}

QString ControlText(const DialogControl& ctrl) {
  return ctrl.pszText ? QString::fromUtf8(ctrl.pszText) : QString();
}

/// The width that the text of a one-line static or a check box needs, in pixels.
int NeededWidth(QWidget* pItem) {
  const QFontMetrics metrics(pItem->font());
  if (auto* pBox = qobject_cast<QCheckBox*>(pItem)) {
    QStyle* pStyle = pBox->style();
    return pStyle->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, pBox) +
           pStyle->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, pBox) +
           metrics.horizontalAdvance(pBox->text());
  }
  auto* pLabel = qobject_cast<QLabel*>(pItem);
  return pLabel ? metrics.horizontalAdvance(pLabel->text()) +
                      2 * (pLabel->frameWidth() + pLabel->margin())
                : 0;
}

/// The templates were laid out for MS Sans Serif; a substitute face may run a few pixels wider.
/// A one-line text that would be clipped gets smaller sizes, down to 8 px, until it fits.
void FitText(QWidget* pItem, int nWidth) {
  QFont font = pItem->font();
  while (NeededWidth(pItem) > nWidth && font.pixelSize() > 8) {
    font.setPixelSize(font.pixelSize() - 1);
    pItem->setFont(font);
  }
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

// ---------------------------------------------------------------------------------------------
// Data exchange

bool AfxParseUnsigned(const std::string& strText, DWORD& dwValue) {
  // A 32-character text buffer: what lies beyond its 31 characters is never seen.
  const std::string text = strText.substr(0, 31);
  const auto isBlank = [](char ch) { return ch == ' ' || ch == '\t'; };
  size_t i = 0;
  while (i < text.size() && isBlank(text[i]))
    ++i;
  if (i < text.size() && text[i] == '+')
    ++i;
  const size_t nDigitsStart = i;
  std::uint64_t nValue = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    nValue = nValue * 10 + static_cast<unsigned>(text[i] - '0');
    if (nValue > 0xFFFFFFFFu)
      return false;
    ++i;
  }
  if (i == nDigitsStart)
    return false;
  while (i < text.size() && isBlank(text[i]))
    ++i;
  if (i != text.size())
    return false;
  dwValue = static_cast<DWORD>(nValue);
  return true;
}

void CDataExchange::Fail(int nIDC) {
  m_bFailed = true;
  QWidget* pItem = m_pDlgWnd ? m_pDlgWnd->GetDlgItem(nIDC) : nullptr;
  if (!pItem)
    return;
  pItem->setFocus(Qt::OtherFocusReason);
  if (auto* pEdit = qobject_cast<QLineEdit*>(pItem))
    pEdit->selectAll();
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value) {
  if (pDX->m_bFailed)
    return;
  if (pDX->m_bSaveAndValidate)
    value = pDX->m_pDlgWnd->GetDlgItemText(nIDC);
  else
    pDX->m_pDlgWnd->SetDlgItemText(nIDC, value);
}

void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value) {
  if (pDX->m_bFailed)
    return;
  if (!pDX->m_bSaveAndValidate) {
    char szText[16];
    std::snprintf(szText, sizeof szText, "%lu", static_cast<unsigned long>(value));
    pDX->m_pDlgWnd->SetDlgItemText(nIDC, szText);
    return;
  }
  if (!AfxParseUnsigned(pDX->m_pDlgWnd->GetDlgItemText(nIDC), value)) {
    AfxMessageBox("Please enter a positive integer.", MB_ICONERROR);
    pDX->Fail(nIDC);
  }
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  if (pDX->m_bFailed)
    return;
  auto* pBox = qobject_cast<QCheckBox*>(pDX->m_pDlgWnd->GetDlgItem(nIDC));
  if (!pBox)
    return;
  if (pDX->m_bSaveAndValidate)
    value = pBox->isChecked() ? 1 : 0;
  else
    pBox->setChecked(value != 0);
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (pDX->m_bFailed || rControl.m_hWnd)
    return;
  QWidget* pItem = pDX->m_pDlgWnd->GetDlgItem(nIDC);
  if (!pItem)
    return;
  rControl.m_hWnd = pItem;
  pDX->m_pDlgWnd->m_attached.push_back(&rControl);
}

// ---------------------------------------------------------------------------------------------
// CDialog

CDialog::CDialog(const DialogTemplate& dlgTemplate, CWnd* pParentWnd)
    : m_template(dlgTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() {
  if (!m_hWnd)
    return;
  // The derived part is gone: neither its controls members nor its OnDestroy may be touched.
  m_attached.clear();
  if (m_pLoop)
    m_pLoop->exit();
  LeaveModalStack();
  DestroyWindow();
}

void CDialog::LeaveModalStack() {
  if (g_pTopModal == this) {
    g_pTopModal = m_pOuterModal;
  } else {
    // Not innermost: a dialog ended while one it opened still runs.
    for (CDialog* p = g_pTopModal; p; p = p->m_pOuterModal) {
      if (p->m_pOuterModal == this) {
        p->m_pOuterModal = m_pOuterModal;
        break;
      }
    }
  }
  m_pOuterModal = nullptr;
}

INT_PTR CDialog::DoModal() {
  if (m_hWnd)
    return -1;  // already running
  CWinApp* pApp = AfxGetApp();
  CWnd* pOwner = m_pParentWnd;
  if (!pOwner && pApp && pApp->m_pMainWnd != this)
    pOwner = pApp->m_pMainWnd;
  m_pOwner = pOwner;
  QWidget* pOwnerWidget = pOwner ? pOwner->GetSafeHwnd() : nullptr;

  Qt::WindowFlags flags =
      (m_template.nStyle & DialogStyle::AppWindow) || !pOwnerWidget ? Qt::Window : Qt::Dialog;
  flags |= Qt::CustomizeWindowHint;
  if (m_template.nStyle & DialogStyle::Caption)
    flags |= Qt::WindowTitleHint;
  if (m_template.nStyle & DialogStyle::SysMenu)
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (m_template.nStyle & DialogStyle::MinimizeBox)
    flags |= Qt::WindowMinimizeButtonHint;

  auto* pWindow = new CDialogWindow(*this, pOwnerWidget, flags);
  pWindow->setObjectName(QStringLiteral("dlg_%1").arg(m_template.nID));
  pWindow->setWindowModality(Qt::ApplicationModal);
  pWindow->setWindowTitle(QString::fromUtf8(m_template.pszCaption ? m_template.pszCaption : ""));
  m_hWnd = pWindow;
  m_bEnded = false;
  m_nModalResult = -1;
  CreateControls();

  m_pOuterModal = g_pTopModal;
  g_pTopModal = this;

  if (OnInitDialog()) {
    for (const DialogControl& ctrl : m_template.controls) {
      QWidget* pItem = (ctrl.nStyle & ControlStyle::TabStop) ? GetDlgItem(ctrl.nID) : nullptr;
      if (pItem && pItem->isEnabled()) {
        pItem->setFocus(Qt::TabFocusReason);
        if (auto* pEdit = qobject_cast<QLineEdit*>(pItem))
          pEdit->selectAll();
        break;
      }
    }
  }
  if (!m_bEnded && AfxIsTerminating()) {
    SendMessage(WM_CLOSE);
    EndDialog(IDCANCEL);
  }

  if (!m_bEnded) {
    LayoutControls();
    pWindow->show();
    pWindow->activateWindow();
    QTimer::singleShot(0, pWindow, [this] {
      // A copy: the hook may replace itself.
      const auto hook = g_shownHook;
      if (hook && !m_bEnded)
        hook(*this);
    });
    QEventLoop loop;
    m_pLoop = &loop;
    loop.exec(QEventLoop::DialogExec);
    m_pLoop = nullptr;
    // The application quitting ends every loop; the dialog then ends as cancelled.
    EndDialog(IDCANCEL);
  }

  LeaveModalStack();
  DestroyWindow();
  return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
  if (m_bEnded)
    return;
  m_bEnded = true;
  m_nModalResult = nResult;
  if (m_hWnd)
    m_hWnd->hide();
  if (m_pLoop)
    m_pLoop->exit();
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

void CDialog::SetShownHook(std::function<void(CDialog&)> hook) { g_shownHook = std::move(hook); }

CDialog* CDialog::GetTopModal() { return g_pTopModal; }

void CDialog::EndAllModal() {
  // Message boxes run their own loops above the dialogs'.
  const auto windows = QApplication::topLevelWidgets();
  for (QWidget* pWindow : windows) {
    if (auto* pBox = qobject_cast<QMessageBox*>(pWindow); pBox && pBox->isVisible())
      pBox->reject();
  }
  for (CDialog* pDlg = g_pTopModal; pDlg; pDlg = pDlg->m_pOuterModal) {
    if (pDlg->m_pOuterModal)
      pDlg->EndDialog(IDCANCEL);
    else
      pDlg->SendMessage(WM_CLOSE);
  }
}

// Controls are made here without fonts or geometry: measuring text needs the font database,
// which costs more than everything else at start-up, and initialisation (where the main window
// tells the device that it is there) needs only the controls and their texts. LayoutControls
// sizes everything afterwards, before the window is shown.
void CDialog::CreateControls() {
  QWidget* pWindow = m_hWnd;
  m_controls.clear();
  if (m_template.pMenu) {
    m_pMenuBar = new QMenuBar(pWindow);
    for (const MenuPopup& popup : m_template.pMenu->popups) {
      QMenu* pMenu = m_pMenuBar->addMenu(QString::fromUtf8(popup.pszText));
      for (const MenuItem& item : popup.items) {
        if (!item.pszText) {
          pMenu->addSeparator();
          continue;
        }
        // "Text\tShortcut": the menu shows the part after the tab as the shortcut column, and
        // the keys named there run the command too.
        const QString strText = QString::fromUtf8(item.pszText);
        QAction* pAction = pMenu->addAction(strText);
        if (const qsizetype nTab = strText.indexOf(QLatin1Char('\t')); nTab >= 0) {
          pAction->setShortcut(QKeySequence(strText.mid(nTab + 1), QKeySequence::PortableText));
          pAction->setShortcutContext(Qt::WindowShortcut);
          pWindow->addAction(pAction);
        }
        const UINT nID = item.nID;
        QObject::connect(pAction, &QAction::triggered, pWindow, [this, nID] { RouteCommand(nID); });
      }
    }
  }

  QWidget* pPrevTabStop = nullptr;
  std::vector<QWidget*> groups;
  for (const DialogControl& ctrl : m_template.controls) {
    const QString text = ControlText(ctrl);
    const Qt::Alignment align = TextAlignment(ctrl.nStyle);
    QWidget* pItem = nullptr;
    switch (ctrl.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* pButton = new QPushButton(text, pWindow);
      pButton->setAutoDefault(false);
      pButton->setDefault(ctrl.kind == ControlKind::DefPushButton);
      const UINT nID = static_cast<UINT>(ctrl.nID);
      QObject::connect(pButton, &QPushButton::clicked, pWindow, [this, nID] { RouteCommand(nID); });
      pItem = pButton;
      break;
    }
    case ControlKind::Edit: {
      auto* pEdit = new QLineEdit(text, pWindow);
      pEdit->setAlignment(align | Qt::AlignVCenter);
      pEdit->setFrame((ctrl.nStyle & ControlStyle::Border) != 0);
      // Edits take any length: a stored text is shown and stored back whole, never cut.
      pEdit->setMaxLength(std::numeric_limits<int>::max());
      pItem = pEdit;
      break;
    }
    case ControlKind::Static: {
      auto* pLabel = new QLabel(pWindow);
      pLabel->setTextFormat(Qt::PlainText);
      pLabel->setAlignment(align | Qt::AlignTop);
      if (ctrl.nStyle & ControlStyle::Sunken)
        pLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      // The label keeps the text as given (CWnd::GetDlgItemText) and shows "\r\n" as a break.
      pLabel->setProperty("rawText", text);
      QString shown = text;
      shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
      pLabel->setText(shown);
      pItem = pLabel;
      break;
    }
    case ControlKind::GroupBox: {
      auto* pGroup = new QGroupBox(text, pWindow);
      if (ctrl.nStyle & ControlStyle::Center)
        pGroup->setAlignment(Qt::AlignHCenter);
      // A frame only: clicks go to what lies inside it.
      pGroup->setAttribute(Qt::WA_TransparentForMouseEvents);
      groups.push_back(pGroup);
      pItem = pGroup;
      break;
    }
    case ControlKind::CheckBox: {
      auto* pBox = new QCheckBox(text, pWindow);
      if (ctrl.nStyle & ControlStyle::LeftText)
        pBox->setLayoutDirection(Qt::RightToLeft);
      pItem = pBox;
      break;
    }
    case ControlKind::Icon: {
      auto* pLabel = new QLabel(pWindow);
      pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (HICON hIcon = AfxLoadIcon(ctrl.nIconID))
        pLabel->setPixmap(hIcon->pixmap(QSize(32, 32)));
      pItem = pLabel;
      break;
    }
    }
    m_controls.push_back(pItem);
    pItem->setObjectName(QStringLiteral("ctrl_%1").arg(ctrl.nID));
    pItem->setProperty("ctrlId", ctrl.nID);

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
  for (QWidget* pGroup : groups)
    pGroup->lower();
}

void CDialog::LayoutControls() {
  QWidget* pWindow = m_hWnd;
  const QFont font = DialogFont(m_template);
  pWindow->setFont(font);
  const BaseUnits units = MeasureBaseUnits(font);
  const auto toX = [&](int n) { return MulDiv(n, units.x, 4); };
  const auto toY = [&](int n) { return MulDiv(n, units.y, 8); };

  const int cxClient = toX(m_template.cx);
  int nTop = 0;
  if (m_pMenuBar) {
    nTop = m_pMenuBar->sizeHint().height();
    m_pMenuBar->setGeometry(0, 0, cxClient, nTop);
  }
  pWindow->setFixedSize(cxClient, nTop + toY(m_template.cy));

  for (size_t i = 0; i < m_controls.size(); ++i) {
    const DialogControl& ctrl = m_template.controls[i];
    QWidget* pItem = m_controls[i];
    const QRect rc(toX(ctrl.x), nTop + toY(ctrl.y), toX(ctrl.cx), toY(ctrl.cy));
    pItem->setGeometry(rc);
    if (auto* pLabel = qobject_cast<QLabel*>(pItem); pLabel && ctrl.kind == ControlKind::Static) {
      // A one-line static keeps its line whole (clipped) rather than wrapping out of sight.
      pLabel->setWordWrap(pLabel->text().contains(QLatin1Char('\n')) || rc.height() >= 2 * units.y);
      if (!pLabel->wordWrap())
        FitText(pLabel, rc.width());
    } else if (ctrl.kind == ControlKind::CheckBox) {
      FitText(pItem, rc.width());
    } else if (ctrl.kind == ControlKind::Icon) {
      // An icon static takes the icon's size, whatever the template says.
      pItem->resize(32, 32);
    }
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
