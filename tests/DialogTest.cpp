// Modal dialogs built from templates, on either platform: controls by ID where the template puts
// them, the tab order, the keys (Enter above all), every way of closing, data exchange, nesting
// and message boxes. Written against the platform's headers; the facts that belong to one
// platform alone come last.
#include "AppIcon.h"
#include "Dialog.h"
#include "DialogInput.h"
#include "Resource.h"
#include "Templates.h"
#include "TestDialogs.h"
#include "TestMessages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "Win32.h"
#else
#include "GroupFrame.h"
#include "IconRegistry.h"
#include "QtPlatform.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <csignal>
#endif

using namespace testing_support;

namespace {

using namespace ControlStyle;
using enum ControlKind;

#ifdef _WIN32
constexpr bool kBoxOwnedByTopDialog = true;  // the system's box has an owner window
#else
constexpr bool kBoxOwnedByTopDialog = false;  // an application-modal window of its own
#endif

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
constexpr UINT IDD_FORM = 900;
constexpr UINT IDD_WITH_MENU = 901;

constexpr unsigned kStyle = DialogStyle::Caption | DialogStyle::SysMenu | DialogStyle::ModalFrame;

const DialogTemplate kFormTemplate{
    IDD_FORM,
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
        {IDC_LOGO, Icon, nullptr, 130, 8, 20, 20, 0, IDR_MAINFRAME},
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
    IDD_WITH_MENU,
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

const DialogTemplate& TemplateOf(UINT nIDD) {
  switch (nIDD) {
  case IDD_FORM: return kFormTemplate;
  case IDD_WITH_MENU: return kMenuTemplate;
  default: return GetDialogTemplate(nIDD);
  }
}

/// Records every command that reaches it; OK and Cancel end it as usual.
class CRecordingDlg : public CDialog {
public:
  explicit CRecordingDlg(const DialogTemplate& dlgTemplate, CWnd* pParent = nullptr)
      : CDialog(dlgTemplate, pParent) {}
  bool OnCommand(UINT nID) override {
    m_commands.push_back(nID);
    return CDialog::OnCommand(nID);
  }
  std::vector<UINT> m_commands;
};

/// Counts what the framework calls, and binds a name, two ports and a check box.
class CFormDlg : public CRecordingDlg {
public:
  explicit CFormDlg(const DialogTemplate& dlgTemplate = kFormTemplate, CWnd* pParent = nullptr)
      : CRecordingDlg(dlgTemplate, pParent) {}

  bool OnCommand(UINT nID) override {
    if (nID == IDC_CUSTOM) {
      ++m_nCustom;
      return true;
    }
    return CRecordingDlg::OnCommand(nID);
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
    m_bEditAttachedAtDestroy = m_editName.m_hWnd != nullptr;
    if (m_pDestroyLog)
      m_pDestroyLog->push_back(GetTemplate().pszCaption);
  }
  void OnPaint(CDC& dc) override {
    ++m_nPaint;
#ifndef _WIN32
    m_bPainterOnWindow = dynamic_cast<CQtPaintDC&>(dc).m_painter.device() == QtWidget(m_hWnd);
#endif
    CRecordingDlg::OnPaint(dc);
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

/// The application object, message boxes caught, and every dialog answered once shown; a dialog
/// that its answer leaves open fails the test. The dialogs touch no settings.
class Dialogs : public ::testing::Test {
protected:
  void SetUp() override { RegisterAppIcon(); }
  void TearDown() override { EXPECT_EQ(CDialog::GetTopModal(), nullptr); }

  /// Runs dlg modally; fn drives it once it is shown and must end it.
  INT_PTR Run(CDialog& dlg, const DialogAnswer& fn) { return m_answers.Run(dlg, fn); }

  CRecordingApp m_app;
  CMessageCapture m_capture;
  CDialogAnswers m_answers{CDialogAnswers::ELeftOpen::Fails};
};

// ---------------------------------------------------------------------------------------------
// Every template: its controls, where they stand, and the tab order

struct TemplateCase {
  const char* pszName;
  UINT nIDD;
};

const TemplateCase kTemplates[] = {
    {"VendingPanel", IDD_VENDINGPANEL_DIALOG},
    {"Prices", IDD_PRICE_DIALOG},
    {"Connection", IDD_CONNECTION_DIALOG},
    {"About", IDD_ABOUTBOX},
    {"AcceptorControl", IDD_ACCEPTORCONTROL_DIALOG},
    {"AcceptorSetup", IDD_ACCEPTORSETUP_DIALOG},
    {"AcceptorIdent", IDD_ACCEPTORIDENT_DIALOG},
    {"TubeStatus", IDD_TUBESTATUS_DIALOG},
    {"Form", IDD_FORM},
    {"WithMenu", IDD_WITH_MENU},
};

class TemplateDialog : public Dialogs, public testing::WithParamInterface<TemplateCase> {};

/// Pixels of one dialog unit on one axis, fitted by least squares through the controls' edges
/// (sizes alone round alike, which would bias a fit through them).
struct Axis {
  double dScale = 0;
  double dOrigin = 0;
  double At(int nUnits) const { return dOrigin + nUnits * dScale; }
};

/// Each sample is {an edge in units, the same edge in pixels}.
Axis FitAxis(const std::vector<std::pair<int, int>>& samples) {
  double dMeanUnits = 0, dMeanPixels = 0;
  for (const auto& [nUnits, nPixels] : samples) {
    dMeanUnits += nUnits / double(samples.size());
    dMeanPixels += nPixels / double(samples.size());
  }
  double dCovariance = 0, dVariance = 0;
  for (const auto& [nUnits, nPixels] : samples) {
    dCovariance += (nUnits - dMeanUnits) * (nPixels - dMeanPixels);
    dVariance += (nUnits - dMeanUnits) * (nUnits - dMeanUnits);
  }
  Axis axis;
  axis.dScale = dVariance > 0 ? dCovariance / dVariance : 0;
  axis.dOrigin = dMeanPixels - dMeanUnits * axis.dScale;
  return axis;
}

TEST_P(TemplateDialog, ControlsStandWhereTheTemplatePutsThemWithTheirTexts) {
  const DialogTemplate& dlgTemplate = TemplateOf(GetParam().nIDD);
  CRecordingDlg dlg(dlgTemplate);
  Run(dlg, [&](CDialog& d) {
    EXPECT_EQ(d.GetWindowText(), dlgTemplate.pszCaption);
    std::vector<std::pair<const DialogControl*, CRect>> placed;
    std::vector<std::pair<int, int>> xs, ys;
    for (const DialogControl& ctrl : dlgTemplate.controls) {
      if (ctrl.nID == IDC_STATIC)  // several share the ID
        continue;
      SCOPED_TRACE("control " + std::to_string(ctrl.nID));
      const HWND hItem = d.GetDlgItem(ctrl.nID);
      ASSERT_NE(hItem, nullptr);
      if (ctrl.kind != Icon) {
        EXPECT_EQ(d.GetDlgItemText(ctrl.nID), ctrl.pszText ? ctrl.pszText : "");
      }
      const CRect rc = AfxGetItemRect(hItem);
      placed.emplace_back(&ctrl, rc);
      xs.emplace_back(ctrl.x, rc.left);
      ys.emplace_back(ctrl.y, rc.top);
      if (ctrl.kind != Icon) {  // an icon takes its picture's size
        xs.emplace_back(ctrl.x + ctrl.cx, rc.right);
        ys.emplace_back(ctrl.y + ctrl.cy, rc.bottom);
      }
    }
    ASSERT_GE(placed.size(), 2u);
    EXPECT_EQ(d.GetDlgItem(4711), nullptr);
    // The client area ends where the template does; a menu bar takes no template height.
    CRect rcClient;
    d.GetClientRect(&rcClient);
    xs.emplace_back(dlgTemplate.cx, rcClient.right);
    ys.emplace_back(dlgTemplate.cy, rcClient.bottom);
    // Units become pixels in proportion, by an 8-point font's measures: four horizontal units are
    // one average character of 5 to 8 pixels, eight vertical ones a line of 10 to 16.
    const Axis x = FitAxis(xs);
    const Axis y = FitAxis(ys);
    EXPECT_GE(4 * x.dScale, 5.0);
    EXPECT_LE(4 * x.dScale, 8.0);
    EXPECT_GE(8 * y.dScale, 10.0);
    EXPECT_LE(8 * y.dScale, 16.0);
    constexpr double kRounding = 2.0;  // each edge is rounded on its own
    for (const auto& [pCtrl, rc] : placed) {
      SCOPED_TRACE("control " + std::to_string(pCtrl->nID));
      EXPECT_NEAR(rc.left, x.At(pCtrl->x), kRounding);
      EXPECT_NEAR(rc.top, y.At(pCtrl->y), kRounding);
      if (pCtrl->kind != Icon) {  // an icon takes its picture's size
        EXPECT_NEAR(rc.Width(), pCtrl->cx * x.dScale, kRounding);
        EXPECT_NEAR(rc.Height(), pCtrl->cy * y.dScale, kRounding);
      }
    }
    EXPECT_NEAR(rcClient.Width(), x.At(dlgTemplate.cx), kRounding);
    EXPECT_NEAR(rcClient.Height(), y.At(dlgTemplate.cy), kRounding);
    EXPECT_GE(y.dOrigin, -kRounding);
    d.EndDialog(IDCANCEL);
  });
}

TEST_P(TemplateDialog, TabVisitsTheTabStopsInTemplateOrderFromTheFirst) {
  const DialogTemplate& dlgTemplate = TemplateOf(GetParam().nIDD);
  std::vector<int> expected;
  for (const DialogControl& ctrl : dlgTemplate.controls) {
    if (ctrl.nStyle & TabStop)
      expected.push_back(ctrl.nID);
  }
  ASSERT_FALSE(expected.empty());
  CRecordingDlg dlg(dlgTemplate);
  Run(dlg, [&](CDialog& d) {
    std::vector<int> visited{FocusedId(dlg)};
    for (size_t i = 0; i < expected.size(); ++i) {
      PressKey(d, EDialogKey::Tab);
      visited.push_back(FocusedId(dlg));
    }
    expected.push_back(expected.front());  // and round again
    EXPECT_EQ(visited, expected);
    d.EndDialog(IDCANCEL);
  });
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplateDialog, testing::ValuesIn(kTemplates),
                         [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(Dialogs, TextsRoundTripOnEveryTextControl) {
  CFormDlg dlg;
  Run(dlg, [](CDialog& d) {
    const std::string strText =
        "Gr\xC3\xBC\xC3\x9F"
        "e 4,50 \xE2\x82\xAC";  // "Grüße 4,50 €" in UTF-8
    for (int nID : {IDC_NAME, IDOK, IDC_TICK, IDC_NOTE}) {
      d.SetDlgItemText(nID, strText);
      EXPECT_EQ(d.GetDlgItemText(nID), strText) << "control " << nID;
    }
    EXPECT_EQ(d.GetDlgItemText(4711), "");
    d.EndDialog(IDCANCEL);
  });
}

// ---------------------------------------------------------------------------------------------
// Keys and clicks

TEST_F(Dialogs, ButtonsRunTheirCommandsAndWhatNobodyHandlesGoesToTheApplication) {
  CFormDlg form;
  Run(form, [&](CDialog& d) {
    Click(d, IDC_CUSTOM);
    Click(d, IDC_FOREIGN);
    EXPECT_EQ(form.m_nCustom, 1);
    EXPECT_EQ(FocusedId(form), IDC_FOREIGN);  // the mouse gives the focus
    EXPECT_EQ(m_app.m_commands, (std::vector<UINT>{IDC_FOREIGN}));
    d.EndDialog(IDCANCEL);
  });
}

constexpr INT_PTR kStillOpen = 99;  // the test ends it after Enter

/// How the focus gets to the control before Enter.
enum class EFocusMove { AtStart, ByClick, ByTab, ByGoto };

/// Enter as the operator types it: where the focus is, and the command that Enter runs.
struct EnterCase {
  const char* pszName;
  UINT nIDD;
  EFocusMove move;
  int nFocused;  ///< clicked, or given the focus, or where it is after the move
  EDialogKey key;
  UINT nCommand;
  INT_PTR nEndsWith;  ///< the dialog's result, or kStillOpen
};

void PrintTo(const EnterCase& c, std::ostream* pOut) { *pOut << c.pszName; }

using enum EFocusMove;
constexpr auto kEnter = EDialogKey::Enter;
constexpr auto kKeypad = EDialogKey::KeypadEnter;
constexpr UINT IDD_PANEL = IDD_VENDINGPANEL_DIALOG;
constexpr int IDC_P1 = IDC_PRODUCT_1;  // IDC_P1 + 10 is Change Return
constexpr UINT IDD_ACCEPTOR = IDD_ACCEPTORCONTROL_DIALOG;

// clang-format off
const EnterCase kEnterCases[] = {
    // The panel: Enter on a product button vends; it ends the panel only off the buttons.
    {"PanelFocusAtStart", IDD_PANEL, AtStart, IDC_P1, kEnter, IDC_P1, kStillOpen},
    {"PanelAfterAClick", IDD_PANEL, ByClick, IDC_P1 + 1, kEnter, IDC_P1 + 1, kStillOpen},
    {"PanelAfterTab", IDD_PANEL, ByTab, IDC_P1 + 1, kEnter, IDC_P1 + 1, kStillOpen},
    {"PanelKeypadAfterAClick", IDD_PANEL, ByClick, IDC_P1 + 9, kKeypad, IDC_P1 + 9, kStillOpen},
    {"PanelChangeReturnClicked", IDD_PANEL, ByClick, IDC_P1 + 10, kEnter, IDC_P1 + 10, kStillOpen},
    {"PanelOffTheButtons", IDD_PANEL, ByGoto, IDC_CREDIT, kEnter, IDOK, IDOK},
    // The acceptor control dialog: its first tab stop is "Exit", a plain push button of ID 1.
    {"AcceptorFocusAtStart", IDD_ACCEPTOR, AtStart, IDOK, kEnter, IDOK, IDOK},
    {"AcceptorAfterAClickOnEnable", IDD_ACCEPTOR, ByClick, 1064, kEnter, 1064, kStillOpen},
    {"AcceptorAfterTabToACheckBox", IDD_ACCEPTOR, ByTab, 1030, kEnter, IDOK, IDOK},
    {"AcceptorOnReset", IDD_ACCEPTOR, ByGoto, 1063, kEnter, 1063, kStillOpen},
    // A template with a default push button: off the buttons Enter is that button's command.
    {"FormInAnEdit", IDD_FORM, ByGoto, IDC_NAME, kEnter, IDC_CUSTOM, kStillOpen},
    {"FormOnACheckBox", IDD_FORM, ByGoto, IDC_TICK, kKeypad, IDC_CUSTOM, kStillOpen},
    {"FormOnAnotherButton", IDD_FORM, ByGoto, IDC_FOREIGN, kEnter, IDC_FOREIGN, kStillOpen},
    {"FormOnCancel", IDD_FORM, ByGoto, IDCANCEL, kEnter, IDCANCEL, IDCANCEL},
};
// clang-format on

class EnterKey : public Dialogs, public testing::WithParamInterface<EnterCase> {};

TEST_P(EnterKey, PushesTheFocusedButtonElseRunsTheDefaultCommand) {
  const EnterCase& c = GetParam();
  CRecordingDlg dlg(TemplateOf(c.nIDD));
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    switch (c.move) {
    case AtStart: break;
    case ByClick: Click(d, c.nFocused); break;
    case ByTab: PressKey(d, EDialogKey::Tab); break;
    case ByGoto: d.GotoDlgCtrl(c.nFocused); break;
    }
    EXPECT_EQ(FocusedId(dlg), c.nFocused);
    PressKey(d, c.key);
    EXPECT_EQ(d.IsWindowVisible(), c.nEndsWith == kStillOpen);
    d.EndDialog(kStillOpen);
  });
  std::vector<UINT> expected{c.nCommand};
  if (c.move == ByClick)  // the click's own command first
    expected.insert(expected.begin(), static_cast<UINT>(c.nFocused));
  EXPECT_EQ(dlg.m_commands, expected);
  EXPECT_EQ(nResult, c.nEndsWith);
}

INSTANTIATE_TEST_SUITE_P(Keys, EnterKey, testing::ValuesIn(kEnterCases),
                         [](const auto& info) { return std::string(info.param.pszName); });

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
         d.GotoDlgCtrl(IDC_NAME);
         PressKey(d, EDialogKey::Escape);
       },
       IDCANCEL},
      {"keypad Enter on OK",
       [](CFormDlg& d) {
         d.GotoDlgCtrl(IDOK);
         PressKey(d, EDialogKey::KeypadEnter);
       },
       IDOK},
      {"OK clicked", [](CFormDlg& d) { Click(d, IDOK); }, IDOK},
      {"close box", [](CFormDlg& d) { AfxCloseWindow(d.GetSafeHwnd()); }, IDCANCEL},
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
    EXPECT_EQ(dlg.m_editName.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.GetDlgItem(IDC_NAME), nullptr);
  }
}

