// Money conservation where the program's real link, sockets and event loop meet the simulated
// device: the panel (in this process, offscreen) against lx5200e-sim in headless mode at a tick of
// 2 ms, with two busy loops beside them, as on a loaded machine. A short session of everyday
// operations (coins at the device, vends, Change Return, the operator's Enable, Disable and Reset,
// tube refills) with episodes among them, each of which reaches one corner:
//   - a changer reset at the device in each state of the driver;
//   - a query answer cut to each length from 2 to 7 bytes;
//   - a query answer held back, then overtaken by each of the operator's buttons (or by none);
//   - a payout capped at 255 units: a credit above 255 times the scaling factor;
//   - a reset report longer than 0B, while the driver polls;
//   - a manual dispense of five coins, whose status byte has bit 6 set;
//   - coins inserted while nobody polls the changer (before the panel opens, after control code
//     0): handed back, never reported.
// At the end every coin the device reported is accounted for, from the sim's log (the harness's
// SimLedger):
//
//   deposited + cut answers read as coins = vended + paid out + dropped + credit left
//
// deposited: the coin reports the device sent. A coin the changer took in but lost in a reset
//            before it was reported never reaches the panel.
// cut answers read as coins: answers cut to 2 or 3 bytes whose byte 1 reads as a deposit; no
//            controller can tell them from a coin report. Nothing else may add credit.
// paid out:  the EXPANSION PAYOUT commands the device received, in units of the scaling factor.
// dropped:   what each payout leaves below one unit of a credit it pays whole (a payout carries
//            at most 255 units; a larger credit keeps the rest and drops nothing).
// vended:    the prices of the products the panel beeped for.
//
// The money judge over many sessions is the changer driver's fuzz peer session (its corpus runs
// in changer_fuzz_tests, and scripts/fuzz runs it longer); this test is the one place where the
// real sockets and event loop take part. MINTORA_CONSERVATION_OPERATIONS sets the number of
// everyday operations (default 400).
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <random>

using namespace testing_support;

namespace {

// The sim's changer, as started below: scaling factor 5, coins of 0.05, 0.10, 0.20, 0.50, 1.00
// and 2.00, tubes for the four smallest.
constexpr unsigned kScaling = 5;
constexpr int kTickMs = 2;
// Prices of products 1 to 10, in hundredths: some below one unit of 5, some not a multiple of it.
constexpr unsigned kPrice[10] = {5, 10, 25, 50, 100, 150, 7, 0, 1, 995};
// The query answers a fault is aimed at, as the sim's console names them.
const char* const kAnswerKinds[] = {"setup", "ident", "tubes"};
constexpr unsigned kNone = ~0u;
constexpr unsigned kStateCount = CChangerDriver::PayoutSend + 1;

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

/// The corners a session reaches, one episode each.
struct Episode {
  enum EKind {
    ResetInState,
    CutAnswer,
    LateAnswer,
    CappedPayout,
    LongReset,
    ManyCoinDispense,
    NotPolled
  } m_eKind;
  unsigned m_nArg = 0;   // the state, the cut length, the overtaking button (0: none)
  unsigned m_nKind = 0;  // the answer a fault is aimed at
};

std::vector<Episode> Episodes() {
  std::vector<Episode> episodes;
  for (unsigned nState = 0; nState < kStateCount; ++nState)
    episodes.push_back({Episode::ResetInState, nState});
  for (unsigned nLength = 2; nLength <= 7; ++nLength)
    episodes.push_back({Episode::CutAnswer, nLength, (nLength + 1) % 3});
  for (unsigned nButton = 0; nButton <= 4; ++nButton)
    episodes.push_back({Episode::LateAnswer, nButton, nButton % 3});
  for (int i = 0; i < 2; ++i) {
    episodes.push_back({Episode::CappedPayout});
    episodes.push_back({Episode::LongReset});
    episodes.push_back({Episode::ManyCoinDispense});
  }
  episodes.push_back({Episode::NotPolled});
  return episodes;
}

TEST(MoneyConservation, AShortSessionAtTheDevicesPaceOnALoadedMachineHoldsExactly) {
  const unsigned nOperations =
      qEnvironmentVariableIsSet("MINTORA_CONSERVATION_OPERATIONS")
          ? static_cast<unsigned>(qEnvironmentVariableIntValue("MINTORA_CONSERVATION_OPERATIONS"))
          : 400u;
  CBusyLoops busy(2);
  ASSERT_TRUE(busy.AllRunning());
  CTempConfig config;
  CTestLinkApp app;
  const unsigned nComm = TakePorts(EPortRange::MoneyConservation);
  StoreLoopbackLink(app, nComm);
  app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x003F);
  app.WriteProfileInt("AcceptorControl", "CoinDispense", 0x000F);
  for (unsigned i = 0; i < 10; ++i)
    app.WriteProfileInt("Prices", ("Price_0" + std::to_string(i)).c_str(), kPrice[i]);
  std::uint64_t nVended = 0;
  unsigned nLastPrice = 0;
  CMessageCapture capture;
  capture.m_onBeep = [&](UINT) { nVended += nLastPrice; };

