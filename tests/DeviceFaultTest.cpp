// A device that misbehaves, end to end: lx5200e-sim (headless, a separate process) withholds,
// cuts short and spoils answers, sends empty and oversized datagrams and resets the changer, and
// what the program makes of it is read on the wire from the sim's traffic log, with the vending
// panel in this process over the real link, where the credit and the information dialogs can be
// read as well. Each row is a case of its own with a fresh session; after its stages a coin shows
// that the session goes on (the deposit is answered with TUBE STATUS and COIN TYPE).
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// Milliseconds between the sim's ticks.
constexpr int kTickMs = 5;

/// Typed at the sim, then the lines expected in its log, in order. An expected line is
///   "PREFIX"    a line that starts so, after the previous match;
///   "> PREFIX"  the first command from the PC after the previous match starts so;
///   "quiet"     no command from the PC after the previous match: the changer is reset then,
///               and the PC's first command after the match is its RESET, the start-up then
///               completes. The PC answers in order, so no waiting time decides.
struct Stage {
  std::vector<std::string> typed;
  std::vector<std::string> expected;
};

/// The PC's last command in the sim's log before line nAt, or "".
std::string LastCommandBefore(CSimProcess& sim, std::size_t nAt) {
  for (std::size_t i = std::min(nAt, sim.Lines().size()); i-- > 0;)
    if (sim.Lines()[i].rfind("RX COMM", 0) == 0)
      return sim.Lines()[i];
  return "";
}

/// Plays one stage. @returns "" when every expected line came, else what went wrong.
std::string Play(CSimProcess& sim, const Stage& stage) {
  std::size_t nAt = sim.Lines().size();
  for (const std::string& strLine : stage.typed)
    sim.Type(strLine);
  const auto Match = [&](const std::string& strExpected) -> std::string {
    const bool bNextCommand = strExpected.rfind("> ", 0) == 0;
    const std::string strPrefix = bNextCommand ? strExpected.substr(2) : strExpected;
    std::size_t nFound = sim.Find(bNextCommand ? "RX COMM" : strPrefix, nAt);
    // While an answer is due the PC asks again at each tick; on a slow machine a tick can reach
    // it before the answer, and the answer then counts as the earlier query's. Such a repeat of
    // the PC's last command is not the next command a row looks for.
    const std::string strLast = bNextCommand ? LastCommandBefore(sim, nAt) : "";
    while (bNextCommand && nFound != CSimProcess::npos && sim.Lines()[nFound] == strLast &&
           strLast.rfind(strPrefix, 0) != 0)
      nFound = sim.Find("RX COMM", nFound + 1);
    if (nFound == CSimProcess::npos)
      return "never came: " + strExpected;
    if (bNextCommand && sim.Lines()[nFound].rfind(strPrefix, 0) != 0)
      return "expected " + strPrefix + ", the PC sent " + sim.Lines()[nFound];
    nAt = nFound + 1;
    return "";
  };
  for (const std::string& strExpected : stage.expected) {
    if (strExpected == "quiet") {
      sim.Type("reset");
      if (std::string strWrong = Match("> RX COMM 1 08 RESET"); !strWrong.empty())
        return "not quiet: " + strWrong;
      if (std::string strWrong = Match("ENABLED"); !strWrong.empty())
        return strWrong;
    } else if (std::string strWrong = Match(strExpected); !strWrong.empty()) {
      return strWrong;
    }
  }
  return "";
}

/// A row's name as a case name: "withheld SETUP answer: ..." reads "WithheldSETUPAnswer...".
std::string CaseName(const char* lpszName) {
  std::string strName;
  bool bWordStart = true;
  for (const char* p = lpszName; *p; ++p) {
    const bool bAlnum = std::isalnum(static_cast<unsigned char>(*p)) != 0;
    if (bAlnum)
      strName += bWordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(*p))) : *p;
    bWordStart = !bAlnum;
  }
  return strName;
}

/// The panel, with an operator who presses Change Return just as the changer reports a reset,
/// and a count of the datagrams read from the changer's reset report until RESET went out.
class CFaultPanel : public CVendingPanelDlg {
public:
  void OnDatagram(const BYTE* pBytes, unsigned nLength) override {
    const bool bResetReport = nLength == 2 && pBytes[1] == 0x0B;
    m_nSinceResetReport = bResetReport ? 0 : m_nSinceResetReport + 1;
    if (m_bReturnAtReset && bResetReport) {
      m_bReturnAtReset = false;
      OnChangeReturn();
    }
    CVendingPanelDlg::OnDatagram(pBytes, nLength);
  }
  void SendChangerCommand(const BYTE* pBytes, unsigned nLength) override {
    if (nLength == 1 && pBytes[0] == 0x08)
      m_nResetAfter = m_nSinceResetReport;
    CVendingPanelDlg::SendChangerCommand(pBytes, nLength);
  }
  bool m_bReturnAtReset = false;
  unsigned m_nSinceResetReport = 0;
  unsigned m_nResetAfter = 0;  // datagrams after the reset report, when RESET last went out
};

