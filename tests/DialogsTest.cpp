// The vending panel and the operator dialogs, on either platform: driven from inside their modal
// loops by the operator's keys and clicks, checked through their controls by ID, the settings
// store, the commands the panel's driver sends and the beeps.
#include "AboutDlg.h"
#include "AcceptorControlDlg.h"
#include "AcceptorIdentDlg.h"
#include "AcceptorSetupDlg.h"
#include "ConnectionDlg.h"
#include "PriceDlg.h"
#include "Resource.h"
#include "TestDialogs.h"
#include "TubeStatusDlg.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

using Bytes = std::vector<BYTE>;

/// SETUP response: scaling factor 5, coin credits 1, 2, 5, 10, 20, 40.
const Bytes kSetupResponse = {0x08, 0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x0F,
                              0x01, 0x02, 0x05, 0x0A, 0x14, 0x28, 0,    0,
                              0,    0,    0,    0,    0,    0,    0,    0};

/// The panel, with the commands its driver sends kept instead of going to a link.
class CRecordingPanel : public CVendingPanelDlg {
public:
  void SendChangerCommand(const BYTE* pBytes, unsigned nLength) override {
    m_sent.emplace_back(pBytes, pBytes + nLength);
  }
  void Feed(Bytes bytes) { OnDatagram(bytes.data(), static_cast<unsigned>(bytes.size())); }
  /// Teaches the driver the coin set and puts it into polling.
  void MakeReady() {
    GetChangerDriver()->SetState(CChangerDriver::SetupQuery);
    Feed(kSetupResponse);
    GetChangerDriver()->SetState(CChangerDriver::Polling);
  }

  std::vector<Bytes> m_sent;
};

/// The panel is the main window, which owns the other dialogs; it runs only when a test runs it.
class DialogsTest : public AppFixture<> {
protected:
  void SetUp() override { m_app.m_pMainWnd = &m_panel; }
  void TearDown() override { m_app.m_pMainWnd = nullptr; }

  /// Runs dlg modally; fn acts inside its loop, and what it leaves open is cancelled.
  INT_PTR Run(CDialog& dlg, const DialogAnswer& fn) { return m_answers.Run(dlg, fn); }

  UINT Int(const char* lpszSection, const char* lpszEntry) {
    return m_app.GetProfileInt(lpszSection, lpszEntry, 0xDEADBEEF);
  }
  std::string Text(const char* lpszSection, const char* lpszEntry) {
    return m_app.GetProfileString(lpszSection, lpszEntry, "(absent)");
  }

  CRecordingPanel m_panel;
  std::vector<UINT>& m_beeps = m_capture.m_beeps;
};

std::map<int, std::string> Texts(CDialog& d, const std::map<int, std::string>& want) {
  std::map<int, std::string> texts;
  for (const auto& [nID, str] : want)
    texts[nID] = d.GetDlgItemText(nID);
  return texts;
}

// ---------------------------------------------------------------------------------------------
// The panel

