// Modal dialogs built from templates: layout, controls by ID, routing, closing, data exchange.
#include "Dialog.h"
#include "GroupFrame.h"
#include "IconRegistry.h"
#include "QtPlatform.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace testing_support;

namespace {

using namespace ControlStyle;
using enum ControlKind;

constexpr int IDC_NAME = 1001;
constexpr int IDC_PORT = 1002;
constexpr int IDC_TICK = 1003;
constexpr int IDC_CUSTOM = 1004;   // handled by the dialog; also its default push button
constexpr int IDC_FOREIGN = 1005;  // handled by nobody but the application
constexpr int IDC_NOTE = 1006;
constexpr int IDC_LOGO = 1007;
constexpr int IDC_PORT2 = 1008;
constexpr int IDC_PLAIN = 1009;  // edit without tab stop
constexpr int IDC_LONG = 1010;
constexpr UINT IDI_TEST = 4242;

constexpr unsigned kStyle = DialogStyle::Caption | DialogStyle::SysMenu | DialogStyle::ModalFrame;

const DialogTemplate kFormTemplate{
    900,
    "Test form...",
    160,
    100,
    "MS Sans Serif",
    8,
    nullptr,
    kStyle,
    {
        {IDOK, PushButton, "OK", 10, 80, 40, 14, TabStop},
        {IDCANCEL, PushButton, "Cancel", 55, 80, 40, 14, TabStop},
        {IDC_STATIC, GroupBox, "Frame", 3, 0, 154, 76, Center},
        {IDC_NAME, Edit, "from template", 60, 10, 40, 12, Right | Border | TabStop},
        {IDC_PORT, Edit, nullptr, 60, 26, 80, 24, Left | Border | TabStop},
        {IDC_TICK, CheckBox, "Tick me:", 10, 62, 70, 10, LeftText | TabStop},
        {IDC_CUSTOM, DefPushButton, "Custom", 100, 80, 25, 14, TabStop},
        {IDC_FOREIGN, PushButton, "Foreign", 128, 80, 28, 14, TabStop},
        {IDC_STATIC, Static, "Name:", 10, 12, 45, 8, Right},
        {IDC_NOTE, Static, "line one\r\nline two", 10, 26, 45, 20, Center | Sunken},
        {IDC_LOGO, Icon, nullptr, 130, 8, 20, 20, 0, IDI_TEST},
        {IDC_PORT2, Edit, nullptr, 90, 62, 40, 12, Right | Border | TabStop},
        {IDC_PLAIN, Edit, nullptr, 132, 62, 20, 12, Border},
    }};

const MenuTemplate kMenu{
    950,
    {
        {"&File", {{"Exit\tAlt+F4", ID_APP_EXIT}}},
        {"&Tools", {{"&Custom", IDC_CUSTOM}, {nullptr, 0}, {"&Foreign", IDC_FOREIGN}}},
    }};

// One static covering the whole client area, under a menu; no default push button.
const DialogTemplate kMenuTemplate{
    901,
    "With menu",
    150,
    60,
    "MS Sans Serif",
    8,
    &kMenu,
    kStyle | DialogStyle::MinimizeBox | DialogStyle::AppWindow,
    {
        {IDOK, PushButton, "OK", 10, 40, 40, 14, TabStop},
        {IDC_STATIC, Static, nullptr, 0, 0, 150, 60, Left},
        {IDC_LONG, Static, "Remote device communication port number:", 0, 20, 139, 8, Right},
    }};

QIcon TestIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::red);
  return QIcon(pixmap);
}

/// Counts what the framework calls, and binds a name, two ports and a check box.
class CFormDlg : public CDialog {
public:
  explicit CFormDlg(const DialogTemplate& dlgTemplate = kFormTemplate, CWnd* pParent = nullptr)
      : CDialog(dlgTemplate, pParent) {}

