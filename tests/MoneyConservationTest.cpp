// Money conservation where the program's real link, sockets and event loop meet the simulated
// device: the panel (in this process, offscreen) against lx5200e-sim in headless mode at a tick of
// 2 ms, with two busy loops beside them, as on a loaded machine, so that the panel trails the
// device by many datagrams. A session of everyday operations: coins at the device, vends, Change
// Return, the operator's Enable, Disable and Reset, tube refills. At the end every coin the device
// reported is accounted for, from the sim's log (the harness's SimLedger):
//
//   deposited = vended + paid out + dropped + credit left
//
// deposited: the coin reports the device sent.
// paid out:  the EXPANSION PAYOUT commands the device received, in units of the scaling factor.
// dropped:   what each payout leaves below one unit of a credit it pays whole (a payout carries
//            at most 255 units; a larger credit keeps the rest and drops nothing).
// vended:    the prices of the products the panel beeped for.
//
// The money judge of the device's faults and corners (resets in every state, answers cut short,
// held back or overtaken, capped payouts, long reset reports, manual dispenses) is the changer
// driver's fuzz peer session (its corpus runs in changer_fuzz_tests, scripts/fuzz runs it longer)
// and, over the real link, device_fault_tests; this test is the one place where the real sockets
// and event loop take part under load. MINTORA_CONSERVATION_OPERATIONS sets the number of
// operations (default 400).
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

using namespace testing_support;

namespace {

// The sim's changer, as started below: scaling factor 5, coins of 0.05, 0.10, 0.20, 0.50, 1.00
// and 2.00, tubes for the four smallest.
constexpr unsigned kScaling = 5;
constexpr int kTickMs = 2;
// Prices of products 1 to 10, in hundredths: some below one unit of 5, some not a multiple of it.
constexpr unsigned kPrice[10] = {5, 10, 25, 50, 100, 150, 7, 0, 1, 995};

/// The panel, watched: the credit it held at each payout, and a setup that is not the changer's.
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
};

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
  ASSERT_TRUE(
      sim.Start(nComm, nComm + 1, kTickMs,
                {"--coins", "1,2,4,10,20,40", "--scaling", "5", "--fill", "40,40,40,40,40,40"}));
  ASSERT_TRUE(app.Connect());
  CWatchedPanel panel;
  app.m_pMainWnd = &panel;
  CChangerDriver& driver = *panel.GetChangerDriver();

  std::mt19937 random(7);
  std::uniform_int_distribution<int> percent(0, 99);
  std::uniform_int_distribution<int> coin(0, 7);  // 6 and 7 are coins the changer does not know
  std::uniform_int_distribution<int> product(0, 9);
  std::uniform_int_distribution<int> pause(0, 3);
  CDialogAnswers answers;
  answers.Run(panel, [&](CDialog&) {
    ASSERT_TRUE(PumpUntil([&] { return ledger.m_strAcceptMask == "003F"; }, 10000))
        << "the changer was never enabled";
    for (unsigned n = 0; n < nOperations; ++n) {
      const int nOp = percent(random);
      if (nOp < 45) {
        sim.Type("insert " + std::to_string(coin(random)));
      } else if (nOp < 70) {
        const int i = product(random);
        nLastPrice = kPrice[i];
        panel.RouteCommand(IDC_PRODUCT_1 + i);
      } else if (nOp < 80) {
        panel.RouteCommand(IDC_CHANGE_RETURN);
      } else if (nOp < 83) {
        driver.SetState(CChangerDriver::ResetWait);  // acceptor control's Reset
      } else if (nOp < 90) {
        driver.SetState(CChangerDriver::CoinEnableSend);
      } else if (nOp < 94) {
        driver.SetState(CChangerDriver::CoinDisableSend);
      } else {
        sim.Type("fill " + std::to_string(coin(random) % 4));  // the tubes are coin types 0 to 3
      }
      PumpFor(pause(random));
    }
    // Everything under way arrives: Enable lets the changer report what waits. At rest the
    // driver polls, every payout it sent was received, and no new report or payout came for a
    // while.
    driver.SetState(CChangerDriver::CoinEnableSend);
    std::uint64_t nSeen = ~0ull;
    QDeadlineTimer deadline(30000);
    while (nSeen != ledger.m_nDeposits + ledger.m_paidUnits.size() ||
           driver.GetState() != CChangerDriver::Polling ||
           ledger.m_paidUnits.size() != panel.m_creditAtPayout.size()) {
      ASSERT_FALSE(deadline.hasExpired()) << "the session never came to rest";
      nSeen = ledger.m_nDeposits + ledger.m_paidUnits.size();
      PumpFor(200);
    }
    // Every datagram the device sent before its status line reaches the panel.
    sim.Type("status");
    ASSERT_TRUE(sim.WaitFor("STATUS", 30000));
    const std::uint64_t nSent = ledger.m_nSent;
    PumpUntil([&] { return panel.m_nReceived >= nSent; }, 30000);
    panel.SendMessage(WM_CLOSE);
  });
  app.m_pMainWnd = nullptr;
  app.Disconnect();

  std::uint64_t nDropped = 0;
  unsigned nWrongPayouts = 0;
  for (std::size_t i = 0; i < panel.m_creditAtPayout.size(); ++i) {
    const std::uint32_t nCredit = panel.m_creditAtPayout[i];
    const unsigned nWhole = std::min(nCredit / kScaling, 255u);
    nDropped += nCredit / kScaling > 255 ? 0 : nCredit % kScaling;
    nWrongPayouts += i >= ledger.m_paidUnits.size() || ledger.m_paidUnits[i] != nWhole;
  }
  const std::uint64_t nLeft = driver.GetCredit();
  std::printf(
      "%u operations: %u deposits worth %llu; %zu vends worth %llu; %zu payouts worth %llu; "
      "%llu dropped below one unit; %llu left\n",
      nOperations, ledger.m_nDeposits, static_cast<unsigned long long>(ledger.m_nDeposited),
      capture.m_beeps.size(), static_cast<unsigned long long>(nVended), ledger.m_paidUnits.size(),
      static_cast<unsigned long long>(ledger.m_nPaid), static_cast<unsigned long long>(nDropped),
      static_cast<unsigned long long>(nLeft));
  EXPECT_EQ(ledger.m_nScaling, kScaling);
  EXPECT_GT(ledger.m_nDeposits, nOperations / 20);
  EXPECT_EQ(ledger.m_paidUnits.size(), panel.m_creditAtPayout.size());
  EXPECT_EQ(panel.m_nForeignSetups, 0u) << "a response block of another query taken for the setup";
  EXPECT_EQ(nWrongPayouts, 0u) << "payouts that were not the whole units of the credit";
  EXPECT_EQ(ledger.m_nDeposited, nVended + ledger.m_nPaid + nDropped + nLeft);
}

}  // namespace
