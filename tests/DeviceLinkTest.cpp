// The link to the interface device over real loopback UDP: opening, the receive filter, the two
// send operations, every failure with its message and the state it leaves, and closing.
#include "DeviceLink.h"
#include "TestSupport.h"
#include "Wnd.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace testing_support;

namespace {

/// Dial-up that can be told to fail, and that records what the link did around it.
class CFakeDialer : public IDialer {
public:
  DWORD Dial(const std::string& strName, DWORD* pdwConnection) override {
    m_strDialled = strName;
    if (m_dwDialResult == 0)
      *pdwConnection = 0x1234;
    return m_dwDialResult;
  }
  DWORD HangUp(DWORD dwConnection) override {
    m_dwHungUp = dwConnection;
    m_bSocketsGoneAtHangUp =
        m_pLink && !m_pLink->GetCommunicationSocket() && !m_pLink->GetControlSocket();
    return m_dwHangUpResult;
  }
  DWORD m_dwDialResult = 0;
  DWORD m_dwHangUpResult = 0;
  std::string m_strDialled;
  DWORD m_dwHungUp = 0;
  bool m_bSocketsGoneAtHangUp = false;
  CDeviceLink* m_pLink = nullptr;
};

class CLinkApp : public CTestApp, public CDeviceLink {
public:
  using CDeviceLink::m_dwConnection;
};

class CSinkWnd : public CWnd, public IDatagramSink {
public:
  void OnDatagram(const BYTE* pBytes, unsigned nLength) override {
    m_datagrams.emplace_back(pBytes, pBytes + nLength);
  }
  std::vector<Bytes> m_datagrams;
};

/// This run's ports: kBase .. kBase + 39, apart from runs of the same tests in other processes.
const unsigned kBase = 26000 + 40 * static_cast<unsigned>(getpid() % 25);

class Link : public ::testing::Test {
protected:
  /// Each test owns a pair of ports: kBase + nOffset (communication) and the next (control).
  void Configure(unsigned nOffset, const char* pszAddress = "127.0.0.2") {
    m_nComm = kBase + nOffset;
    m_nControl = m_nComm + 1;
    m_app.WriteProfileString("Connection", "IPAddress", pszAddress);
    m_app.WriteProfileInt("Connection", "PortCommunication", m_nComm);
    m_app.WriteProfileInt("Connection", "PortControl", m_nControl);
  }
  void SetUp() override {
    AfxSetDialer(&m_dialer);
    m_dialer.m_pLink = &m_app;
    AfxSetMessageBoxHook([this](const std::string& strText, UINT nType) {
      m_messages.push_back(strText);
      m_types.push_back(nType);
      return IDOK;
    });
    m_app.m_pMainWnd = &m_sink;
  }
  void TearDown() override {
    m_app.Disconnect();
    AfxSetDialer(nullptr);
    AfxSetMessageBoxHook(nullptr);
  }

  CTempConfig m_config;
  CLinkApp m_app;
  CFakeDialer m_dialer;
  CSinkWnd m_sink;
  std::vector<std::string> m_messages;
  std::vector<UINT> m_types;
  unsigned m_nComm = 0;
  unsigned m_nControl = 0;
};

TEST_F(Link, OpensBothSocketsAndCarriesCommandsBothWays) {
  Configure(0);
  m_app.WriteProfileString("Connection", "ConnectionName", "Shop LAN");
  CUdpPeer comm("127.0.0.2", m_nComm);
  CUdpPeer control("127.0.0.2", m_nControl);

  ASSERT_TRUE(m_app.Connect());
  EXPECT_TRUE(m_messages.empty());
  EXPECT_EQ(m_dialer.m_strDialled, "Shop LAN");
  EXPECT_TRUE(m_app.IsConnected());

  const BYTE payout[] = {0x0F, 0x02, 0x18};
  m_app.SendChangerCommand(payout, sizeof payout);
  Bytes received;
  ASSERT_TRUE(comm.Receive(received));
  EXPECT_EQ(received, (Bytes{0x0F, 0x02, 0x18}));

  m_app.SendControlCommand(11);
  ASSERT_TRUE(control.Receive(received));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x0B}));
}