TEST_F(DialogsTest, PanelVendsAtTheStoredPriceFromTheCreditAndBeepsForEachVend) {
  m_app.WriteProfileInt("Prices", "Price_00", 25);
  m_app.WriteProfileInt("Prices", "Price_02", 50);
  m_app.WriteProfileInt("Prices", "Price_09", 0);
  CRecordingPanel& panel = m_panel;
  std::vector<UINT>& beeps = m_beeps;
  Run(m_panel, [&](CDialog& d) {
    panel.MakeReady();
    panel.Feed({0x08, 0x53, 0x04});  // coin type 3: 10 x 5
    panel.Feed({0x08, 0x52, 0x04});  // coin type 2: 5 x 5, while the tubes are being queried
    EXPECT_EQ(d.GetDlgItemText(IDC_CREDIT), "0.75");
    EXPECT_EQ(panel.GetChangerDriver()->GetCredit(), 75u);

    d.SetDlgItemText(IDC_PRICE_1 + 2, "0.01");  // typed texts are never read
    d.SetDlgItemText(IDC_CREDIT, "99.99");
    Click(d, IDC_PRODUCT_1 + 2);  // Product Selection #3 -> Price_02
    EXPECT_EQ(d.GetDlgItemText(IDC_CREDIT), "0.25");
    EXPECT_EQ(beeps, (std::vector<UINT>{250}));
    Click(d, IDC_PRODUCT_1 + 2);  // 0.25 does not cover 0.50: nothing at all
    EXPECT_EQ(d.GetDlgItemText(IDC_CREDIT), "0.25");
    EXPECT_EQ(beeps.size(), 1u);

    Click(d, IDC_PRODUCT_1 + 9);  // free
    EXPECT_EQ(d.GetDlgItemText(IDC_CREDIT), "0.25");
    Click(d, IDC_PRODUCT_1);  // exactly the credit
    EXPECT_EQ(d.GetDlgItemText(IDC_CREDIT), "0.00");
    Click(d, IDC_PRODUCT_1 + 9);  // free without credit
    EXPECT_EQ(beeps, (std::vector<UINT>{250, 250, 250, 250}));
  });
}

TEST_F(DialogsTest, PanelChangeReturnWaitsForTheNextDatagram) {
  CRecordingPanel& panel = m_panel;
  Run(m_panel, [&](CDialog& d) {
    panel.MakeReady();
    panel.Feed({0x08, 0x55, 0x04});  // coin type 5: 40 x 5 = 2.00
    Click(d, IDC_CHANGE_RETURN);
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), CChangerDriver::PayoutSend);
    EXPECT_EQ(d.GetDlgItemText(IDC_CREDIT), "2.00");
    panel.Feed({0x08});
    EXPECT_EQ(d.GetDlgItemText(IDC_CREDIT), "0.00");
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), CChangerDriver::Polling);
  });
}

/// A way the operator ends a dialog, and the control that has the focus first (0: as it opens).
struct EndRoute {
  const char* lpszName;
  UINT nIDD;
  int nFocus;
  EDialogKey key;  ///< typed, unless bCloseBox or nClick
  bool bCloseBox;
  int nClick;
  INT_PTR nResult;
};

void PrintTo(const EndRoute& r, std::ostream* pOut) { *pOut << r.lpszName; }

constexpr auto kEnter = EDialogKey::Enter;

const EndRoute kEndRoutes[] = {
    // The panel: Escape, Enter off the buttons, Alt+F4 (the menu's Exit, or the system's close).
    {"PanelEscape", IDD_VENDINGPANEL_DIALOG, IDC_CREDIT, EDialogKey::Escape, false, 0, IDCANCEL},
    {"PanelEnterOnTheCredit", IDD_VENDINGPANEL_DIALOG, IDC_CREDIT, kEnter, false, 0, IDOK},
    {"PanelAltF4", IDD_VENDINGPANEL_DIALOG, 0, EDialogKey::AltF4, false, 0, IDCANCEL},
    // The acceptor control dialog keeps its ticks whichever way it is left.
    {"AcceptorExit", IDD_ACCEPTORCONTROL_DIALOG, 0, kEnter, false, IDOK, IDOK},
    {"AcceptorEnterOnABox", IDD_ACCEPTORCONTROL_DIALOG, 1045, kEnter, false, 0, IDOK},
    {"AcceptorEscape", IDD_ACCEPTORCONTROL_DIALOG, 0, EDialogKey::Escape, false, 0, IDCANCEL},
    {"AcceptorCloseBox", IDD_ACCEPTORCONTROL_DIALOG, 0, kEnter, true, 0, IDCANCEL},
};

class DialogEnd : public DialogsTest, public ::testing::WithParamInterface<EndRoute> {};

