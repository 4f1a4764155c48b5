#include "IconRegistry.h"

#include "QtPlatform.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

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
  return ToHicon(&entry.icon);
}

QIcon AfxDrawIcon(void (*pfnDraw)(QPainter& dc, double rPen)) {
  QIcon icon;
  for (int nSize : {16, 32, 48, 256}) {
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(Qt::transparent);
    QPainter dc(&pixmap);
    dc.setRenderHint(QPainter::Antialiasing);
    dc.scale(nSize / 32.0, nSize / 32.0);
    // Small sizes get relatively thicker outlines so the shapes survive the scaling.
    pfnDraw(dc, nSize <= 16 ? 1.6 : nSize <= 32 ? 1.0 : 0.7);
    dc.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}
