// The operator dialogs on the offscreen platform, driven from inside their modal loops and
// checked through their controls by ID and through the settings store.
#include "AboutDlg.h"
#include "AcceptorControlDlg.h"
#include "AcceptorIdentDlg.h"
#include "AcceptorSetupDlg.h"
#include "ConnectionDlg.h"
#include "PriceDlg.h"
#include "QtPlatform.h"
#include "TestSupport.h"
#include "TubeStatusDlg.h"
#include "VendingPanelDlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

/// The panel, with the commands its driver sends kept instead of going to a link.
class CRecordingPanel : public CVendingPanelDlg {
public:
  void SendChangerCommand(const BYTE* pBytes, unsigned nLength) override {
    m_sent.emplace_back(pBytes, pBytes + nLength);
  }
  void Feed(Bytes bytes) { OnDatagram(bytes.data(), static_cast<unsigned>(bytes.size())); }

  std::vector<Bytes> m_sent;
};

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
};

// ---------------------------------------------------------------------------------------------
// Acceptor control

std::vector<int> AllBoxes() {
  std::vector<int> ids;
  for (int n = 1030; n <= 1074; ++n)
    if (n != 1061 && (n < 1063 || n > 1070))
      ids.push_back(n);
  return ids;
}

TEST_F(DialogsTest, AcceptorControlShowsStoredBitsAndStoresBackOnlyTheShownOnes) {
  m_app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x18001);  // bits 0, 15 and 16
  m_app.WriteProfileInt("AcceptorControl", "CoinDispense", 0xC000);
  m_app.WriteProfileInt("AcceptorControl", "FeatureEnable", 0x1F);
  CAcceptorControlDlg dlg;
  const INT_PTR nResult = Run(dlg, [](CDialog& d) {
    const std::vector<int> ticked = {1030, 1045, 1060, 1062, 1071, 1072, 1073, 1074};
    ASSERT_EQ(AllBoxes().size(), 36u);
    for (int nID : AllBoxes()) {
      auto* pBox = qobject_cast<QCheckBox*>(QtWidget(d.GetDlgItem(nID)));
      ASSERT_NE(pBox, nullptr) << nID;
      EXPECT_EQ(pBox->isChecked(), std::count(ticked.begin(), ticked.end(), nID) == 1) << nID;
    }
    Button(d, IDOK)->click();
  });
  EXPECT_EQ(nResult, IDOK);
  EXPECT_EQ(Int("AcceptorControl", "CoinAccept"), 0x8001u);
  EXPECT_EQ(Int("AcceptorControl", "CoinDispense"), 0xC000u);
  EXPECT_EQ(Int("AcceptorControl", "FeatureEnable"), 0x0Fu);
}

enum class CloseRoute { ExitButton, EnterKey, EscapeKey, CloseBox };

std::string RouteName(const ::testing::TestParamInfo<CloseRoute>& info) {
  const char* const names[] = {"Exit", "Enter", "Esc", "CloseBox"};
  return names[static_cast<int>(info.param)];
}

class AcceptorControlClose : public DialogsTest,
                             public ::testing::WithParamInterface<CloseRoute> {};

TEST_P(AcceptorControlClose, EveryRouteStoresTheTicks) {
  CAcceptorControlDlg dlg;
  const INT_PTR nResult = Run(dlg, [](CDialog& d) {
    for (int nID : AllBoxes())
      EXPECT_FALSE(Button(d, nID)->isChecked()) << nID;  // empty store: all clear
    Button(d, 1032)->click();                            // Accept Coin Type 3
    Button(d, 1062)->click();                            // Dispense Coin Type 16
    Button(d, 1073)->click();                            // manual fill and payout
    switch (GetParam()) {
    case CloseRoute::ExitButton: Button(d, IDOK)->click(); break;
    case CloseRoute::EnterKey:
      Button(d, 1045)->setFocus();
      PressKey(d, Qt::Key_Return);
      break;
    case CloseRoute::EscapeKey: PressKey(d, Qt::Key_Escape); break;
    case CloseRoute::CloseBox: QtWidget(d.GetSafeHwnd())->close(); break;
    }
  });
  const bool bOK = GetParam() == CloseRoute::ExitButton || GetParam() == CloseRoute::EnterKey;
  EXPECT_EQ(nResult, bOK ? IDOK : IDCANCEL);
  EXPECT_EQ(Int("AcceptorControl", "CoinAccept"), 4u);
  EXPECT_EQ(Int("AcceptorControl", "CoinDispense"), 0x8000u);
  EXPECT_EQ(Int("AcceptorControl", "FeatureEnable"), 4u);
}

