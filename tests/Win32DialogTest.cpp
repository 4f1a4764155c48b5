// The Win32 dialogs made from the template tables, judged by the system's own measures: the
// dialog manager's unit conversion (MapDialogRect), its tab order (GetNextDlgTabItem), the menu
// functions and the dialog font's text extents.
#include "Dialog.h"
#include "Resource.h"
#include "Templates.h"
#include "Win32.h"
#include "WinApp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TemplateCase {
  const char* pszName;
  UINT nIDD;
};

const TemplateCase kTemplates[] = {
    {"VendingPanel", IDD_VENDINGPANEL_DIALOG},       {"Prices", IDD_PRICE_DIALOG},
    {"Connection", IDD_CONNECTION_DIALOG},           {"About", IDD_ABOUTBOX},
    {"AcceptorControl", IDD_ACCEPTORCONTROL_DIALOG}, {"AcceptorSetup", IDD_ACCEPTORSETUP_DIALOG},
    {"AcceptorIdent", IDD_ACCEPTORIDENT_DIALOG},     {"TubeStatus", IDD_TUBESTATUS_DIALOG},
};

/// Runs dlg modally; fn sees it once it is shown, then the dialog is cancelled.
template <typename Fn>
INT_PTR RunShown(CDialog& dlg, Fn fn) {
  CDialog::SetShownHook([&](CDialog& shown) {
    if (&shown != &dlg)
      return;
    fn();
    dlg.EndDialog(IDCANCEL);
  });
  const INT_PTR nResult = dlg.DoModal();
  CDialog::SetShownHook(nullptr);
  return nResult;
}

std::string WindowText(HWND hWnd) {
  char szText[512] = {};
  GetWindowTextA(hWnd, szText, sizeof szText);
  return szText;
}

std::string ClassOf(HWND hWnd) {
  char szClass[64] = {};
  GetClassNameA(hWnd, szClass, sizeof szClass);
  return szClass;
}

/// Where the dialog manager puts a rectangle of the template, in the dialog's client pixels: it
/// converts the origin and the size each on its own (so the right edge is not the converted x +
/// cx).
RECT DialogUnits(HWND hDlg, int x, int y, int cx, int cy) {
  RECT rc{x, y, cx, cy};
  MapDialogRect(hDlg, &rc);
  return RECT{rc.left, rc.top, rc.left + rc.right, rc.top + rc.bottom};
}

RECT ClientRectIn(HWND hDlg, HWND hItem) {
  RECT rc;
  GetWindowRect(hItem, &rc);
  MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

const char* ClassOfKind(ControlKind kind) {
  switch (kind) {
  case ControlKind::Edit: return "Edit";
  case ControlKind::Static:
  case ControlKind::Icon: return "Static";
  default: return "Button";
  }
}

class TemplateDialog : public testing::TestWithParam<TemplateCase> {};

TEST_P(TemplateDialog, ControlsStandWhereTheTemplatePutsThem) {
  const DialogTemplate& dlgTemplate = GetDialogTemplate(GetParam().nIDD);
  CDialog dlg(dlgTemplate);
  RunShown(dlg, [&] {
    const HWND hDlg = dlg.GetSafeHwnd();
    EXPECT_EQ(WindowText(hDlg), dlgTemplate.pszCaption);
    RECT rcClient;
    GetClientRect(hDlg, &rcClient);
    const RECT rcExpected = DialogUnits(hDlg, 0, 0, dlgTemplate.cx, dlgTemplate.cy);
    EXPECT_EQ(rcClient.right, rcExpected.right);
    EXPECT_EQ(rcClient.bottom, rcExpected.bottom) << "the menu bar takes no template height";

    size_t i = 0;
    for (HWND hItem = GetWindow(hDlg, GW_CHILD); hItem;
         hItem = GetWindow(hItem, GW_HWNDNEXT), ++i) {
      ASSERT_LT(i, dlgTemplate.controls.size());
      const DialogControl& ctrl = dlgTemplate.controls[i];
      SCOPED_TRACE("control " + std::to_string(i) + " ID " + std::to_string(ctrl.nID));
      EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(hItem)), static_cast<WORD>(ctrl.nID));
      EXPECT_EQ(ClassOf(hItem), ClassOfKind(ctrl.kind));
      const RECT rcWant = DialogUnits(hDlg, ctrl.x, ctrl.y, ctrl.cx, ctrl.cy);
      const RECT rcHave = ClientRectIn(hDlg, hItem);
      EXPECT_EQ(rcHave.left, rcWant.left);
      EXPECT_EQ(rcHave.top, rcWant.top);
      if (ctrl.kind != ControlKind::Icon) {  // an icon static takes its icon's size
        EXPECT_EQ(rcHave.right, rcWant.right);
        EXPECT_EQ(rcHave.bottom, rcWant.bottom);
        EXPECT_EQ(WindowText(hItem), ctrl.pszText ? ctrl.pszText : "");
      }
      const LONG_PTR nStyle = GetWindowLongPtrA(hItem, GWL_STYLE);
      EXPECT_EQ((nStyle & WS_TABSTOP) != 0, (ctrl.nStyle & ControlStyle::TabStop) != 0);
      if (ctrl.kind == ControlKind::PushButton || ctrl.kind == ControlKind::DefPushButton) {
        EXPECT_EQ((nStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON,
                  ctrl.kind == ControlKind::DefPushButton);
      }
    }
    EXPECT_EQ(i, dlgTemplate.controls.size());
  });
}

