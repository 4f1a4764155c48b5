// lx5200e-sim as a separate process in headless mode, on 127.0.0.2 with ports of its own: the
// test plays the PC with two plain UDP sockets on 127.0.0.1 and reads the sim's stdout.
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

/// The sim in headless mode on 127.0.0.2 with the given ports and a 20 ms cadence.
class SimProcess : public ::testing::Test {
protected:
  void Start(unsigned nCommPort, unsigned nControlPort) {
    ASSERT_TRUE(m_sim.Start(nCommPort, nControlPort, 20));
  }
  void Type(const std::string& strCommand) { m_sim.Type(strCommand); }
  bool WaitForLine(const std::string& strLine) { return m_sim.WaitFor(strLine, 5000); }
  bool WaitForExit() {
    return PumpUntil([&] { return m_sim.Process().state() == QProcess::NotRunning; }, 5000);
  }

  CSimProcess m_sim;
};

TEST_F(SimProcess, TicksAfterTheControlCodesAndAnswersSetup) {
  CUdpPeer comm("127.0.0.1", 27313);
  CUdpPeer control("127.0.0.1", 27311);
  ASSERT_TRUE(comm.IsBound());
  ASSERT_TRUE(control.IsBound());
  Start(27313, 27311);

  // Nothing comes before the PC has made itself known.
  Bytes bytes;
  unsigned nFromPort = 0;
  EXPECT_FALSE(comm.Receive(bytes, 200));

  control.SendTo("127.0.0.2", 27311, {0x08, 0x03, 0x0B});
  control.SendTo("127.0.0.2", 27311, {0x08, 0x03, 0x12});
  ASSERT_TRUE(comm.Receive(bytes, 3000, &nFromPort));
  EXPECT_EQ(bytes, Bytes{0x08});
  EXPECT_EQ(nFromPort, 27313u);  // the PC takes only datagrams from the communication port
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  EXPECT_EQ(bytes, (Bytes{0x08, 0x0B}));

  comm.SendTo("127.0.0.2", 27313, {0x09});
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  EXPECT_EQ(bytes, (Bytes{0x08, 0x03, 0x19, 0x78, 0x05, 0x02, 0x00, 0x0F, 0x01, 0x02, 0x04, 0x0A,
                          0x14, 0x28, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0}));
  EXPECT_TRUE(WaitForLine("RX CTRL 3 08 03 0B CONTROL 11 POLL ON"));
  EXPECT_TRUE(WaitForLine("RX COMM 1 09 SETUP"));
  EXPECT_TRUE(WaitForLine(
      "TX COMM 24 08 03 19 78 05 02 00 0F 01 02 04 0A 14 28 00 00 00 00 00 00 00 00 00 00 "
      "SETUP RESPONSE"));

  Type("quit");
  EXPECT_TRUE(WaitForLine("BYE"));
  ASSERT_TRUE(WaitForExit());
  EXPECT_EQ(m_sim.Process().exitCode(), 0);
}

TEST_F(SimProcess, ReportsCoinsPaysChangeAndSendsFaultsFromStdin) {
  CUdpPeer comm("127.0.0.1", 27323);
  CUdpPeer control("127.0.0.1", 27321);
  ASSERT_TRUE(comm.IsBound());
  Start(27323, 27321);
  control.SendTo("127.0.0.2", 27321, {0x08, 0x03, 0x0B});
  control.SendTo("127.0.0.2", 27321, {0x08, 0x03, 0x12});
  Bytes bytes;
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  ASSERT_EQ(bytes, (Bytes{0x08, 0x0B}));

  Type("insert 2");  // refused: COIN TYPE has not enabled it
  EXPECT_TRUE(WaitForLine("REFUSED coin 2 not-enabled"));
  comm.SendTo("127.0.0.2", 27323, {0x0C, 0x00, 0x3F, 0x00, 0x00});
  EXPECT_TRUE(WaitForLine("ENABLED accept 003F dispense 0000"));
  Type("insert 2");
  EXPECT_TRUE(WaitForLine("ACCEPTED coin 2 value 20 tube 19"));
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  EXPECT_EQ(bytes, (Bytes{0x08, 0x52, 0x13}));

  comm.SendTo("127.0.0.2", 27323, {0x0F, 0x02, 0x05});
  EXPECT_TRUE(WaitForLine("PAID 25 of 25 coins 2x1 0x1"));

  Type("fault empty");
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  EXPECT_TRUE(bytes.empty());
  Type("fault oversize 1100");
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  EXPECT_EQ(bytes.size(), 1100u);

  Type("fill 7");
  EXPECT_TRUE(WaitForLine("REFUSED tube 7 no-tube"));
  Type("fill 16");
  EXPECT_TRUE(WaitForLine("ERROR needs a coin type 0..15 and an optional count 0..255: fill 16"));
  Type("bogus");
  EXPECT_TRUE(WaitForLine("ERROR unknown command: bogus"));
  Type("status");
  EXPECT_TRUE(WaitForLine(
      "STATUS polling on reporting on peer 127.0.0.1:27323 accept 003F dispense 0000 "
      "features 00000000 tubes 23,30,18,9,0,0,0,0,0,0,0,0,0,0,0,0 full 0000 cashbox 0 paid 25"));

  // End of input ends the sim, like quit.
  m_sim.Process().closeWriteChannel();
  EXPECT_TRUE(WaitForLine("BYE"));
  ASSERT_TRUE(WaitForExit());
  EXPECT_EQ(m_sim.Process().exitCode(), 0);
}

TEST_F(SimProcess, RefusesToListenOutsideLoopback) {
  QProcess& process = m_sim.Process();
  process.start(LX5200E_SIM_EXE, {"--headless", "--address", "192.168.1.1", "--comm-port", "27333",
                                  "--control-port", "27331"});
  ASSERT_TRUE(WaitForExit());
  EXPECT_EQ(process.exitCode(), 2);
  EXPECT_TRUE(process.readAllStandardError().contains("127.0.0.0/8"));
  EXPECT_FALSE(m_sim.WaitFor("READY", 0));
}

}  // namespace
