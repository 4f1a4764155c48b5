#include "SimIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

namespace {

QPixmap DrawSimIcon(int nSize) {
  QPixmap pixmap(nSize, nSize);
  pixmap.fill(Qt::transparent);
  QPainter dc(&pixmap);
  dc.setRenderHint(QPainter::Antialiasing);
  dc.scale(nSize / 32.0, nSize / 32.0);  // drawn on a 32 x 32 grid
  // Small sizes get relatively thicker outlines so the shapes survive the scaling.
  const qreal rPen = nSize <= 16 ? 1.6 : nSize <= 32 ? 1.0 : 0.7;

  // The device's case.
  QLinearGradient body(0, 10, 0, 30);
  body.setColorAt(0.0, QColor(176, 184, 196));
  body.setColorAt(1.0, QColor(112, 122, 138));
  dc.setPen(QPen(QColor(40, 48, 60), rPen));
  dc.setBrush(body);
  dc.drawRoundedRect(QRectF(2, 11, 28, 18), 2.5, 2.5);

  // Its display, green as such panels are.
  dc.setBrush(QColor(60, 200, 110));
  dc.drawRoundedRect(QRectF(5, 14, 13, 7), 1, 1);

  // Two network jacks: the communication and the control port.
  dc.setBrush(QColor(30, 34, 40));
  dc.drawRect(QRectF(20.5, 14.5, 3.5, 4));
  dc.drawRect(QRectF(25.5, 14.5, 3.5, 4));
  dc.setPen(Qt::NoPen);
  dc.setBrush(QColor(255, 190, 40));
  dc.drawEllipse(QRectF(21.3, 23, 2, 2));  // link lamp

  // A coin going in at the top.
  dc.setPen(QPen(QColor(120, 78, 0), rPen));
  QLinearGradient face(10, 1, 20, 11);
  face.setColorAt(0.0, QColor(255, 236, 140));
  face.setColorAt(1.0, QColor(230, 170, 30));
  dc.setBrush(face);
  dc.drawEllipse(QRectF(10, 1, 10, 10));
  return pixmap;
}

}  // namespace

QIcon CreateSimIcon() {
  QIcon icon;
  for (int nSize : {16, 32, 48, 256})
    icon.addPixmap(DrawSimIcon(nSize));
  return icon;
}
