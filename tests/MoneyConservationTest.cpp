// Money conservation end to end: the panel (in this process, offscreen) against lx5200e-sim in
// headless mode, through ten thousand random operations: coins at the device, vends, Change
// Return, changer resets at the device and from the panel, Enable, Disable, tube refills. At the
// end, every coin the device reported as deposited must be accounted for:
//
//   deposited = vended + paid out + credit left + the part below one unit that each full payout
//               drops (a payout carries whole units of the scaling factor; the rest of a credit
//               that fits in one payout is not paid and not kept)
//
// The deposits and payouts are counted from the device's own log lines, the vends from the
// panel's beeps, the dropped remainders from the credit seen just before each payout.
//
// MINTORA_CONSERVATION_OPERATIONS sets the number of operations (default 10000).
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

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

/// The panel, watched: the credit at each payout, and the commands its driver sends.
class CWatchedPanel : public CVendingPanelDlg {
public:
  void OnDatagram(const BYTE* pBytes, unsigned nLength) override {
    // In Polling, byte 1 of every datagram is a poll status, that of a response block too: an
    // answer that arrives after the operator moved the driver on (its byte 1 can look like a
    // deposit, as the manufacturer code of an identification does) is credited as a coin.
    if (m_driver.GetState() == CChangerDriver::Polling && nLength >= 8 &&
        (pBytes[0] & 0xF8) == 0x08 && (pBytes[1] & 0xC0) == 0x40 && (pBytes[1] & 0x30) != 0x30)
      m_nReadAsCoins += kCoinValue[pBytes[1] & 0x0F];
    // A changer reset reported instead defers the payout until the changer is back.
    const bool bResetReport = nLength == 2 && pBytes[1] == 0x0B;
    if (m_driver.GetState() == CChangerDriver::PayoutSend &&
        m_driver.GetChangerSetup().scalingFactor != 0 && !bResetReport) {
      // A status-sized deposit in the datagram that triggers the payout is credited first.
      std::uint64_t nCredit = m_driver.GetCredit();
      if (nLength >= 2 && nLength <= 7 && (pBytes[1] & 0xC0) == 0x40 && (pBytes[1] & 0x30) != 0x30)
        nCredit += kCoinValue[pBytes[1] & 0x0F];
      const std::uint64_t nUnits = nCredit / kScaling;
      if (nUnits <= 255)
        m_nDropped += nCredit % kScaling;
      else
        ++m_nCappedPayouts;
      m_nExpectedUnits.push_back(static_cast<unsigned>(nUnits <= 255 ? nUnits : 255));
    }
    CVendingPanelDlg::OnDatagram(pBytes, nLength);
  }
  void SendChangerCommand(const BYTE* pBytes, unsigned nLength) override {
    if (nLength == 3 && pBytes[0] == 0x0F && pBytes[1] == 0x02)
      m_nSentUnits.push_back(pBytes[2]);
    CVendingPanelDlg::SendChangerCommand(pBytes, nLength);
  }

  std::uint64_t m_nDropped = 0;
  std::uint64_t m_nReadAsCoins = 0;  // response blocks credited as coins
  unsigned m_nCappedPayouts = 0;
  std::vector<unsigned> m_nExpectedUnits;  // per payout, from the credit
  std::vector<unsigned> m_nSentUnits;      // per payout, as sent
};

/// The device's side of the ledger, from lx5200e-sim's log lines.
struct CLedger {
  bool m_bEnabled = false;
  std::uint64_t m_nDeposited = 0;  // hundredths in deposit reports sent to the PC
  std::uint64_t m_nPaid = 0;       // hundredths asked for in EXPANSION PAYOUT
  unsigned m_nDeposits = 0;
  unsigned m_nPayouts = 0;