  CSimProcess sim;
  const SimLedger& ledger = sim.Ledger();
  ASSERT_TRUE(sim.Start(nComm, nComm + 1, kTickMs,
                        {"--coins", "1,2,4,10,20,40", "--scaling", "5", "--fill",
                         "40,40,40,40,40,40", "--non-response-ms", "50"}));
  // Before any PC polls it, the changer hands coins back.
  ASSERT_TRUE(sim.WaitFor("CHANGER DISABLED not polled for 50 ms"));
  sim.Type("insert 3");
  ASSERT_TRUE(sim.WaitFor("REFUSED coin 3 not-polled"));
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
  const auto AtRest = [&] {
    return driver.GetState() == CChangerDriver::Polling && panel.m_nReceived >= ledger.m_nSent;
  };
  // A changer reset at the device, typed while the driver is in the state aimed at.
  unsigned nResetState = kNone;
  unsigned resetsIn[kStateCount] = {};
  const auto ResetIfAimedAt = [&] {
    if (nResetState != kNone && driver.GetState() == nResetState) {
      sim.Type("reset");
      ++resetsIn[nResetState];
      nResetState = kNone;
    }
  };
  // An answer held back is overtaken by its episode's button, pressed once the driver has read
  // every datagram the device sent before it held the answer (the panel can trail the device by
  // many datagrams); the driver has not seen the answer when fewer datagrams than its place
  // reached it.
  unsigned nOvertakingButton = 0;
  bool bAwaitingHeld = false;
  bool bPressDue = false;
  std::uint64_t nPressAt = 0;
  std::uint64_t nReceivedAtPress = 0;
  unsigned nHeldSeen = 0;
  const auto PressIfDue = [&] {
    if (bAwaitingHeld && ledger.m_nHeld != nHeldSeen) {
      bAwaitingHeld = false;
      nPressAt = ledger.m_nSent;
      bPressDue = true;
    }
    if (bPressDue && panel.m_nReceived >= nPressAt) {
      bPressDue = false;
      nReceivedAtPress = panel.m_nReceived;
      Press(nOvertakingButton);
    }
  };
  panel.m_onDatagram = [&] {
    PressIfDue();
    ResetIfAimedAt();
  };
  sim.m_onLine = [&](const std::string&) { PressIfDue(); };
  // Reset runs the start-up, again each time it ends in Polling before bDone().
  const auto StartUpUntil = [&](const std::function<bool()>& bDone) {
    for (int nTry = 0; nTry < 20 && !bDone(); ++nTry) {
      Press(1);
      PumpUntil([&] { return bDone() || driver.GetState() == CChangerDriver::Polling; }, 10000);
    }
    return bDone();
  };
  // Enable, as a session before an episode that needs the changer's coins and dispensing.
  const auto EnabledAtRest = [&] {
    const unsigned nEnabled = ledger.m_nEnabled;
    Press(2);
    return PumpUntil(
        [&] {
          return ledger.m_nEnabled != nEnabled && ledger.m_strAcceptMask == "003F" && AtRest();
        },
        10000);
  };
  const auto CutCount = [&] {
    return std::accumulate(ledger.m_cutByLength.begin(), ledger.m_cutByLength.end(), 0u);
  };
  unsigned overtakenBy[5] = {};
  unsigned nRestartsAfterLongReset = 0;

