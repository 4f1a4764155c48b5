// Money conservation end to end: the panel (in this process, offscreen) against lx5200e-sim in
// headless mode, through ten thousand random operations: coins at the device, vends, Change
// Return, tube refills, the operator's Reset, Enable and Disable, changer resets at the device in
// every state of the driver, query answers cut to 2..7 bytes, and answers that come late, after
// the operator moved the driver on. At the end every coin the device reported is accounted for:
//
//   deposited + allowance = vended + paid out + dropped + credit left
//
// deposited: the coin reports the device sent, from its own traffic lines. A coin the changer
//            took in (ACCEPTED) but lost in a reset before it was reported never reaches the
//            panel; those are counted apart, as the changer's loss.
// allowance: answers the device cut to 2 or 3 bytes whose byte 1 reads as a deposit; a status of
//            that size cannot be told from a coin report, so the driver credits it. Nothing else
//            may add credit.
// paid out:  the EXPANSION PAYOUT commands the device received, in units of the scaling factor.
// dropped:   what each payout leaves below one unit of a credit it pays whole (a payout carries
//            at most 255 units; a larger credit keeps the rest and drops nothing), from the
//            credit the panel held when the payout went out.
// vended:    the prices of the products the panel beeped for.
//
// MINTORA_CONSERVATION_OPERATIONS sets the number of operations (default 10000).
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <random>
#include <sstream>

using namespace testing_support;

namespace {

// The sim's changer, as started below: scaling factor 5 and the coin credits of coin types
// 0 to 5, so coins of 0.05, 0.10, 0.20, 0.50, 1.00 and 2.00.
constexpr unsigned kScaling = 5;
constexpr unsigned kCoinValue[16] = {5, 10, 20, 50, 100, 200};
// Prices of products 1 to 10, in hundredths: some below one unit of 5, some not a multiple of it.
constexpr unsigned kPrice[10] = {5, 10, 25, 50, 100, 150, 7, 0, 1, 995};
// The query answers a fault is aimed at, as the sim's console names them.
const char* const kAnswerKinds[] = {"setup", "ident", "tubes"};
constexpr unsigned kNone = ~0u;
constexpr unsigned kStateCount = CChangerDriver::PayoutSend + 1;

constexpr bool ReadsAsDeposit(unsigned nStatus) {
  return (nStatus & 0xC0) == 0x40 && (nStatus & 0x30) != 0x30;
}

/// The panel, watched: the credit it held at each payout, a setup that is not the changer's, and
/// a hook after each datagram.
class CWatchedPanel : public CVendingPanelDlg {
public:
  void OnDatagram(const BYTE* pBytes, unsigned nLength) override {
    CVendingPanelDlg::OnDatagram(pBytes, nLength);
    ++m_nReceived;
    // Another answer read as the setup gives the coins other values, so no sum can hold.
    const std::uint8_t nScaling = m_driver.GetChangerSetup().scalingFactor;
    const bool bForeign = nScaling != 0 && nScaling != kScaling;
    m_nForeignSetups += bForeign && !m_bForeignSetup;
    m_bForeignSetup = bForeign;
    if (m_onDatagram)
      m_onDatagram();
  }
  void SendChangerCommand(const BYTE* pBytes, unsigned nLength) override {
    // EXPANSION PAYOUT goes out before the credit is cleared.
    if (nLength == 3 && pBytes[0] == 0x0F && pBytes[1] == 0x02)
      m_creditAtPayout.push_back(m_driver.GetCredit());
    CVendingPanelDlg::SendChangerCommand(pBytes, nLength);
  }

