// A group box as dialog templates assume it: the frame's top line runs through the middle of the
// caption, and the caption stands in a gap of that line.
#pragma once

#include <QWidget>

class QFontMetrics;

class CGroupFrame final : public QWidget {
public:
  /// bCentred: the caption stands in the middle of the top line, else near its left end.
  CGroupFrame(const QString& strTitle, bool bCentred, QWidget* pParent);

  // Named as the toolkit's own group box names them.
  QString title() const { return m_strTitle; }
  void setTitle(const QString& strTitle);
  Qt::Alignment alignment() const { return m_bCentred ? Qt::AlignHCenter : Qt::AlignLeft; }

  /// @returns the width that a frame needs to show strTitle whole, in pixels.
  static int NeededWidth(const QFontMetrics& metrics, const QString& strTitle);

protected:
  void paintEvent(QPaintEvent* pEvent) override;

private:
  /// The caption's gap in the top line, in the frame's coordinates; empty without a caption.
  QRect CaptionRect() const;

  QString m_strTitle;
  bool m_bCentred;
};