std::string Money(unsigned nHundredths) {
  char sz[16];
  std::snprintf(sz, sizeof sz, "%u.%02u", nHundredths / 100, nHundredths % 100);
  return sz;
}

// Coins of the sim as started below, in hundredths; tubes for coin types 0 to 5.
constexpr unsigned kCoinValue[16] = {5, 10, 20, 50, 100, 200};
constexpr unsigned kPrice = 7;  // product 1

/// The panel over the real link against the sim, and what the case expects of its credit.
class CPanelSession {
public:
  CPanelSession() {
    StoreLoopbackLink(m_app, m_nComm);
    m_app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x003F);
    m_app.WriteProfileInt("Prices", "Price_00", kPrice);
  }
  /// Coin type 14 (10.00) has a tube, for the full flag in the first byte of TUBE STATUS; it is
  /// never accepted nor large enough for a payout here.
  bool Start() {
    if (!m_sim.Start(m_nComm, m_nComm + 1, kTickMs,
                     {"--routing", "403F", "--coins", "1,2,4,10,20,40,0,0,0,0,0,0,0,0,200",
                      "--fill", "24,30,18,9,5,5"}) ||
        !m_app.Connect())
      return false;
    m_app.m_pMainWnd = &m_panel;
    return true;
  }
  ~CPanelSession() {
    m_app.m_pMainWnd = nullptr;
    m_app.Disconnect();
  }

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
  /// A coin the PC answers, and the credit that shows it.
  bool InsertCoin(unsigned nCoinType) {
    const std::string strType = std::to_string(nCoinType);
    if (!Play(m_sim,
              {{"insert " + strType},
               {"TX COMM 3 08 5" + strType, "> RX COMM 1 0A TUBE STATUS", "ENABLED accept 003F"}})
             .empty())
      return false;
    m_nCredit += kCoinValue[nCoinType];
    return PumpUntil([&] { return Credit() == Money(m_nCredit); }, 5000);
  }
  /// Change Return is under way: the credit's whole units are paid, the rest is dropped.
  void ChangeReturnDue() {
    m_nDropped += m_nCredit % 5;
    m_nCredit = 0;
  }

  const unsigned m_nComm = TakePorts(EPortRange::FaultEndToEnd);
  CTempConfig m_config;
  CTestLinkApp m_app;
  CSimProcess m_sim;
  CFaultPanel m_panel;
  std::function<void(CDialog&)> m_pfnDialog;
  unsigned m_nCredit = 0;
  unsigned m_nVended = 0;
  unsigned m_nDropped = 0;
};

/// The changer resets while the answer to one query is held back, then the answer comes. Its
/// reset report reaches the PC at the first tick the PC lets pass: after the start-up, or during
/// it when the PC was slow to answer a tick; either way RESET goes out again and the changer ends
/// up enabled.
std::vector<Stage> ResetWhileWaitingFor(const std::string& strKind, const std::string& strAnswer) {
  return {{{"fault withhold all " + strKind, "reset"},
           {"RX COMM 1 08 RESET", "FAULT withheld " + strAnswer}},
          {{"reset", "fault withhold off"}, {"RX COMM 1 08 RESET", "ENABLED accept 003F"}}};
}

struct PanelRow {
  const char* lpszName;
  std::vector<Stage> stages;
  std::function<void(CPanelSession&)> pfnBefore = nullptr;  // the operator, before the stages
  std::function<void(CPanelSession&)> pfnCheck = nullptr;   // after them
};