  std::uint64_t m_nReceived = 0;
  unsigned m_nForeignSetups = 0;
  bool m_bForeignSetup = false;
  std::vector<std::uint32_t> m_creditAtPayout;
  std::function<void()> m_onDatagram;
};

/// The device's side of the ledger, from lx5200e-sim's log lines only.
struct CLedger {
  bool m_bEnabled = false;
  std::uint64_t m_nTakenIn = 0;    // hundredths of the coins the changer accepted
  std::uint64_t m_nSent = 0;       // datagrams to the PC's communication port
  std::uint64_t m_nDeposited = 0;  // hundredths in the coin reports sent
  std::uint64_t m_nAllowance = 0;  // hundredths read as coins in answers cut to 2 or 3 bytes
  unsigned m_nDeposits = 0;
  unsigned m_nAllowed = 0;
  std::vector<unsigned> m_paidUnits;  // per EXPANSION PAYOUT received
  unsigned m_cutByLength[8] = {};     // answers cut short, by length
  unsigned m_nHeld = 0;               // answers held back, then sent late
  unsigned m_nLate = 0;
  std::uint64_t m_nLateIndex = 0;  // m_nSent of the last late answer
  std::function<void()> m_onHeld;

  void OnLine(const std::string& strLine) {
    std::istringstream in(strLine);
    std::vector<std::string> words;
    for (std::string strWord; in >> strWord;)
      words.push_back(strWord);
    if (words.size() >= 3 && words[0] == "ENABLED" && words[2] != "0000")
      m_bEnabled = true;
    if (words.size() >= 5 && words[0] == "ACCEPTED" && words[3] == "value")
      m_nTakenIn += std::stoul(words[4]);
    if (words.size() >= 2 && words[0] == "FAULT" && words[1] == "held") {
      ++m_nHeld;
      if (m_onHeld)
        m_onHeld();
    }
    if (words.size() < 4 || words[1] != "COMM" || (words[0] != "TX" && words[0] != "RX"))
      return;
    const std::size_t nLength = std::stoul(words[2]);
    if (nLength < 2 || nLength > 64 || words.size() < 3 + nLength) {
      m_nSent += words[0] == "TX";
      return;
    }
    std::vector<unsigned> bytes;
    for (std::size_t i = 0; i < nLength; ++i)
      bytes.push_back(static_cast<unsigned>(std::stoul(words[3 + i], nullptr, 16)));
    std::string strName;
    for (std::size_t i = 3 + nLength; i < words.size(); ++i)
      strName += words[i] + " ";
    if (words[0] == "RX") {
      if (nLength == 3 && bytes[0] == 0x0F && bytes[1] == 0x02)
        m_paidUnits.push_back(bytes[2]);
      return;
    }
    ++m_nSent;
    if (strName.rfind("DEPOSIT ", 0) == 0) {
      m_nDeposited += kCoinValue[bytes[1] & 0x0F];
      ++m_nDeposits;
    }
    if (strName.find("(SHORT)") != std::string::npos) {
      ++m_cutByLength[std::min<std::size_t>(nLength, 7)];
      if (nLength <= 3 && ReadsAsDeposit(bytes[1])) {
        m_nAllowance += kCoinValue[bytes[1] & 0x0F];
        ++m_nAllowed;
      }
    }
    if (strName.find("(LATE)") != std::string::npos) {
      ++m_nLate;
      m_nLateIndex = m_nSent;
    }
  }
};

TEST(MoneyConservation, EveryDepositedCoinIsVendedPaidDroppedOrStillCredit) {
  const unsigned nOperations =
      qEnvironmentVariableIsSet("MINTORA_CONSERVATION_OPERATIONS")
          ? static_cast<unsigned>(qEnvironmentVariableIntValue("MINTORA_CONSERVATION_OPERATIONS"))
          : 10000u;
  CTempConfig config;
  CTestLinkApp app;
  const unsigned nComm = TakePorts(EPortRange::MoneyConservation);
  StoreLoopbackLink(app, nComm);
  app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x003F);
  for (unsigned i = 0; i < 10; ++i)
    app.WriteProfileInt("Prices", ("Price_0" + std::to_string(i)).c_str(), kPrice[i]);
  std::uint64_t nVended = 0;
  unsigned nLastPrice = 0;
  CMessageCapture capture;
  capture.m_onBeep = [&](UINT) { nVended += nLastPrice; };

