#include "Wnd.h"

#include "WinApp.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QIconEngine>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVariant>
#include <QWidget>

#include <map>

namespace {

/// A registered icon whose pictures are made by its creation function the first time they are
/// asked for. Drawing the application icon at all its sizes is a good part of start-up, and a
/// window that is never shown on a desktop never needs it. A registered icon is never null, so
/// that question is answered without drawing.
class CDeferredIconEngine final : public QIconEngine {
public:
  explicit CDeferredIconEngine(QIcon (*pfnCreate)()) : m_pfnCreate(pfnCreate) {}

  void paint(QPainter* pPainter, const QRect& rc, QIcon::Mode mode, QIcon::State state) override {
    Icon().paint(pPainter, rc, Qt::AlignCenter, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().actualSize(size, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return Icon().pixmap(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
    return Icon().availableSizes(mode, state);
  }
  bool isNull() override { return false; }
  QString key() const override { return QStringLiteral("CDeferredIconEngine"); }
  QIconEngine* clone() const override {
    auto* pCopy = new CDeferredIconEngine(m_pfnCreate);
    pCopy->m_icon = m_icon;
    pCopy->m_bCreated = m_bCreated;
    return pCopy;
  }

private:
  const QIcon& Icon() {
    if (!m_bCreated) {
      m_icon = m_pfnCreate();
      m_bCreated = true;
    }
    return m_icon;
  }

  QIcon (*m_pfnCreate)();
  QIcon m_icon;
  bool m_bCreated = false;
};

struct IconEntry {
  QIcon (*pfnCreate)() = nullptr;
  QIcon icon;
  bool bLoaded = false;
};

// std::map keeps element addresses stable, so the HICON handed out stays valid until the
// toolkit goes away.
std::map<UINT, IconEntry>& Icons() {
  static std::map<UINT, IconEntry> icons;
  return icons;
}

// Pixmaps must not outlive the toolkit; the handles are useless afterwards anyway.
void ForgetLoadedIcons() {
  for (auto& [nID, entry] : Icons()) {
    entry.icon = QIcon();
    entry.bLoaded = false;
  }
}

QString ToQString(const std::string& str) {
  return QString::fromUtf8(str.data(), qsizetype(str.size()));
}

std::string ToStdString(const QString& str) { return str.toUtf8().toStdString(); }

// A static shows "\r\n" as a line break; the label keeps the text as given so that reading it
// back returns the same bytes.
const char* const kRawTextProperty = "rawText";

}  // namespace

void AfxRegisterIcon(UINT nID, QIcon (*pfnCreate)()) {
  IconEntry& entry = Icons()[nID];
  entry.pfnCreate = pfnCreate;
  if (entry.bLoaded)
    entry.icon = pfnCreate ? QIcon(new CDeferredIconEngine(pfnCreate)) : QIcon();
}

HICON AfxLoadIcon(UINT nID) {
  auto it = Icons().find(nID);
  if (it == Icons().end() || !it->second.pfnCreate ||
      !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    return nullptr;
  IconEntry& entry = it->second;
  if (!entry.bLoaded) {
    static bool bCleanupRegistered = false;
    if (!bCleanupRegistered) {
      qAddPostRoutine(ForgetLoadedIcons);
      bCleanupRegistered = true;
    }
    entry.icon = QIcon(new CDeferredIconEngine(entry.pfnCreate));
    entry.bLoaded = true;
  }
  return &entry.icon;
}

QWidget* CWnd::GetDlgItem(int nID) const {
  if (!m_hWnd)
    return nullptr;
  // Direct children only: a nested dialog is a child widget of its owner and may use the same IDs.
  const auto children = m_hWnd->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  for (QWidget* pChild : children) {
    const QVariant id = pChild->property("ctrlId");
    if (id.isValid() && id.toInt() == nID)
      return pChild;
  }
  return nullptr;
}

void CWnd::SetDlgItemText(int nID, const std::string& strText) {
  QWidget* pItem = GetDlgItem(nID);
  const QString text = ToQString(strText);
  if (auto* pLabel = qobject_cast<QLabel*>(pItem)) {
    pLabel->setProperty(kRawTextProperty, text);
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    pLabel->setText(shown);
  } else if (auto* pEdit = qobject_cast<QLineEdit*>(pItem)) {
    pEdit->setText(text);
  } else if (auto* pButton = qobject_cast<QAbstractButton*>(pItem)) {
    pButton->setText(text);
  } else if (auto* pGroup = qobject_cast<QGroupBox*>(pItem)) {
    pGroup->setTitle(text);
  }
}

std::string CWnd::GetDlgItemText(int nID) const {
  QWidget* pItem = GetDlgItem(nID);
  if (auto* pLabel = qobject_cast<QLabel*>(pItem)) {
    const QString raw = pLabel->property(kRawTextProperty).toString();
    QString shown = raw;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return ToStdString(shown == pLabel->text() ? raw : pLabel->text());
  }
  if (auto* pEdit = qobject_cast<QLineEdit*>(pItem))
    return ToStdString(pEdit->text());
  if (auto* pButton = qobject_cast<QAbstractButton*>(pItem))
    return ToStdString(pButton->text());
  if (auto* pGroup = qobject_cast<QGroupBox*>(pItem))
    return ToStdString(pGroup->title());
  return std::string();
}

void CWnd::SetWindowText(const std::string& strText) {
  if (m_hWnd)
    m_hWnd->setWindowTitle(ToQString(strText));
}

std::string CWnd::GetWindowText() const {
  return m_hWnd ? ToStdString(m_hWnd->windowTitle()) : std::string();
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