  const auto Play = [&](const Episode& episode) {
    static const char* const s_names[] = {"changer reset in driver state",
                                          "answer cut to",
                                          "late answer overtaken by button",
                                          "capped payout",
                                          "long reset report",
                                          "dispense of five coins",
                                          "coins while nobody polls"};
    SCOPED_TRACE(std::string(s_names[episode.m_eKind]) + " " + std::to_string(episode.m_nArg));
    switch (episode.m_eKind) {
    case Episode::ResetInState: {
      // The button that leads to the state (Reset runs through the start-up), then the changer
      // resets as the driver gets there.
      nResetState = episode.m_nArg;
      Press(nResetState == CChangerDriver::CoinDisableSend ? 3
            : nResetState == CChangerDriver::PayoutSend    ? 4
                                                           : 1);
      ResetIfAimedAt();
      PumpUntil([&] { return nResetState == kNone; }, 10000);
      nResetState = kNone;
      break;
    }
    case Episode::CutAnswer: {
      const unsigned nCutBefore = CutCount();
      sim.Type("fault short " + std::to_string(episode.m_nArg) + " " +
               kAnswerKinds[episode.m_nKind]);
      EXPECT_TRUE(StartUpUntil([&] { return CutCount() != nCutBefore; }));
      break;
    }
    case Episode::LateAnswer: {
      // The sim's log reaches the test behind the datagrams: when it lags by more than the delay,
      // the panel has read the late answer before the button could overtake it. So again.
      nOvertakingButton = episode.m_nArg;
      for (int nTry = 0; nTry < 5; ++nTry) {
        nHeldSeen = ledger.m_nHeld;
        const unsigned nLateBefore = ledger.m_nLate;
        bAwaitingHeld = true;
        // At most 5 datagrams late: a late answer then lands before the setup query of a
        // restart.
        sim.Type("fault late " + std::to_string(1 + episode.m_nArg) + " " +
                 kAnswerKinds[episode.m_nKind]);
        EXPECT_TRUE(StartUpUntil([&] { return !bAwaitingHeld && !bPressDue; }));
        bAwaitingHeld = false;
        EXPECT_TRUE(PumpUntil([&] { return ledger.m_nLate != nLateBefore; }, 10000));
        if (nReceivedAtPress < ledger.m_nLateIndex) {
          ++overtakenBy[nOvertakingButton];
          break;
        }
      }
      break;
    }
    case Episode::CappedPayout: {
      // Eight coins of 2.00: 320 units on top of the credit, more than one payout carries (a
      // changer with many reports waiting may hand one back).
      EXPECT_TRUE(EnabledAtRest());
      const unsigned nDeposits = ledger.m_nDeposits;
      const unsigned nAccepted = ledger.m_nAccepted;
      for (int i = 0; i < 8; ++i)
        sim.Type("insert 5");
      EXPECT_TRUE(PumpUntil([&] { return ledger.m_nAccepted >= nAccepted + 7; }, 10000));
      EXPECT_TRUE(PumpUntil(
          [&] {
            return ledger.m_nDeposits >= nDeposits + ledger.m_nAccepted - nAccepted && AtRest();
          },
          10000));
      Press(4);
      break;
    }
    case Episode::LongReset: {
      // While polling, the driver reads byte 1 of any poll answer: the changer is started anew.
      EXPECT_TRUE(PumpUntil(AtRest, 10000));
      const unsigned nResets = ledger.m_nResets;
      sim.Type("reset 0A 07");
      if (PumpUntil([&] { return ledger.m_nResets != nResets && AtRest(); }, 10000))
        ++nRestartsAfterLongReset;
      break;
    }
    case Episode::ManyCoinDispense: {
      EXPECT_TRUE(EnabledAtRest());
      const unsigned nDispenses = ledger.m_nManualDispensesBit6;
      sim.Type("fill 0 40");
      sim.Type("dispense 0 5");
      EXPECT_TRUE(PumpUntil([&] { return ledger.m_nManualDispensesBit6 != nDispenses; }, 10000));
      break;
    }
    case Episode::NotPolled: {
      // As when the program closes: code 0 stops the polling, and the changer soon hands coins
      // back. The codes of an opening panel and its Reset bring it back into service.
      const unsigned nRefused =
          ledger.m_refused.count("not-polled") ? ledger.m_refused.at("not-polled") : 0;
      app.SendControlCommand(0);
      EXPECT_TRUE(sim.WaitFor("CHANGER DISABLED"));
      sim.Type("insert 1");
      sim.Type("insert 4");
      EXPECT_TRUE(PumpUntil([&] { return ledger.m_refused.at("not-polled") == nRefused + 2; }));
      app.SendControlCommand(11);
      app.SendControlCommand(18);
      Press(1);
      EXPECT_TRUE(sim.WaitFor("ENABLED accept 003F"));
      EXPECT_TRUE(PumpUntil(AtRest, 10000));
      break;
    }
    }
  };