  CLedger ledger;
  CSimProcess sim;
  sim.m_onLine = [&](const std::string& strLine) { ledger.OnLine(strLine); };
  // A tick every 8 ms, not 1: the driver takes the first response block after a query for its
  // answer, and a device that runs far ahead of a panel slowed down by a loaded machine hands it
  // the answer to an earlier query (tube counts read as the coin values of the setup, or an
  // identification cut short that lands in Polling after the start-up ran on other answers, and
  // reads as a coin there).
  ASSERT_TRUE(
      sim.Start(nComm, nComm + 1, 8,
                {"--coins", "1,2,4,10,20,40", "--scaling", "5", "--fill", "40,40,40,40,40,40"}));
  ASSERT_TRUE(app.Connect());
  CWatchedPanel panel;
  app.m_pMainWnd = &panel;
  CChangerDriver& driver = *panel.GetChangerDriver();

  // The operator's buttons that move the driver on; 0 stands for no button.
  const auto Press = [&](unsigned nButton) {
    switch (nButton) {
    case 1: driver.SetState(CChangerDriver::ResetWait); break;  // acceptor control's Reset
    case 2: driver.SetState(CChangerDriver::CoinEnableSend); break;
    case 3: driver.SetState(CChangerDriver::CoinDisableSend); break;
    case 4: panel.RouteCommand(IDC_CHANGE_RETURN); break;
    }
  };
  // A changer reset at the device, typed while the driver is in the state aimed at.
  unsigned nResetState = kNone;
  unsigned nNextResetState = 0;
  unsigned resetsIn[kStateCount] = {};
  const auto ResetIfAimedAt = [&] {
    if (nResetState != kNone && driver.GetState() == nResetState) {
      sim.Type("reset");
      ++resetsIn[nResetState];
      nResetState = kNone;
    }
  };
  // Each answer held back is overtaken by the next button in turn, pressed once the driver has
  // read every datagram the device sent before it held the answer (the panel can trail the
  // device by many datagrams); the driver has not seen the answer when fewer datagrams than its
  // place reached it.
  unsigned nNextOvertake = 0;
  unsigned nOvertakingButton = 0;
  bool bPressDue = false;
  std::uint64_t nPressAt = 0;
  std::uint64_t nReceivedAtPress = 0;
  unsigned overtakenBy[5] = {};
  const auto PressIfDue = [&] {
    if (bPressDue && panel.m_nReceived >= nPressAt) {
      bPressDue = false;
      nReceivedAtPress = panel.m_nReceived;
      Press(nOvertakingButton);
    }
  };
  bool bAwaitingHeld = false;
  ledger.m_onHeld = [&] {
    if (!bAwaitingHeld)
      return;
    bAwaitingHeld = false;
    nOvertakingButton = nNextOvertake++ % 5;
    nPressAt = ledger.m_nSent;
    bPressDue = true;
    PressIfDue();
  };
  panel.m_onDatagram = [&] {
    PressIfDue();
    ResetIfAimedAt();
  };
  // One cut answer and one late answer at most are under way, never aimed at the same answer.
  unsigned nCutKind = kNone;
  unsigned nLateKind = kNone;
  unsigned nCutSeen = 0;
  unsigned nLateSeen = 0;
  const auto SettleFaults = [&] {
    const unsigned nCut =
        std::accumulate(std::begin(ledger.m_cutByLength), std::end(ledger.m_cutByLength), 0u);
    if (nCut != nCutSeen)
      nCutKind = kNone;
    nCutSeen = nCut;
    if (ledger.m_nLate != nLateSeen) {
      nLateKind = kNone;
      if (nOvertakingButton != 0 && nReceivedAtPress < ledger.m_nLateIndex)
        ++overtakenBy[nOvertakingButton];
    }
    nLateSeen = ledger.m_nLate;
  };

  // Reset runs the start-up, again each time it ends in Polling before bDone(): a start-up can
  // pass a query by (when the device answers after the next tick, the driver asks twice, and the
  // second answer stands in for the next query's).
  const auto StartUpUntil = [&](const std::function<bool()>& bDone) {
    for (int nTry = 0; nTry < 20 && !bDone(); ++nTry) {
      Press(1);
      PumpUntil([&] { return bDone() || driver.GetState() == CChangerDriver::Polling; }, 10000);
    }
  };

