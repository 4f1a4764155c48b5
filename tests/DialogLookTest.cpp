// Every operator window as it is drawn: no frame line through any text, a group's caption on its
// frame's top line, one font in a window, every text whole. Judged from rendered pixels and the
// toolkit's own text metrics. With MINTORA_SCREENSHOT_DIR set, each window is saved there as
// dialog-<number>.png.
#include "AboutDlg.h"
#include "AcceptorControlDlg.h"
#include "AcceptorIdentDlg.h"
#include "AcceptorSetupDlg.h"
#include "ConnectionDlg.h"
#include "ControlText.h"
#include "GroupFrame.h"
#include "PriceDlg.h"
#include "QtPlatform.h"
#include "TestSupport.h"
#include "TubeStatusDlg.h"
#include "VendingPanelDlg.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using testing_support::CTempConfig;
using testing_support::CTestApp;

struct DialogCase {
  const char* pszName;
  std::function<std::unique_ptr<CDialog>()> create;
};

template <typename Dlg>
std::function<std::unique_ptr<CDialog>()> Make() {
  return [] { return std::make_unique<Dlg>(); };
}

const DialogCase kDialogs[] = {
    {"Panel", Make<CVendingPanelDlg>()},
    {"Prices", Make<CPriceDlg>()},
    {"Connection", Make<CConnectionDlg>()},
    {"About", Make<CAboutDlg>()},
    {"AcceptorControl", Make<CAcceptorControlDlg>()},
    {"AcceptorSetup", Make<CAcceptorSetupDlg>()},
    {"AcceptorIdent", Make<CAcceptorIdentDlg>()},
    {"TubeStatus", Make<CTubeStatusDlg>()},
};

void PrintTo(const DialogCase& dlgCase, std::ostream* pOut) { *pOut << dlgCase.pszName; }

std::vector<QWidget*> Children(QWidget* pWindow) {
  const auto children = pWindow->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  return {children.begin(), children.end()};
}

QString Describe(const QWidget* pItem) {
  const QString strText = GetControlText(pItem);
  return strText.isEmpty() ? pItem->objectName() : strText;
}

/// The window as drawn, optionally with every text in a transparent colour and with only the
/// widgets that pShown accepts.
QImage Render(QWidget* pWindow, bool bTexts, const std::function<bool(QWidget*)>& pShown) {
  const QPalette original = pWindow->palette();
  std::vector<QWidget*> hidden;
  for (QWidget* pChild : Children(pWindow)) {
    if (pChild->isVisible() && !pShown(pChild)) {
      pChild->hide();
      hidden.push_back(pChild);
    }
  }
  if (!bTexts) {
    QPalette palette = original;
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      palette.setColor(role, Qt::transparent);
    pWindow->setPalette(palette);
  }
  const QImage image = pWindow->grab().toImage().convertToFormat(QImage::Format_RGB32);
  pWindow->setPalette(original);
  for (QWidget* pChild : hidden)
    pChild->show();
  return image;
}

/// The box of the pixels within rc that differ between a and b; empty when there are none. rc and
/// the box are in the window's logical pixels; the images hold devicePixelRatio device pixels to
/// each of them (2 at QT_SCALE_FACTOR=2), and a logical pixel counts when any of its own differs.
QRect Difference(const QImage& a, const QImage& b, const QRect& rc) {
  const qreal dpr = a.devicePixelRatio();
  QRect box;
  const QRect area = QRect(rc.topLeft() * dpr, rc.size() * dpr) & a.rect();
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y))
        box |= QRect(x, y, 1, 1);
  if (box.isEmpty())
    return box;
  const auto Logical = [dpr](int n) { return static_cast<int>(std::floor(n / dpr)); };
  return QRect(QPoint(Logical(box.left()), Logical(box.top())),
               QPoint(Logical(box.right()), Logical(box.bottom())));
}

bool IsGroup(QWidget* pItem) { return dynamic_cast<CGroupFrame*>(pItem) != nullptr; }

/// The ink of a group's caption, in window coordinates: what its text adds to the group alone.
QRect CaptionInk(QWidget* pWindow, QWidget* pGroup) {
  const auto alone = [pGroup](QWidget* pChild) { return pChild == pGroup; };
  return Difference(Render(pWindow, true, alone), Render(pWindow, false, alone),
                    pGroup->geometry());
}