INSTANTIATE_TEST_SUITE_P(Routes, AcceptorControlClose,
                         ::testing::Values(CloseRoute::ExitButton, CloseRoute::EnterKey,
                                           CloseRoute::EscapeKey, CloseRoute::CloseBox),
                         RouteName);

TEST_F(DialogsTest, AcceptorControlButtonsSetDriverStateAndKeepDialogOpen) {
  m_app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x0001);
  CAcceptorControlDlg dlg;
  CRecordingPanel& panel = m_panel;
  Run(dlg, [&panel](CDialog& d) {
    Button(d, 1032)->click();  // ticked on screen, not yet stored
    Button(d, 1064)->click();  // Enable
    EXPECT_EQ(CDialog::GetTopModal(), &d);
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), 6u);
    panel.Feed({0x08});  // a tick: the driver sends COIN TYPE with the words stored before
    ASSERT_EQ(panel.m_sent.size(), 1u);
    EXPECT_EQ(panel.m_sent[0], (Bytes{0x0C, 0x00, 0x01, 0x00, 0x00}));

    Button(d, 1065)->click();  // Disable
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), 7u);
    Button(d, 1063)->click();  // Reset
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), 0u);
    EXPECT_EQ(CDialog::GetTopModal(), &d);
    Button(d, IDOK)->click();
  });
  EXPECT_EQ(Int("AcceptorControl", "CoinAccept"), 5u);
}

TEST_F(DialogsTest, DialogsWithoutPanelShowNothingReportedAndButtonsDoNothing) {
  m_app.m_pMainWnd = nullptr;
  CAcceptorControlDlg control;
  Run(control, [](CDialog& d) {
    Button(d, 1063)->click();
    Button(d, 1064)->click();
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
    EXPECT_EQ(d.GetDlgItemText(1001), "2.05");
    EXPECT_EQ(d.GetDlgItemText(1002), "10.00");
    EXPECT_EQ(d.GetDlgItemText(1003), "0.07");
    EXPECT_EQ(d.GetDlgItemText(1004), "3.34");
    EXPECT_EQ(d.GetDlgItemText(1010), "1.00");
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
      Edit(d, 1001)->setText("2.5");
      Edit(d, 1002)->setText("10.00");
      Edit(d, 1003)->setText("0.07");
      Edit(d, 1004)->setText("1.234");
      Button(d, IDOK)->click();
      break;
    case 2:
      EXPECT_EQ(d.GetDlgItemText(1001), "2.05");
      Edit(d, 1001)->setText("9.99");
      Button(d, IDCANCEL)->click();
      break;
    default: Button(d, IDOK)->click(); break;
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
    EXPECT_FALSE(Button(d, 1028)->isChecked());  // although start-up connects by default
    Edit(d, 1025)->setText("127.0.0.9");
    Button(d, IDOK)->click();
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
    EXPECT_TRUE(Button(d, 1028)->isChecked());
    Edit(d, 1024)->setText("Other");
    PressKey(d, Qt::Key_Escape);
  });
  EXPECT_EQ(nResult, IDCANCEL);
  EXPECT_EQ(Text("Connection", "ConnectionName"), "");
  EXPECT_EQ(Text("Connection", "IPAddress"), "(absent)");
  EXPECT_EQ(Int("Connection", "AutoConnect"), 7u);
}

struct PortCase {
  const char* lpszName;
  const char* lpszCommunication;
  const char* lpszControl;
  int nRefusedID;  // 0: accepted
  UINT nCommunication;
  UINT nControl;
};

class ConnectionPortCheck : public DialogsTest, public ::testing::WithParamInterface<PortCase> {};

TEST_P(ConnectionPortCheck, RefusesAnythingButAnUnsignedNumber) {
  const PortCase& c = GetParam();
  CConnectionDlg dlg;
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    Edit(d, 1026)->setText(c.lpszCommunication);
    Edit(d, 1027)->setText(c.lpszControl);
    Button(d, IDOK)->click();
    if (!c.nRefusedID)
      return;
    EXPECT_EQ(CDialog::GetTopModal(), &d);
    QLineEdit* pField = Edit(d, c.nRefusedID);
    EXPECT_EQ(QtWidget(d.GetSafeHwnd())->focusWidget(), pField);
    EXPECT_EQ(pField->selectedText(), pField->text());
    Button(d, IDCANCEL)->click();
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
                      PortCase{"Empty", "", "4001", 1026, 0, 0},
                      PortCase{"InnerBlank", "4 005", "4001", 1026, 0, 0},
                      PortCase{"Beyond32Bits", "4294967296", "4001", 1026, 0, 0},
                      PortCase{"BothBadOneMessage", "x", "y", 1026, 0, 0}),
    [](const auto& info) { return std::string(info.param.lpszName); });