TEST_F(Dialogs, CloseThatIsRefusedKeepsTheDialogOpen) {
  CFormDlg dlg;
  dlg.m_bIgnoreClose = true;
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    AfxCloseWindow(d.GetSafeHwnd());
    EXPECT_EQ(dlg.m_nClose, 1);
    EXPECT_TRUE(d.IsWindowVisible());
    EXPECT_EQ(dlg.m_nDestroyed, 0);
    d.EndDialog(5);
  });
  EXPECT_EQ(nResult, 5);
}

class EndInInitialisation : public Dialogs, public testing::WithParamInterface<TemplateCase> {};

// The panel's template is visible from creation on; the form is shown by the loop.
TEST_P(EndInInitialisation, ReturnsWithoutShowingAndTheObjectRunsAgain) {
  bool bShown = false;
  CFormDlg dlg(TemplateOf(GetParam().nIDD));
  dlg.m_bBindFields = false;
  dlg.m_nEndInInit = 3;
  EXPECT_EQ(Run(dlg, [&](CDialog&) { bShown = true; }), 3);
  AfxPumpEvents(0);
  EXPECT_FALSE(bShown);
  EXPECT_EQ(dlg.m_nInit, 1);
  EXPECT_EQ(dlg.m_nDestroyed, 1);
  EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);

  dlg.m_nEndInInit = 0;
  EXPECT_EQ(Run(dlg, [](CDialog& d) { d.EndDialog(IDOK); }), IDOK);
  EXPECT_EQ(dlg.m_nDestroyed, 2);
}

