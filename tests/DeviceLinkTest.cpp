// The link to the interface device over real loopback UDP: opening, the receive filter, the two
// send operations, every failure with its message and the state it leaves, and closing.
#include "DeviceLink.h"
#include "TestSupport.h"
#include "Wnd.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

class CSinkWnd : public CWnd, public IDatagramSink {
public:
  void OnDatagram(const BYTE* pBytes, unsigned nLength) override {
    m_datagrams.emplace_back(pBytes, pBytes + nLength);
  }
  std::vector<Bytes> m_datagrams;
};

class Link : public LinkAppFixture<> {
protected:
  void SetUp() override {
    StoreLoopbackLink(m_app, m_nComm);
    m_app.m_pMainWnd = &m_sink;
  }
  void TearDown() override { m_app.Disconnect(); }
  /// @returns true when the link has read everything sent to both its sockets and last is the
  /// latest datagram the window got ({} for none). A datagram is handed on as it is read, so
  /// nothing more can come of what was sent before.
  bool IsLastDelivered(const Bytes& last) {
    const std::vector<Bytes>& got = m_sink.m_datagrams;
    return (got.empty() ? last.empty() : got.back() == last) &&
           !IsWaiting(m_app.GetCommunicationSocket()) && !IsWaiting(m_app.GetControlSocket());
  }
  static bool IsWaiting(const CDeviceSocket* pSocket) {
    return pSocket && pSocket->m_hSocket != -1 && HasWaitingDatagram(pSocket->m_hSocket);
  }
  void SetAddress(const char* pszAddress) {
    m_app.WriteProfileString("Connection", "IPAddress", pszAddress);
  }

  const unsigned m_nComm = TakePorts(EPortRange::DeviceLink);
  const unsigned m_nControl = m_nComm + 1;
  CSinkWnd m_sink;
  std::vector<std::string>& m_messages = m_capture.m_messages;
};

TEST_F(Link, OpensBothSocketsAndCarriesCommandsBothWays) {
  m_app.WriteProfileString("Connection", "ConnectionName", "Shop LAN");
  CUdpPeer comm(kDeviceAddress, m_nComm);
  CUdpPeer control(kDeviceAddress, m_nControl);

  ASSERT_TRUE(m_app.Connect());
  EXPECT_TRUE(m_messages.empty());
  EXPECT_EQ(m_dialer.m_dialled, std::vector<std::string>{"Shop LAN"});
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
  CUdpPeer comm(kDeviceAddress, m_nComm);
  CUdpPeer control(kDeviceAddress, m_nControl);
  CUdpPeer stranger(kDeviceAddress, TakePorts(EPortRange::DeviceLink, 1));
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

  // The last one comes after all the others on the communication socket.
  ASSERT_TRUE(PumpUntil([&] { return IsLastDelivered({0x08, 0x52, 0x03}); }));
  ASSERT_EQ(m_sink.m_datagrams.size(), 3u);
  EXPECT_EQ(m_sink.m_datagrams[0], (Bytes{0x08}));
  EXPECT_EQ(m_sink.m_datagrams[1], longest);
  EXPECT_EQ(m_sink.m_datagrams[2], (Bytes{0x08, 0x52, 0x03}));
}

TEST_F(Link, DropsDatagramsWhileThereIsNoMainWindow) {
  CUdpPeer comm(kDeviceAddress, m_nComm);
  ASSERT_TRUE(m_app.Connect());
  m_app.m_pMainWnd = nullptr;
  comm.SendTo(m_nComm, Bytes{0x08});
  ASSERT_TRUE(PumpUntil([&] { return IsLastDelivered({}); }));
  m_app.m_pMainWnd = &m_sink;
  comm.SendTo(m_nComm, Bytes{0x09});
  ASSERT_TRUE(PumpUntil([&] { return IsLastDelivered({0x09}); }));
  EXPECT_EQ(m_sink.m_datagrams, std::vector<Bytes>{{0x09}});
}

// UDP lets anyone on the path send an empty datagram; it must not cost the link a socket.
TEST_F(Link, AnEmptyDatagramIsDroppedAndBothSocketsStayOpen) {
  CUdpPeer comm(kDeviceAddress, m_nComm);
  CUdpPeer control(kDeviceAddress, m_nControl);
  ASSERT_TRUE(m_app.Connect());
  comm.SendTo(m_nComm, Bytes{});
  control.SendTo(m_nControl, Bytes{});
  comm.SendTo(m_nComm, Bytes{0x08, 0x0B});  // queued behind the empty one
  ASSERT_TRUE(PumpUntil([&] { return IsLastDelivered({0x08, 0x0B}); }));
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
  CUdpPeer control(kDeviceAddress, m_nControl);
  m_app.SendControlCommand(0);  // never connected: nothing, no socket
  EXPECT_EQ(control.ReceiveBeforeProbe(), std::vector<Bytes>{});
  const BYTE setup[] = {0x09};
  m_app.SendChangerCommand(setup, 1);
  EXPECT_TRUE(m_messages.empty());
}

