// The real Mintora executable, started with a settings store of its own that points at a peer on
// 127.0.0.2, watched on the wire from opening to closing.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

std::string StoreFor(unsigned nComm, unsigned nControl, const std::string& strExtra = "") {
  return "[Connection]\nIPAddress=127.0.0.2\nPortCommunication=" + std::to_string(nComm) +
         "\nPortControl=" + std::to_string(nControl) + "\n" + strExtra;
}

class MintoraProcess : public ::testing::Test {
protected:
  CTempConfig m_config;
  CMintoraProcess m_program;
};

TEST_F(MintoraProcess, TellsTheDeviceWhenItOpensAndWhenItCloses) {
  auto pComm = std::make_unique<CUdpPeer>("127.0.0.2", 21300);
  auto pControl = std::make_unique<CUdpPeer>("127.0.0.2", 21301);
  CUdpPeer& comm = *pComm;
  CUdpPeer& control = *pControl;
  ASSERT_TRUE(m_program.Start(m_config, StoreFor(21300, 21301)));

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

  m_program.Signal(SIGTERM);
  ASSERT_TRUE(control.Receive(received, 10000));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x00}));
  ASSERT_TRUE(m_program.EndsNormally());
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
  ASSERT_TRUE(m_program.Start(m_config, StoreFor(21302, 21303, "AutoConnect=0\n")));
  Bytes received;
  EXPECT_FALSE(control.Receive(received, 1500));
  EXPECT_TRUE(m_program.IsRunning());
  m_program.Signal(SIGINT);
  ASSERT_TRUE(m_program.EndsNormally());
  EXPECT_FALSE(control.Receive(received, 200));
}

}  // namespace