const TemplateCase kShownByLoopOrAtCreation[] = {{"Form", IDD_FORM},
                                                 {"VendingPanel", IDD_VENDINGPANEL_DIALOG}};
INSTANTIATE_TEST_SUITE_P(Templates, EndInInitialisation,
                         testing::ValuesIn(kShownByLoopOrAtCreation),
                         [](const auto& info) { return std::string(info.param.pszName); });

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
    EXPECT_EQ(d.GetDlgItemText(IDC_NAME), "alpha");  // the member, written over the template's
    EXPECT_EQ(d.GetDlgItemText(IDC_PORT), "4294967295");
    EXPECT_EQ(d.GetDlgItemText(IDC_PORT2), "0");
    EXPECT_EQ(d.IsDlgButtonChecked(IDC_TICK), 1u);
    EXPECT_EQ(dlg.m_editName.m_hWnd, d.GetDlgItem(IDC_NAME));

    d.SetDlgItemText(IDC_NAME, "");
    d.SetDlgItemText(IDC_PORT, " +17 ");
    Click(d, IDC_TICK);
    EXPECT_TRUE(d.UpdateData(true));
    EXPECT_EQ(dlg.m_strName, "");
    EXPECT_EQ(dlg.m_dwPort, 17u);
    EXPECT_EQ(dlg.m_bTick, 0);

    d.CheckDlgButton(IDC_TICK, 1);
    EXPECT_TRUE(d.UpdateData(true));
    EXPECT_EQ(dlg.m_bTick, 1);
    EXPECT_EQ(d.IsDlgButtonChecked(IDC_NAME), 0u);  // no check box
    d.EndDialog(IDCANCEL);
  });
  EXPECT_TRUE(m_capture.m_messages.empty());
}