  std::mt19937 random(7);
  std::uniform_int_distribution<int> percent(0, 99);
  std::uniform_int_distribution<int> coin(0, 7);  // 6 and 7 are coins the changer does not know
  std::uniform_int_distribution<int> product(0, 9);
  std::uniform_int_distribution<int> pause(0, 3);
  std::uniform_int_distribution<unsigned> kind(0, 2);
  std::uniform_int_distribution<unsigned> cutLength(2, 7);
  // At most 5 datagrams late: a late answer then lands before the setup query of a restart.
  std::uniform_int_distribution<unsigned> delay(1, 5);
  CDialogAnswers answers;
  answers.Run(panel, [&](CDialog&) {
    ASSERT_TRUE(PumpUntil([&] { return ledger.m_bEnabled; }, 10000))
        << "the changer was never enabled";
    for (unsigned n = 0; n < nOperations; ++n) {
      SettleFaults();
      const int nOp = percent(random);
      if (nOp < 44) {
        sim.Type("insert " + std::to_string(coin(random)));
      } else if (nOp < 67) {
        const int i = product(random);
        nLastPrice = kPrice[i];
        panel.RouteCommand(IDC_PRODUCT_1 + i);
      } else if (nOp < 77) {
        Press(4);
      } else if (nOp < 79) {
        // The button that leads to the next state in turn (Reset runs through the start-up),
        // then the changer resets as the driver gets there.
        nResetState = nNextResetState++ % kStateCount;
        Press(nResetState == CChangerDriver::CoinDisableSend ? 3
              : nResetState == CChangerDriver::PayoutSend    ? 4
                                                             : 1);
        ResetIfAimedAt();
        PumpUntil([&] { return nResetState == kNone; }, 10000);
        nResetState = kNone;
      } else if (nOp < 81) {
        Press(1);
      } else if (nOp < 87) {
        Press(2);
      } else if (nOp < 90) {
        Press(3);
      } else if (nOp < 94) {
        sim.Type("fill " + std::to_string(coin(random) % 4));  // the tubes are coin types 0 to 3
      } else {
        // A fault aimed at one of the answers of the start-up that Reset then runs; the answer
        // held back is overtaken by the next button in turn as soon as the device holds it.
        const bool bCut = nOp < 97;
        const unsigned nKind = kind(random);
        if (bCut ? nCutKind == kNone && nLateKind != nKind
                 : nLateKind == kNone && nCutKind != nKind) {
          (bCut ? nCutKind : nLateKind) = nKind;
          const unsigned nCutBefore = nCutSeen;
          const unsigned nHeldBefore = ledger.m_nHeld;
          sim.Type(
              bCut ? "fault short " + std::to_string(cutLength(random)) + " " + kAnswerKinds[nKind]
                   : "fault late " + std::to_string(delay(random)) + " " + kAnswerKinds[nKind]);
          bAwaitingHeld = !bCut;
          StartUpUntil([&] {
            SettleFaults();
            return bCut ? nCutSeen != nCutBefore : ledger.m_nHeld != nHeldBefore && !bPressDue;
          });
          bAwaitingHeld = false;
        }
      }
      ResetIfAimedAt();
      PumpFor(pause(random));
    }
    // Everything under way arrives: Enable lets the changer report what waits. At rest the
    // driver polls, every payout it sent was received, every held answer went out, and no new
    // report or payout came for a while (a loaded machine can leave the sim silent that long).
    nResetState = kNone;
    driver.SetState(CChangerDriver::CoinEnableSend);
    std::uint64_t nSeen = ~0ull;
    QDeadlineTimer deadline(60000);
    while (nSeen != ledger.m_nDeposits + ledger.m_paidUnits.size() + ledger.m_nLate ||
           driver.GetState() != CChangerDriver::Polling || ledger.m_nHeld != ledger.m_nLate ||
           ledger.m_paidUnits.size() != panel.m_creditAtPayout.size()) {
      ASSERT_FALSE(deadline.hasExpired()) << "the session never came to rest";
      nSeen = ledger.m_nDeposits + ledger.m_paidUnits.size() + ledger.m_nLate;
      PumpFor(500);
    }
    // Every datagram the device sent before its status line reaches the panel.
    sim.Type("status");
    ASSERT_TRUE(sim.WaitFor("STATUS", 30000));
    const std::uint64_t nSent = ledger.m_nSent;
    PumpUntil([&] { return panel.m_nReceived >= nSent; }, 30000);
    SettleFaults();
    panel.SendMessage(WM_CLOSE);
  });
  app.m_pMainWnd = nullptr;
  app.Disconnect();
  const unsigned nVends = static_cast<unsigned>(capture.m_beeps.size());

