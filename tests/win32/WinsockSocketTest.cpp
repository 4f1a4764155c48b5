// The asynchronous UDP socket over Winsock: readiness through the message loop, datagram
// boundaries, the peer filter, one owner per wildcard port and the error codes.
//
// Peers sit on 127.0.0.1 with ports of their own: Wine 8 binds a UDP socket meant for another
// loopback address (127.0.0.2) to all addresses instead, so such a peer would send from
// 127.0.0.1 and hold the wildcard.
#include "AsyncSocket.h"
#include "TestWin32.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_win32;

namespace {

constexpr const char* kLoopback = "127.0.0.1";

class WinsockSocket : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_TRUE(AfxSocketInit()) << GetLastError(); }
};

class CRecordingSocket : public CAsyncSocket {
public:
  void OnReceive(int) override {
    BYTE buffer[1024];
    std::string strAddress;
    UINT nPort = 0;
    const int n = ReceiveFrom(buffer, sizeof buffer, strAddress, nPort);
    m_results.push_back(n);
    if (n >= 0) {
      m_last.assign(buffer, buffer + n);
      m_strAddress = strAddress;
      m_nPort = nPort;
    }
  }
  std::vector<int> m_results;  ///< what each ReceiveFrom returned
  Bytes m_last;
  std::string m_strAddress;
  UINT m_nPort = 0;
};

const Bytes kMarker = {0x0A, 0x0B};  // sent last; once it is read, everything before was

// ---------------------------------------------------------------------------------------------
// Receiving. The socket listens on port P of all addresses; the device sends from P + 1, a
// stranger from P + 2; the device's marker comes last.

struct ReceiveCase {
  const char* pszName;
  unsigned nPort;
  bool bConnect;                              ///< Connect to the device first
  std::vector<std::pair<bool, Bytes>> sends;  ///< from the stranger (true) or the device
  std::vector<int> results;                   ///< ReceiveFrom's results, the marker's included
};

