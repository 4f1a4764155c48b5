// The real Mintora executable, started with a settings store of its own that points at a peer on
// 127.0.0.2, watched on the wire from opening to closing; started under another name or with
// arguments; and a second program on the same ports, where the message that the operator sees is
// caught by running that program's application object in this process.
#include "Dialog.h"
#include "Resource.h"
#include "TestSupport.h"
#include "VendingApp.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

/// This run's ports: kBase .. kBase + 39, apart from runs of the same tests in other processes.
const unsigned kBase = 28000 + 40 * static_cast<unsigned>(getpid() % 50);

std::string StoreFor(unsigned nComm, unsigned nControl, const std::string& strExtra = "") {
  return "[Connection]\nIPAddress=127.0.0.2\nPortCommunication=" + std::to_string(nComm) +
         "\nPortControl=" + std::to_string(nControl) + "\n" + strExtra;
}

/// The whole life of the program in this process, on the store of XDG_CONFIG_HOME: start-up,
/// the panel (pfnWhileOpen runs inside it, then it is closed), shutdown.
/// @returns the messages that the operator was shown, each confirmed with OK.
std::vector<std::string> RunProgramHere(
    const std::function<void(CVendingPanelDlg&)>& pfnWhileOpen) {
  std::vector<std::string> messages;
  AfxSetMessageBoxHook([&](const std::string& strText, UINT) {
    messages.push_back(strText);
    return IDOK;
  });
  AfxSetMessageBeepHook([](UINT) {});
  CDialog::SetShownHook([&](CDialog& dlg) {
    if (auto* pPanel = dynamic_cast<CVendingPanelDlg*>(&dlg)) {
      pfnWhileOpen(*pPanel);
      pPanel->SendMessage(WM_CLOSE);
    }
  });
  {
    CVendingApp app;
    app.m_strAppName = "Mintora";
    app.InitInstance();
    app.ExitInstance();
  }
  CDialog::SetShownHook(nullptr);
  AfxSetMessageBeepHook(nullptr);
  AfxSetMessageBoxHook(nullptr);
  return messages;
}

class MintoraProcess : public ::testing::Test {
protected:
  CTempConfig m_config;
  CMintoraProcess m_program;
};

TEST_F(MintoraProcess, TellsTheDeviceWhenItOpensAndWhenItCloses) {
  auto pComm = std::make_unique<CUdpPeer>("127.0.0.2", kBase);
  auto pControl = std::make_unique<CUdpPeer>("127.0.0.2", kBase + 1);
  CUdpPeer& comm = *pComm;
  CUdpPeer& control = *pControl;
  ASSERT_TRUE(m_program.Start(m_config, StoreFor(kBase, kBase + 1)));

  Bytes received;
  ASSERT_TRUE(control.Receive(received, 10000));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x0B}));
  ASSERT_TRUE(control.Receive(received));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x12}));

  // The driver answers the device's ticks: RESET goes out on the 12th.
  for (int i = 0; i < 12; ++i)
    comm.SendTo(kBase, Bytes{0x08});
  ASSERT_TRUE(comm.Receive(received));
  EXPECT_EQ(received, (Bytes{0x08}));

  m_program.Signal(SIGTERM);
  ASSERT_TRUE(control.Receive(received, 10000));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x00}));
  ASSERT_TRUE(m_program.EndsNormally());
  // Once the peers let go, nothing holds either port.
  pComm.reset();
  pControl.reset();
  CUdpPeer commAgain("0.0.0.0", kBase, false);
  CUdpPeer controlAgain("0.0.0.0", kBase + 1, false);
  EXPECT_TRUE(commAgain.IsBound());
  EXPECT_TRUE(controlAgain.IsBound());
}

TEST_F(MintoraProcess, WithAutoConnectOffItSendsNothing) {
  CUdpPeer control("127.0.0.2", kBase + 3);
  ASSERT_TRUE(m_program.Start(m_config, StoreFor(kBase + 2, kBase + 3, "AutoConnect=0\n")));
  Bytes received;
  EXPECT_FALSE(control.Receive(received, 1500));
  EXPECT_TRUE(m_program.IsRunning());
  m_program.Signal(SIGINT);
  ASSERT_TRUE(m_program.EndsNormally());
  EXPECT_FALSE(control.Receive(received, 200));
}

