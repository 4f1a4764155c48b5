// A device that misbehaves, end to end: lx5200e-sim (headless, a separate process) withholds,
// cuts short and spoils answers, sends empty and oversized datagrams and resets the changer, and
// what the program makes of it is read on the wire from the sim's traffic log:
//   - the real Mintora executable, for what goes over the wire;
//   - the vending panel in this process over the real link, where the credit and the
//     information dialogs can be read as well.
// Each table shares one session across its rows, which run in order; after every row a coin
// shows that the session goes on (the deposit is answered with TUBE STATUS and COIN TYPE).
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// Two pairs of ports from this file's range: the program's session, then the panel's.
const unsigned kPorts = TakePorts(EPortRange::FaultEndToEnd, 4);

/// Typed at the sim, then the lines expected in its log, in order. An expected line is
///   "PREFIX"    a line that starts so, after the previous match;
///   "> PREFIX"  the first command from the PC after the previous match starts so;
///   "quiet"     ten ticks pass after the previous match with no command from the PC;
///   "<N PREFIX" a line that starts so, with fewer than N datagrams sent to the PC on the way
///               (the device's cadence runs on while the PC answers, so N leaves room).
struct Stage {
  std::vector<std::string> typed;
  std::vector<std::string> expected;
};

/// Plays one stage. @returns "" when every expected line came, else what went wrong.
std::string Play(CSimProcess& sim, const Stage& stage) {
  std::size_t nAt = sim.Lines().size();
  for (const std::string& strLine : stage.typed)
    sim.Type(strLine);
  for (const std::string& strExpected : stage.expected) {
    const std::size_t nFrom = nAt;
    if (strExpected == "quiet") {
      for (int n = 0; n < 10 && nAt != CSimProcess::npos; ++n) {
        nAt = sim.Find("TX COMM 1 08 TICK", nAt);
        nAt = nAt == CSimProcess::npos ? nAt : nAt + 1;
      }
      if (nAt == CSimProcess::npos)
        return "the ticks stopped";
      for (std::size_t i = nFrom; i < nAt; ++i)
        if (sim.Lines()[i].rfind("RX COMM", 0) == 0)
          return "expected no command, got " + sim.Lines()[i];
      continue;
    }
    const bool bNextCommand = strExpected.rfind("> ", 0) == 0;
    const bool bSoon = strExpected[0] == '<';
    const std::string strPrefix = bNextCommand ? strExpected.substr(2)
                                  : bSoon      ? strExpected.substr(strExpected.find(' ') + 1)
                                               : strExpected;
    const std::size_t nFound = sim.Find(bNextCommand ? "RX COMM" : strPrefix, nAt);
    if (nFound == CSimProcess::npos)
      return "never came: " + strExpected;
    if (bNextCommand && sim.Lines()[nFound].rfind(strPrefix, 0) != 0)
      return "expected " + strPrefix + ", the PC sent " + sim.Lines()[nFound];
    long nSent = 0;
    for (std::size_t i = nFrom; i < nFound; ++i)
      nSent += sim.Lines()[i].rfind("TX COMM", 0) == 0;
    if (bSoon && nSent >= std::stol(strExpected.substr(1)))
      return strPrefix + " came only after " + std::to_string(nSent) + " datagrams";
    nAt = nFound + 1;
  }
  return "";
}

/// A coin of type 0 after each row: the session goes on when the PC answers its report.
const Stage kCoinIsAnswered = {
    {"insert 0"}, {"TX COMM 3 08 50", "> RX COMM 1 0A TUBE STATUS", "ENABLED accept 003F"}};

struct Row {
  const char* lpszName;
  std::vector<Stage> stages;
};

/// The changer resets while the answer to one query is held back, then the answer comes. Its
/// reset report reaches the PC at the first tick the PC lets pass: after the start-up, or during
/// it when the PC was slow to answer a tick; either way RESET goes out again and the changer ends
/// up enabled.
Row ResetWhileWaitingFor(const char* lpszName, const std::string& strKind,
                         const std::string& strAnswer) {
  return {lpszName,
          {{{"fault withhold all " + strKind, "reset"},
            {"RX COMM 1 08 RESET", "FAULT withheld " + strAnswer}},
           {{"reset", "fault withhold off"}, {"RX COMM 1 08 RESET", "ENABLED accept 003F"}}}};
}