TEST_P(DialogEnd, EveryRouteEndsItAndTheAcceptorTicksAreStored) {
  const EndRoute& r = GetParam();
  CAcceptorControlDlg acceptor;
  CDialog& dlg = r.nIDD == IDD_VENDINGPANEL_DIALOG ? static_cast<CDialog&>(m_panel) : acceptor;
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    if (&d == &acceptor) {
      for (int n = 1030; n <= 1074; ++n)
        EXPECT_EQ(d.IsDlgButtonChecked(n), 0u) << n;  // empty store: all clear
      Click(d, 1032);                                 // Accept Coin Type 3
      Click(d, 1062);                                 // Dispense Coin Type 16
      Click(d, 1073);                                 // manual fill and payout
    }
    if (r.nFocus)
      d.GotoDlgCtrl(r.nFocus);
    if (r.bCloseBox)
      AfxCloseWindow(d.GetSafeHwnd());
    else if (r.nClick)
      Click(d, r.nClick);
    else
      PressKey(d, r.key);
    EXPECT_FALSE(d.IsWindowVisible());
  });
  EXPECT_EQ(nResult, r.nResult);
  if (&dlg == &acceptor) {
    EXPECT_EQ(Int("AcceptorControl", "CoinAccept"), 4u);
    EXPECT_EQ(Int("AcceptorControl", "CoinDispense"), 0x8000u);
    EXPECT_EQ(Int("AcceptorControl", "FeatureEnable"), 4u);
  }
}

INSTANTIATE_TEST_SUITE_P(Routes, DialogEnd, ::testing::ValuesIn(kEndRoutes),
                         [](const auto& info) { return std::string(info.param.lpszName); });

TEST_F(DialogsTest, PanelMenuOpensEachDialog) {
  m_answers.AnswerAny([&](CDialog& d) { EXPECT_EQ(d.GetOwner(), &m_panel); });
  m_answers.Answer(102, [](CDialog& d) {
    for (UINT nCommand : {32775u, 32772u, 32773u, 32779u, 32777u, 32778u, 32774u})
      d.RouteCommand(nCommand);
  });
  m_panel.DoModal();
  EXPECT_EQ(m_answers.Shown(), (std::vector<UINT>{102, 135, 131, 133, 138, 136, 137, 134}));
}

// ---------------------------------------------------------------------------------------------
// Acceptor control

TEST_F(DialogsTest, AcceptorControlShowsStoredBitsAndStoresBackOnlyTheShownOnes) {
  m_app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x18001);  // bits 0, 15 and 16
  m_app.WriteProfileInt("AcceptorControl", "CoinDispense", 0xC000);
  m_app.WriteProfileInt("AcceptorControl", "FeatureEnable", 0x1F);
  CAcceptorControlDlg dlg;
  const INT_PTR nResult = Run(dlg, [](CDialog& d) {
    const std::vector<int> ticked = {1030, 1045, 1060, 1062, 1071, 1072, 1073, 1074};
    int nBoxes = 0;
    for (int nID = 1030; nID <= 1074; ++nID) {
      if (nID == 1061 || (nID >= 1063 && nID <= 1070))  // no box: a label, the three buttons
        continue;
      ASSERT_NE(d.GetDlgItem(nID), nullptr) << nID;
      EXPECT_EQ(d.IsDlgButtonChecked(nID) == 1, std::count(ticked.begin(), ticked.end(), nID) == 1)
          << nID;
      ++nBoxes;
    }
    EXPECT_EQ(nBoxes, 36);
    Click(d, IDOK);
  });
  EXPECT_EQ(nResult, IDOK);
  EXPECT_EQ(Int("AcceptorControl", "CoinAccept"), 0x8001u);
  EXPECT_EQ(Int("AcceptorControl", "CoinDispense"), 0xC000u);
  EXPECT_EQ(Int("AcceptorControl", "FeatureEnable"), 0x0Fu);
}