TEST_P(TemplateDialog, TabKeyVisitsTheTabStopsInTemplateOrder) {
  const DialogTemplate& dlgTemplate = GetDialogTemplate(GetParam().nIDD);
  std::vector<int> expected;
  for (const DialogControl& ctrl : dlgTemplate.controls) {
    if (ctrl.nStyle & ControlStyle::TabStop)
      expected.push_back(ctrl.nID);
  }
  CDialog dlg(dlgTemplate);
  RunShown(dlg, [&] {
    const HWND hDlg = dlg.GetSafeHwnd();
    EXPECT_EQ(GetFocus(), dlg.GetDlgItem(expected.front())) << "the first tab stop has the focus";
    std::vector<int> visited;
    const HWND hFirst = GetNextDlgTabItem(hDlg, nullptr, FALSE);
    HWND hItem = hFirst;
    do {
      visited.push_back(GetDlgCtrlID(hItem));
      hItem = GetNextDlgTabItem(hDlg, hItem, FALSE);
    } while (hItem && hItem != hFirst && visited.size() <= expected.size());
    EXPECT_EQ(visited, expected);
  });
}

TEST_P(TemplateDialog, EveryTextFitsItsControlInTheTemplateFont) {
  const DialogTemplate& dlgTemplate = GetDialogTemplate(GetParam().nIDD);
  CDialog dlg(dlgTemplate);
  RunShown(dlg, [&] {
    const HWND hDlg = dlg.GetSafeHwnd();
    HDC hDC = GetDC(hDlg);
    const HGDIOBJ hOld =
        SelectObject(hDC, reinterpret_cast<HFONT>(SendMessageA(hDlg, WM_GETFONT, 0, 0)));
    // Wine maps a face it lacks to another with wider letters: the templates were laid out in
    // this one (Debian's fonts-wine has it; cmake/wine-run puts it into the prefix).
    char szFace[32] = {};
    GetTextFaceA(hDC, sizeof szFace, szFace);
    ASSERT_EQ(std::string(szFace), dlgTemplate.pszFont);
    // The box of a check box and the gap after it.
    const int nBoxWidth = GetSystemMetrics(SM_CXMENUCHECK) + 4;
    for (const DialogControl& ctrl : dlgTemplate.controls) {
      if (!ctrl.pszText || ctrl.nID == IDC_ABOUT_TEXT)  // the about text wraps on purpose
        continue;
      SIZE size;
      GetTextExtentPoint32A(hDC, ctrl.pszText, static_cast<int>(strlen(ctrl.pszText)), &size);
      RECT rc;
      GetClientRect(dlg.GetDlgItem(ctrl.nID) ? dlg.GetDlgItem(ctrl.nID) : hDlg, &rc);
      if (ctrl.nID == IDC_STATIC)  // several share the ID: measure the template's own rectangle
        rc = DialogUnits(hDlg, 0, 0, ctrl.cx, ctrl.cy);
      const int nRoom = rc.right - (ctrl.kind == ControlKind::CheckBox ? nBoxWidth : 0);
      EXPECT_LE(size.cx, nRoom) << '"' << ctrl.pszText << '"';
    }
    SelectObject(hDC, hOld);
    ReleaseDC(hDlg, hDC);
  });
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplateDialog, testing::ValuesIn(kTemplates),
                         [](const auto& info) { return std::string(info.param.pszName); });

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