  std::uint64_t nPaid = 0;
  std::uint64_t nDropped = 0;
  unsigned nCapped = 0;
  unsigned nWrongPayouts = 0;
  for (std::size_t i = 0; i < panel.m_creditAtPayout.size(); ++i) {
    const std::uint32_t nCredit = panel.m_creditAtPayout[i];
    const unsigned nWhole = std::min(nCredit / kScaling, 255u);
    nCapped += nCredit / kScaling > 255;
    nDropped += nCredit / kScaling > 255 ? 0 : nCredit % kScaling;
    nWrongPayouts += i >= ledger.m_paidUnits.size() || ledger.m_paidUnits[i] != nWhole;
  }
  for (unsigned nUnits : ledger.m_paidUnits)
    nPaid += std::uint64_t{nUnits} * kScaling;
  const std::uint64_t nLeft = driver.GetCredit();
  std::string strCut;
  for (unsigned nLength = 2; nLength <= 7; ++nLength)
    strCut += " " + std::to_string(nLength) + ":" + std::to_string(ledger.m_cutByLength[nLength]);
  std::string strResets;
  for (unsigned nState = 0; nState < kStateCount; ++nState)
    strResets += " " + std::to_string(resetsIn[nState]);
  std::printf(
      "%u operations: %u deposits worth %llu (%llu more taken in and lost in changer resets); "
      "allowance %llu from %u answers cut to 2 or 3 bytes; "
      "%u vends worth %llu; %zu payouts worth %llu (%u capped at 255 units); %llu dropped below "
      "one unit; %llu left; setup read from another answer %u times\n"
      "answers cut short by length%s; %u late answers, overtaken by Reset %u, Enable %u, Disable "
      "%u, Change Return %u; changer resets in driver states 0..9:%s\n",
      nOperations, ledger.m_nDeposits, static_cast<unsigned long long>(ledger.m_nDeposited),
      static_cast<unsigned long long>(ledger.m_nTakenIn - ledger.m_nDeposited),
      static_cast<unsigned long long>(ledger.m_nAllowance), ledger.m_nAllowed, nVends,
      static_cast<unsigned long long>(nVended), ledger.m_paidUnits.size(),
      static_cast<unsigned long long>(nPaid), nCapped, static_cast<unsigned long long>(nDropped),
      static_cast<unsigned long long>(nLeft), panel.m_nForeignSetups, strCut.c_str(),
      ledger.m_nLate, overtakenBy[1], overtakenBy[2], overtakenBy[3], overtakenBy[4],
      strResets.c_str());
  EXPECT_GT(ledger.m_nDeposits, nOperations / 20);
  EXPECT_GT(ledger.m_paidUnits.size(), 0u);
  EXPECT_EQ(ledger.m_paidUnits.size(), panel.m_creditAtPayout.size());
  EXPECT_EQ(panel.m_nForeignSetups, 0u) << "a response block of another query taken for the setup";
  EXPECT_EQ(nWrongPayouts, 0u) << "payouts that were not the whole units of the credit";
  EXPECT_EQ(ledger.m_nDeposited + ledger.m_nAllowance, nVended + nPaid + nDropped + nLeft);
  // The session went where it was meant to (a short run may not).
  if (nOperations >= 10000) {
    for (unsigned nLength = 2; nLength <= 7; ++nLength)
      EXPECT_GT(ledger.m_cutByLength[nLength], 0u) << "no answer cut to " << nLength << " bytes";
    for (unsigned nButton = 1; nButton <= 4; ++nButton)
      EXPECT_GT(overtakenBy[nButton], 0u) << "no late answer overtaken by button " << nButton;
    for (unsigned nState = 0; nState < kStateCount; ++nState)
      EXPECT_GT(resetsIn[nState], 0u) << "no changer reset in driver state " << nState;
  }
}

}  // namespace
