#include "DialogLayout.h"

#include "GroupFrame.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>

#include <cstdint>

namespace {

constexpr int kSmallestPixels = 8;

/// Windows' MulDiv for the non-negative values of a template: a * b / c rounded to nearest.
int MulDiv(int a, int b, int c) {
  const std::int64_t n = std::int64_t(a) * b;
  return static_cast<int>(n >= 0 ? (2 * n + c) / (2 * c) : -((-2 * n + c) / (2 * c)));
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

/// @returns true when the text of pItem, drawn with metrics, shows whole in the size of rc.
bool TextFits(const QWidget* pItem, const QRect& rc, const QFontMetrics& metrics) {
  const QStyle* pStyle = pItem->style();
  if (auto* pLabel = qobject_cast<const QLabel*>(pItem)) {
    const int nFrame = 2 * (pLabel->frameWidth() + pLabel->margin());
    if (!pLabel->wordWrap())
      return metrics.horizontalAdvance(pLabel->text()) + nFrame <= rc.width();
    const QRect text = metrics.boundingRect(QRect(0, 0, rc.width() - nFrame, 0xFFFF),
                                            Qt::TextWordWrap | pLabel->alignment(), pLabel->text());
    return text.width() + nFrame <= rc.width() && text.height() + nFrame <= rc.height();
  }
  if (auto* pBox = qobject_cast<const QCheckBox*>(pItem)) {
    return pStyle->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, pBox) +
               pStyle->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, pBox) +
               metrics.horizontalAdvance(pBox->text()) <=
           rc.width();
  }
  if (auto* pButton = qobject_cast<const QPushButton*>(pItem)) {
    return metrics.horizontalAdvance(pButton->text()) +
               2 * pStyle->pixelMetric(QStyle::PM_ButtonMargin, nullptr, pButton) <=
           rc.width();
  }
  if (auto* pGroup = dynamic_cast<const CGroupFrame*>(pItem))
    return CGroupFrame::NeededWidth(metrics, pGroup->title()) <= rc.width();
  return true;  // edits scroll; icons have no text
}

/// The largest pixel size, from font's own down to kSmallestPixels, at which every text fits.
int FittedPixelSize(QFont font, const std::vector<QWidget*>& controls,
                    const std::vector<QRect>& rects) {
  int nPixels = font.pixelSize();
  for (; nPixels > kSmallestPixels; --nPixels) {
    font.setPixelSize(nPixels);
    const QFontMetrics metrics(font);
    bool bAllFit = true;
    for (size_t i = 0; i < controls.size() && bAllFit; ++i)
      bAllFit = TextFits(controls[i], rects[i], metrics);
    if (bAllFit)
      break;
  }
  return nPixels;
}

}  // namespace

void LayoutDialog(const DialogTemplate& dlgTemplate, QWidget* pWindow,
                  const std::vector<QWidget*>& controls, QMenuBar* pMenuBar) {
  QFont font = pWindow->font();
  const BaseUnits units = MeasureBaseUnits(font);
  const auto toX = [&](int n) { return MulDiv(n, units.x, 4); };
  const auto toY = [&](int n) { return MulDiv(n, units.y, 8); };

  std::vector<QRect> rects;
  for (size_t i = 0; i < controls.size(); ++i) {
    const DialogControl& ctrl = dlgTemplate.controls[i];
    rects.emplace_back(toX(ctrl.x), toY(ctrl.y), toX(ctrl.cx), toY(ctrl.cy));
    // A one-line static keeps its line whole rather than wrapping out of sight.
    if (auto* pLabel = qobject_cast<QLabel*>(controls[i]);
        pLabel && ctrl.kind == ControlKind::Static)
      pLabel->setWordWrap(pLabel->text().contains(QLatin1Char('\n')) ||
                          rects.back().height() >= 2 * units.y);
  }
  font.setPixelSize(FittedPixelSize(font, controls, rects));
  pWindow->setFont(font);

  const int cxClient = toX(dlgTemplate.cx);
  int nTop = 0;
  if (pMenuBar) {
    nTop = pMenuBar->sizeHint().height();
    pMenuBar->setGeometry(0, 0, cxClient, nTop);
  }
  pWindow->setFixedSize(cxClient, nTop + toY(dlgTemplate.cy));
  for (size_t i = 0; i < controls.size(); ++i) {
    controls[i]->setGeometry(rects[i].translated(0, nTop));
    // An icon static takes the icon's size, whatever the template says.
    if (dlgTemplate.controls[i].kind == ControlKind::Icon)
      controls[i]->resize(32, 32);
  }
}