class DialogLook : public ::testing::TestWithParam<DialogCase> {
protected:
  /// Runs the dialog of the case; fn looks at its window once it is shown.
  void Inspect(const std::function<void(QWidget*)>& fn) {
    std::unique_ptr<CDialog> pDlg = GetParam().create();
    CDialog::SetShownHook([&](CDialog& shown) {
      if (&shown != pDlg.get())
        return;
      fn(QtWidget(shown.GetSafeHwnd()));
      shown.EndDialog(IDCANCEL);
    });
    pDlg->DoModal();
    CDialog::SetShownHook({});
  }

  CTempConfig m_config;
  CTestApp m_app;
};

TEST_P(DialogLook, NoFrameLineCrossesAnyText) {
  Inspect([](QWidget* pWindow) {
    if (const QString strDir = qEnvironmentVariable("MINTORA_SCREENSHOT_DIR"); !strDir.isEmpty())
      pWindow->grab().save(strDir + "/" + pWindow->objectName().replace("dlg_", "dialog-") +
                           ".png");
    const auto all = [](QWidget*) { return true; };
    const auto noFrames = [](QWidget* pChild) { return !IsGroup(pChild); };
    const QImage framed = Render(pWindow, false, all);
    const QImage bare = Render(pWindow, false, noFrames);
    for (QWidget* pItem : Children(pWindow)) {
      QRect box;
      if (IsGroup(pItem))
        box = CaptionInk(pWindow, pItem);
      else if (auto* pLabel = qobject_cast<QLabel*>(pItem); !pLabel || pLabel->pixmap().isNull())
        box = pItem->geometry();  // anything but an icon shows text
      EXPECT_TRUE(Difference(framed, bare, box).isEmpty())
          << "a group frame draws over \"" << Describe(pItem).toStdString() << "\"";
    }
  });
}

TEST_P(DialogLook, CaptionStandsInAGapOfTheTopLineAtItsMiddle) {
  Inspect([](QWidget* pWindow) {
    for (QWidget* pGroup : Children(pWindow)) {
      if (!IsGroup(pGroup) || static_cast<CGroupFrame*>(pGroup)->title().isEmpty())
        continue;
      const std::string strCaption = Describe(pGroup).toStdString();
      const QRect ink = CaptionInk(pWindow, pGroup);
      ASSERT_FALSE(ink.isEmpty()) << strCaption;
      // The top line, found along a column just inside the left edge.
      const auto alone = [pGroup](QWidget* pChild) { return pChild == pGroup; };
      const QImage frame = Render(pWindow, false, alone);
      const QImage empty = Render(pWindow, false, [](QWidget*) { return false; });
      const QRect rc = pGroup->geometry();
      const QRect line = Difference(frame, empty, QRect(rc.left() + 3, rc.top(), 1, rc.height()));
      ASSERT_FALSE(line.isEmpty()) << strCaption;
      EXPECT_NEAR(line.top(), (ink.top() + ink.bottom()) / 2.0, 2.0) << strCaption;
      // The line stops short of the caption on both sides.
      EXPECT_TRUE(
          Difference(frame, empty, QRect(ink.left() - 1, line.top(), ink.width() + 2, 2)).isEmpty())
          << strCaption;
      const bool bCentred = static_cast<CGroupFrame*>(pGroup)->alignment() & Qt::AlignHCenter;
      if (bCentred)
        EXPECT_NEAR(ink.center().x(), rc.center().x(), 2) << strCaption;
      else
        EXPECT_LT(ink.left() - rc.left(), rc.width() / 10) << strCaption;
    }
  });
}