class PanelMenu : public testing::TestWithParam<MenuCase> {};

TEST_P(PanelMenu, ItemCarriesItsTextAndCommand) {
  const MenuCase& item = GetParam();
  CDialog dlg(GetDialogTemplate(IDD_VENDINGPANEL_DIALOG));
  RunShown(dlg, [&] {
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

/// The connection dialog's communication port through the number exchange.
class CPortDlg : public CDialog {
public:
  CPortDlg() : CDialog(GetDialogTemplate(IDD_CONNECTION_DIALOG)) {}
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, IDC_PORT_COMMUNICATION, m_dwPort);
  }
  DWORD m_dwPort = 4003;
};

struct ExchangeCase {
  const char* pszName;
  const char* pszTyped;
  bool bAccepted;
  DWORD dwStored;
};

const ExchangeCase kExchanges[] = {
    {"NumberWithBlanks", " 4005 ", true, 4005},
    {"TrailingLetter", "4005x", false, 4003},
    {"Negative", "-1", false, 4003},
    {"Empty", "", false, 4003},
};

class PortExchange : public testing::TestWithParam<ExchangeCase> {};

TEST_P(PortExchange, RefusedTextKeepsTheDialogWithTheFieldSelected) {
  const ExchangeCase& c = GetParam();
  std::vector<std::string> messages;
  AfxSetMessageBoxHook([&](const std::string& strText, UINT nType) {
    messages.push_back(strText);
    EXPECT_EQ(nType & 0xF0u, static_cast<UINT>(MB_ICONERROR));
    return IDOK;
  });
  CPortDlg dlg;
  HWND hFocusAfterOK = nullptr;
  HWND hPortEdit = nullptr;
  DWORD dwSelStart = 1, dwSelEnd = 0;
  const INT_PTR nResult = RunShown(dlg, [&] {
    EXPECT_EQ(dlg.GetDlgItemText(IDC_PORT_COMMUNICATION), "4003");
    dlg.SetDlgItemText(IDC_PORT_COMMUNICATION, c.pszTyped);
    SendMessageA(dlg.GetDlgItem(IDOK), BM_CLICK, 0, 0);
    hFocusAfterOK = GetFocus();
    hPortEdit = dlg.GetDlgItem(IDC_PORT_COMMUNICATION);
    SendMessageA(dlg.GetDlgItem(IDC_PORT_COMMUNICATION), EM_GETSEL,
                 reinterpret_cast<WPARAM>(&dwSelStart), reinterpret_cast<LPARAM>(&dwSelEnd));
  });
  AfxSetMessageBoxHook(nullptr);
  EXPECT_EQ(dlg.m_dwPort, c.dwStored);
  if (c.bAccepted) {
    EXPECT_EQ(nResult, IDOK);
    EXPECT_TRUE(messages.empty());
    return;
  }
  EXPECT_EQ(nResult, IDCANCEL) << "the dialog stayed open";
  EXPECT_EQ(messages, std::vector<std::string>{"Please enter a positive integer."});
  EXPECT_EQ(hFocusAfterOK, hPortEdit);
  EXPECT_EQ(dwSelStart, 0u);
  EXPECT_EQ(dwSelEnd, strlen(c.pszTyped));
}

INSTANTIATE_TEST_SUITE_P(Exchange, PortExchange, testing::ValuesIn(kExchanges),
                         [](const auto& info) { return std::string(info.param.pszName); });

/// A dialog that ends itself from OnInitDialog.
class CEndsAtInitDlg : public CDialog {
public:
  explicit CEndsAtInitDlg(UINT nIDD) : CDialog(GetDialogTemplate(nIDD)) {}
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    EndDialog(7);
    return true;
  }
};