  bool OnCommand(UINT nID) override {
    if (nID == IDC_CUSTOM) {
      ++m_nCustom;
      return true;
    }
    return CDialog::OnCommand(nID);
  }
  bool OnInitDialog() override {
    ++m_nInit;
    const bool bResult = CDialog::OnInitDialog();
    if (m_nEndInInit)
      EndDialog(m_nEndInInit);
    return bResult;
  }
  void OnDestroy() override {
    ++m_nDestroyed;
    m_strNameAtDestroy = GetDlgItemText(IDC_NAME);
    m_bEditAttachedAtDestroy = QtWidget(m_editName.m_hWnd) != nullptr;
    if (m_pDestroyLog)
      m_pDestroyLog->push_back(GetTemplate().pszCaption);
  }
  void OnPaint(CDC& dc) override {
    ++m_nPaint;
    m_bPainterOnWindow = dynamic_cast<CQtPaintDC&>(dc).m_painter.device() == QtWidget(m_hWnd);
  }
  void OnClose() override {
    ++m_nClose;
    if (!m_bIgnoreClose)
      CDialog::OnClose();
  }
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, IDC_NAME, m_editName);
    if (m_bBindFields) {
      DDX_Text(pDX, IDC_NAME, m_strName);
      DDX_Text(pDX, IDC_PORT, m_dwPort);
      DDX_Text(pDX, IDC_PORT2, m_dwPort2);
      DDX_Check(pDX, IDC_TICK, m_bTick);
    }
  }

  std::string m_strName = "alpha";
  DWORD m_dwPort = 4003;
  DWORD m_dwPort2 = 4001;
  int m_bTick = 0;
  bool m_bBindFields = true;
  CEdit m_editName;

  int m_nCustom = 0;
  int m_nInit = 0;
  int m_nDestroyed = 0;
  int m_nClose = 0;
  int m_nPaint = 0;
  bool m_bPainterOnWindow = false;
  int m_nEndInInit = 0;
  bool m_bIgnoreClose = false;
  std::string m_strNameAtDestroy;
  bool m_bEditAttachedAtDestroy = false;
  std::vector<std::string>* m_pDestroyLog = nullptr;
};

/// Records the commands that reach the application object.
class CRecordingApp : public CWinApp {
public:
  CRecordingApp() : CWinApp("Mintora") {}
  bool OnCmdMsg(UINT nID) override {
    m_commands.push_back(nID);
    return true;
  }
  std::vector<UINT> m_commands;
};

class Dialogs : public AppFixture<CRecordingApp> {
protected:
  void SetUp() override {
    AfxRegisterIcon(IDI_TEST, TestIcon);
    m_answers.SetLeftOpen(CDialogAnswers::ELeftOpen::Fails);
  }
  void TearDown() override { EXPECT_EQ(CDialog::GetTopModal(), nullptr); }

  /// Runs dlg modally; fn drives it once it is shown and must end it.
  INT_PTR Run(CDialog& dlg, const DialogAnswer& fn) { return m_answers.Run(dlg, fn); }

  static void Focus(CDialog& dlg, int nID) {
    QtWidget(dlg.GetDlgItem(nID))->setFocus(Qt::OtherFocusReason);
  }

  static QWidget* Focused(CDialog& dlg) { return QtWidget(dlg.m_hWnd)->focusWidget(); }
};

// ---------------------------------------------------------------------------------------------

TEST_F(Dialogs, LayoutFollowsDialogUnits) {
  CFormDlg dlg(kFormTemplate);
  Run(dlg, [](CDialog& d) {
    const QRect name = QtWidget(d.GetDlgItem(IDC_NAME))->geometry();  // 40 x 12 units at 60, 10
    const QRect port = QtWidget(d.GetDlgItem(IDC_PORT))->geometry();  // 80 x 24 units at 60, 26
    EXPECT_EQ(name.x(), port.x());
    EXPECT_NEAR(port.width(), 2 * name.width(), 1);
    EXPECT_NEAR(port.height(), 2 * name.height(), 1);
    // 16 vertical units between the two tops: 4/3 of the name box's 12.
    EXPECT_NEAR(port.y() - name.y(), name.height() * 4 / 3, 1);

    // An 8-point sans: four horizontal units are one average character, 5 to 8 pixels.
    EXPECT_GE(QtWidget(d.m_hWnd)->width(), 160 * 5 / 4);
    EXPECT_LE(QtWidget(d.m_hWnd)->width(), 160 * 8 / 4);
    EXPECT_GE(name.height(), 12 * 10 / 8);
    EXPECT_LE(name.height(), 12 * 16 / 8);
    d.EndDialog(IDOK);
  });
}