// ---------------------------------------------------------------------------------------------
// Information dialogs and about box

std::map<int, std::string> Texts(CDialog& d, const std::vector<int>& ids) {
  std::map<int, std::string> texts;
  for (int nID : ids)
    texts[nID] = d.GetDlgItemText(nID);
  return texts;
}

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
    std::vector<int> ids;
    for (const auto& [nID, str] : want)
      ids.push_back(nID);
    EXPECT_EQ(Texts(d, ids), want);
  });

  CAcceptorIdentDlg ident;
  Run(ident, [](CDialog& d) {
    const std::map<int, std::string> want = {
        {1068, "ABC"},     {1069, "123456789012"}, {1070, "MODELXY     "}, {1071, "01.23"},
        {1072, "Enabled"}, {1073, "Disabled"},     {1074, "Enabled"},      {1075, "Disabled"}};
    EXPECT_EQ(Texts(d, {1068, 1069, 1070, 1071, 1072, 1073, 1074, 1075}), want);
  });

  CTubeStatusDlg tubes;
  Run(tubes, [](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(1070), " ---");
    EXPECT_EQ(d.GetDlgItemText(1071), " 3 x 10 (Full)");
    EXPECT_EQ(d.GetDlgItemText(1072), " 4 x 25");
    EXPECT_EQ(d.GetDlgItemText(1084), " ---");
    EXPECT_EQ(d.GetDlgItemText(1085), " 9 x 750");
  });
}

TEST_F(DialogsTest, InformationDialogsBeforeTheChangerAnswered) {
  CAcceptorSetupDlg setup;
  Run(setup, [](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(1066), "0");
    EXPECT_EQ(d.GetDlgItemText(1067), "0000");
    EXPECT_EQ(d.GetDlgItemText(1068), "0");
    EXPECT_EQ(d.GetDlgItemText(1069), "0");
    for (int nID = 1070; nID <= 1085; ++nID)
      EXPECT_EQ(d.GetDlgItemText(nID), "0") << nID;
  });
  CAcceptorIdentDlg ident;
  Run(ident, [](CDialog& d) {
    for (int nID : {1068, 1069, 1070})
      EXPECT_EQ(d.GetDlgItemText(nID), "") << nID;
    EXPECT_EQ(d.GetDlgItemText(1071), "00.00");
    for (int nID = 1072; nID <= 1075; ++nID)
      EXPECT_EQ(d.GetDlgItemText(nID), "Disabled") << nID;
  });
  CTubeStatusDlg tubes;
  Run(tubes, [](CDialog& d) {
    for (int nID = 1070; nID <= 1085; ++nID)
      EXPECT_EQ(d.GetDlgItemText(nID), " ---") << nID;
  });
}

TEST_F(DialogsTest, AboutBoxShowsVersionBuildAndIcon) {
  const std::string strWant =
      "\r\n--- Mintora ---\r\nVending Machine Emulation\r\ncommunicates over LX-5200-E device\r\n"
      "with a MDB Change Giver.\r\n\r\nVersion 1.00 build 08.02.2013\r\nMade by the Mintora team.";
  EXPECT_EQ(FormatAboutText("1.00", "08.02.2013"), strWant);
  CAboutDlg dlg;
  const INT_PTR nResult = Run(dlg, [&](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(1029), strWant);
    QLabel* pIcon = nullptr;
    for (auto* pLabel : QtWidget(d.GetSafeHwnd())->findChildren<QLabel*>())
      if (!pLabel->pixmap().isNull())
        pIcon = pLabel;
    EXPECT_NE(pIcon, nullptr);
    PressKey(d, Qt::Key_Return);
  });
  EXPECT_EQ(nResult, IDOK);
}

TEST_F(DialogsTest, PanelMenuOpensEachDialog) {
  m_answers.AnswerAny([&](CDialog& d) { EXPECT_EQ(d.GetOwner(), &m_panel); });
  m_answers.Answer(102, [](CDialog& d) {
    for (UINT nCommand : {32775u, 32772u, 32773u, 32779u, 32777u, 32778u, 32774u})
      d.RouteCommand(nCommand);
  });
  m_panel.DoModal();
  EXPECT_EQ(m_answers.Shown(), (std::vector<UINT>{102, 135, 131, 133, 138, 136, 137, 134}));
}

}  // namespace
