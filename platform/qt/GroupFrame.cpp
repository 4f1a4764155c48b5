#include "GroupFrame.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace {

// Pixels: where a left caption starts, and the blank on either side of its text.
constexpr int kIndent = 6;
constexpr int kGap = 2;

}  // namespace

CGroupFrame::CGroupFrame(const QString& strTitle, bool bCentred, QWidget* pParent)
    : QWidget(pParent), m_strTitle(strTitle), m_bCentred(bCentred) {
  // A frame only: clicks go to what lies inside it.
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CGroupFrame::setTitle(const QString& strTitle) {
  m_strTitle = strTitle;
  update();
}

QRect CGroupFrame::CaptionRect() const {
  if (m_strTitle.isEmpty())
    return QRect();
  const QFontMetrics metrics = fontMetrics();
  const int cx = metrics.horizontalAdvance(m_strTitle) + 2 * kGap;
  const int x = m_bCentred ? (width() - cx) / 2 : kIndent;
  return QRect(x, 0, cx, metrics.height());
}

int CGroupFrame::NeededWidth(const QFontMetrics& metrics, const QString& strTitle) {
  return strTitle.isEmpty() ? 0 : metrics.horizontalAdvance(strTitle) + 2 * (kGap + kIndent);
}

void CGroupFrame::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  // The top line lies halfway down the caption's height, with or without a caption.
  const int yTop = fontMetrics().height() / 2;
  const QRect frame(0, yTop, width() - 2, height() - yTop - 2);
  // Etched: a shadow line with a highlight one pixel to the right and below.
  dc.setPen(palette().color(QPalette::Dark));
  dc.drawRect(frame);
  dc.setPen(palette().color(QPalette::Light));
  dc.drawRect(frame.translated(1, 1));

  const QRect caption = CaptionRect();
  if (caption.isEmpty())
    return;
  // The caption's own background, over this frame's line and any other frame's line below it.
  dc.fillRect(caption, palette().color(QPalette::Window));
  style()->drawItemText(&dc, caption, Qt::AlignCenter, palette(), isEnabled(), m_strTitle,
                        QPalette::WindowText);
}