TEST_F(DialogsTest, AcceptorControlButtonsSetDriverStateAndKeepDialogOpen) {
  m_app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x0001);
  CAcceptorControlDlg dlg;
  CRecordingPanel& panel = m_panel;
  Run(dlg, [&panel](CDialog& d) {
    Click(d, 1032);  // ticked on screen, not yet stored
    Click(d, 1064);  // Enable
    EXPECT_EQ(CDialog::GetTopModal(), &d);
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), 6u);
    panel.Feed({0x08});  // a tick: the driver sends COIN TYPE with the words stored before
    ASSERT_EQ(panel.m_sent.size(), 1u);
    EXPECT_EQ(panel.m_sent[0], (Bytes{0x0C, 0x00, 0x01, 0x00, 0x00}));

    Click(d, 1065);  // Disable
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), 7u);
    Click(d, 1063);  // Reset
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), 0u);
    EXPECT_EQ(CDialog::GetTopModal(), &d);
    Click(d, IDOK);
  });
  EXPECT_EQ(Int("AcceptorControl", "CoinAccept"), 5u);
}

TEST_F(DialogsTest, DialogsWithoutPanelShowNothingReportedAndButtonsDoNothing) {
  m_app.m_pMainWnd = nullptr;
  CAcceptorControlDlg control;
  Run(control, [](CDialog& d) {
    Click(d, 1063);
    Click(d, 1064);
    EXPECT_EQ(CDialog::GetTopModal(), &d);
  });
  CTubeStatusDlg tubes;
  Run(tubes, [](CDialog& d) { EXPECT_EQ(d.GetDlgItemText(1085), " ---"); });
}

// ---------------------------------------------------------------------------------------------
// Prices, through the panel's menu command

TEST_F(DialogsTest, PriceDialogStoresParsedPricesAndPanelShowsThemAfterOK) {
  int nPriceDialogs = 0;
  m_answers.Answer(102, [&](CDialog& d) {
    d.RouteCommand(32772);  // 1: edits, OK
    const std::map<int, std::string> want = {
        {1001, "2.05"}, {1002, "10.00"}, {1003, "0.07"}, {1004, "3.34"}, {1010, "1.00"}};
    EXPECT_EQ(Texts(d, want), want);
    d.SetDlgItemText(1005, "typed on the panel");
    d.RouteCommand(32772);  // 2: Cancel, nothing refreshed
    EXPECT_EQ(d.GetDlgItemText(1005), "typed on the panel");
    d.RouteCommand(32772);  // 3: OK without edits, all ten refreshed
    EXPECT_EQ(d.GetDlgItemText(1005), "1.00");
  });
  m_answers.Answer(131, [&](CDialog& d) {
    switch (++nPriceDialogs) {
    case 1:
      for (int nID = 1001; nID <= 1010; ++nID)
        EXPECT_EQ(d.GetDlgItemText(nID), "1.00") << nID;
      d.SetDlgItemText(1001, "2.5");
      d.SetDlgItemText(1002, "10.00");
      d.SetDlgItemText(1003, "0.07");
      d.SetDlgItemText(1004, "1.234");
      Click(d, IDOK);
      break;
    case 2:
      EXPECT_EQ(d.GetDlgItemText(1001), "2.05");
      d.SetDlgItemText(1001, "9.99");
      Click(d, IDCANCEL);
      break;
    default: Click(d, IDOK); break;
    }
  });
  m_panel.DoModal();
  EXPECT_EQ(nPriceDialogs, 3);
  EXPECT_EQ(Int("Prices", "Price_00"), 205u);
  EXPECT_EQ(Int("Prices", "Price_01"), 1000u);
  EXPECT_EQ(Int("Prices", "Price_02"), 7u);
  EXPECT_EQ(Int("Prices", "Price_03"), 334u);
  EXPECT_EQ(Int("Prices", "Price_09"), 100u);  // stored although never edited
}

// ---------------------------------------------------------------------------------------------
// Connection