struct TypedCase {
  const char* pszName;
  const char* pszTyped;
  bool bAccepted;
  DWORD dwStored;
};

const TypedCase kTypedPorts[] = {
    {"NumberWithBlanks", " 4005\t", true, 4005},
    {"Largest", "+4294967295", true, 4294967295u},
    {"TrailingLetter", "4005x", false, 4003},
    {"Negative", "-1", false, 4003},
    {"Empty", "", false, 4003},
};

class TypedPort : public Dialogs, public testing::WithParamInterface<TypedCase> {};

TEST_P(TypedPort, RefusedTextKeepsTheDialogOpenWithTheFieldSelected) {
  const TypedCase& c = GetParam();
  CFormDlg dlg;
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    d.SetDlgItemText(IDC_PORT, c.pszTyped);
    Click(d, IDOK);
    if (c.bAccepted)
      return;
    EXPECT_TRUE(d.IsWindowVisible());
    EXPECT_EQ(FocusedId(dlg), IDC_PORT);
    EXPECT_EQ(AfxGetSelectedText(d.GetDlgItem(IDC_PORT)), c.pszTyped);
    PressKey(d, EDialogKey::Escape);  // Cancel needs no valid fields
  });
  EXPECT_EQ(dlg.m_dwPort, c.dwStored);
  EXPECT_EQ(nResult, c.bAccepted ? IDOK : IDCANCEL);
  EXPECT_EQ(m_capture.m_messages,
            c.bAccepted ? std::vector<std::string>{}
                        : std::vector<std::string>{"Please enter a positive integer."});
  EXPECT_EQ(m_capture.m_messageTypes,
            c.bAccepted ? std::vector<UINT>{} : std::vector<UINT>{MB_ICONERROR});
}