const PanelRow kPanelRows[] = {
    // The start-up after a changer reset in Polling, with one query answer withheld or spoiled,
    // and datagrams that carry nothing: the wire shows what the driver made of it.
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
    {"spoiled header on the SETUP answer: ignored, SETUP again",
     {{{"fault header 10 setup", "reset"},
       {"RX COMM 1 08 RESET", "TX COMM 24 10 03 19 78", "> RX COMM 1 09 SETUP", "TX COMM 24 08",
        "ENABLED accept 003F"}}}},
    {"oversized datagram of 65507 bytes: dropped whole",
     {{{"fault oversize 65507"}, {"TX COMM 65507 08 00", "quiet"}}}},
    // An IDENTIFICATION answer 08 54 ... looks like a coin of type 4 (1.00). The credit is 0.00,
    // so that the payout is 0 units.
    {"IDENTIFICATION answer cut to 5 bytes while Change Return waits: no coin, nothing paid",
     {{{"fault short 5 ident", "reset"},
       {"TX COMM 2 08 0B", "> RX COMM 1 08 RESET", "TX COMM 5 08 54 53 4C 31",
        "ENABLED accept 003F", "> RX COMM 3 0F 02 00", "PAID 0 of 0"}}},
     [](CPanelSession& session) {
       session.m_panel.m_bReturnAtReset = true;
       session.ChangeReturnDue();
     }},
    {"spoiled header on a deposit: not credited",
     {{{"fault header 10 deposit", "insert 3"}, {"TX COMM 3 10 53", "quiet"}}}},
    {"short SETUP answer: taken as the answer, coin values read 0 where its bytes were missing",
     {{{"fault short 10 setup", "reset"},
       {"RX COMM 1 08 RESET", "TX COMM 10 08 03 19 78", "> RX COMM 2 0F 00",
        "ENABLED accept 003F"}}},
     {},
     [](CPanelSession& session) {
       EXPECT_EQ(session.DialogTexts(ID_INFORMATION_ACCEPTORSETUP, IDC_SETUP_SCALING_FACTOR,
                                     IDC_SETUP_COIN_1 + 2),
                 (std::vector<std::string>{"5", "2", "5 -> Routng to Tube", "10 -> Routng to Tube",
                                           "0 -> Routng to Tube"}));
     }},
    {"whole SETUP answer again after a restart",
     {{{"fault short 10 setup", "reset"}, {"TX COMM 10 08 03 19 78", "ENABLED accept 003F"}},
      {{"reset"}, {"TX COMM 24 08 03 19 78", "ENABLED accept 003F"}}},
     {},
     [](CPanelSession& session) {
       EXPECT_EQ(session.DialogTexts(ID_INFORMATION_ACCEPTORSETUP, IDC_SETUP_COIN_1 + 2,
                                     IDC_SETUP_COIN_1 + 2),
                 std::vector<std::string>{"20 -> Routng to Tube"});
     }},
    {"short IDENTIFICATION answer: taken as the answer, the texts end where the bytes did",
     {{{"fault short 12 ident", "reset"},
       {"RX COMM 1 08 RESET", "TX COMM 12 08 54 53 4C 31 39 37 38 30 30 30 34", "> RX COMM 6 0F 01",
        "ENABLED accept 003F"}}},
     {},
     [](CPanelSession& session) {
       EXPECT_EQ(session.DialogTexts(ID_INFORMATION_ACCEPTORIDENT, IDC_IDENT_MANUFACTURER,
                                     IDC_IDENT_FEATURE_1),
                 (std::vector<std::string>{"TSL", "19780004", "", "00.00", "Disabled"}));
     }},
    {"short TUBE STATUS answer: taken as the answer, tubes past its end read empty",
     {{{"fault short 8 tubes", "reset"},
       {"RX COMM 1 08 RESET", "TX COMM 8 08 00 00", "> RX COMM 5 0C 00 3F 00 00",
        "ENABLED accept 003F"}}},
     {},
     [](CPanelSession& session) {
       EXPECT_EQ(session.DialogTexts(ID_INFORMATION_TUBESTATUS, IDC_TUBE_1 + 4, IDC_TUBE_1 + 5),
                 (std::vector<std::string>{" 5 x 100", " ---"}));
     }},
    // The countdown ran out in the start-up: RESET goes out on the second datagram after the
    // report.
    {"changer reset in Polling: restarted at once, credit kept",
     {{{"reset"}, {"TX COMM 2 08 0B", "> RX COMM 1 08 RESET", "ENABLED accept 003F"}}},
     [](CPanelSession& session) { EXPECT_TRUE(session.InsertCoin(1)); },
     [](CPanelSession& session) { EXPECT_EQ(session.m_panel.m_nResetAfter, 2u); }},
    // A full tube of coin type 14 makes the answer 08 40 ..., which looks like a coin of type 0.
    {"TUBE STATUS answer cut to 4 bytes after a coin: the coin alone is credited",
     {{{"fill 14", "fault short 4 tubes", "insert 1"},
       {"TUBE 14 count 60 full", "TX COMM 3 08 51", "> RX COMM 1 0A", "TX COMM 4 08 40 00",
        "> RX COMM 1 0A", "ENABLED accept 003F"}},
      {{"empty 14"}, {"TUBE 14 count 0"}}},
     {},
     [](CPanelSession& session) { session.m_nCredit += kCoinValue[1]; }},
    {"changer reset while SETUP waits: credit kept", ResetWhileWaitingFor("setup", "SETUP"),
     [](CPanelSession& session) { EXPECT_TRUE(session.InsertCoin(2)); }},
    {"changer reset while IDENTIFICATION waits: credit kept",
     ResetWhileWaitingFor("ident", "IDENTIFICATION"),
     [](CPanelSession& session) { EXPECT_TRUE(session.InsertCoin(2)); }},
    {"changer reset while TUBE STATUS waits: credit kept",
     ResetWhileWaitingFor("tubes", "TUBE STATUS"),
     [](CPanelSession& session) { EXPECT_TRUE(session.InsertCoin(2)); }},
    {"changer reset between Change Return and the payout: paid once, after the restart",
     {{{"reset"},
       {"TX COMM 2 08 0B", "> RX COMM 1 08 RESET", "ENABLED accept 003F", "> RX COMM 3 0F 02 03",
        "PAID 15"}},
      {{"insert 1"}, {"> RX COMM 1 0A", "ENABLED accept 003F"}}},
     [](CPanelSession& session) {
       EXPECT_TRUE(session.InsertCoin(1));
       EXPECT_TRUE(session.InsertCoin(0));
       session.m_panel.m_bReturnAtReset = true;
       session.ChangeReturnDue();
     },
     [](CPanelSession& session) {
       session.m_nCredit += kCoinValue[1];  // the coin after the payout
       EXPECT_EQ(session.Credit(), Money(session.m_nCredit));
     }},
    {"vend, then Change Return with a remainder below one unit",
     {{{}, {"> RX COMM 3 0F 02 02", "PAID 10"}}},
     [](CPanelSession& session) {
       EXPECT_TRUE(session.InsertCoin(2));
       session.m_panel.Vend(0);
       session.m_nVended += kPrice;
       session.m_nCredit -= kPrice;
       session.m_panel.OnChangeReturn();
       session.ChangeReturnDue();
     }},
};