TEST(ModalEnd, EndDialogInInitialisationReturnsWithoutShowing) {
  // The panel's template is visible from creation on; the about box's is shown by the loop.
  for (UINT nIDD : {IDD_ABOUTBOX, IDD_VENDINGPANEL_DIALOG}) {
    SCOPED_TRACE(nIDD);
    bool bShown = false;
    CDialog::SetShownHook([&](CDialog&) { bShown = true; });
    CEndsAtInitDlg dlg(nIDD);
    EXPECT_EQ(dlg.DoModal(), 7);
    CDialog::SetShownHook(nullptr);
    EXPECT_FALSE(bShown);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
  }
}

TEST(ModalEnd, SecondEndDialogKeepsTheFirstResult) {
  CDialog dlg(GetDialogTemplate(IDD_ABOUTBOX));
  EXPECT_EQ(RunShown(dlg,
                     [&] {
                       dlg.EndDialog(5);
                       dlg.EndDialog(6);
                     }),
            5);
}

/// Counts WM_CLOSE and ends as its close box would.
class CMainDlg : public CDialog {
public:
  CMainDlg() : CDialog(GetDialogTemplate(IDD_VENDINGPANEL_DIALOG)) {}
  void OnClose() override {
    m_events.push_back("main closed");
    CDialog::OnClose();
  }
  std::vector<std::string> m_events;
};

TEST(ModalEnd, EndAllModalCancelsBoxAndNestedDialogThenClosesTheMainWindow) {
  CMainDlg main;
  CDialog nested(GetDialogTemplate(IDD_ABOUTBOX), &main);
  CDialog::SetShownHook([&](CDialog& shown) {
    if (&shown == &main) {
      EXPECT_EQ(CDialog::GetTopModal(), &main);
      const INT_PTR nNested = nested.DoModal();
      main.m_events.push_back("nested " + std::to_string(nNested));
    } else if (&shown == &nested) {
      EXPECT_EQ(CDialog::GetTopModal(), &nested);
      // The message box's own loop dispatches the timer.
      SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR nTimer, DWORD) {
        KillTimer(nullptr, nTimer);
        CDialog::EndAllModal();
      });
      const int nBox = MessageBoxA(nested.GetSafeHwnd(), "text", "caption", MB_OK);
      main.m_events.push_back("box " + std::to_string(nBox));
    }
  });
  const INT_PTR nMain = main.DoModal();
  CDialog::SetShownHook(nullptr);
  EXPECT_EQ(nMain, IDCANCEL);
  EXPECT_EQ(main.m_events, (std::vector<std::string>{"main closed", "box 2", "nested 2"}));
  EXPECT_EQ(CDialog::GetTopModal(), nullptr);
}

struct SeenBox {
  HWND hBox = nullptr;
  std::string strCaption;
  HWND hOwner = nullptr;
};
SeenBox g_seenBox;

BOOL CALLBACK FindMessageBox(HWND hWnd, LPARAM lParam) {
  if (ClassOf(hWnd) != "#32770" || hWnd == reinterpret_cast<HWND>(lParam))
    return TRUE;
  g_seenBox = {hWnd, WindowText(hWnd), GetWindow(hWnd, GW_OWNER)};
  return FALSE;
}

TEST(AfxMessageBoxWindow, CaptionIsTheApplicationNameAndOwnerTheTopDialog) {
  CWinApp app("Mintora");
  CDialog dlg(GetDialogTemplate(IDD_ABOUTBOX));
  int nBox = 0;
  g_seenBox = {};
  RunShown(dlg, [&] {
    SetTimer(dlg.GetSafeHwnd(), 1, 50, [](HWND hDlg, UINT, UINT_PTR nTimer, DWORD) {
      KillTimer(hDlg, nTimer);
      EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(hDlg));
      if (g_seenBox.hBox)
        EndDialog(g_seenBox.hBox, IDOK);
    });
    nBox = AfxMessageBox("Hang up failed, Error: 5\r\n", MB_ICONERROR);
    EXPECT_EQ(g_seenBox.hOwner, dlg.GetSafeHwnd());
  });
  EXPECT_EQ(nBox, IDOK);
  EXPECT_EQ(g_seenBox.strCaption, "Mintora");
}

}  // namespace