  void OnLine(const std::string& strLine) {
    std::istringstream in(strLine);
    std::vector<std::string> words;
    for (std::string strWord; in >> strWord;)
      words.push_back(strWord);
    if (words.size() >= 3 && words[0] == "ENABLED" && words[2] != "0000")
      m_bEnabled = true;
    if (words.size() < 6 || words[1] != "COMM" || words[2] != "3")
      return;
    const unsigned nSecond = std::stoul(words[4], nullptr, 16);
    const unsigned nThird = std::stoul(words[5], nullptr, 16);
    if (words[0] == "TX" && words[3] == "08" && (nSecond & 0xC0) == 0x40 &&
        (nSecond & 0x30) != 0x30) {
      m_nDeposited += kCoinValue[nSecond & 0x0F];
      ++m_nDeposits;
    } else if (words[0] == "RX" && words[3] == "0F" && nSecond == 0x02) {
      m_nPaid += std::uint64_t{nThird} * kScaling;
      ++m_nPayouts;
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
  ASSERT_TRUE(
      sim.Start(nComm, nComm + 1, 1,
                {"--coins", "1,2,4,10,20,40", "--scaling", "5", "--fill", "40,40,40,40,40,40"}));
  ASSERT_TRUE(app.Connect());
  CWatchedPanel panel;
  app.m_pMainWnd = &panel;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> percent(0, 99);
  std::uniform_int_distribution<int> coin(0, 7);  // 6 and 7 are coins the changer does not know
  std::uniform_int_distribution<int> product(0, 9);
  std::uniform_int_distribution<int> pause(0, 3);
  CDialogAnswers answers;
  answers.Run(panel, [&](CDialog&) {
    ASSERT_TRUE(PumpUntil([&] { return ledger.m_bEnabled; }, 10000))
        << "the changer was never enabled";
    CChangerDriver& driver = *panel.GetChangerDriver();
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
      } else if (nOp < 82) {
        sim.Type("reset");  // the changer restarts at the device and reports it
      } else if (nOp < 84) {
        driver.SetState(CChangerDriver::ResetWait);  // the acceptor control dialog's Reset
      } else if (nOp < 92) {
        driver.SetState(CChangerDriver::CoinEnableSend);  // Enable
      } else if (nOp < 96) {
        driver.SetState(CChangerDriver::CoinDisableSend);  // Disable
      } else {
        sim.Type("fill " + std::to_string(coin(random) % 4));  // the tubes are coin types 0 to 3
      }
      PumpFor(pause(random));
    }
    // Everything still under way arrives: the last coins are reported, Enable lets the changer
    // report what waits, and nothing new comes for a while.
    driver.SetState(CChangerDriver::CoinEnableSend);
    // Quiet means: nothing new for a while, the driver polling, and every payout it sent paid.
    // A loaded machine can leave the sim silent for longer than the pause, hence the last two.
    unsigned nSeen = ~0u;
    QDeadlineTimer deadline(60000);
    while (nSeen != ledger.m_nDeposits + ledger.m_nPayouts ||
           driver.GetState() != CChangerDriver::Polling ||
           ledger.m_nPayouts != panel.m_nSentUnits.size()) {
      ASSERT_FALSE(deadline.hasExpired()) << "the session never came to rest";
      nSeen = ledger.m_nDeposits + ledger.m_nPayouts;
      PumpFor(500);
    }
    panel.SendMessage(WM_CLOSE);
  });
  app.m_pMainWnd = nullptr;
  app.Disconnect();
  const unsigned nVends = static_cast<unsigned>(capture.m_beeps.size());

  const std::uint64_t nLeft = panel.GetChangerDriver()->GetCredit();
  std::printf(
      "%u operations: %u deposits worth %llu, %llu more from late answers read as coins, %u vends "
      "worth %llu, %u payouts worth %llu (%u capped at 255 units), %llu dropped below one unit, "
      "%llu left\n",
      nOperations, ledger.m_nDeposits, static_cast<unsigned long long>(ledger.m_nDeposited),
      static_cast<unsigned long long>(panel.m_nReadAsCoins), nVends,
      static_cast<unsigned long long>(nVended), ledger.m_nPayouts,
      static_cast<unsigned long long>(ledger.m_nPaid), panel.m_nCappedPayouts,
      static_cast<unsigned long long>(panel.m_nDropped), static_cast<unsigned long long>(nLeft));
  EXPECT_GT(ledger.m_nDeposits, nOperations / 20);
  EXPECT_GT(ledger.m_nPayouts, 0u);
  EXPECT_EQ(panel.m_nSentUnits, panel.m_nExpectedUnits);
  EXPECT_EQ(ledger.m_nPayouts, panel.m_nSentUnits.size());
  EXPECT_EQ(ledger.m_nDeposited + panel.m_nReadAsCoins,
            nVended + ledger.m_nPaid + nLeft + panel.m_nDropped);
}

}  // namespace