TEST_F(Dialogs, ClientAreaIsTheTemplateSizeBelowTheMenu) {
  CFormDlg dlg(kMenuTemplate);
  dlg.m_bBindFields = false;
  Run(dlg, [](CDialog& d) {
    auto* pMenuBar = QtWidget(d.m_hWnd)->findChild<QMenuBar*>();
    ASSERT_NE(pMenuBar, nullptr);
    const QRect whole = QtWidget(d.GetDlgItem(IDC_STATIC))->geometry();  // covers 0, 0, cx, cy
    EXPECT_EQ(whole.x(), 0);
    EXPECT_EQ(whole.y(), pMenuBar->height());
    EXPECT_EQ(whole.width(), QtWidget(d.m_hWnd)->width());
    EXPECT_EQ(whole.y() + whole.height(), QtWidget(d.m_hWnd)->height());
    EXPECT_EQ(pMenuBar->geometry(), QRect(0, 0, QtWidget(d.m_hWnd)->width(), pMenuBar->height()));

    // A label sized for the original face still shows its whole text in the substitute.
    auto* pLong = qobject_cast<QLabel*>(QtWidget(d.GetDlgItem(IDC_LONG)));
    ASSERT_NE(pLong, nullptr);
    EXPECT_LE(QFontMetrics(pLong->font()).horizontalAdvance(pLong->text()), pLong->width());
    EXPECT_GE(pLong->font().pixelSize(), 8);
    d.EndDialog(IDOK);
  });
}