TEST_F(DialogsTest, ConnectionDialogShowsDefaultsAndStoresAllFiveOnOK) {
  CConnectionDlg dlg;
  const INT_PTR nResult = Run(dlg, [](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(1024), "LX-5200");
    EXPECT_EQ(d.GetDlgItemText(1025), "192.168.1.1");
    EXPECT_EQ(d.GetDlgItemText(1026), "4003");
    EXPECT_EQ(d.GetDlgItemText(1027), "4001");
    EXPECT_EQ(d.IsDlgButtonChecked(1028), 0u);  // although start-up connects by default
    d.SetDlgItemText(1025, "127.0.0.9");
    Click(d, IDOK);
  });
  EXPECT_EQ(nResult, IDOK);
  EXPECT_EQ(Text("Connection", "ConnectionName"), "LX-5200");
  EXPECT_EQ(Text("Connection", "IPAddress"), "127.0.0.9");
  EXPECT_EQ(Int("Connection", "PortCommunication"), 4003u);
  EXPECT_EQ(Int("Connection", "PortControl"), 4001u);
  EXPECT_EQ(Int("Connection", "AutoConnect"), 0u);
}

TEST_F(DialogsTest, ConnectionDialogShowsStoredValuesAndCancelStoresNothing) {
  m_app.WriteProfileString("Connection", "ConnectionName", "");
  m_app.WriteProfileInt("Connection", "AutoConnect", 7);
  m_app.WriteProfileInt("Connection", "PortControl", 70000);
  CConnectionDlg dlg;
  const INT_PTR nResult = Run(dlg, [](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(1024), "");
    EXPECT_EQ(d.GetDlgItemText(1027), "70000");
    EXPECT_EQ(d.IsDlgButtonChecked(1028), 1u);
    d.SetDlgItemText(1024, "Other");
    PressKey(d, EDialogKey::Escape);
  });
  EXPECT_EQ(nResult, IDCANCEL);
  EXPECT_EQ(Text("Connection", "ConnectionName"), "");
  EXPECT_EQ(Text("Connection", "IPAddress"), "(absent)");
  EXPECT_EQ(Int("Connection", "AutoConnect"), 7u);
}

// The number rule itself is the data exchange's (ParseUnsigned in the dialog contract); these
// rows hold what this dialog adds: both ports checked, no range, one message for two faults.
struct PortCase {
  const char* lpszName;
  const char* lpszCommunication;
  const char* lpszControl;
  int nRefusedID;  // 0: accepted
  UINT nCommunication;
  UINT nControl;
};

void PrintTo(const PortCase& c, std::ostream* pOut) { *pOut << c.lpszName; }

class ConnectionPortCheck : public DialogsTest, public ::testing::WithParamInterface<PortCase> {};

TEST_P(ConnectionPortCheck, RefusesAnythingButAnUnsignedNumber) {
  const PortCase& c = GetParam();
  CConnectionDlg dlg;
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    d.SetDlgItemText(1026, c.lpszCommunication);
    d.SetDlgItemText(1027, c.lpszControl);
    Click(d, IDOK);
    if (!c.nRefusedID)
      return;
    EXPECT_EQ(CDialog::GetTopModal(), &d);
    EXPECT_EQ(FocusedId(d), c.nRefusedID);
    EXPECT_EQ(AfxGetSelectedText(d.GetDlgItem(c.nRefusedID)), d.GetDlgItemText(c.nRefusedID));
    Click(d, IDCANCEL);
  });
  if (c.nRefusedID) {
    EXPECT_EQ(nResult, IDCANCEL);
    EXPECT_EQ(m_capture.m_messages, std::vector<std::string>{"Please enter a positive integer."});
    EXPECT_EQ(Text("Connection", "ConnectionName"), "(absent)");
    EXPECT_EQ(Int("Connection", "AutoConnect"), 0xDEADBEEFu);
  } else {
    EXPECT_EQ(nResult, IDOK);
    EXPECT_TRUE(m_capture.m_messages.empty());
    EXPECT_EQ(Int("Connection", "PortCommunication"), c.nCommunication);
    EXPECT_EQ(Int("Connection", "PortControl"), c.nControl);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ConnectionPortCheck,
    ::testing::Values(PortCase{"BlanksAndPlus", " 4005 ", "\t+4001\t", 0, 4005, 4001},
                      PortCase{"NoRangeCheck", "4294967295", "70000", 0, 4294967295u, 70000},
                      PortCase{"TrailingLetter", "4005x", "4001", 1026, 0, 0},
                      PortCase{"Minus", "4003", "-1", 1027, 0, 0},
                      PortCase{"BothBadOneMessage", "x", "y", 1026, 0, 0}),
    [](const auto& info) { return std::string(info.param.lpszName); });

