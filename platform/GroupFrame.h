// A group box as dialog templates assume it: the frame's top line runs through the middle of the
// caption, and the caption stands in a gap of that line.
#pragma once

#include <QGroupBox>

class QFontMetrics;

class CGroupFrame final : public QGroupBox {
public:
  CGroupFrame(const QString& strTitle, QWidget* pParent);

  /// The caption's gap in the top line, in the frame's coordinates: at the left or centred, as
  /// the alignment says; empty without a caption.
  QRect CaptionRect() const;
  /// @returns the width that a frame needs to show strTitle whole, in pixels.
  static int NeededWidth(const QFontMetrics& metrics, const QString& strTitle);

protected:
  void paintEvent(QPaintEvent* pEvent) override;
};
