// The program with a settings store of its own that points at a peer on 127.0.0.2: its
// application object in this process with equal ports, and the real executable started under
// another name or with arguments. The signals that end it are the abrupt-end suite's.
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class MintoraProcess : public VendingAppFixture {
protected:
  /// A store that points the link at 127.0.0.2 on this test's ports, plus strMore.
  std::string Store(const std::string& strMore = "") const {
    return LoopbackStore(m_nComm, strMore);
  }

  const unsigned m_nComm = TakePorts(EPortRange::MintoraProcess);
  const unsigned m_nControl = m_nComm + 1;
  CMintoraProcess m_program;
};

// Equal ports: the control socket is refused the communication socket's port, so no control code
// lands on the device's communication port (08 03 0B there would be a changer RESET), while the
// driver answers there as usual.
TEST_F(MintoraProcess, EqualPortsKeepControlCodesOffTheCommunicationPort) {
  const std::string strPort = std::to_string(m_nComm);
  m_config.Write("[Connection]\nIPAddress=127.0.0.2\nPortCommunication=" + strPort +
                 "\nPortControl=" + strPort + "\n");
  CUdpPeer comm("127.0.0.2", m_nComm);
  std::vector<Bytes> whileOpen;
  RunProgram([&](CVendingPanelDlg&) {
    for (int i = 0; i < 12; ++i)  // RESET goes out on the 12th
      comm.SendTo(m_nComm, Bytes{0x08});
    whileOpen = comm.ReceiveThrough(Bytes{0x08}).value_or(std::vector<Bytes>{});
  });
  EXPECT_EQ(m_capture.m_messages,
            std::vector<std::string>{"Create control socket failed, Error: 98\r\n"});
  EXPECT_EQ(whileOpen, std::vector<Bytes>{{0x08}});
  EXPECT_EQ(comm.ReceiveBeforeProbe(), std::vector<Bytes>{});  // nor control code 0 at the end
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
  CUdpPeer control("127.0.0.2", m_nControl);
  // The store another name would read keeps the link at home, should that name be taken.
  WriteWholeFile(m_config.Path() + "/Tessaline/Other.conf",
                 "[Connection]\nIPAddress=127.0.0.1\nAutoConnect=0\n");
  const QString strLink = QString::fromStdString(m_config.Path() + "/Other");
  ASSERT_TRUE(QFile::link(QStringLiteral(MINTORA_EXE), strLink));

  switch (GetParam().how) {
  case StartCase::LinkNamedOther: ASSERT_TRUE(m_program.Start(m_config, Store(), {strLink})); break;
  case StartCase::ExecAsOther:
    ASSERT_TRUE(m_program.Start(
        m_config, Store(), {"bash", "-c", "exec -a Other \"$0\"", QStringLiteral(MINTORA_EXE)}));
    break;
  case StartCase::QtOptions:
    ASSERT_TRUE(m_program.Start(m_config, Store(),
                                {QStringLiteral(MINTORA_EXE), "-reverse", "-stylesheet",
                                 "/nonexistent.qss", "-platform", "no-such-platform"}));
    break;
  }
  Bytes received;
  EXPECT_TRUE(control.Receive(received, 10000));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x0B}));
  m_program.Signal(SIGTERM);
  EXPECT_TRUE(m_program.EndsNormally());
}

INSTANTIATE_TEST_SUITE_P(
    Starts, MintoraStarted,
    ::testing::Values(StartCase{"ThroughALinkNamedOther", StartCase::LinkNamedOther},
                      StartCase{"WithExecAsOther", StartCase::ExecAsOther},
                      StartCase{"WithQtOptions", StartCase::QtOptions}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return info.param.pszName; });

}  // namespace
