// lx5200e-sim as a separate process in headless mode, on 127.0.0.2 with ports of its own: the
// test plays the PC with two plain UDP sockets on 127.0.0.1 and reads the sim's stdout.
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

/// The sim in headless mode on 127.0.0.2 with ports of this test's own and a 20 ms cadence; the
/// test plays the PC on the same ports of 127.0.0.1.
class SimProcess : public ::testing::Test {
protected:
  /// Starts the sim, then sends the PC's two control codes that start it polling and reporting.
  void StartPolling(const QStringList& extra = {}) {
    ASSERT_TRUE(m_comm.IsBound());
    ASSERT_TRUE(m_control.IsBound());
    ASSERT_TRUE(m_sim.Start(m_nComm, m_nControl, 20, extra));
    m_control.SendTo("127.0.0.2", m_nControl, {0x08, 0x03, 0x0B});
    m_control.SendTo("127.0.0.2", m_nControl, {0x08, 0x03, 0x12});
  }
  /// The next datagram from the changer that is not a tick; empty when none came.
  Bytes NextReport() {
    Bytes bytes;
    EXPECT_TRUE(m_comm.ReceiveNonTick(bytes));
    return bytes;
  }
  void Type(const std::string& strCommand) { m_sim.Type(strCommand); }
  bool WaitForLine(const std::string& strLine) { return m_sim.WaitFor(strLine, 5000); }
  bool WaitForExit() {
    return PumpUntil([&] { return m_sim.Process().state() == QProcess::NotRunning; }, 5000);
  }

  const unsigned m_nComm = TakePorts(EPortRange::SimProcess);
  const unsigned m_nControl = m_nComm + 1;
  CUdpPeer m_comm{"127.0.0.1", m_nComm};
  CUdpPeer m_control{"127.0.0.1", m_nControl};
  CSimProcess m_sim;
};

TEST_F(SimProcess, TicksAfterTheControlCodesAndAnswersSetup) {
  StartPolling();
  Bytes bytes;
  unsigned nFromPort = 0;
  ASSERT_TRUE(m_comm.Receive(bytes, 3000, &nFromPort));
  EXPECT_EQ(bytes, Bytes{0x08});
  EXPECT_EQ(nFromPort, m_nComm);  // the PC takes only datagrams from the communication port
  EXPECT_EQ(NextReport(), (Bytes{0x08, 0x0B}));

  m_comm.SendTo("127.0.0.2", m_nComm, {0x09});
  EXPECT_EQ(NextReport(),
            (Bytes{0x08, 0x03, 0x19, 0x78, 0x05, 0x02, 0x00, 0x0F, 0x01, 0x02, 0x04, 0x0A,
                   0x14, 0x28, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0}));
  // Nothing went out before the PC had made itself known.
  const std::size_t nPollOn = m_sim.Find("RX CTRL 3 08 03 0B CONTROL 11 POLL ON", 0);
  ASSERT_NE(nPollOn, CSimProcess::npos);
  for (std::size_t i = 0; i < nPollOn; ++i)
    EXPECT_NE(m_sim.Lines()[i].rfind("TX", 0), 0u) << m_sim.Lines()[i];
  EXPECT_TRUE(WaitForLine("RX COMM 1 09 SETUP"));
  EXPECT_TRUE(WaitForLine("TX COMM 24 08 03 19 78 05 02 00 0F 01 02 04 0A 14 28 00"));

  Type("quit");
  EXPECT_TRUE(WaitForLine("BYE"));
  ASSERT_TRUE(WaitForExit());
  EXPECT_EQ(m_sim.Process().exitCode(), 0);
}