// A second program with the same settings: its communication socket is refused the port that
// the first one holds, so it shows the message, sends no control code and hears nothing, while
// the first goes on with the device. The simulated device shares the ports with both.
TEST_F(MintoraProcess, ASecondProgramOnTheSameStoreIsRefusedThePort) {
  const unsigned nComm = kBase + 4;
  CSimProcess sim;
  ASSERT_TRUE(sim.Start(nComm, nComm + 1, 5));
  ASSERT_TRUE(
      m_program.Start(m_config, StoreFor(nComm, nComm + 1, "[AcceptorControl]\nCoinAccept=63\n")));
  ASSERT_TRUE(sim.WaitFor("RX CTRL 3 08 03 12"));
  ASSERT_TRUE(sim.WaitFor("ENABLED accept 003F"));

  std::string strCredit;
  const std::vector<std::string> messages = RunProgramHere([&](CVendingPanelDlg& panel) {
    EXPECT_FALSE(sim.WaitFor("RX CTRL", 300));  // no 11 or 18 from this one
    sim.Type("insert 2");
    sim.Type("reset");
    EXPECT_TRUE(sim.WaitFor("RX COMM 1 08 RESET"));
    EXPECT_TRUE(sim.WaitFor("ENABLED accept 003F"));
    strCredit = panel.GetDlgItemText(IDC_CREDIT);
  });
  EXPECT_EQ(messages, std::vector<std::string>{"Create aquisition socket failed, Error: 98\r\n"});
  EXPECT_EQ(strCredit, "0.00");
  EXPECT_FALSE(sim.WaitFor("RX CTRL", 300));  // nor 0 at its end

  m_program.Signal(SIGTERM);
  EXPECT_TRUE(sim.WaitFor("RX CTRL 3 08 03 00"));
  EXPECT_TRUE(m_program.EndsNormally());
}

// Equal ports: the control socket is refused the communication socket's port, so no control code
// lands on the device's communication port (08 03 0B there would be a changer RESET), while the
// driver answers there as usual.
TEST_F(MintoraProcess, EqualPortsKeepControlCodesOffTheCommunicationPort) {
  const unsigned nPort = kBase + 6;
  WriteWholeFile(m_config.SettingsFile(), StoreFor(nPort, nPort));
  CUdpPeer comm("127.0.0.2", nPort);
  std::vector<Bytes> whileOpen;
  const std::vector<std::string> messages = RunProgramHere([&](CVendingPanelDlg&) {
    for (int i = 0; i < 12; ++i)  // RESET goes out on the 12th
      comm.SendTo(nPort, Bytes{0x08});
    for (Bytes received; comm.Receive(received, whileOpen.empty() ? 3000 : 200);)
      whileOpen.push_back(received);
  });
  EXPECT_EQ(messages, std::vector<std::string>{"Create control socket failed, Error: 98\r\n"});
  EXPECT_EQ(whileOpen, std::vector<Bytes>{{0x08}});
  Bytes received;
  EXPECT_FALSE(comm.Receive(received, 200));  // nor control code 0 at the end
}

// The settings store follows the executable's own file, and the command line is not read: were
// Qt given the arguments, -platform would make it abort for want of that platform.
struct StartCase {
  const char* pszName;
  enum { LinkNamedOther, ExecAsOther, QtOptions } how;
};

void PrintTo(const StartCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class MintoraStarted : public MintoraProcess, public ::testing::WithParamInterface<StartCase> {};

TEST_P(MintoraStarted, UnderAnotherNameOrWithArgumentsItReadsItsOwnStore) {
  const unsigned nControl = kBase + 9 + 2 * static_cast<unsigned>(GetParam().how);
  CUdpPeer control("127.0.0.2", nControl);
  WriteWholeFile(m_config.SettingsFile(), StoreFor(nControl - 1, nControl));
  // The store another name would read keeps the link at home, should that name be taken.
  WriteWholeFile(m_config.Path() + "/Tessaline/Other.conf",
                 "[Connection]\nIPAddress=127.0.0.1\nAutoConnect=0\n");
  const QString strLink = QString::fromStdString(m_config.Path() + "/Other");
  ASSERT_TRUE(QFile::link(QStringLiteral(MINTORA_EXE), strLink));

  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_config.Path()));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::ForwardedChannels);
  switch (GetParam().how) {
  case StartCase::LinkNamedOther: process.start(strLink, {}); break;
  case StartCase::ExecAsOther:
    process.start("bash", {"-c", "exec -a Other \"$0\"", QStringLiteral(MINTORA_EXE)});
    break;
  case StartCase::QtOptions:
    process.start(QStringLiteral(MINTORA_EXE),
                  {"-reverse", "-stylesheet", "/nonexistent.qss", "-platform", "no-such-platform"});
    break;
  }
  ASSERT_TRUE(process.waitForStarted(5000));
  Bytes received;
  EXPECT_TRUE(control.Receive(received, 10000));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x0B}));
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  EXPECT_TRUE(PumpUntil([&] { return process.state() == QProcess::NotRunning; }, 15000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, MintoraStarted,
    ::testing::Values(StartCase{"ThroughALinkNamedOther", StartCase::LinkNamedOther},
                      StartCase{"WithExecAsOther", StartCase::ExecAsOther},
                      StartCase{"WithQtOptions", StartCase::QtOptions}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return info.param.pszName; });

}  // namespace
