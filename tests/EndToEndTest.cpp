// The vending panel (offscreen, in this process) against lx5200e-sim in headless mode as a
// separate process: coins at the device become credit, vends, Change Return paid from the
// tubes, a changer reset at the device, and closing.
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class EndToEnd : public AppFixture<CTestLinkApp> {
protected:
  /// Connects to a sim on ports of this test's own and runs the panel with pfnWhileOpen inside.
  void Run(const std::function<void(CVendingPanelDlg&, CSimProcess&)>& pfnWhileOpen) {
    const unsigned nComm = TakePorts(EPortRange::EndToEnd);
    StoreLoopbackLink(m_app, nComm);
    m_app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x003F);
    CSimProcess sim;
    ASSERT_TRUE(sim.Start(nComm, nComm + 1, 5));
    ASSERT_TRUE(m_app.Connect());
    CVendingPanelDlg panel;
    m_app.m_pMainWnd = &panel;
    m_answers.Run(panel, [&](CDialog&) {
      // The whole start-up runs on the device's ticks and ends with the coins enabled.
      if (sim.WaitFor("ENABLED accept 003F"))
        pfnWhileOpen(panel, sim);
      else
        ADD_FAILURE() << "the changer was never enabled";
      panel.SendMessage(WM_CLOSE);
    });
    EXPECT_TRUE(sim.WaitFor("RX CTRL 3 08 03 00 CONTROL 0 OFF"));
    m_app.Disconnect();
    EXPECT_TRUE(m_capture.m_messages.empty());
  }
  static bool CreditShows(CVendingPanelDlg& panel, const std::string& strText) {
    return PumpUntil([&] { return panel.GetDlgItemText(IDC_CREDIT) == strText; }, 10000);
  }

  std::vector<UINT>& m_beeps = m_capture.m_beeps;
};

TEST_F(EndToEnd, CoinsBecomeCreditVendsSpendItAndChangeIsPaidFromTheTubes) {
  m_app.WriteProfileInt("Prices", "Price_01", 500);
  Run([&](CVendingPanelDlg& panel, CSimProcess& sim) {
    sim.Type("insert 2");  // 0.20
    sim.Type("insert 5");  // 2.00, quickly after the first
    EXPECT_TRUE(CreditShows(panel, "2.20"));

    panel.RouteCommand(IDC_PRODUCT_1);  // 1.00
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "1.20");
    EXPECT_EQ(m_beeps, (std::vector<UINT>{250}));
    panel.RouteCommand(IDC_PRODUCT_1 + 1);  // 5.00: not covered, nothing happens
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "1.20");
    EXPECT_EQ(m_beeps.size(), 1u);

    panel.RouteCommand(IDC_CHANGE_RETURN);
    EXPECT_TRUE(sim.WaitFor("RX COMM 3 0F 02 18 EXPANSION PAYOUT"));  // 120 / 5 = 24
    EXPECT_TRUE(sim.WaitFor("PAID 120 of 120"));
    EXPECT_TRUE(CreditShows(panel, "0.00"));
  });
}

TEST_F(EndToEnd, AChangerResetAtTheDeviceRestartsTheSequence) {
  Run([&](CVendingPanelDlg& panel, CSimProcess& sim) {
    sim.Type("insert 0");
    EXPECT_TRUE(CreditShows(panel, "0.05"));
    sim.Type("reset");
    EXPECT_TRUE(sim.WaitFor("RX COMM 1 08 RESET"));
    EXPECT_TRUE(sim.WaitFor("RX COMM 1 09 SETUP"));
    EXPECT_TRUE(sim.WaitFor("ENABLED accept 003F"));
    // The credit survives the restart, and coins count again afterwards.
    sim.Type("insert 1");
    EXPECT_TRUE(CreditShows(panel, "0.15"));
  });
}

}  // namespace