TEST_F(SimProcess, ReportsCoinsPaysChangeAndSendsFaultsFromStdin) {
  StartPolling();
  ASSERT_EQ(NextReport(), (Bytes{0x08, 0x0B}));

  Type("insert 2");  // refused: COIN TYPE has not enabled it
  EXPECT_TRUE(WaitForLine("REFUSED coin 2 not-enabled"));
  m_comm.SendTo("127.0.0.2", m_nComm, {0x0C, 0x00, 0x3F, 0x00, 0x00});
  EXPECT_TRUE(WaitForLine("ENABLED accept 003F dispense 0000"));
  Type("insert 2");
  EXPECT_TRUE(WaitForLine("ACCEPTED coin 2 value 20 tube 19"));
  EXPECT_EQ(NextReport(), (Bytes{0x08, 0x52, 0x13}));

  m_comm.SendTo("127.0.0.2", m_nComm, {0x0F, 0x02, 0x05});
  EXPECT_TRUE(WaitForLine("PAID 25 of 25 coins 2x1 0x1"));

  Type("fault empty");
  EXPECT_EQ(NextReport(), Bytes{});
  Type("fault oversize 1100");
  EXPECT_EQ(NextReport().size(), 1100u);

  Type("fill 7");
  EXPECT_TRUE(WaitForLine("REFUSED tube 7 no-tube"));
  Type("fill 16");
  EXPECT_TRUE(WaitForLine("ERROR needs a coin type 0..15 and an optional count 0..255: fill 16"));
  Type("bogus");
  EXPECT_TRUE(WaitForLine("ERROR unknown command: bogus"));
  Type("status");
  EXPECT_TRUE(WaitForLine(
      "STATUS polling on reporting on peer 127.0.0.1:" + std::to_string(m_nComm) +
      " accept 003F dispense 0000 "
      "features 00000000 tubes 23,30,18,9,0,0,0,0,0,0,0,0,0,0,0,0 full 0000 cashbox 0 paid 25"));

  // End of input ends the sim, like quit.
  m_sim.Process().closeWriteChannel();
  EXPECT_TRUE(WaitForLine("BYE"));
  ASSERT_TRUE(WaitForExit());
  EXPECT_EQ(m_sim.Process().exitCode(), 0);
}

// What the PC's sessions reach only on demand: a longer reset report, several coins dispensed by
// hand in one report, and a changer that nobody polls.
TEST_F(SimProcess, ReportsLongResetsManyCoinDispensesAndGivesCoinsBackWhenNotPolled) {
  StartPolling({"--non-response-ms", "100"});
  ASSERT_EQ(NextReport(), (Bytes{0x08, 0x0B}));
  m_comm.SendTo("127.0.0.2", m_nComm, {0x0C, 0x00, 0x3F, 0x00, 0x0F});
  EXPECT_TRUE(WaitForLine("ENABLED accept 003F dispense 000F"));

  Type("dispense 1 5");
  EXPECT_TRUE(WaitForLine("DISPENSED coin 1 tube 25 coins 5"));
  EXPECT_EQ(NextReport(), (Bytes{0x08, 0xD1, 25}));
  Type("dispense 1 8");
  EXPECT_TRUE(WaitForLine("ERROR needs a coin type 0..15 and an optional count 1..7"));
  Type("reset 0A 07");
  EXPECT_TRUE(WaitForLine("CHANGER RESET report 0B 0A 07"));
  EXPECT_EQ(NextReport(), (Bytes{0x08, 0x0B, 0x0A, 0x07}));
  Type("reset 0A 1FF");
  EXPECT_TRUE(WaitForLine("ERROR reset takes status bytes in hex"));

  m_comm.SendTo("127.0.0.2", m_nComm, {0x0C, 0x00, 0x3F, 0x00, 0x0F});
  EXPECT_TRUE(WaitForLine("ENABLED accept 003F"));
  m_control.SendTo("127.0.0.2", m_nControl, {0x08, 0x03, 0x00});
  EXPECT_TRUE(WaitForLine("CHANGER DISABLED not polled for 100 ms"));
  Type("insert 2");
  EXPECT_TRUE(WaitForLine("REFUSED coin 2 not-polled"));
}

TEST_F(SimProcess, RefusesToListenOutsideLoopback) {
  QProcess& process = m_sim.Process();
  process.start(LX5200E_SIM_EXE,
                {"--headless", "--address", "192.168.1.1", "--comm-port", QString::number(m_nComm),
                 "--control-port", QString::number(m_nControl)});
  ASSERT_TRUE(WaitForExit());
  EXPECT_EQ(process.exitCode(), 2);
  EXPECT_TRUE(process.readAllStandardError().contains("127.0.0.0/8"));
  EXPECT_FALSE(m_sim.WaitFor("READY", 0));
}

}  // namespace