// The start-up after a changer reset in Polling, with one query answer withheld, cut short or
// spoiled: the wire shows what the driver made of it and the session completes.
const Row kStartUpRows[] = {
    {"withheld SETUP answer: SETUP again on the next tick",
     {{{"fault withhold 1 setup", "reset"},
       {"RX COMM 1 08 RESET", "FAULT withheld SETUP RESPONSE", "> RX COMM 1 09 SETUP",
        "TX COMM 24 08 03 19 78", "ENABLED accept 003F"}}}},
    {"withheld IDENTIFICATION answer: asked again on the next tick",
     {{{"fault withhold 1 ident", "reset"},
       {"RX COMM 1 08 RESET", "FAULT withheld IDENTIFICATION RESPONSE", "> RX COMM 2 0F 00",
        "TX COMM 34 08 54 53 4C", "ENABLED accept 003F"}}}},
    {"withheld TUBE STATUS answer: asked again on the next tick",
     {{{"fault withhold 1 tubes", "reset"},
       {"RX COMM 1 08 RESET", "FAULT withheld TUBE STATUS RESPONSE", "> RX COMM 1 0A",
        "TX COMM 19 08", "ENABLED accept 003F"}}}},
    {"short SETUP answer is taken as the answer",
     {{{"fault short 10 setup", "reset"},
       {"RX COMM 1 08 RESET", "TX COMM 10 08 03 19 78 05 02 00", "> RX COMM 2 0F 00",
        "ENABLED accept 003F"}}}},
    {"short IDENTIFICATION answer is taken as the answer",
     {{{"fault short 12 ident", "reset"},
       {"RX COMM 1 08 RESET", "TX COMM 12 08 54 53 4C 31 39 37 38 30 30 30 34", "> RX COMM 6 0F 01",
        "ENABLED accept 003F"}}}},
    {"short TUBE STATUS answer is taken as the answer",
     {{{"fault short 8 tubes", "reset"},
       {"RX COMM 1 08 RESET", "TX COMM 8 08 00 00", "> RX COMM 5 0C 00 3F 00 00",
        "ENABLED accept 003F"}}}},
    {"spoiled header on the SETUP answer: ignored, SETUP again",
     {{{"fault header 10 setup", "reset"},
       {"RX COMM 1 08 RESET", "TX COMM 24 10 03 19 78", "> RX COMM 1 09 SETUP", "TX COMM 24 08",
        "ENABLED accept 003F"}}}},
    {"spoiled header on a deposit: no command",
     {{{"fault header 10 deposit", "insert 3"}, {"TX COMM 3 10 53", "quiet"}}}},
    {"oversized datagram of 1025 bytes: dropped whole",
     {{{"fault oversize 1025"}, {"TX COMM 1025 08 00", "quiet"}}}},
    {"oversized datagram of 65507 bytes: dropped whole",
     {{{"fault oversize 65507"}, {"TX COMM 65507 08 00", "quiet"}}}},
    // The countdown ran out in the start-up: RESET goes out on the second datagram after the
    // report (here on the third at most, with room for a busy machine).
    {"changer reset in Polling: RESET first, at once",
     {{{"reset"}, {"TX COMM 2 08 0B", "<9 RX COMM 1 08 RESET", "ENABLED accept 003F"}}}},
    ResetWhileWaitingFor("changer reset while SETUP waits", "setup", "SETUP"),
    ResetWhileWaitingFor("changer reset while IDENTIFICATION waits", "ident", "IDENTIFICATION"),
    ResetWhileWaitingFor("changer reset while TUBE STATUS waits", "tubes", "TUBE STATUS"),
};

