#include "SimIcon.h"

#include "IconRegistry.h"

#include <QLinearGradient>
#include <QPainter>

namespace {

void DrawSimIcon(QPainter& dc, double rPen) {
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
}

}  // namespace

QIcon CreateSimIcon() { return AfxDrawIcon(DrawSimIcon); }