// ---------------------------------------------------------------------------------------------
// Information dialogs and about box

TEST_F(DialogsTest, InformationDialogsShowRecordsInTheRowsTheirLabelsName) {
  // SETUP: level 3, country 18 40, scaling 5, 2 decimals, routing 00 07, sixteen credits.
  m_panel.GetChangerDriver()->SetState(2);
  m_panel.Feed({0x09, 0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x07, 1,   2,   5,   10,
                20,   50,   60,   70,   80,   90,   100,  110,  120, 130, 140, 150});
  // EXPANSION IDENTIFICATION: "ABC", "123456789012", "MODELXY     ", 01 23, 00 00 00 05.
  m_panel.GetChangerDriver()->SetState(3);
  m_panel.Feed({0x0F, 'A', 'B', 'C', '1',  '2',  '3',  '4',  '5',  '6', '7', '8',
                '9',  '0', '1', '2', 'M',  'O',  'D',  'E',  'L',  'X', 'Y', ' ',
                ' ',  ' ', ' ', ' ', 0x01, 0x23, 0x00, 0x00, 0x00, 0x05});
  // TUBE STATUS: tube of coin type 1 full; counts 0, 3, 4, then 0 .. 9 for the last.
  m_panel.GetChangerDriver()->SetState(5);
  m_panel.Feed({0x0A, 0x00, 0x02, 0, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9});

  CAcceptorSetupDlg setup;
  Run(setup, [](CDialog& d) {
    const std::map<int, std::string> want = {{1066, "3"},
                                             {1067, "1840"},
                                             {1068, "5"},
                                             {1069, "2"},
                                             {1070, "5 -> Routng to Tube"},
                                             {1071, "10 -> Routng to Tube"},
                                             {1072, "25 -> Routng to Tube"},
                                             {1073, "50"},
                                             {1074, "100"},
                                             {1075, "250"},
                                             {1076, "300"},
                                             {1084, "350"},
                                             {1077, "400"},
                                             {1078, "450"},
                                             {1079, "500"},
                                             {1080, "550"},
                                             {1081, "600"},
                                             {1082, "650"},
                                             {1083, "700"},
                                             {1085, "750"}};
    EXPECT_EQ(Texts(d, want), want);
  });
  CAcceptorIdentDlg ident;
  Run(ident, [](CDialog& d) {
    const std::map<int, std::string> want = {
        {1068, "ABC"},     {1069, "123456789012"}, {1070, "MODELXY     "}, {1071, "01.23"},
        {1072, "Enabled"}, {1073, "Disabled"},     {1074, "Enabled"},      {1075, "Disabled"}};
    EXPECT_EQ(Texts(d, want), want);
  });
  CTubeStatusDlg tubes;
  Run(tubes, [](CDialog& d) {
    const std::map<int, std::string> want = {{1070, " ---"},
                                             {1071, " 3 x 10 (Full)"},
                                             {1072, " 4 x 25"},
                                             {1084, " ---"},
                                             {1085, " 9 x 750"}};
    EXPECT_EQ(Texts(d, want), want);
  });
}

TEST_F(DialogsTest, AboutBoxShowsVersionAndBuildAndEnterEndsIt) {
  const std::string strWant =
      "\r\n--- Mintora ---\r\nVending Machine Emulation\r\ncommunicates over LX-5200-E device\r\n"
      "with a MDB Change Giver.\r\n\r\nVersion 1.00 build 08.02.2013\r\nMade by the Mintora team.";
  EXPECT_EQ(FormatAboutText("1.00", "08.02.2013"), strWant);
  CAboutDlg dlg;
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(1029), strWant);
    PressKey(d, kEnter);
  });
  EXPECT_EQ(nResult, IDOK);
}

}  // namespace