  std::mt19937 random(7);
  std::vector<Episode> episodes = Episodes();
  std::shuffle(episodes.begin(), episodes.end(), random);
  std::uniform_int_distribution<int> percent(0, 99);
  std::uniform_int_distribution<int> coin(0, 7);  // 6 and 7 are coins the changer does not know
  std::uniform_int_distribution<int> product(0, 9);
  std::uniform_int_distribution<int> pause(0, 3);
  CDialogAnswers answers;
  answers.Run(panel, [&](CDialog&) {
    ASSERT_TRUE(PumpUntil([&] { return ledger.m_strAcceptMask == "003F"; }, 10000))
        << "the changer was never enabled";
    std::size_t nEpisode = 0;
    for (unsigned n = 0; n < nOperations || nEpisode < episodes.size(); ++n) {
      if (nEpisode < episodes.size() &&
          n >= nEpisode * nOperations / static_cast<unsigned>(episodes.size())) {
        Play(episodes[nEpisode++]);
        continue;
      }
      const int nOp = percent(random);
      if (nOp < 45) {
        sim.Type("insert " + std::to_string(coin(random)));
      } else if (nOp < 70) {
        const int i = product(random);
        nLastPrice = kPrice[i];
        panel.RouteCommand(IDC_PRODUCT_1 + i);
      } else if (nOp < 80) {
        Press(4);
      } else if (nOp < 83) {
        Press(1);
      } else if (nOp < 90) {
        Press(2);
      } else if (nOp < 94) {
        Press(3);
      } else {
        sim.Type("fill " + std::to_string(coin(random) % 4));  // the tubes are coin types 0 to 3
      }
      PumpFor(pause(random));
    }
    // Everything under way arrives: Enable lets the changer report what waits. At rest the
    // driver polls, every payout it sent was received, every held answer went out, and no new
    // report or payout came for a while.
    driver.SetState(CChangerDriver::CoinEnableSend);
    std::uint64_t nSeen = ~0ull;
    QDeadlineTimer deadline(30000);
    while (nSeen != ledger.m_nDeposits + ledger.m_paidUnits.size() + ledger.m_nLate ||
           driver.GetState() != CChangerDriver::Polling || ledger.m_nHeld != ledger.m_nLate ||
           ledger.m_paidUnits.size() != panel.m_creditAtPayout.size()) {
      ASSERT_FALSE(deadline.hasExpired()) << "the session never came to rest";
      nSeen = ledger.m_nDeposits + ledger.m_paidUnits.size() + ledger.m_nLate;
      PumpFor(200);
    }
    // Every datagram the device sent before its status line reaches the panel.
    sim.Type("status");
    ASSERT_TRUE(sim.WaitFor("STATUS", 30000));
    const std::uint64_t nSent = ledger.m_nSent;
    PumpUntil([&] { return panel.m_nReceived >= nSent; }, 30000);
    panel.SendMessage(WM_CLOSE);
  });
  sim.m_onLine = nullptr;
  app.m_pMainWnd = nullptr;
  app.Disconnect();
  const unsigned nVends = static_cast<unsigned>(capture.m_beeps.size());

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
  const std::uint64_t nLeft = driver.GetCredit();
  std::string strCut;
  for (unsigned nLength = 2; nLength <= 7; ++nLength)
    strCut += " " + std::to_string(nLength) + ":" + std::to_string(ledger.m_cutByLength[nLength]);
  std::string strResets;
  for (unsigned nState = 0; nState < kStateCount; ++nState)
    strResets += " " + std::to_string(resetsIn[nState]);
  const auto Refused = [&](const char* lpszWhy) {
    return ledger.m_refused.count(lpszWhy) ? ledger.m_refused.at(lpszWhy) : 0u;
  };
  std::printf(
      "%u operations, %zu episodes: %llu taken in; %u deposits worth %llu; %u cut answers read as "
      "coins worth %llu; %u vends worth %llu; %zu payouts worth %llu (%u capped at 255 units); "
      "%llu dropped below one unit; %llu left\n"
      "refused: %u not-polled, %u not-enabled, %u unknown, %u busy; %u long reset reports (%u "
      "restarts after one); %u manual dispenses with bit 6; answers cut short by length%s; %u "
      "late answers, overtaken by none %u, Reset %u, Enable %u, Disable %u, Change Return %u; "
      "changer resets in driver states 0..9:%s; setup read from another answer %u times\n",
      nOperations, episodes.size(), static_cast<unsigned long long>(ledger.m_nTakenIn),
      ledger.m_nDeposits, static_cast<unsigned long long>(ledger.m_nDeposited),
      ledger.m_nCutAsCoins, static_cast<unsigned long long>(ledger.m_nCutAsCoin), nVends,
      static_cast<unsigned long long>(nVended), ledger.m_paidUnits.size(),
      static_cast<unsigned long long>(ledger.m_nPaid), nCapped,
      static_cast<unsigned long long>(nDropped), static_cast<unsigned long long>(nLeft),
      Refused("not-polled"), Refused("not-enabled"), Refused("unknown"), Refused("busy"),
      ledger.m_nLongResetReports, nRestartsAfterLongReset, ledger.m_nManualDispensesBit6,
      strCut.c_str(), ledger.m_nLate, overtakenBy[0], overtakenBy[1], overtakenBy[2],
      overtakenBy[3], overtakenBy[4], strResets.c_str(), panel.m_nForeignSetups);
  EXPECT_EQ(ledger.m_nScaling, kScaling);
  EXPECT_GT(ledger.m_nDeposits, nOperations / 20);
  EXPECT_EQ(ledger.m_paidUnits.size(), panel.m_creditAtPayout.size());
  EXPECT_EQ(panel.m_nForeignSetups, 0u) << "a response block of another query taken for the setup";
  EXPECT_EQ(nWrongPayouts, 0u) << "payouts that were not the whole units of the credit";
  EXPECT_EQ(ledger.m_nDeposited + ledger.m_nCutAsCoin, nVended + ledger.m_nPaid + nDropped + nLeft);
  // The session went where it was meant to.
  EXPECT_GE(Refused("not-polled"), 3u) << "coins inserted while nobody polled were taken";
  EXPECT_GT(nCapped, 0u) << "no payout capped at 255 units";
  EXPECT_GT(ledger.m_nLongResetReports, 0u);
  EXPECT_EQ(nRestartsAfterLongReset, 2u) << "a long reset report did not restart the changer";
  EXPECT_GT(ledger.m_nManualDispensesBit6, 0u);
  for (unsigned nLength = 2; nLength <= 7; ++nLength)
    EXPECT_GT(ledger.m_cutByLength[nLength], 0u) << "no answer cut to " << nLength << " bytes";
  for (unsigned nButton = 1; nButton <= 4; ++nButton)
    EXPECT_GT(overtakenBy[nButton], 0u) << "no late answer overtaken by button " << nButton;
  for (unsigned nState = 0; nState < kStateCount; ++nState)
    EXPECT_GT(resetsIn[nState], 0u) << "no changer reset in driver state " << nState;
}

}  // namespace