/// What the link keeps of one of its sockets after a failure.
enum ESocketLeft { kAbsent, kClosed, kOpen };

ESocketLeft SocketLeft(const CDeviceSocket* pSocket) {
  return !pSocket ? kAbsent : pSocket->m_hSocket >= 0 ? kOpen : kClosed;
}

struct FailureCase {
  const char* pszName;
  enum {
    CommPortHeld,
    CommPortShared,
    ControlPortHeld,
    EqualPorts,
    BadAddress,
    CommPortTooLarge,
    ControlPortZero
  } what;
  const char* pszStep;  ///< the message up to its error code
  DWORD dwError;
  ESocketLeft eComm, eControl;
};

void PrintTo(const FailureCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class LinkFailure : public Link, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LinkFailure, ShowsItsMessageAndLeavesTheLinkDialled) {
  const FailureCase& c = GetParam();
  if (c.what == FailureCase::BadAddress)
    SetAddress("no such device!");
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
  EXPECT_EQ(m_messages[0], c.pszStep + std::to_string(c.dwError) + "\r\n");
  EXPECT_EQ(m_capture.m_messageTypes[0], 16u);
  EXPECT_TRUE(m_app.IsConnected());
  EXPECT_EQ(SocketLeft(m_app.GetCommunicationSocket()), c.eComm);
  EXPECT_EQ(SocketLeft(m_app.GetControlSocket()), c.eControl);

  EXPECT_TRUE(m_app.Disconnect());
  EXPECT_FALSE(m_app.IsConnected());
  EXPECT_EQ(m_app.GetCommunicationSocket(), nullptr);
  EXPECT_EQ(m_app.GetControlSocket(), nullptr);
  // Nothing of the failed attempt holds either port once the holder lets go.
  pHolder.reset();
  EXPECT_TRUE(CUdpPeer("0.0.0.0", m_nComm, false).IsBound());
  EXPECT_TRUE(CUdpPeer("0.0.0.0", m_nControl, false).IsBound());
}

// Error codes are the socket layer's own: on Linux EADDRINUSE 98 and EINVAL 22, on Windows
// WSAEADDRINUSE 10048 and WSAEINVAL 10022. A port is held by a
// socket without SO_REUSEADDR, or shared by one with it (another program's link); with equal
// ports the link's own communication socket holds the control socket's port.
constexpr const char* kCreateComm = "Create aquisition socket failed, Error: ";
constexpr const char* kConnectComm = "Connect to aquisition socket failed, Error: ";
constexpr const char* kCreateControl = "Create control socket failed, Error: ";
using F = FailureCase;
INSTANTIATE_TEST_SUITE_P(
    EveryStep, LinkFailure,
    ::testing::Values(
        F{"CommPortHeld", F::CommPortHeld, kCreateComm, kAddressInUse, kClosed, kAbsent},
        F{"CommPortShared", F::CommPortShared, kCreateComm, kAddressInUse, kClosed, kAbsent},
        F{"BadAddress", F::BadAddress, kConnectComm, kInvalidArgument, kOpen, kAbsent},
        F{"ControlPortHeld", F::ControlPortHeld, kCreateControl, kAddressInUse, kOpen, kClosed},
        F{"EqualPorts", F::EqualPorts, kCreateControl, kAddressInUse, kOpen, kClosed},
        F{"CommPortTooLarge", F::CommPortTooLarge, kCreateComm, kInvalidArgument, kClosed, kAbsent},
        F{"ControlPortZero", F::ControlPortZero, kCreateControl, kInvalidArgument, kOpen, kClosed}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.pszName; });

TEST_F(Link, BadAddressStillHearsTheCommunicationPort) {
  // Without a peer the socket takes any sender; the port filter still applies.
  SetAddress("not-an-address!");
  EXPECT_FALSE(m_app.Connect());
  CUdpPeer anyone("127.0.0.3", m_nComm);
  anyone.SendTo(m_nComm, Bytes{0x08});
  ASSERT_TRUE(PumpUntil([&] { return !m_sink.m_datagrams.empty(); }));
}

TEST_F(Link, AFailedDialShowsItsMessageAndStaysDown) {
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
  ASSERT_TRUE(m_app.Connect());
  EXPECT_TRUE(m_app.Disconnect());
  EXPECT_EQ(m_dialer.m_dwHungUp, m_dialer.m_dwHandle);
  EXPECT_EQ(m_dialer.m_log, (std::vector<std::string>{"dial", "hang-up"}));
  EXPECT_FALSE(m_app.IsConnected());
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(Link, AFailedHangUpKeepsTheHandleAndSaysSo) {
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
