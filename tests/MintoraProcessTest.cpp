// The real Mintora executable, started with a settings store of its own that points at a peer on
// 127.0.0.2, watched on the wire from opening to closing.
#include "TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <memory>

using namespace testing_support;

namespace {

class MintoraProcess : public ::testing::Test {
protected:
  void Start(unsigned nComm, unsigned nControl, const std::string& strExtra = "") {
    QDir().mkpath(QString::fromStdString(m_config.Path() + "/Tessaline"));
    std::ofstream(m_config.SettingsFile())
        << "[Connection]\nIPAddress=127.0.0.2\nPortCommunication=" << nComm
        << "\nPortControl=" << nControl << "\n" << strExtra;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_config.Path()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(QStringLiteral(MINTORA_EXE), {});
    ASSERT_TRUE(m_process.waitForStarted(5000));
  }
  void Signal(int nSignal) { ::kill(static_cast<pid_t>(m_process.processId()), nSignal); }
  bool WaitForExit() {
    return PumpUntil([&] { return m_process.state() == QProcess::NotRunning; }, 10000);
  }
  void TearDown() override {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.kill();
      m_process.waitForFinished(5000);
    }
  }

  CTempConfig m_config;
  QProcess m_process;
};

TEST_F(MintoraProcess, TellsTheDeviceWhenItOpensAndWhenItCloses) {
  auto pComm = std::make_unique<CUdpPeer>("127.0.0.2", 21300);
  auto pControl = std::make_unique<CUdpPeer>("127.0.0.2", 21301);
  CUdpPeer& comm = *pComm;
  CUdpPeer& control = *pControl;
  Start(21300, 21301);

  Bytes received;
  ASSERT_TRUE(control.Receive(received, 10000));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x0B}));
  ASSERT_TRUE(control.Receive(received));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x12}));

  // The driver answers the device's ticks: RESET goes out on the 12th.
  for (int i = 0; i < 12; ++i)
    comm.SendTo(21300, Bytes{0x08});
  ASSERT_TRUE(comm.Receive(received));
  EXPECT_EQ(received, (Bytes{0x08}));

  Signal(SIGTERM);
  ASSERT_TRUE(control.Receive(received, 10000));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x00}));
  ASSERT_TRUE(WaitForExit());
  EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
  // Once the peers let go, nothing holds either port.
  pComm.reset();
  pControl.reset();
  CUdpPeer commAgain("0.0.0.0", 21300, false);
  CUdpPeer controlAgain("0.0.0.0", 21301, false);
  EXPECT_TRUE(commAgain.IsBound());
  EXPECT_TRUE(controlAgain.IsBound());
}

TEST_F(MintoraProcess, WithAutoConnectOffItSendsNothing) {
  CUdpPeer control("127.0.0.2", 21303);
  Start(21302, 21303, "AutoConnect=0\n");
  Bytes received;
  EXPECT_FALSE(control.Receive(received, 1500));
  EXPECT_EQ(m_process.state(), QProcess::Running);
  Signal(SIGINT);
  ASSERT_TRUE(WaitForExit());
  EXPECT_FALSE(control.Receive(received, 200));
}

}  // namespace