TEST_F(Dialogs, ControlsAreFoundByIdWithTheirKindAndText) {
  CFormDlg dlg;
  Run(dlg, [](CDialog& d) {
    EXPECT_EQ(QtWidget(d.m_hWnd)->windowTitle(), "Test form...");
    EXPECT_EQ(QtWidget(d.m_hWnd)->objectName(), "dlg_900");

    auto* pName = qobject_cast<QLineEdit*>(QtWidget(d.GetDlgItem(IDC_NAME)));
    ASSERT_NE(pName, nullptr);
    EXPECT_EQ(pName->objectName(), "ctrl_1001");
    EXPECT_EQ(pName->property("ctrlId").toInt(), IDC_NAME);
    EXPECT_EQ(pName->text(), "alpha");  // the member, written over the template's text
    EXPECT_TRUE(pName->alignment() & Qt::AlignRight);
    EXPECT_TRUE(pName->hasFrame());

    auto* pOK = qobject_cast<QPushButton*>(QtWidget(d.GetDlgItem(IDOK)));
    auto* pCustom = qobject_cast<QPushButton*>(QtWidget(d.GetDlgItem(IDC_CUSTOM)));
    ASSERT_TRUE(pOK && pCustom);
    EXPECT_EQ(pOK->text(), "OK");
    EXPECT_FALSE(pOK->isDefault());
    EXPECT_FALSE(pOK->autoDefault());
    EXPECT_TRUE(pCustom->isDefault());

    auto* pTick = qobject_cast<QCheckBox*>(QtWidget(d.GetDlgItem(IDC_TICK)));
    ASSERT_NE(pTick, nullptr);
    EXPECT_EQ(pTick->text(), "Tick me:");
    EXPECT_EQ(pTick->layoutDirection(), Qt::RightToLeft);

    auto* pGroup = dynamic_cast<CGroupFrame*>(QtWidget(d.GetDlgItem(IDC_STATIC)));
    ASSERT_NE(pGroup, nullptr);
    EXPECT_EQ(pGroup->title(), "Frame");
    EXPECT_EQ(pGroup->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    // The frame lies under the controls it surrounds.
    const QObjectList children = QtWidget(d.m_hWnd)->children();
    EXPECT_LT(children.indexOf(pGroup), children.indexOf(pName));
    EXPECT_LT(children.indexOf(pGroup), children.indexOf(pOK));

    auto* pNote = qobject_cast<QLabel*>(QtWidget(d.GetDlgItem(IDC_NOTE)));
    ASSERT_NE(pNote, nullptr);
    EXPECT_EQ(pNote->text(), "line one\nline two");
    EXPECT_EQ(d.GetDlgItemText(IDC_NOTE), "line one\r\nline two");
    EXPECT_EQ(pNote->frameShadow(), QFrame::Sunken);
    EXPECT_TRUE(pNote->alignment() & Qt::AlignHCenter);

    auto* pLogo = qobject_cast<QLabel*>(QtWidget(d.GetDlgItem(IDC_LOGO)));
    ASSERT_NE(pLogo, nullptr);
    EXPECT_FALSE(pLogo->pixmap().isNull());

    EXPECT_EQ(QtWidget(d.GetDlgItem(4711)), nullptr);
    d.EndDialog(IDCANCEL);
  });
  EXPECT_EQ(QtWidget(dlg.m_hWnd), nullptr);
  EXPECT_EQ(QtWidget(dlg.GetDlgItem(IDC_NAME)), nullptr);
}

TEST_F(Dialogs, TextsRoundTripAsUtf8OnEveryTextControl) {
  CFormDlg dlg;
  Run(dlg, [](CDialog& d) {
    const std::string strText =
        "Gr\xC3\xBC\xC3\x9F"
        "e 4,50 \xE2\x82\xAC";  // "Grüße 4,50 €"
    for (int nID : {IDC_NAME, IDOK, IDC_TICK, IDC_NOTE, IDC_STATIC}) {
      d.SetDlgItemText(nID, strText);
      EXPECT_EQ(d.GetDlgItemText(nID), strText) << "control " << nID;
    }
    EXPECT_EQ(qobject_cast<QLineEdit*>(QtWidget(d.GetDlgItem(IDC_NAME)))->text(),
              QString::fromUtf8(strText.c_str()));
    EXPECT_EQ(d.GetDlgItemText(4711), "");
    d.EndDialog(IDCANCEL);
  });
}

TEST_F(Dialogs, TabOrderIsTemplateOrderOverTabStops) {
  CFormDlg dlg;
  Run(dlg, [](CDialog& d) {
    // The first tab stop has the focus after initialisation.
    EXPECT_EQ(Focused(d), QtWidget(d.GetDlgItem(IDOK)));

    std::vector<int> order;
    QWidget* pFirst = QtWidget(d.GetDlgItem(IDOK));
    QWidget* pWidget = pFirst;
    do {
      if ((pWidget->focusPolicy() & Qt::TabFocus) && pWidget->property("ctrlId").isValid())
        order.push_back(pWidget->property("ctrlId").toInt());
      pWidget = pWidget->nextInFocusChain();
    } while (pWidget != pFirst);
    EXPECT_EQ(order, (std::vector<int>{IDOK, IDCANCEL, IDC_NAME, IDC_PORT, IDC_TICK, IDC_CUSTOM,
                                       IDC_FOREIGN, IDC_PORT2}));

    EXPECT_EQ(QtWidget(d.GetDlgItem(IDC_NOTE))->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(QtWidget(d.GetDlgItem(IDC_STATIC))->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(QtWidget(d.GetDlgItem(IDC_PLAIN))->focusPolicy(), Qt::ClickFocus);
    d.EndDialog(IDCANCEL);
  });
}

TEST_F(Dialogs, CommandsNobodyHandlesGoToTheApplication) {
  CFormDlg dlg(kMenuTemplate);
  dlg.m_bBindFields = false;
  Run(dlg, [&](CDialog& d) {
    auto* pMenuBar = QtWidget(d.m_hWnd)->findChild<QMenuBar*>();
    ASSERT_NE(pMenuBar, nullptr);
    const QList<QAction*> tops = pMenuBar->actions();
    ASSERT_EQ(tops.size(), 2);
    EXPECT_EQ(tops[0]->text(), "&File");
    EXPECT_EQ(tops[1]->text(), "&Tools");
    const QList<QAction*> file = tops[0]->menu()->actions();
    ASSERT_EQ(file.size(), 1);
    EXPECT_EQ(file[0]->text(), "Exit\tAlt+F4");
    const QList<QAction*> tools = tops[1]->menu()->actions();
    ASSERT_EQ(tools.size(), 3);
    EXPECT_TRUE(tools[1]->isSeparator());

    tools[0]->trigger();  // the dialog's own command
    tools[2]->trigger();  // nobody's
    file[0]->trigger();   // the application's Exit
    EXPECT_EQ(dlg.m_nCustom, 1);
    EXPECT_EQ(m_app.m_commands, (std::vector<UINT>{IDC_FOREIGN, ID_APP_EXIT}));
    d.EndDialog(IDCANCEL);
  });

  m_app.m_commands.clear();
  CFormDlg form;
  Run(form, [&](CDialog& d) {
    qobject_cast<QPushButton*>(QtWidget(d.GetDlgItem(IDC_CUSTOM)))->click();
    qobject_cast<QPushButton*>(QtWidget(d.GetDlgItem(IDC_FOREIGN)))->click();
    EXPECT_EQ(form.m_nCustom, 1);
    EXPECT_EQ(m_app.m_commands, (std::vector<UINT>{IDC_FOREIGN}));
    d.EndDialog(IDCANCEL);
  });
}

int g_nCountedIconsDrawn = 0;

QIcon CountedIcon() {
  ++g_nCountedIconsDrawn;
  return TestIcon();
}

TEST_F(Dialogs, ARegisteredIconIsDrawnOnceAndOnlyWhenAPictureIsWanted) {
  AfxRegisterIcon(IDI_TEST + 2, CountedIcon);
  g_nCountedIconsDrawn = 0;
  const QIcon* hIcon = QtIcon(AfxLoadIcon(IDI_TEST + 2));
  ASSERT_NE(hIcon, nullptr);
  EXPECT_FALSE(hIcon->isNull());
  const QIcon copy = *hIcon;
  EXPECT_EQ(g_nCountedIconsDrawn, 0);
  EXPECT_EQ(copy.pixmap(32, 32).toImage().pixelColor(16, 16), QColor(Qt::red));
  EXPECT_EQ(hIcon->pixmap(16, 16).size(), QSize(16, 16));
  EXPECT_EQ(hIcon->availableSizes(), QList<QSize>{QSize(32, 32)});
  EXPECT_EQ(g_nCountedIconsDrawn, 1);
}

TEST_F(Dialogs, WindowPaintsThroughOnPaintAndTakesTheRegisteredIcon) {
  EXPECT_EQ(AfxLoadIcon(IDI_TEST), AfxLoadIcon(IDI_TEST));  // one handle per resource
  EXPECT_EQ(AfxLoadIcon(IDI_TEST + 1), nullptr);
  CFormDlg dlg;
  Run(dlg, [&](CDialog& d) {
    const QImage image = QtWidget(d.m_hWnd)->grab().toImage();
    EXPECT_EQ(image.size(), QtWidget(d.m_hWnd)->size());
    EXPECT_GE(dlg.m_nPaint, 1);
    EXPECT_TRUE(dlg.m_bPainterOnWindow);

    EXPECT_TRUE(QtWidget(d.m_hWnd)->windowIcon().isNull());
    d.SetIcon(AfxLoadIcon(IDI_TEST), true);
    d.SetIcon(AfxLoadIcon(IDI_TEST), false);
    EXPECT_EQ(QtWidget(d.m_hWnd)->windowIcon().pixmap(32, 32).toImage().pixelColor(16, 16),
              QColor(Qt::red));
    EXPECT_EQ(d.OnQueryDragIcon(), nullptr);

    EXPECT_FALSE(d.IsIconic());
    QtWidget(d.m_hWnd)->showMinimized();
    EXPECT_TRUE(d.IsIconic());
    d.EndDialog(IDCANCEL);
  });
  EXPECT_FALSE(dlg.IsIconic());
}

// Every way of closing ends the dialog once, with OnDestroy seeing the controls.
TEST_F(Dialogs, EveryCloseRouteDestroysWithControlsReadable) {
  struct Route {
    const char* pszName;
    std::function<void(CFormDlg&)> close;
    INT_PTR nExpected;
  };
  const std::vector<Route> routes = {
      {"Esc in an edit",
       [](CFormDlg& d) {
         Focus(d, IDC_NAME);
         PressKey(Focused(d), Qt::Key_Escape);
       },
       IDCANCEL},
      {"Enter on Cancel",
       [](CFormDlg& d) {
         Focus(d, IDCANCEL);
         PressKey(Focused(d), Qt::Key_Return);
       },
       IDCANCEL},
      {"keypad Enter on OK",
       [](CFormDlg& d) {
         Focus(d, IDOK);
         PressKey(Focused(d), Qt::Key_Enter);
       },
       IDOK},
      {"OK clicked",
       [](CFormDlg& d) { qobject_cast<QPushButton*>(QtWidget(d.GetDlgItem(IDOK)))->click(); },
       IDOK},
      {"close box", [](CFormDlg& d) { QtWidget(d.m_hWnd)->close(); }, IDCANCEL},
      {"WM_CLOSE", [](CFormDlg& d) { d.SendMessage(WM_CLOSE); }, IDCANCEL},
      {"EndDialog twice",
       [](CFormDlg& d) {
         d.EndDialog(7);
         d.EndDialog(8);
       },
       7},
  };
  for (const Route& route : routes) {
    SCOPED_TRACE(route.pszName);
    CFormDlg dlg;
    const INT_PTR nResult = Run(dlg, [&](CDialog&) { route.close(dlg); });
    EXPECT_EQ(nResult, route.nExpected);
    EXPECT_EQ(dlg.m_nDestroyed, 1);
    EXPECT_EQ(dlg.m_strNameAtDestroy, "alpha");
    EXPECT_TRUE(dlg.m_bEditAttachedAtDestroy);
    EXPECT_EQ(QtWidget(dlg.m_editName.m_hWnd), nullptr);
    EXPECT_EQ(QtWidget(dlg.m_hWnd), nullptr);
  }
}

TEST_F(Dialogs, EnterOutsideButtonsRunsTheDefaultButtonOrOk) {
  CFormDlg form;  // default push button: Custom
  Run(form, [&](CDialog& d) {
    Focus(d, IDC_NAME);
    PressKey(Focused(d), Qt::Key_Return);
    Focus(d, IDC_TICK);
    PressKey(Focused(d), Qt::Key_Enter);
    EXPECT_EQ(form.m_nCustom, 2);
    EXPECT_NE(QtWidget(d.m_hWnd), nullptr);
    Focus(d, IDC_FOREIGN);
    PressKey(Focused(d), Qt::Key_Return);
    EXPECT_EQ(m_app.m_commands, (std::vector<UINT>{IDC_FOREIGN}));
    d.EndDialog(IDCANCEL);
  });

  CFormDlg plain(kMenuTemplate);  // no default push button
  plain.m_bBindFields = false;
  EXPECT_EQ(Run(plain, [](CDialog& d) { PressKey(QtWidget(d.m_hWnd), Qt::Key_Return); }), IDOK);
}

TEST_F(Dialogs, CloseThatIsRefusedKeepsTheDialogOpen) {
  CFormDlg dlg;
  dlg.m_bIgnoreClose = true;
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    QtWidget(d.m_hWnd)->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(dlg.m_nClose, 1);
    EXPECT_TRUE(QtWidget(d.m_hWnd)->isVisible());
    EXPECT_EQ(dlg.m_nDestroyed, 0);
    d.EndDialog(5);
  });
  EXPECT_EQ(nResult, 5);
}

TEST_F(Dialogs, EndDialogDuringInitialisationNeverShows) {
  bool bShown = false;
  CFormDlg dlg;
  dlg.m_nEndInInit = 3;
  EXPECT_EQ(Run(dlg, [&](CDialog&) { bShown = true; }), 3);
  QCoreApplication::processEvents();
  EXPECT_FALSE(bShown);
  EXPECT_EQ(dlg.m_nInit, 1);
  EXPECT_EQ(dlg.m_nDestroyed, 1);

  // The same object runs again normally.
  dlg.m_nEndInInit = 0;
  EXPECT_EQ(Run(dlg, [](CDialog& d) { d.EndDialog(IDOK); }), IDOK);
  EXPECT_EQ(dlg.m_nDestroyed, 2);
}

// ---------------------------------------------------------------------------------------------
// Data exchange

TEST(ParseUnsigned, AcceptsBlanksPlusAndAnyThirtyTwoBitNumber) {
  struct Case {
    const char* pszText;
    bool bAccepted;
    DWORD dwValue;
  };
  const Case cases[] = {
      {"4005", true, 4005},
      {" 4005\t", true, 4005},
      {"\t 4005  ", true, 4005},
      {"+4005", true, 4005},
      {"0", true, 0},
      {"65536", true, 65536},
      {"4294967295", true, 4294967295u},
      {"0000000000000000000000000004005", true, 4005},   // 31 characters
      {"4005                           x", true, 4005},  // the x is the 32nd character
      {"", false, 0},
      {"   ", false, 0},
      {"+", false, 0},
      {"4005x", false, 0},
      {"x4005", false, 0},
      {"-1", false, 0},
      {"-0", false, 0},
      {"+-1", false, 0},
      {"+ 4", false, 0},
      {"4294967296", false, 0},
      {"99999999999999999999", false, 0},
      {"1 2", false, 0},
      {"0x10", false, 0},
      {"40.05", false, 0},
      {"\n4005", false, 0},
      {"4005                          x", false, 0},  // the x is the 31st character
  };
  for (const Case& c : cases) {
    DWORD dwValue = 12345;
    EXPECT_EQ(AfxParseUnsigned(c.pszText, dwValue), c.bAccepted) << '"' << c.pszText << '"';
    EXPECT_EQ(dwValue, c.bAccepted ? c.dwValue : 12345u) << '"' << c.pszText << '"';
  }
}

TEST_F(Dialogs, MembersAreWrittenToControlsAndReadBack) {
  CFormDlg dlg;
  dlg.m_dwPort = 4294967295u;
  dlg.m_dwPort2 = 0;
  dlg.m_bTick = 5;
  Run(dlg, [&](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(IDC_PORT), "4294967295");
    EXPECT_EQ(d.GetDlgItemText(IDC_PORT2), "0");
    EXPECT_TRUE(qobject_cast<QCheckBox*>(QtWidget(d.GetDlgItem(IDC_TICK)))->isChecked());
    EXPECT_EQ(QtWidget(dlg.m_editName.m_hWnd), QtWidget(d.GetDlgItem(IDC_NAME)));

    d.SetDlgItemText(IDC_NAME, "");
    d.SetDlgItemText(IDC_PORT, " +17 ");
    qobject_cast<QCheckBox*>(QtWidget(d.GetDlgItem(IDC_TICK)))->setChecked(false);
    EXPECT_TRUE(d.UpdateData(true));
    EXPECT_EQ(dlg.m_strName, "");
    EXPECT_EQ(dlg.m_dwPort, 17u);
    EXPECT_EQ(dlg.m_bTick, 0);

    qobject_cast<QCheckBox*>(QtWidget(d.GetDlgItem(IDC_TICK)))->setChecked(true);
    EXPECT_TRUE(d.UpdateData(true));
    EXPECT_EQ(dlg.m_bTick, 1);
    d.EndDialog(IDCANCEL);
  });
  EXPECT_TRUE(m_capture.m_messages.empty());
}

