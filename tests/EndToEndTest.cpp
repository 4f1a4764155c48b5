// The vending panel (offscreen, in this process) against lx5200e-sim in headless mode as a
// separate process: coins at the device become credit, vends, Change Return paid from the
// tubes, a changer reset at the device, and closing.
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

/// The simulated device, driven through its standard input; every output line is kept.
class CSimProcess {
public:
  CSimProcess(unsigned nComm, unsigned nControl) {
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setProgram(QStringLiteral(LX5200E_SIM_EXE));
    m_process.setArguments({"--headless", "--address", "127.0.0.2", "--comm-port", QString::number(nComm),
                            "--control-port", QString::number(nControl), "--tick-ms", "5"});
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
      while (m_process.canReadLine())
        m_lines.push_back(m_process.readLine().trimmed().toStdString());
    });
    m_process.start();
  }
  ~CSimProcess() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.write("quit\n");
      if (!m_process.waitForFinished(3000))
        m_process.kill();
      m_process.waitForFinished(3000);
    }
  }
  void Command(const std::string& strLine) { m_process.write((strLine + "\n").c_str()); }
  /// Waits for an output line that starts with strPrefix, after the ones already seen.
  bool WaitFor(const std::string& strPrefix, int nMilliseconds = 10000) {
    return PumpUntil([&] {
      for (; m_nNext < m_lines.size(); ++m_nNext) {
        if (m_lines[m_nNext].rfind(strPrefix, 0) == 0) {
          ++m_nNext;
          return true;
        }
      }
      return false;
    }, nMilliseconds);
  }

private:
  QProcess m_process;
  std::vector<std::string> m_lines;
  size_t m_nNext = 0;
};

class CLinkedApp : public CTestApp, public CDeviceLink {};

class EndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    AfxSetMessageBeepHook([this](UINT uType) { m_beeps.push_back(uType); });
    AfxSetMessageBoxHook([this](const std::string& strText, UINT) {
      m_messages.push_back(strText);
      return IDOK;
    });
  }
  void TearDown() override {
    CDialog::SetShownHook(nullptr);
    AfxSetMessageBeepHook(nullptr);
    AfxSetMessageBoxHook(nullptr);
  }
  /// Connects to a sim on ports nBase, nBase + 1 and runs the panel with pfnWhileOpen inside.
  void Run(unsigned nBase, const std::function<void(CVendingPanelDlg&, CSimProcess&)>& pfnWhileOpen) {
    m_app.WriteProfileString("Connection", "IPAddress", "127.0.0.2");
    m_app.WriteProfileInt("Connection", "PortCommunication", nBase);
    m_app.WriteProfileInt("Connection", "PortControl", nBase + 1);
    m_app.WriteProfileInt("AcceptorControl", "CoinAccept", 0x003F);
    CSimProcess sim(nBase, nBase + 1);
    ASSERT_TRUE(sim.WaitFor("READY"));
    ASSERT_TRUE(m_app.Connect());
    CVendingPanelDlg panel;
    m_app.m_pMainWnd = &panel;
    CDialog::SetShownHook([&](CDialog& dlg) {
      if (&dlg != &panel)
        return;
      // The whole start-up runs on the device's ticks and ends with the coins enabled.
      if (sim.WaitFor("ENABLED accept 003F"))
        pfnWhileOpen(panel, sim);
      else
        ADD_FAILURE() << "the changer was never enabled";
      panel.SendMessage(WM_CLOSE);
    });
    panel.DoModal();
    EXPECT_TRUE(sim.WaitFor("RX CTRL 3 08 03 00 CONTROL 0 OFF"));
    m_app.Disconnect();
    EXPECT_TRUE(m_messages.empty());
  }
  static bool CreditShows(CVendingPanelDlg& panel, const std::string& strText) {
    return PumpUntil([&] { return panel.GetDlgItemText(IDC_CREDIT) == strText; }, 10000);
  }

  CTempConfig m_config;
  CLinkedApp m_app;
  std::vector<UINT> m_beeps;
  std::vector<std::string> m_messages;
};

TEST_F(EndToEnd, CoinsBecomeCreditVendsSpendItAndChangeIsPaidFromTheTubes) {
  m_app.WriteProfileInt("Prices", "Price_01", 500);
  Run(22000, [&](CVendingPanelDlg& panel, CSimProcess& sim) {
    sim.Command("insert 2");  // 0.20
    sim.Command("insert 5");  // 2.00, quickly after the first
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
  Run(22002, [&](CVendingPanelDlg& panel, CSimProcess& sim) {
    sim.Command("insert 0");
    EXPECT_TRUE(CreditShows(panel, "0.05"));
    sim.Command("reset");
    EXPECT_TRUE(sim.WaitFor("RX COMM 1 08 RESET"));
    EXPECT_TRUE(sim.WaitFor("RX COMM 1 09 SETUP"));
    EXPECT_TRUE(sim.WaitFor("ENABLED accept 003F"));
    // The credit survives the restart, and coins count again afterwards.
    sim.Command("insert 1");
    EXPECT_TRUE(CreditShows(panel, "0.15"));
  });
}

}  // namespace