TEST_P(DialogLook, OneFontAndEveryTextWhole) {
  Inspect([](QWidget* pWindow) {
    const QFont font = pWindow->font();
    for (QWidget* pItem : Children(pWindow)) {
      const std::string strText = Describe(pItem).toStdString();
      EXPECT_EQ(pItem->font().pixelSize(), font.pixelSize()) << strText;
      EXPECT_EQ(QFontInfo(pItem->font()).family(), QFontInfo(font).family()) << strText;

      const QFontMetrics metrics = pItem->fontMetrics();
      const QStyle* pStyle = pItem->style();
      QRect room;
      if (auto* pLabel = qobject_cast<QLabel*>(pItem); pLabel && pLabel->wordWrap()) {
        const QRect text =
            metrics.boundingRect(pLabel->contentsRect(), Qt::TextWordWrap, pLabel->text());
        EXPECT_LE(text.height(), pLabel->contentsRect().height()) << strText;
        continue;
      } else if (pLabel) {
        room = pLabel->contentsRect();
      } else if (auto* pBox = qobject_cast<QCheckBox*>(pItem)) {
        QStyleOptionButton option;
        option.initFrom(pBox);
        option.text = pBox->text();
        room = pStyle->subElementRect(QStyle::SE_CheckBoxContents, &option, pBox);
      } else if (auto* pButton = qobject_cast<QPushButton*>(pItem)) {
        QStyleOptionButton option;
        option.initFrom(pButton);
        room = pStyle->subElementRect(QStyle::SE_PushButtonContents, &option, pButton);
      } else if (IsGroup(pItem)) {
        const QRect ink = CaptionInk(pWindow, pItem);
        EXPECT_TRUE(ink.isEmpty() || pItem->geometry().adjusted(2, 0, -2, 0).contains(ink))
            << strText;
        continue;
      } else {
        continue;
      }
      EXPECT_LE(metrics.horizontalAdvance(Describe(pItem)), room.width()) << strText;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(EveryWindow, DialogLook, ::testing::ValuesIn(kDialogs),
                         [](const auto& info) { return std::string(info.param.pszName); });

std::vector<std::string> FontFiles(FcConfig* pConfig) {
  std::vector<std::string> files;
  if (FcFontSet* pSet = FcConfigGetFonts(pConfig, FcSetSystem)) {
    for (int i = 0; i < pSet->nfont; ++i) {
      FcChar8* pszFile = nullptr;
      if (FcPatternGetString(pSet->fonts[i], FC_FILE, 0, &pszFile) == FcResultMatch)
        files.emplace_back(reinterpret_cast<const char*>(pszFile));
    }
  }
  return files;
}

/// The font that pszPattern finds, with every property that the configuration's rules set on
/// it (hinting, antialiasing, sub-pixel order ...), as text.
std::string MatchedFont(FcConfig* pConfig, const char* pszPattern) {
  FcPattern* pPattern = FcNameParse(reinterpret_cast<const FcChar8*>(pszPattern));
  FcConfigSubstitute(pConfig, pPattern, FcMatchPattern);
  FcDefaultSubstitute(pPattern);
  FcResult result = FcResultNoMatch;
  FcPattern* pMatch = FcFontMatch(pConfig, pPattern, &result);
  std::string strMatch;
  if (pMatch) {
    FcChar8* pszText = FcNameUnparse(pMatch);
    strMatch = reinterpret_cast<const char*>(pszText);
    FcStrFree(pszText);
    FcPatternDestroy(pMatch);
  }
  FcPatternDestroy(pPattern);
  return strMatch;
}

// The program reads the font configuration ahead of its first window, its own way: the fonts
// and the rules it ends up with are those of the library's own loader.
TEST(FontConfiguration, TheProgramsReadHasTheLibrarysFontsAndRules) {
  FcConfig* pLibrarys = FcInitLoadConfigAndFonts();
  ASSERT_NE(pLibrarys, nullptr);
  LoadFontConfiguration();
  FcConfig* pCurrent = FcConfigGetCurrent();
  ASSERT_NE(pCurrent, pLibrarys);
  EXPECT_FALSE(FontFiles(pLibrarys).empty());
  EXPECT_EQ(FontFiles(pCurrent), FontFiles(pLibrarys));
  for (const char* pszPattern :
       {"MS Sans Serif:pixelsize=11", "sans-serif:pixelsize=11", "serif:bold", "monospace:lang=ja"})
    EXPECT_EQ(MatchedFont(pCurrent, pszPattern), MatchedFont(pLibrarys, pszPattern)) << pszPattern;
  FcConfigDestroy(pLibrarys);
}

}  // namespace