TEST_F(Link, DeliversWholeDatagramsFromTheCommunicationPortOnly) {
  Configure(2);
  CUdpPeer comm("127.0.0.2", m_nComm);
  CUdpPeer control("127.0.0.2", m_nControl);
  CUdpPeer stranger("127.0.0.2", kBase + 39);
  ASSERT_TRUE(m_app.Connect());

  Bytes longest(1024);
  for (size_t i = 0; i < longest.size(); ++i)
    longest[i] = static_cast<unsigned char>(i);
  comm.SendTo(m_nComm, Bytes{0x08});
  comm.SendTo(m_nComm, Bytes(1025, 0x08));  // too long: lost whole
  comm.SendTo(m_nComm, longest);
  control.SendTo(m_nControl, Bytes{0x08, 0x0B});  // the control channel never reaches the driver
  stranger.SendTo(m_nComm, Bytes{0x09});          // not the device's address and port
  comm.SendTo(m_nComm, Bytes{0x08, 0x52, 0x03});

  ASSERT_TRUE(PumpUntil([&] { return m_sink.m_datagrams.size() >= 3; }));
  PumpFor(100);
  ASSERT_EQ(m_sink.m_datagrams.size(), 3u);
  EXPECT_EQ(m_sink.m_datagrams[0], (Bytes{0x08}));
  EXPECT_EQ(m_sink.m_datagrams[1], longest);
  EXPECT_EQ(m_sink.m_datagrams[2], (Bytes{0x08, 0x52, 0x03}));
}

TEST_F(Link, DropsDatagramsWhileThereIsNoMainWindow) {
  Configure(4);
  CUdpPeer comm("127.0.0.2", m_nComm);
  ASSERT_TRUE(m_app.Connect());
  m_app.m_pMainWnd = nullptr;
  comm.SendTo(m_nComm, Bytes{0x08});
  PumpFor(100);
  m_app.m_pMainWnd = &m_sink;
  comm.SendTo(m_nComm, Bytes{0x09});
  ASSERT_TRUE(PumpUntil([&] { return !m_sink.m_datagrams.empty(); }));
  PumpFor(50);
  ASSERT_EQ(m_sink.m_datagrams.size(), 1u);
  EXPECT_EQ(m_sink.m_datagrams[0], (Bytes{0x09}));
}