void PrintTo(const ReceiveCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class Receiving : public WinsockSocket, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(Receiving, DeliversEachDatagramToOnReceive) {
  const ReceiveCase& c = GetParam();
  CRecordingSocket socket;
  ASSERT_TRUE(socket.Create(c.nPort)) << GetLastError();
  CUdpPeer device(kLoopback, c.nPort + 1);
  CUdpPeer stranger(kLoopback, c.nPort + 2);
  ASSERT_TRUE(device.IsBound() && stranger.IsBound());
  if (c.bConnect) {
    ASSERT_TRUE(socket.Connect(kLoopback, c.nPort + 1)) << GetLastError();
  }
  for (const auto& [bStranger, bytes] : c.sends)
    (bStranger ? stranger : device).SendTo(c.nPort, bytes);
  device.SendTo(c.nPort, kMarker);
  ASSERT_TRUE(PumpUntil([&] { return socket.m_last == kMarker; }));
  EXPECT_EQ(socket.m_results, c.results);
  EXPECT_EQ(socket.m_strAddress, kLoopback);
  EXPECT_EQ(socket.m_nPort, c.nPort + 1);
  EXPECT_NE(socket.m_hSocket, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, Receiving,
    ::testing::Values(
        ReceiveCase{"UpTo1024BytesWholeLongerOnesLost",
                    21110,
                    true,
                    {{false, Bytes(1024, 0x08)}, {false, Bytes(1025, 0x09)}},
                    {1024, -1, 2}},
        ReceiveCase{
            "EmptyOneReadsAsZeroAndTheSocketStaysOpen", 21120, true, {{false, Bytes{}}}, {0, 2}},
        ReceiveCase{"OnlyTheConnectedPeerIsHeard",
                    21130,
                    true,
                    {{true, Bytes{0x01}}, {false, Bytes{0x02, 0x03, 0x04}}},
                    {3, 2}},
        ReceiveCase{"WithoutAPeerEverySenderIsHeard", 21140, false, {{true, Bytes{0x01}}}, {1, 2}}),
    [](const ::testing::TestParamInfo<ReceiveCase>& info) { return info.param.pszName; });

// ---------------------------------------------------------------------------------------------
// One owner per wildcard port: what another socket on port P does to Create.

struct HolderCase {
  const char* pszName;
  unsigned nPort;
  enum { AsyncSocket, PlainSocket } holder;
  const char* pszHolderAddress;
  bool bHolderReuse;
  const char* pszAddress;  ///< Create's own address; null: all
  bool bRefused;           ///< Create fails with WSAEADDRINUSE
};

void PrintTo(const HolderCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class WildcardPort : public WinsockSocket, public ::testing::WithParamInterface<HolderCase> {};

TEST_P(WildcardPort, AnotherOwnerOfTheWildcardMakesCreateFailWithAddressInUse) {
  const HolderCase& c = GetParam();
  CAsyncSocket heldBy;
  std::unique_ptr<CUdpPeer> pPlain;
  if (c.holder == HolderCase::AsyncSocket)
    ASSERT_TRUE(heldBy.Create(c.nPort, SOCK_DGRAM_TYPE, FD_READ_EVENT, c.pszHolderAddress));
  else
    pPlain = std::make_unique<CUdpPeer>(c.pszHolderAddress, c.nPort, c.bHolderReuse);
  ASSERT_TRUE(!pPlain || pPlain->IsBound());
  CAsyncSocket socket;
  SetLastError(0);
  EXPECT_EQ(socket.Create(c.nPort, SOCK_DGRAM_TYPE, FD_READ_EVENT, c.pszAddress), !c.bRefused);
  EXPECT_EQ(socket.m_hSocket != -1, !c.bRefused);
  EXPECT_EQ(GetLastError(), c.bRefused ? static_cast<DWORD>(WSAEADDRINUSE) : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, WildcardPort,
    ::testing::Values(HolderCase{"SecondCreate", 21210, HolderCase::AsyncSocket, nullptr, true,
                                 nullptr, true},
                      HolderCase{"WildcardWithAddressReuse", 21220, HolderCase::PlainSocket,
                                 "0.0.0.0", true, nullptr, true},
                      HolderCase{"WildcardWithoutAddressReuse", 21230, HolderCase::PlainSocket,
                                 "0.0.0.0", false, nullptr, true},
                      HolderCase{"DeviceOnOneAddress", 21240, HolderCase::PlainSocket, kLoopback,
                                 true, nullptr, false},
                      HolderCase{"OneAddressBesideTheWildcard", 21250, HolderCase::AsyncSocket,
                                 nullptr, true, kLoopback, false}),
    [](const ::testing::TestParamInfo<HolderCase>& info) { return info.param.pszName; });

TEST_F(WinsockSocket, PortsOutsideTheValidRangeFailWithInvalidArgument) {
  for (UINT nPort : {0u, 65536u, 65536u + 21301u, 0xFFFFFFFFu}) {
    CAsyncSocket socket;
    SetLastError(0);
    EXPECT_FALSE(socket.Create(nPort)) << nPort;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(WSAEINVAL)) << nPort;
    EXPECT_EQ(socket.m_hSocket, -1);
  }
}

// ---------------------------------------------------------------------------------------------
// The peer's address: dotted text or a name for the resolver; anything else is refused before a
// lookup.

struct HostTextCase {
  const char* pszName;
  const char* pszText;
  bool bAccepted;  ///< names 127.0.0.1; otherwise refused with WSAEINVAL
};

TEST_F(WinsockSocket, ConnectTakesDottedAddressesAndNamesOnly) {
  const HostTextCase cases[] = {
      {"dotted address", "127.0.0.1", true},
      {"localhost", "localhost", true},
      {"blank", "no such device!", false},
      {"semicolon", "127.0.0.9;rm", false},
      {"empty", "", false},
  };
  CUdpPeer peer(kLoopback, 21311);
  for (const HostTextCase& c : cases) {
    CAsyncSocket socket;
    ASSERT_TRUE(socket.Create(21310, SOCK_DGRAM_TYPE, 0)) << GetLastError();
    SetLastError(0);
    EXPECT_EQ(socket.Connect(c.pszText, 21311), c.bAccepted) << c.pszName;
    EXPECT_EQ(GetLastError(), c.bAccepted ? 0u : static_cast<DWORD>(WSAEINVAL)) << c.pszName;
    const Bytes name(c.pszName, c.pszName + std::strlen(c.pszName));
    socket.Send(name.data(), static_cast<int>(name.size()));
    if (c.bAccepted) {
      Bytes received;
      EXPECT_TRUE(peer.Receive(received) && received == name) << c.pszName;
    }
  }
}

// ---------------------------------------------------------------------------------------------

TEST_F(WinsockSocket, SendsToThePeerFromItsOwnPort) {
  CAsyncSocket socket;
  CUdpPeer device(kLoopback, 21321);
  ASSERT_TRUE(socket.Create(21320));
  ASSERT_TRUE(socket.Connect(kLoopback, 21321));
  const BYTE command[] = {0x0F, 0x02, 0x18};
  EXPECT_EQ(socket.Send(command, sizeof command), 3);
  Bytes received;
  unsigned nFromPort = 0;
  ASSERT_TRUE(device.Receive(received, &nFromPort));
  EXPECT_EQ(received, (Bytes{0x0F, 0x02, 0x18}));
  EXPECT_EQ(nFromPort, 21320u);
  socket.Close();
  SetLastError(0);
  EXPECT_EQ(socket.Send(command, sizeof command), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(WSAENOTSOCK));
}

// A send to a device that is not listening yet brings an ICMP port-unreachable back; the device's
// first datagram afterwards is read like any other.
TEST_F(WinsockSocket, ReceivingGoesOnAfterThePeersPortWasUnreachable) {
  CRecordingSocket socket;
  ASSERT_TRUE(socket.Create(21330));
  ASSERT_TRUE(socket.Connect(kLoopback, 21331));
  const BYTE reset[] = {0x08};
  EXPECT_EQ(socket.Send(reset, 1), 1);
  CUdpPeer device(kLoopback, 21331);
  ASSERT_TRUE(device.IsBound());
  device.SendTo(21330, kMarker);
  ASSERT_TRUE(PumpUntil([&] { return socket.m_last == kMarker; }));
  EXPECT_EQ(socket.m_results, std::vector<int>{2});
  EXPECT_EQ(socket.Send(reset, 1), 1);
}

TEST_F(WinsockSocket, ClosingInsideTheNotificationStopsDelivery) {
  struct CClosingSocket : CAsyncSocket {
    void OnReceive(int) override {
      ++m_nCalls;
      Close();
    }
    int m_nCalls = 0;
  } socket;
  CUdpPeer device(kLoopback, 21342);
  ASSERT_TRUE(socket.Create(21340));
  device.SendTo(21340, Bytes{0x08});
  device.SendTo(21340, Bytes{0x08});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_nCalls >= 1; }));
  // A datagram to another socket, sent after both: once it is delivered, a notification still due
  // for the closed socket would have been delivered too.
  CRecordingSocket marker;
  ASSERT_TRUE(marker.Create(21341));
  device.SendTo(21341, kMarker);
  ASSERT_TRUE(PumpUntil([&] { return marker.m_last == kMarker; }));
  EXPECT_EQ(socket.m_nCalls, 1);
  EXPECT_EQ(socket.m_hSocket, -1);
  socket.Close();  // a second close does nothing
}