INSTANTIATE_TEST_SUITE_P(Exchange, TypedPort, testing::ValuesIn(kTypedPorts),
                         [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(Dialogs, AFailedFieldStopsTheTransferAndTheNextOneFailsOnceItIsRight) {
  CFormDlg dlg;
  Run(dlg, [&](CDialog& d) {
    // Both ports wrong: one message, for the first; nothing after it is read.
    d.SetDlgItemText(IDC_NAME, "beta");
    d.SetDlgItemText(IDC_PORT, "4005x");
    d.SetDlgItemText(IDC_PORT2, "-1");
    d.CheckDlgButton(IDC_TICK, 1);
    EXPECT_FALSE(d.UpdateData(true));
    EXPECT_EQ(m_capture.m_messages.size(), 1u);
    EXPECT_EQ(dlg.m_strName, "beta");  // read before the failing field
    EXPECT_EQ(dlg.m_dwPort, 4003u);
    EXPECT_EQ(dlg.m_dwPort2, 4001u);
    EXPECT_EQ(dlg.m_bTick, 0);

    d.SetDlgItemText(IDC_PORT, " 4005\t");
    EXPECT_FALSE(d.UpdateData(true));
    EXPECT_EQ(m_capture.m_messages.size(), 2u);
    EXPECT_EQ(FocusedId(dlg), IDC_PORT2);
    EXPECT_EQ(AfxGetSelectedText(d.GetDlgItem(IDC_PORT2)), "-1");
    d.EndDialog(IDCANCEL);
  });
}

// ---------------------------------------------------------------------------------------------
// Nesting and message boxes

/// How a dialog that the main window opened ends, and what each of the two returns.
struct NestedCase {
  const char* pszName;
  std::function<void(CDialog& inner, CDialog& outer)> end;  ///< once the inner one is shown
  INT_PTR nInner;
  INT_PTR nOuter;
  bool bOuterEndedAfter;  ///< by the test, once the inner one has returned
};

void PrintTo(const NestedCase& c, std::ostream* pOut) { *pOut << c.pszName; }

const NestedCase kNested[] = {
    {"InnerClicked", [](CDialog& d, CDialog&) { Click(d, IDOK); }, IDOK, IDCANCEL, true},
    // The main window ends while the dialog it opened still runs: it hides at once and returns
    // once that one has ended.
    {"OuterEndedFirst",
     [](CDialog& d, CDialog& outer) {
       outer.EndDialog(5);
       EXPECT_FALSE(outer.IsWindowVisible());
       EXPECT_EQ(CDialog::GetTopModal(), &d);
       Click(d, IDOK);
     },
     IDOK, 5, false},
    // A second dialog of the main window, above the first: the main window takes no input until
    // the first one has ended too.
    {"AnotherAboveIt",
     [](CDialog& d, CDialog& outer) {
       CFormDlg another;
       EXPECT_EQ(another.DoModal(), IDOK);
       EXPECT_EQ(another.GetOwner(), &outer);
#ifdef _WIN32
       EXPECT_FALSE(IsWindowEnabled(outer.GetSafeHwnd()));
#endif
       Click(d, IDOK);
     },
     IDOK, IDCANCEL, true},
#ifdef _WIN32
    // Every loop ends on the application's quit, and the quit stays for the loop outside them.
    {"ApplicationQuits", [](CDialog&, CDialog&) { PostQuitMessage(3); }, IDCANCEL, IDCANCEL, false},
#endif
};

class Nested : public Dialogs, public testing::WithParamInterface<NestedCase> {};

TEST_P(Nested, DialogBelongsToTheMainWindowWhichGetsItsInputBackAfter) {
  const NestedCase& c = GetParam();
  std::vector<std::string> destroyed;
  CFormDlg outer(kMenuTemplate);
  outer.m_bBindFields = false;
  CFormDlg inner;
  outer.m_pDestroyLog = &destroyed;
  inner.m_pDestroyLog = &destroyed;
  m_app.m_pMainWnd = &outer;
  INT_PTR nInner = 0;
  CDialog::SetShownHook([&](CDialog& d) {
    if (&d == &inner) {
      EXPECT_EQ(CDialog::GetTopModal(), &inner);
      EXPECT_EQ(d.GetOwner(), &outer);
      // Same IDs in both windows: each finds its own control.
      EXPECT_NE(outer.GetDlgItem(IDOK), nullptr);
      EXPECT_NE(outer.GetDlgItem(IDOK), d.GetDlgItem(IDOK));
#ifdef _WIN32
      EXPECT_FALSE(IsWindowEnabled(outer.GetSafeHwnd()));  // no input while the inner one runs
#endif
      c.end(d, outer);
      return;
    }
    if (&d != &outer) {
      Click(d, IDOK);
      return;
    }
    nInner = inner.DoModal();
    EXPECT_EQ(CDialog::GetTopModal(), &outer);
#ifdef _WIN32
    EXPECT_TRUE(IsWindowEnabled(outer.GetSafeHwnd()));
    if (c.bOuterEndedAfter)
      EXPECT_EQ(GetActiveWindow(), outer.GetSafeHwnd());
#endif
    if (c.bOuterEndedAfter)
      outer.EndDialog(IDCANCEL);
  });
  EXPECT_EQ(outer.DoModal(), c.nOuter);
  EXPECT_EQ(nInner, c.nInner);
  EXPECT_EQ(destroyed, (std::vector<std::string>{"Test form...", "With menu"}));
  EXPECT_EQ(outer.GetOwner(), nullptr);
  EXPECT_EQ(m_app.m_pMainWnd, nullptr);  // cleared with the main window
#ifdef _WIN32
  MSG msg;
  const bool bQuit = PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  EXPECT_EQ(bQuit, c.nInner == IDCANCEL);
  if (bQuit)
    EXPECT_EQ(msg.wParam, 3u);
#endif
}

INSTANTIATE_TEST_SUITE_P(Nesting, Nested, testing::ValuesIn(kNested),
                         [](const auto& info) { return std::string(info.param.pszName); });

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
  bool bBoxSeen = false;

  const INT_PTR nOuter = Run(outer, [&](CDialog&) {
    nInner = Run(inner, [&](CDialog&) {
      // A real message box on top of both; EndAllModal comes while it runs.
      AfxSetMessageBoxHook(nullptr);  // the capture's destructor sets it again
      AfxPostCall([&] {
        std::string strCaption, strText;
        HWND hOwner = nullptr;
        bBoxSeen = AfxFindMessageBox(strCaption, strText, hOwner);
        EXPECT_EQ(strCaption, "Mintora");  // the application's name
        EXPECT_EQ(strText.substr(0, 24), "Hang up failed, Error: 5");
        EXPECT_EQ(hOwner, kBoxOwnedByTopDialog ? inner.GetSafeHwnd() : nullptr);
        CDialog::EndAllModal();
      });
      AfxMessageBox("Hang up failed, Error: 5\r\n", MB_ICONERROR);
      bBoxReturned = true;
    });
  });
  EXPECT_TRUE(bBoxSeen);
  EXPECT_TRUE(bBoxReturned);
  EXPECT_EQ(nInner, IDCANCEL);
  EXPECT_EQ(nOuter, IDCANCEL);
  EXPECT_EQ(inner.m_nClose, 0);  // nested: ended directly
  EXPECT_EQ(outer.m_nClose, 1);  // main window: asked to close
  EXPECT_EQ(destroyed, (std::vector<std::string>{"Test form...", "With menu"}));
  EXPECT_EQ(inner.m_strNameAtDestroy, "alpha");
}

// ---------------------------------------------------------------------------------------------
// What one platform alone has: its controls' own kinds and looks, its menus, its icons, and
// how a termination request arrives.

#ifdef _WIN32

std::string ClassOf(HWND hWnd) {
  char szClass[64] = {};
  GetClassNameA(hWnd, szClass, sizeof szClass);
  return szClass;
}

const char* ClassOfKind(ControlKind kind) {
  switch (kind) {
  case Edit: return "Edit";
  case Static:
  case Icon: return "Static";
  default: return "Button";
  }
}

TEST_P(TemplateDialog, ControlsAreTheSystemsOwnKindsAndTextsFitTheTemplateFont) {
  const DialogTemplate& dlgTemplate = TemplateOf(GetParam().nIDD);
  CRecordingDlg dlg(dlgTemplate);
  Run(dlg, [&](CDialog&) {
    const HWND hDlg = dlg.GetSafeHwnd();
    size_t i = 0;
    for (HWND hItem = GetWindow(hDlg, GW_CHILD); hItem;
         hItem = GetWindow(hItem, GW_HWNDNEXT), ++i) {
      ASSERT_LT(i, dlgTemplate.controls.size());
      const DialogControl& ctrl = dlgTemplate.controls[i];
      SCOPED_TRACE("control " + std::to_string(i) + " ID " + std::to_string(ctrl.nID));
      EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(hItem)), static_cast<WORD>(ctrl.nID));
      EXPECT_EQ(ClassOf(hItem), ClassOfKind(ctrl.kind));
      const LONG_PTR nStyle = GetWindowLongPtrA(hItem, GWL_STYLE);
      if (ctrl.kind == PushButton || ctrl.kind == DefPushButton) {
        EXPECT_EQ((nStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON, ctrl.kind == DefPushButton);
      }
    }
    EXPECT_EQ(i, dlgTemplate.controls.size());

    HDC hDC = GetDC(hDlg);
    const HGDIOBJ hOld =
        SelectObject(hDC, reinterpret_cast<HFONT>(SendMessageA(hDlg, WM_GETFONT, 0, 0)));
    // Wine maps a face it lacks to another with wider letters: the templates were laid out in
    // this one (Debian's fonts-wine has it; cmake/wine-run puts it into the prefix).
    char szFace[32] = {};
    GetTextFaceA(hDC, sizeof szFace, szFace);
    EXPECT_EQ(std::string(szFace), dlgTemplate.pszFont);
    const int nBoxWidth = GetSystemMetrics(SM_CXMENUCHECK) + 4;  // a check box's box and gap
    for (const DialogControl& ctrl : dlgTemplate.controls) {
      // Edits scroll; the about text and the form's note wrap on purpose.
      if (!ctrl.pszText || ctrl.kind == Edit || ctrl.nID == IDC_ABOUT_TEXT ||
          std::strchr(ctrl.pszText, '\n'))
        continue;
      SIZE size;
      GetTextExtentPoint32A(hDC, ctrl.pszText, static_cast<int>(strlen(ctrl.pszText)), &size);
      RECT rc{0, 0, ctrl.cx, ctrl.cy};
      MapDialogRect(hDlg, &rc);
      const int nRoom = rc.right - (ctrl.kind == CheckBox ? nBoxWidth : 0);
      EXPECT_LE(size.cx, nRoom) << '"' << ctrl.pszText << '"';
    }
    SelectObject(hDC, hOld);
    ReleaseDC(hDlg, hDC);
    dlg.EndDialog(IDCANCEL);
  });
}