TEST_F(Dialogs, RefusedNumberKeepsTheDialogOpenWithTheFieldSelected) {
  CFormDlg dlg;
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    // Both ports wrong: one message, for the first; nothing after it is read.
    d.SetDlgItemText(IDC_NAME, "beta");
    d.SetDlgItemText(IDC_PORT, "4005x");
    d.SetDlgItemText(IDC_PORT2, "-1");
    qobject_cast<QCheckBox*>(QtWidget(d.GetDlgItem(IDC_TICK)))->setChecked(true);
    qobject_cast<QPushButton*>(QtWidget(d.GetDlgItem(IDOK)))->click();

    EXPECT_EQ(m_capture.m_messages, (std::vector<std::string>{"Please enter a positive integer."}));
    EXPECT_EQ(m_capture.m_messageTypes, (std::vector<UINT>{MB_ICONERROR}));
    EXPECT_NE(QtWidget(d.m_hWnd), nullptr);
    auto* pPort = qobject_cast<QLineEdit*>(QtWidget(d.GetDlgItem(IDC_PORT)));
    EXPECT_EQ(Focused(d), pPort);
    EXPECT_EQ(pPort->selectedText(), "4005x");
    EXPECT_EQ(dlg.m_strName, "beta");  // read before the failing field
    EXPECT_EQ(dlg.m_dwPort, 4003u);
    EXPECT_EQ(dlg.m_dwPort2, 4001u);
    EXPECT_EQ(dlg.m_bTick, 0);

    // The second field fails once the first is right.
    m_capture.m_messages.clear();
    d.SetDlgItemText(IDC_PORT, " 4005\t");
    EXPECT_FALSE(d.UpdateData(true));
    EXPECT_EQ(m_capture.m_messages.size(), 1u);
    EXPECT_EQ(Focused(d), QtWidget(d.GetDlgItem(IDC_PORT2)));
    EXPECT_EQ(qobject_cast<QLineEdit*>(QtWidget(d.GetDlgItem(IDC_PORT2)))->selectedText(), "-1");

    d.SetDlgItemText(IDC_PORT2, "4294967295");
    Focus(d, IDC_NAME);
    PressKey(Focused(d), Qt::Key_Escape);  // still open: Cancel needs no valid fields
  });
  EXPECT_EQ(nResult, IDCANCEL);

  CFormDlg again;
  m_capture.m_messages.clear();
  EXPECT_EQ(Run(again,
                [](CDialog& d) {
                  d.SetDlgItemText(IDC_PORT, "+4005");
                  d.SetDlgItemText(IDC_PORT2, "4294967295");
                  qobject_cast<QPushButton*>(QtWidget(d.GetDlgItem(IDOK)))->click();
                }),
            IDOK);
  EXPECT_TRUE(m_capture.m_messages.empty());
  EXPECT_EQ(again.m_dwPort, 4005u);
  EXPECT_EQ(again.m_dwPort2, 4294967295u);
}