// Datagrams that queued up are handed over without a round through the message loop each, but
// never so many at once that the rest of the program waits for all of them.
TEST_F(WinsockSocket, AQueueOfDatagramsArrivesWholeInOrderWhileTheMessageLoopKeepsTurning) {
  static size_t s_nDeliveredWhenLoopTurned = 0;
  static const std::vector<int>* s_pOrder = nullptr;
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = [](HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_APP)
      s_nDeliveredWhenLoopTurned = s_pOrder->size();
    return DefWindowProcA(hWnd, message, wParam, lParam);
  };
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "MintoraLoopTurn";
  RegisterClassExA(&windowClass);
  HWND hLoop = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                               nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(hLoop, nullptr);

  struct CCountingSocket : CAsyncSocket {
    void OnReceive(int) override {
      BYTE buffer[4];
      std::string strAddress;
      UINT nPort = 0;
      if (ReceiveFrom(buffer, sizeof buffer, strAddress, nPort) == 2)
        m_order.push_back(buffer[0] << 8 | buffer[1]);
      if (m_order.size() == 1)
        PostMessageA(m_hLoop, WM_APP, 0, 0);
    }
    std::vector<int> m_order;
    HWND m_hLoop = nullptr;
  } socket;
  socket.m_hLoop = hLoop;
  s_pOrder = &socket.m_order;
  CUdpPeer device(kLoopback, 21351);
  ASSERT_TRUE(socket.Create(21350));
  constexpr int kCount = 150;  // a small queue, well inside the socket's receive buffer
  for (int i = 0; i < kCount; ++i)
    device.SendTo(21350, Bytes{static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_order.size() >= kCount; }));
  std::vector<int> expected(kCount);
  for (int i = 0; i < kCount; ++i)
    expected[i] = i;
  EXPECT_EQ(socket.m_order, expected);
  EXPECT_GT(s_nDeliveredWhenLoopTurned, 0u);
  EXPECT_LT(s_nDeliveredWhenLoopTurned, static_cast<size_t>(kCount));
  DestroyWindow(hLoop);
}

}  // namespace