std::string ProgramStore(unsigned nComm) {
  return "[Connection]\nIPAddress=127.0.0.2\nPortCommunication=" + std::to_string(nComm) +
         "\nPortControl=" + std::to_string(nComm + 1) + "\n[AcceptorControl]\nCoinAccept=63\n";
}

/// The real program against the sim, started up and polling.
class FaultyDeviceProgram : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_sim.Start(kPorts, kPorts + 1, 20));
    ASSERT_TRUE(m_program.Start(m_config, ProgramStore(kPorts)));
    ASSERT_NE(m_sim.Find("ENABLED accept 003F", 0), CSimProcess::npos);
  }
  /// Ends the program: the device hears control code 0, the changer is still enabled.
  void Close() {
    const std::size_t nFrom = m_sim.Lines().size();
    m_sim.Type("status");
    const std::size_t nStatus = m_sim.Find("STATUS polling on reporting on", nFrom);
    ASSERT_NE(nStatus, CSimProcess::npos);
    EXPECT_NE(m_sim.Lines()[nStatus].find("accept 003F"), std::string::npos);
    m_program.Signal(SIGTERM);
    EXPECT_EQ(Play(m_sim, {{}, {"RX CTRL 3 08 03 00 CONTROL 0 OFF"}}), "");
    EXPECT_TRUE(m_program.EndsNormally());
  }

  CTempConfig m_config;
  CSimProcess m_sim;
  CMintoraProcess m_program;
};

TEST_F(FaultyDeviceProgram, EachFaultHasItsOutcomeOnTheWireAndTheSessionGoesOn) {
  for (const Row& row : kStartUpRows) {
    SCOPED_TRACE(row.lpszName);
    for (const Stage& stage : row.stages)
      EXPECT_EQ(Play(m_sim, stage), "");
    EXPECT_EQ(Play(m_sim, kCoinIsAnswered), "");
  }
  Close();
}

TEST_F(FaultyDeviceProgram, AnEmptyDatagramOnEitherPortIsDropped) {
  const Row rows[] = {
      {"empty datagram on the communication port", {{{"fault empty comm"}, {"TX COMM 0 EMPTY"}}}},
      {"empty datagram on the control port", {{{"fault empty control"}, {"TX CTRL 0 EMPTY"}}}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lpszName);
    EXPECT_EQ(Play(m_sim, row.stages[0]), "");
    EXPECT_EQ(Play(m_sim, kCoinIsAnswered), "");
  }
  Close();
}

// ---- the panel in this process: credit and information dialogs ----

/// The panel, with an operator who presses Change Return just as the changer reports a reset.
class CFaultPanel : public CVendingPanelDlg {
public:
  void OnDatagram(const BYTE* pBytes, unsigned nLength) override {
    if (m_bReturnAtReset && nLength == 2 && pBytes[1] == 0x0B) {
      m_bReturnAtReset = false;
      OnChangeReturn();
    }
    CVendingPanelDlg::OnDatagram(pBytes, nLength);
  }
  bool m_bReturnAtReset = false;
};

std::string Money(unsigned nHundredths) {
  char sz[16];
  std::snprintf(sz, sizeof sz, "%u.%02u", nHundredths / 100, nHundredths % 100);
  return sz;
}

// Coins of the sim as started below, in hundredths; tubes for coin types 0 to 5.
constexpr unsigned kCoinValue[16] = {5, 10, 20, 50, 100, 200};
constexpr unsigned kPrice = 7;  // product 1

class FaultyDevicePanel : public ::testing::Test {
protected:
  /// The texts of controls nFirst..nLast of the information dialog that nCommand opens.
  std::vector<std::string> DialogTexts(UINT nCommand, int nFirst, int nLast) {
    std::vector<std::string> texts;
    m_pfnDialog = [&](CDialog& dlg) {
      for (int nID = nFirst; nID <= nLast; ++nID)
        texts.push_back(dlg.GetDlgItemText(nID));
    };
    m_panel.RouteCommand(nCommand);
    m_pfnDialog = nullptr;
    return texts;
  }
  std::string Credit() { return m_panel.GetDlgItemText(IDC_CREDIT); }

