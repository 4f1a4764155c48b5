// SIGTERM, SIGINT and SIGHUP while a dialog or a message box is open: every modal loop ends, the
// device still hears control code 0, and the settings hold what they held (plus what a closing
// dialog stores by design). A signal ends the program for good, so the in-process cases run in
// a child process of their own (death tests); the message box at start-up runs the real program.
#include "Dialog.h"
#include "QtPlatform.h"
#include "Resource.h"
#include "TestSupport.h"
#include "VendingApp.h"
#include "VendingPanelDlg.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstring>

using namespace testing_support;

namespace {

std::string StoreFor(unsigned nPort) { return LoopbackStore(nPort, "[Prices]\nPrice_03=250\n"); }

enum class EOpen { AcceptorControl, MessageBoxOverConnection };

/// The whole program in this (child) process, with the termination handlers of the real one.
/// The panel opens a dialog, and nSignal arrives while it (or a message box above it) is open.
/// @returns the exit status for the parent: 0 when every check held; what failed is on stderr.
int RunAndSignal(EOpen eOpen, int nSignal, unsigned nPort) {
  alarm(20);  // a modal loop that never ends kills the child, and the test fails
  CTempConfig config;
  const std::string strStore = StoreFor(nPort);
  config.Write(strStore);
  CUdpPeer control("127.0.0.2", nPort + 1);

  CVendingApp app;
  app.m_strAppName = "Mintora";
  AfxSetMessageBeepHook([](UINT) {});
  AfxInstallTerminationHandlers();
  bool bBoxShown = false;
  CDialogAnswers answers;
  answers.AnswerAny([&](CDialog& dlg) {
    if (auto* pPanel = dynamic_cast<CVendingPanelDlg*>(&dlg)) {
      pPanel->RouteCommand(eOpen == EOpen::AcceptorControl ? ID_SETTINGS_ACCEPTORCONTROL
                                                           : ID_SETTINGS_CONNECTION);
    } else if (eOpen == EOpen::AcceptorControl) {
      Button(dlg, IDC_ACCEPT_COIN_1 + 2)->click();
      std::raise(nSignal);
    } else {
      // OK with a port that is not a number: the check's message box opens, and the signal
      // comes while it runs.
      Edit(dlg, IDC_PORT_COMMUNICATION)->setText("40x3");
      QTimer::singleShot(0, [&] {
        bBoxShown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
        std::raise(nSignal);
      });
      Button(dlg, IDOK)->click();
    }
  });
  app.InitInstance();
  app.ExitInstance();

  std::string strFailures;
  if (control.ReceiveBeforeProbe() !=
      std::vector<Bytes>{{0x08, 0x03, 0x0B}, {0x08, 0x03, 0x12}, {0x08, 0x03, 0x00}})
    strFailures += "the device did not get 11, 18 and 0 on its control port\n";
  CTestApp reader;
  if (reader.GetProfileInt("Prices", "Price_03", 0) != 250 ||
      reader.GetProfileString("Connection", "IPAddress", "") != "127.0.0.2" ||
      reader.GetProfileInt("Connection", "PortCommunication", 0) != nPort)
    strFailures += "stored settings were lost\n";
  if (eOpen == EOpen::AcceptorControl) {
    // The dialog stores its ticks however it is closed.
    if (reader.GetProfileInt("AcceptorControl", "CoinAccept", 0) != 0x0004)
      strFailures += "the acceptor control dialog did not store its ticks\n";
  } else {
    if (!bBoxShown)
      strFailures += "no message box was open when the signal came\n";
    // Cancelled by the signal: the rejected port is not stored, nothing else is written.
    if (config.Read() != strStore)
      strFailures += "the settings file changed:\n" + config.Read();
  }
  std::fputs(strFailures.c_str(), stderr);
  return strFailures.empty() ? 0 : 1;
}

class AbruptEnd : public ::testing::TestWithParam<int> {
protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_P(AbruptEnd, WhileADialogIsOpen) {
  const unsigned nPort = TakePorts(EPortRange::AbruptEnd);
  EXPECT_EXIT(std::_Exit(RunAndSignal(EOpen::AcceptorControl, GetParam(), nPort)),
              ::testing::ExitedWithCode(0), "");
}

TEST_P(AbruptEnd, WhileAMessageBoxIsOpenOverADialog) {
  const unsigned nPort = TakePorts(EPortRange::AbruptEnd);
  EXPECT_EXIT(std::_Exit(RunAndSignal(EOpen::MessageBoxOverConnection, GetParam(), nPort)),
              ::testing::ExitedWithCode(0), "");
}

std::string ParamName(const ::testing::TestParamInfo<int>& info) {
  return std::string("SIG") + sigabbrev_np(info.param);
}

INSTANTIATE_TEST_SUITE_P(Signals, AbruptEnd, ::testing::Values(SIGTERM, SIGINT, SIGHUP), ParamName);

// ---------------------------------------------------------------------------------------------
// The real program, stopped by a signal while the link's failure message is open at start-up:
// another socket holds the control port, so "Create control socket failed" waits for the
// operator. Until the box is closed there is no main window, and datagrams are read and dropped.

class AbruptEndProcess : public AbruptEnd {
protected:
  CTempConfig m_config;
  CMintoraProcess m_program;
};

TEST_P(AbruptEndProcess, WhileAStartUpMessageIsOpen) {
  const unsigned nPort = TakePorts(EPortRange::AbruptEnd);
  const std::string strStore = StoreFor(nPort);
  CUdpPeer comm("127.0.0.2", nPort);
  CUdpPeer holder("0.0.0.0", nPort + 1, false);
  ASSERT_TRUE(holder.IsBound());

  ASSERT_TRUE(m_program.Start(m_config, strStore));
  // The communication socket is made just before the control socket fails.
  ASSERT_TRUE(PumpUntil([&] { return !DeviceSocketLines(nPort).empty(); }, 15000));
  // Twenty datagrams would make a running driver send RESET; with the box open they vanish.
  // Once they are read the program is ended, so all it said in reply lies in the queue.
  for (int i = 0; i < 20; ++i)
    comm.SendTo(nPort, Bytes{0x08});
  EXPECT_TRUE(PumpUntil([&] { return DeviceSocketQueue(nPort).nWaiting == 0; }, 10000));
  EXPECT_TRUE(m_program.IsRunning());

  m_program.Signal(GetParam());
  EXPECT_TRUE(m_program.EndsNormally());
  EXPECT_EQ(comm.ReceiveBeforeProbe(), std::vector<Bytes>{});
  EXPECT_EQ(holder.ReceiveBeforeProbe(), std::vector<Bytes>{});  // no control socket, no code
  EXPECT_EQ(m_config.Read(), strStore);
}

INSTANTIATE_TEST_SUITE_P(Signals, AbruptEndProcess, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         ParamName);

}  // namespace
