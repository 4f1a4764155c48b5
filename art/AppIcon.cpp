#include "AppIcon.h"
#include "AppIconArt.h"

#include "IconRegistry.h"
#include "Resource.h"

#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// One coin seen slightly from above: a golden rim (the coin's edge) under a lighter face.
// rcFace is the face ellipse; rThickness is the edge height in pixels below it.
void DrawCoin(QPainter& dc, const QRectF& rcFace, qreal rThickness, qreal rPen) {
  const QColor clrOutline(120, 78, 0);
  QPainterPath edge;
  edge.moveTo(rcFace.left(), rcFace.center().y());
  edge.arcTo(rcFace.translated(0, rThickness), 180, 180);
  edge.lineTo(rcFace.right(), rcFace.center().y());
  edge.arcTo(rcFace, 0, -180);
  edge.closeSubpath();
  dc.setPen(QPen(clrOutline, rPen));
  dc.setBrush(QColor(196, 134, 16));
  dc.drawPath(edge);

  QLinearGradient face(rcFace.topLeft(), rcFace.bottomRight());
  face.setColorAt(0.0, QColor(255, 236, 140));
  face.setColorAt(1.0, QColor(230, 170, 30));
  dc.setBrush(face);
  dc.drawEllipse(rcFace);
}

void DrawAppIcon(QPainter& dc, double rPen) {
  // Changer front plate with its coin slot.
  dc.setPen(QPen(QColor(40, 48, 60), rPen));
  dc.setBrush(QColor(92, 108, 130));
  dc.drawRoundedRect(QRectF(17, 2, 13, 20), 2, 2);
  dc.setPen(Qt::NoPen);
  dc.setBrush(QColor(20, 20, 24));
  dc.drawRoundedRect(QRectF(22.5, 5, 2.5, 13), 1, 1);

  // Stack of four coins, bottom first so each one covers the edge of the one below.
  const qreal rThickness = 3.0;
  for (int n = 0; n < 4; ++n)
    DrawCoin(dc, QRectF(2, 21.5 - n * 4.5, 20, 6.5), rThickness, rPen);
}

}  // namespace

QIcon CreateAppIcon() { return AfxDrawIcon(DrawAppIcon); }

void RegisterAppIcon() {
  static const bool bRegistered = (AfxRegisterIcon(IDR_MAINFRAME, CreateAppIcon), true);
  (void)bRegistered;
}