class FaultyDevicePanel : public ::testing::TestWithParam<PanelRow> {
protected:
  CPanelSession m_session;
};

TEST_P(FaultyDevicePanel, CreditAndRecordsFollowWhatTheChangerSentAndNoMoneyIsLost) {
  ASSERT_TRUE(m_session.Start());
  const PanelRow& row = GetParam();
  CFaultPanel& panel = m_session.m_panel;
  CDialog::SetShownHook([&](CDialog& dlg) {
    if (&dlg != &panel) {
      if (m_session.m_pfnDialog)
        m_session.m_pfnDialog(dlg);
      dlg.EndDialog(IDCANCEL);
      return;
    }
    // The start-up takes a few seconds at the sim's tick; under a sanitizer on a busy machine
    // more than the usual wait for a line.
    EXPECT_NE(m_session.m_sim.Find("ENABLED accept 003F", 0, 30000), CSimProcess::npos);
    if (row.pfnBefore)
      row.pfnBefore(m_session);
    const std::size_t nRowStart = m_session.m_sim.Lines().size();
    for (const Stage& stage : row.stages)
      EXPECT_EQ(Play(m_session.m_sim, stage), "");
    if (row.pfnCheck)
      row.pfnCheck(m_session);
    EXPECT_EQ(m_session.Credit(), Money(m_session.m_nCredit));
    unsigned nPayouts = 0;
    for (std::size_t i = nRowStart; i < m_session.m_sim.Lines().size(); ++i)
      nPayouts += m_session.m_sim.Lines()[i].rfind("RX COMM 3 0F 02", 0) == 0;
    EXPECT_LE(nPayouts, 1u) << "paid twice";
    EXPECT_TRUE(m_session.InsertCoin(0));
    panel.SendMessage(WM_CLOSE);
  });
  panel.DoModal();
  CDialog::SetShownHook(nullptr);

  // Money over the whole session, from the sim's log: every coin it reported with its header
  // intact was credited, and is vended, paid out, dropped below one unit or still shown.
  const SimLedger& ledger = m_session.m_sim.Ledger();
  EXPECT_EQ(ledger.m_nDeposited,
            m_session.m_nVended + ledger.m_nPaid + m_session.m_nDropped + m_session.m_nCredit);
  EXPECT_EQ(panel.GetChangerDriver()->GetCredit(), m_session.m_nCredit);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultyDevicePanel, ::testing::ValuesIn(kPanelRows),
                         [](const auto& info) { return CaseName(info.param.lpszName); });

}  // namespace