// The keys above go through the test's pump, which hands them to the dialog's key handling as
// the modal loop does; here the dialog's own modal loop takes them from the queue.
TEST(DialogManagerLoop, EnterOnAClickedButtonPushesIt) {
  CRecordingApp app;
  CRecordingDlg dlg(GetDialogTemplate(IDD_VENDINGPANEL_DIALOG));
  CDialog::SetShownHook([&](CDialog&) {
    Click(dlg, IDC_PRODUCT_1 + 1);
    const HWND hFocus = GetFocus();
    PostMessageA(hFocus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(hFocus, WM_KEYUP, VK_RETURN, 0xC01C0001);
    AfxPostCall([&] { dlg.EndDialog(kStillOpen); });  // queued behind the key
  });
  const INT_PTR nResult = dlg.DoModal();
  CDialog::SetShownHook(nullptr);
  EXPECT_EQ(nResult, kStillOpen);
  EXPECT_EQ(dlg.m_commands, (std::vector<UINT>{IDC_PRODUCT_1 + 1, IDC_PRODUCT_1 + 1}));
}

struct MenuCase {
  const char* pszName;
  int nPopup;
  int nItem;  ///< -1: the popup's own title
  const char* pszText;
  UINT nID;  ///< 0 for a title or a separator
};

const MenuCase kPanelMenu[] = {
    {"FileTitle", 0, -1, "&File", 0},
    {"Exit", 0, 0, "Exit\tAlt+F4", ID_APP_EXIT},
    {"SettingsTitle", 1, -1, "&Settings", 0},
    {"AcceptorControl", 1, 0, "&Acceptor Control", ID_SETTINGS_ACCEPTORCONTROL},
    {"EditPrices", 1, 1, "&Edit Prices", ID_SETTINGS_EDITPRICES},
    {"Separator", 1, 2, "", 0},
    {"Connection", 1, 3, "&Connection", ID_SETTINGS_CONNECTION},
    {"InformationTitle", 2, -1, "&Information", 0},
    {"TubeStatus", 2, 0, "Tube Status", ID_INFORMATION_TUBESTATUS},
    {"AcceptorSetup", 2, 1, "Acceptor Setup", ID_INFORMATION_ACCEPTORSETUP},
    {"AcceptorIdent", 2, 2, "Acceptor Identification", ID_INFORMATION_ACCEPTORIDENT},
    {"HelpTitle", 3, -1, "&Help", 0},
    {"About", 3, 0, "&About this", ID_HELP_ABOUT},
};

class PanelMenu : public Dialogs, public testing::WithParamInterface<MenuCase> {};

TEST_P(PanelMenu, ItemCarriesItsTextAndCommand) {
  const MenuCase& item = GetParam();
  CRecordingDlg dlg(GetDialogTemplate(IDD_VENDINGPANEL_DIALOG));
  Run(dlg, [&](CDialog&) {
    dlg.EndDialog(IDCANCEL);
    const HMENU hMenu = GetMenu(dlg.GetSafeHwnd());
    ASSERT_NE(hMenu, nullptr);
    EXPECT_EQ(GetMenuItemCount(hMenu), 4);
    char szText[64] = {};
    if (item.nItem < 0) {
      GetMenuStringA(hMenu, item.nPopup, szText, sizeof szText, MF_BYPOSITION);
      EXPECT_EQ(std::string(szText), item.pszText);
      return;
    }
    const HMENU hPopup = GetSubMenu(hMenu, item.nPopup);
    ASSERT_NE(hPopup, nullptr);
    GetMenuStringA(hPopup, item.nItem, szText, sizeof szText, MF_BYPOSITION);
    EXPECT_EQ(std::string(szText), item.pszText);
    EXPECT_EQ(GetMenuState(hPopup, item.nItem, MF_BYPOSITION) & MF_SEPARATOR,
              *item.pszText ? 0u : static_cast<UINT>(MF_SEPARATOR));
    if (item.nID != 0) {
      EXPECT_EQ(GetMenuItemID(hPopup, item.nItem), item.nID);
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Templates, PanelMenu, testing::ValuesIn(kPanelMenu),
                         [](const auto& info) { return std::string(info.param.pszName); });

#else

QIcon TestIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::red);
  return QIcon(pixmap);
}

TEST_F(Dialogs, ControlsAreTheToolkitsWidgetsInTheTemplatesLook) {
  CFormDlg dlg;
  Run(dlg, [](CDialog& d) {
    EXPECT_EQ(QtWidget(d.m_hWnd)->objectName(), "dlg_900");
    auto* pName = qobject_cast<QLineEdit*>(QtWidget(d.GetDlgItem(IDC_NAME)));
    ASSERT_NE(pName, nullptr);
    EXPECT_EQ(pName->objectName(), "ctrl_1001");
    EXPECT_TRUE(pName->alignment() & Qt::AlignRight);
    EXPECT_TRUE(pName->hasFrame());

    auto* pOK = qobject_cast<QPushButton*>(QtWidget(d.GetDlgItem(IDOK)));
    auto* pCustom = qobject_cast<QPushButton*>(QtWidget(d.GetDlgItem(IDC_CUSTOM)));
    ASSERT_TRUE(pOK && pCustom);
    EXPECT_FALSE(pOK->isDefault());
    EXPECT_FALSE(pOK->autoDefault());
    EXPECT_TRUE(pCustom->isDefault());

    auto* pTick = qobject_cast<QCheckBox*>(QtWidget(d.GetDlgItem(IDC_TICK)));
    ASSERT_NE(pTick, nullptr);
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
    EXPECT_EQ(pNote->frameShadow(), QFrame::Sunken);
    EXPECT_TRUE(pNote->alignment() & Qt::AlignHCenter);

    auto* pLogo = qobject_cast<QLabel*>(QtWidget(d.GetDlgItem(IDC_LOGO)));
    ASSERT_NE(pLogo, nullptr);
    EXPECT_FALSE(pLogo->pixmap().isNull());
    EXPECT_EQ(QtWidget(d.GetDlgItem(IDC_PLAIN))->focusPolicy(), Qt::ClickFocus);
    d.EndDialog(IDCANCEL);
  });

  // A label sized for the original face still shows its whole text in the substitute.
  CFormDlg withMenu(kMenuTemplate);
  withMenu.m_bBindFields = false;
  Run(withMenu, [](CDialog& d) {
    auto* pLong = qobject_cast<QLabel*>(QtWidget(d.GetDlgItem(IDC_LONG)));
    ASSERT_NE(pLong, nullptr);
    EXPECT_LE(QFontMetrics(pLong->font()).horizontalAdvance(pLong->text()), pLong->width());
    EXPECT_GE(pLong->font().pixelSize(), 8);
    d.EndDialog(IDCANCEL);
  });
}

TEST_F(Dialogs, MenuItemsRunTheirCommands) {
  CFormDlg dlg(kMenuTemplate);
  dlg.m_bBindFields = false;
  Run(dlg, [&](CDialog& d) {
    auto* pMenuBar = QtWidget(d.m_hWnd)->findChild<QMenuBar*>();
    ASSERT_NE(pMenuBar, nullptr);
    EXPECT_EQ(pMenuBar->geometry(), QRect(0, 0, QtWidget(d.m_hWnd)->width(), pMenuBar->height()));
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
}

int g_nCountedIconsDrawn = 0;

QIcon CountedIcon() {
  ++g_nCountedIconsDrawn;
  return TestIcon();
}

constexpr UINT IDI_TEST = 4242;

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
  AfxRegisterIcon(IDI_TEST, TestIcon);
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

// A termination signal before a dialog opens: the dialog initialises and ends at once.
TEST(DialogsAfterTermination, EndAtOnceAsIfClosed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        CRecordingApp app;
        AfxInstallTerminationHandlers();
        std::raise(SIGTERM);
        bool bShown = false;
        CDialogAnswers answers;
        answers.AnswerAny([&](CDialog&) { bShown = true; });
        CFormDlg dlg;
        const INT_PTR nResult = dlg.DoModal();
        AfxPumpEvents(0);
        const bool bOk = AfxIsTerminating() && nResult == IDCANCEL && dlg.m_nInit == 1 &&
                         dlg.m_nClose == 1 && dlg.m_nDestroyed == 1 && !bShown;
        std::_Exit(bOk ? 0 : 1);  // no exit handlers: the toolkit is never torn down here
      },
      ::testing::ExitedWithCode(0), "");
}

#endif

}  // namespace