  CTempConfig m_config;
  CTestLinkApp m_app;
  CSimProcess m_sim;
  CFaultPanel m_panel;
  std::function<void(CDialog&)> m_pfnDialog;
};

TEST_F(FaultyDevicePanel, CreditAndRecordsFollowWhatTheChangerSentAndNoMoneyIsLost) {
  const unsigned nComm = kPorts + 2;
  m_app.WriteProfileString("Connection", "IPAddress", "127.0.0.2");
  m_app.WriteProfileInt("Connection", "PortCommunication", nComm);
  m_app.WriteProfileInt("Connection", "PortControl", nComm + 1);
  m_app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x003F);
  m_app.WriteProfileInt("Prices", "Price_00", kPrice);
  ASSERT_TRUE(m_sim.Start(nComm, nComm + 1, 20, {"--routing", "003F", "--fill", "24,30,18,9,5,5"}));
  ASSERT_TRUE(m_app.Connect());
  m_app.m_pMainWnd = &m_panel;

  // The panel's own ledger, beside the sim's: what the script vended and what payouts dropped.
  unsigned nCredit = 0;
  unsigned nVended = 0;
  unsigned nDropped = 0;
  const auto ChangeReturnDue = [&] {
    nDropped += nCredit % 5;
    nCredit = 0;
  };
  struct PanelRow {
    const char* lpszName;
    std::vector<Stage> stages;
    std::function<void()> pfnBefore = nullptr;  // the operator, before the stages
    std::function<void()> pfnCheck = nullptr;   // after them
  };
  const PanelRow rows[] = {
      {"spoiled header on a deposit: not credited",
       {{{"fault header 10 deposit", "insert 3"}, {"TX COMM 3 10 53", "quiet"}}}},
      {"short SETUP answer: coin values read 0 where its bytes were missing",
       {{{"fault short 10 setup", "reset"}, {"TX COMM 10 08 03 19 78", "ENABLED accept 003F"}}},
       {},
       [&] {
         EXPECT_EQ(DialogTexts(ID_INFORMATION_ACCEPTORSETUP, IDC_SETUP_SCALING_FACTOR,
                               IDC_SETUP_COIN_1 + 2),
                   (std::vector<std::string>{"5", "2", "5 -> Routng to Tube",
                                             "10 -> Routng to Tube", "0 -> Routng to Tube"}));
       }},
      {"whole SETUP answer again after a restart",
       {{{"reset"}, {"TX COMM 24 08 03 19 78", "ENABLED accept 003F"}}},
       {},
       [&] {
         EXPECT_EQ(
             DialogTexts(ID_INFORMATION_ACCEPTORSETUP, IDC_SETUP_COIN_1 + 2, IDC_SETUP_COIN_1 + 2),
             std::vector<std::string>{"20 -> Routng to Tube"});
       }},
      {"short IDENTIFICATION answer: the texts end where the bytes did",
       {{{"fault short 12 ident", "reset"}, {"TX COMM 12 08 54 53 4C", "ENABLED accept 003F"}}},
       {},
       [&] {
         EXPECT_EQ(
             DialogTexts(ID_INFORMATION_ACCEPTORIDENT, IDC_IDENT_MANUFACTURER, IDC_IDENT_FEATURE_1),
             (std::vector<std::string>{"TSL", "19780004", "", "00.00", "Disabled"}));
       }},
      {"short TUBE STATUS answer: tubes past its end read empty",
       {{{"fault short 8 tubes", "reset"}, {"TX COMM 8 08 00 00", "ENABLED accept 003F"}}},
       {},
       [&] {
         EXPECT_EQ(DialogTexts(ID_INFORMATION_TUBESTATUS, IDC_TUBE_1 + 4, IDC_TUBE_1 + 5),
                   (std::vector<std::string>{" 5 x 100", " ---"}));
       }},
      {"changer reset in Polling: restarted, credit kept",
       {{{"reset"}, {"TX COMM 2 08 0B", "> RX COMM 1 08 RESET", "ENABLED accept 003F"}}}},
      {"changer reset while SETUP waits: credit kept",
       ResetWhileWaitingFor("", "setup", "SETUP").stages},
      {"changer reset while IDENTIFICATION waits: credit kept",
       ResetWhileWaitingFor("", "ident", "IDENTIFICATION").stages},
      {"changer reset while TUBE STATUS waits: credit kept",
       ResetWhileWaitingFor("", "tubes", "TUBE STATUS").stages},
      {"changer reset between Change Return and the payout: paid once, after the restart",
       {{{"reset"},
         {"TX COMM 2 08 0B", "> RX COMM 1 08 RESET", "ENABLED accept 003F", "> RX COMM 3 0F 02",
          "PAID"}},
        {{"insert 1"}, {"> RX COMM 1 0A", "ENABLED accept 003F"}}},
       [&] {
         m_panel.m_bReturnAtReset = true;
         ChangeReturnDue();
       },
       [&] {
         nCredit += kCoinValue[1];  // the coin after the payout
         EXPECT_EQ(Credit(), Money(nCredit));
       }},
      {"vend, then Change Return with a remainder below one unit",
       {{{}, {"> RX COMM 3 0F 02", "PAID"}}},
       [&] {
         m_panel.Vend(0);
         nVended += kPrice;
         nCredit -= kPrice;
         m_panel.OnChangeReturn();
         ChangeReturnDue();
       }},
      {"oversized datagram: dropped whole", {{{"fault oversize 1025"}, {"TX COMM 1025", "quiet"}}}},
  };

  CDialog::SetShownHook([&](CDialog& dlg) {
    if (&dlg != &m_panel) {
      if (m_pfnDialog)
        m_pfnDialog(dlg);
      dlg.EndDialog(IDCANCEL);
      return;
    }
    EXPECT_NE(m_sim.Find("ENABLED accept 003F", 0), CSimProcess::npos);
    for (const PanelRow& row : rows) {
      SCOPED_TRACE(row.lpszName);
      const std::size_t nRowStart = m_sim.Lines().size();
      if (row.pfnBefore)
        row.pfnBefore();
      for (const Stage& stage : row.stages)
        EXPECT_EQ(Play(m_sim, stage), "");
      if (row.pfnCheck)
        row.pfnCheck();
      EXPECT_EQ(Credit(), Money(nCredit));
      unsigned nPayouts = 0;
      for (std::size_t i = nRowStart; i < m_sim.Lines().size(); ++i)
        nPayouts += m_sim.Lines()[i].rfind("RX COMM 3 0F 02", 0) == 0;
      EXPECT_LE(nPayouts, 1u) << "paid twice";
      EXPECT_EQ(Play(m_sim, kCoinIsAnswered), "");
      nCredit += kCoinValue[0];
      EXPECT_TRUE(PumpUntil([&] { return Credit() == Money(nCredit); }, 5000));
    }
    m_panel.SendMessage(WM_CLOSE);
  });
  m_panel.DoModal();
  CDialog::SetShownHook(nullptr);
  m_app.m_pMainWnd = nullptr;
  m_app.Disconnect();

  // Money over the whole session, from the sim's log: every coin it reported with its header
  // intact was credited, and is vended, paid out, dropped below one unit or still shown.
  unsigned nDeposited = 0;
  unsigned nPaid = 0;
  for (const std::string& strLine : m_sim.Lines()) {
    unsigned nStatus = 0, nUnits = 0;
    if (std::sscanf(strLine.c_str(), "TX COMM 3 08 %x", &nStatus) == 1 && (nStatus & 0xC0) == 0x40)
      nDeposited += kCoinValue[nStatus & 0x0F];
    else if (std::sscanf(strLine.c_str(), "RX COMM 3 0F 02 %x", &nUnits) == 1)
      nPaid += nUnits * 5;
  }
  EXPECT_GT(nPaid, 0u);
  EXPECT_EQ(nDeposited, nVended + nPaid + nDropped + nCredit);
  EXPECT_EQ(m_panel.GetChangerDriver()->GetCredit(), nCredit);
}

}  // namespace