// ---------------------------------------------------------------------------------------------
// Nesting

TEST_F(Dialogs, NestedDialogBelongsToTheMainWindow) {
  CFormDlg outer(kMenuTemplate);
  outer.m_bBindFields = false;
  CFormDlg inner;
  m_app.m_pMainWnd = &outer;
  Run(outer, [&](CDialog&) {
    EXPECT_EQ(Run(inner,
                  [&](CDialog& d) {
                    EXPECT_EQ(CDialog::GetTopModal(), &inner);
                    EXPECT_EQ(d.GetOwner(), &outer);
                    EXPECT_EQ(QtWidget(d.m_hWnd)->parentWidget(), QtWidget(outer.m_hWnd));
                    EXPECT_TRUE(QtWidget(d.m_hWnd)->isModal());
                    // Same IDs in both windows: each finds its own control.
                    EXPECT_EQ(QtWidget(outer.GetDlgItem(IDOK))->window(), QtWidget(outer.m_hWnd));
                    EXPECT_EQ(QtWidget(d.GetDlgItem(IDOK))->window(), QtWidget(d.m_hWnd));
                    d.EndDialog(IDOK);
                  }),
              IDOK);
    EXPECT_EQ(CDialog::GetTopModal(), &outer);
    outer.EndDialog(IDCANCEL);
  });
  EXPECT_EQ(outer.GetOwner(), nullptr);
  EXPECT_EQ(m_app.m_pMainWnd, nullptr);  // cleared with the main window
}