// UDP lets anyone on the path send an empty datagram; it must not cost the link a socket.
TEST_F(Link, AnEmptyDatagramIsDroppedAndBothSocketsStayOpen) {
  Configure(6);
  CUdpPeer comm("127.0.0.2", m_nComm);
  CUdpPeer control("127.0.0.2", m_nControl);
  ASSERT_TRUE(m_app.Connect());
  comm.SendTo(m_nComm, Bytes{});
  control.SendTo(m_nControl, Bytes{});
  comm.SendTo(m_nComm, Bytes{0x08, 0x0B});  // queued behind the empty one
  ASSERT_TRUE(PumpUntil([&] { return !m_sink.m_datagrams.empty(); }));
  PumpFor(100);
  EXPECT_EQ(m_sink.m_datagrams, (std::vector<Bytes>{{0x08, 0x0B}}));

  const BYTE reset[] = {0x08};
  m_app.SendChangerCommand(reset, 1);
  m_app.SendControlCommand(0x12);
  Bytes received;
  ASSERT_TRUE(comm.Receive(received));
  EXPECT_EQ(received, Bytes{0x08});
  ASSERT_TRUE(control.Receive(received));
  EXPECT_EQ(received, (Bytes{0x08, 0x03, 0x12}));
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(Link, ControlCommandsNeedTheDialUpConnection) {
  Configure(8);
  CUdpPeer control("127.0.0.2", m_nControl);
  m_app.SendControlCommand(0);  // never connected: nothing, no socket
  Bytes received;
  EXPECT_FALSE(control.Receive(received, 100));
  const BYTE setup[] = {0x09};
  m_app.SendChangerCommand(setup, 1);
  EXPECT_TRUE(m_messages.empty());
}

struct FailureCase {
  const char* pszName;
  unsigned nOffset;
  enum {
    CommPortHeld,
    CommPortShared,
    ControlPortHeld,
    EqualPorts,
    BadAddress,
    CommPortTooLarge,
    ControlPortZero
  } what;
  const char* pszMessage;
  bool bCommSocket, bCommOpen, bControlSocket, bControlOpen;
};

void PrintTo(const FailureCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class LinkFailure : public Link, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LinkFailure, ShowsItsMessageAndLeavesTheLinkDialled) {
  const FailureCase& c = GetParam();
  Configure(c.nOffset, c.what == FailureCase::BadAddress ? "no such device!" : "127.0.0.2");
  std::unique_ptr<CUdpPeer> pHolder;
  if (c.what == FailureCase::CommPortHeld || c.what == FailureCase::CommPortShared)
    pHolder = std::make_unique<CUdpPeer>("0.0.0.0", m_nComm, c.what == FailureCase::CommPortShared);
  if (c.what == FailureCase::EqualPorts)
    m_app.WriteProfileInt("Connection", "PortControl", m_nComm);
  if (c.what == FailureCase::ControlPortHeld)
    pHolder = std::make_unique<CUdpPeer>("0.0.0.0", m_nControl, false);
  if (c.what == FailureCase::CommPortTooLarge)
    m_app.WriteProfileInt("Connection", "PortCommunication", 65536u + m_nComm);
  if (c.what == FailureCase::ControlPortZero)
    m_app.WriteProfileInt("Connection", "PortControl", 0);

  EXPECT_FALSE(m_app.Connect());
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_EQ(m_messages[0], c.pszMessage);
  EXPECT_EQ(m_types[0], 16u);
  EXPECT_TRUE(m_app.IsConnected());
  CDeviceSocket* pComm = m_app.GetCommunicationSocket();
  CDeviceSocket* pControl = m_app.GetControlSocket();
  EXPECT_EQ(pComm != nullptr, c.bCommSocket);
  EXPECT_EQ(pComm && pComm->m_hSocket >= 0, c.bCommOpen);
  EXPECT_EQ(pControl != nullptr, c.bControlSocket);
  EXPECT_EQ(pControl && pControl->m_hSocket >= 0, c.bControlOpen);

  EXPECT_TRUE(m_app.Disconnect());
  EXPECT_FALSE(m_app.IsConnected());
  EXPECT_EQ(m_app.GetCommunicationSocket(), nullptr);
  EXPECT_EQ(m_app.GetControlSocket(), nullptr);
}

// Error codes are the socket layer's own: EADDRINUSE 98, EINVAL 22 on Linux. A port is held by a
// socket without SO_REUSEADDR, or shared by one with it (another program's link); with equal
// ports the link's own communication socket holds the control socket's port.
INSTANTIATE_TEST_SUITE_P(
    EveryStep, LinkFailure,
    ::testing::Values(
        FailureCase{"CommPortHeld", 10, FailureCase::CommPortHeld,
                    "Create aquisition socket failed, Error: 98\r\n", true, false, false, false},
        FailureCase{"CommPortShared", 12, FailureCase::CommPortShared,
                    "Create aquisition socket failed, Error: 98\r\n", true, false, false, false},
        FailureCase{"BadAddress", 14, FailureCase::BadAddress,
                    "Connect to aquisition socket failed, Error: 22\r\n", true, true, false, false},
        FailureCase{"ControlPortHeld", 16, FailureCase::ControlPortHeld,
                    "Create control socket failed, Error: 98\r\n", true, true, true, false},
        FailureCase{"EqualPorts", 18, FailureCase::EqualPorts,
                    "Create control socket failed, Error: 98\r\n", true, true, true, false},
        FailureCase{"CommPortTooLarge", 28, FailureCase::CommPortTooLarge,
                    "Create aquisition socket failed, Error: 22\r\n", true, false, false, false},
        FailureCase{"ControlPortZero", 30, FailureCase::ControlPortZero,
                    "Create control socket failed, Error: 22\r\n", true, true, true, false}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.pszName; });

TEST_F(Link, BadAddressStillHearsTheCommunicationPort) {
  // Without a peer the socket takes any sender; the port filter still applies.
  Configure(20, "not-an-address!");
  EXPECT_FALSE(m_app.Connect());
  CUdpPeer anyone("127.0.0.3", m_nComm);
  anyone.SendTo(m_nComm, Bytes{0x08});
  ASSERT_TRUE(PumpUntil([&] { return !m_sink.m_datagrams.empty(); }));
}

TEST_F(Link, AFailedDialShowsItsMessageAndStaysDown) {
  Configure(22);
  m_dialer.m_dwDialResult = 623;
  EXPECT_FALSE(m_app.Connect());
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_EQ(m_messages[0],
            "Connect failed, Error: 623\r\nPlease make sure to use the correct connectionand check "
            "the connection settings in windows control panel.");
  EXPECT_FALSE(m_app.IsConnected());
  EXPECT_EQ(m_app.GetCommunicationSocket(), nullptr);
  EXPECT_TRUE(m_app.Disconnect());
  EXPECT_EQ(m_dialer.m_dwHungUp, 0u);  // nothing to hang up
  EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(Link, DisconnectClosesBothSocketsBeforeHangingUp) {
  Configure(24);
  ASSERT_TRUE(m_app.Connect());
  EXPECT_TRUE(m_app.Disconnect());
  EXPECT_EQ(m_dialer.m_dwHungUp, 0x1234u);
  EXPECT_TRUE(m_dialer.m_bSocketsGoneAtHangUp);
  EXPECT_FALSE(m_app.IsConnected());
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(Link, AFailedHangUpKeepsTheHandleAndSaysSo) {
  Configure(26);
  ASSERT_TRUE(m_app.Connect());
  m_dialer.m_dwHangUpResult = 668;
  EXPECT_FALSE(m_app.Disconnect());
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_EQ(m_messages[0], "Hang up failed, Error: 668\r\nProbably still connected.");
  EXPECT_TRUE(m_app.IsConnected());
  EXPECT_EQ(m_app.GetCommunicationSocket(), nullptr);
  m_dialer.m_dwHangUpResult = 0;
}

}  // namespace