TEST_F(Dialogs, EndAllModalClosesMessageBoxAndDialogsInnermostFirst) {
  std::vector<std::string> destroyed;
  CFormDlg outer(kMenuTemplate);
  outer.m_bBindFields = false;
  CFormDlg inner;
  outer.m_pDestroyLog = &destroyed;
  inner.m_pDestroyLog = &destroyed;
  m_app.m_pMainWnd = &outer;
  INT_PTR nInner = 0;
  bool bBoxReturned = false;

  const INT_PTR nOuter = Run(outer, [&](CDialog&) {
    nInner = Run(inner, [&](CDialog&) {
      // A real message box on top of both; EndAllModal comes while it runs.
      AfxSetMessageBoxHook(nullptr);  // the capture's destructor clears it again
      QTimer::singleShot(0, [] {
        EXPECT_NE(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()), nullptr);
        CDialog::EndAllModal();
      });
      AfxMessageBox("Hang up failed", MB_ICONERROR);
      bBoxReturned = true;
    });
  });
  EXPECT_TRUE(bBoxReturned);
  EXPECT_EQ(nInner, IDCANCEL);
  EXPECT_EQ(nOuter, IDCANCEL);
  EXPECT_EQ(inner.m_nClose, 0);  // nested: ended directly
  EXPECT_EQ(outer.m_nClose, 1);  // main window: asked to close
  EXPECT_EQ(destroyed, (std::vector<std::string>{"Test form...", "With menu"}));
  EXPECT_EQ(inner.m_strNameAtDestroy, "alpha");
}

// A termination signal before a dialog opens: the dialog initialises and ends at once.
TEST(DialogsAfterTermination, EndAtOnceAsIfClosed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        CTempConfig config;
        CRecordingApp app;
        AfxInstallTerminationHandlers();
        std::raise(SIGTERM);
        bool bShown = false;
        CDialogAnswers answers;
        answers.AnswerAny([&](CDialog&) { bShown = true; });
        CFormDlg dlg;
        const INT_PTR nResult = dlg.DoModal();
        QCoreApplication::processEvents();
        const bool bOk = AfxIsTerminating() && nResult == IDCANCEL && dlg.m_nInit == 1 &&
                         dlg.m_nClose == 1 && dlg.m_nDestroyed == 1 && !bShown;
        std::_Exit(bOk ? 0 : 1);  // no exit handlers: the toolkit is never torn down here
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
