// The asynchronous UDP socket, one suite for both implementations: binding, one owner per wildcard
// port, peers and host names, datagram boundaries, the notification and the error codes (errno on
// Linux, Winsock's on Windows: kAddressInUse and the like). Under Wine, peers on loopback
// addresses other than 127.0.0.1 are sockets of the native udp-relay (TestUdp.h).
#include "AsyncSocket.h"
#include "EventPump.h"
#include "TestEvents.h"
#include "TestPlatform.h"
#include "TestPorts.h"
#include "TestStore.h"
#include "TestUdp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>

#ifdef __linux__
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#endif

// The implementation's port-owner look, called directly for binds of two programs at the same
// moment, which no single thread can make through Create (and on Windows with tables of the
// test's own).
#ifdef _WIN32
#include "PortSharing.h"

#include <iphlpapi.h>
#else
void FindSharedWildcardPorts(const testing_support::SocketHandle* pSockets, int nCount,
                             bool* pbShared);
#endif

using namespace testing_support;

namespace {

/// Each test has three ports of its own: P for the socket, P + 1 for the device, P + 2 for a
/// stranger.
class AsyncSocket : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_TRUE(AfxSocketInit()) << GetLastError(); }
  const unsigned m_nPort = TakePorts(EPortRange::Socket, 3);
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

TEST_F(AsyncSocket, PortsOutsideTheValidRangeFailWithoutWrapping) {
  for (UINT nPort : {0u, 65536u, 65536u + m_nPort, 0xFFFFFFFFu}) {
    CAsyncSocket socket;
    SetLastError(0);
    EXPECT_FALSE(socket.Create(nPort)) << nPort;
    EXPECT_EQ(GetLastError(), kInvalidArgument) << nPort;
    EXPECT_EQ(socket.m_hSocket, -1);
  }
}

// ---------------------------------------------------------------------------------------------
// Receiving: the socket listens on P of all addresses, the device sends from P + 1, a stranger
// from P + 2; the device's marker comes last.

struct ReceiveCase {
  const char* pszName;
  bool bConnect;                              ///< Connect to the device first
  std::vector<std::pair<bool, Bytes>> sends;  ///< from the stranger (true) or the device
  std::vector<int> results;                   ///< ReceiveFrom's results, the marker's included
};

void PrintTo(const ReceiveCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class Receiving : public AsyncSocket, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(Receiving, DeliversEachDatagramToOnReceive) {
  const ReceiveCase& c = GetParam();
  CRecordingSocket socket;
  ASSERT_TRUE(socket.Create(m_nPort)) << GetLastError();
  CUdpPeer device(kDeviceAddress, m_nPort + 1);
  CUdpPeer stranger(kDeviceAddress, m_nPort + 2);
  ASSERT_TRUE(device.IsBound() && stranger.IsBound());
  if (c.bConnect) {
    ASSERT_TRUE(socket.Connect(kDeviceAddress, m_nPort + 1)) << GetLastError();
  }
  for (const auto& [bStranger, bytes] : c.sends)
    (bStranger ? stranger : device).SendTo(m_nPort, bytes);
  device.SendTo(m_nPort, kMarker);
  ASSERT_TRUE(PumpUntil([&] { return socket.m_last == kMarker; }));
  EXPECT_EQ(socket.m_results, c.results);
  EXPECT_EQ(socket.m_strAddress, kDeviceAddress);
  EXPECT_EQ(socket.m_nPort, m_nPort + 1);
  EXPECT_NE(socket.m_hSocket, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, Receiving,
    ::testing::Values(
        ReceiveCase{"UpTo1024BytesWholeLongerOnesLost",
                    true,
                    {{false, Bytes(1024, 0x08)}, {false, Bytes(1025, 0x09)}},
                    {1024, -1, 2}},
        ReceiveCase{"EmptyOneReadsAsZeroAndTheSocketStaysOpen", true, {{false, Bytes{}}}, {0, 2}},
        ReceiveCase{"OnlyTheConnectedPeerIsHeard",
                    true,
                    {{true, Bytes{0x01}}, {false, Bytes{0x02, 0x03, 0x04}}},
                    {3, 2}},
        ReceiveCase{"WithoutAPeerEverySenderIsHeard", false, {{true, Bytes{0x01}}}, {1, 2}}),
    [](const ::testing::TestParamInfo<ReceiveCase>& info) { return info.param.pszName; });

TEST_F(AsyncSocket, NamesTheSenderInDottedDecimal) {
  CRecordingSocket socket;
  ASSERT_TRUE(socket.Create(m_nPort));
  for (const char* lpszSender :
       {"127.0.0.1", "127.0.0.2", "127.10.100.255", "127.255.9.99", "127.1.0.10"}) {
    CUdpPeer sender(lpszSender, m_nPort + 1);
    ASSERT_TRUE(sender.IsBound()) << lpszSender;
    const size_t nBefore = socket.m_results.size();
    sender.SendTo(m_nPort, Bytes{0x08});
    ASSERT_TRUE(PumpUntil([&] { return socket.m_results.size() > nBefore; })) << lpszSender;
    EXPECT_EQ(socket.m_strAddress, lpszSender);
    EXPECT_EQ(socket.m_nPort, m_nPort + 1);
  }
}

TEST_F(AsyncSocket, SendsToThePeerFromItsOwnPortUntilClosed) {
  CAsyncSocket socket;
  CUdpPeer device(kDeviceAddress, m_nPort + 1);
  ASSERT_TRUE(socket.Create(m_nPort));
  ASSERT_TRUE(socket.Connect(kDeviceAddress, m_nPort + 1));
  const BYTE command[] = {0x0F, 0x02, 0x18};
  EXPECT_EQ(socket.Send(command, sizeof command), 3);
  Bytes received;
  unsigned nFromPort = 0;
  ASSERT_TRUE(device.Receive(received, 3000, &nFromPort));
  EXPECT_EQ(received, (Bytes{0x0F, 0x02, 0x18}));
  EXPECT_EQ(nFromPort, m_nPort);
  socket.Close();
  SetLastError(0);
  EXPECT_EQ(socket.Send(command, sizeof command), -1);
  EXPECT_EQ(GetLastError(), kNotASocket);
}

// A send to a device that is not listening yet brings an ICMP port-unreachable back; the device's
// first datagram afterwards is read like any other. Linux reports the unreachable port once, as a
// failed read; Windows does not (SIO_UDP_CONNRESET is off).
TEST_F(AsyncSocket, ReceivingGoesOnAfterThePeersPortWasUnreachable) {
  CRecordingSocket socket;
  ASSERT_TRUE(socket.Create(m_nPort));
  ASSERT_TRUE(socket.Connect(kDeviceAddress, m_nPort + 1));
  const BYTE reset[] = {0x08};
  EXPECT_EQ(socket.Send(reset, 1), 1);
  CUdpPeer device(kDeviceAddress, m_nPort + 1);
  ASSERT_TRUE(device.IsBound());
  device.SendTo(m_nPort, kMarker);
  ASSERT_TRUE(PumpUntil([&] { return socket.m_last == kMarker; }));
  const std::vector<int> expected =
      kThisPlatform == kLinux ? std::vector<int>{-1, 2} : std::vector<int>{2};
  EXPECT_EQ(socket.m_results, expected);
  EXPECT_EQ(socket.Send(reset, 1), 1);
}

TEST_F(AsyncSocket, ClosingInsideTheNotificationStopsDelivery) {
  struct CClosingSocket : CAsyncSocket {
    void OnReceive(int) override {
      ++m_nCalls;
      Close();
    }
    int m_nCalls = 0;
  } socket;
  CUdpPeer device(kDeviceAddress, m_nPort + 2);
  ASSERT_TRUE(socket.Create(m_nPort));
  device.SendTo(m_nPort, Bytes{0x08});
  device.SendTo(m_nPort, Bytes{0x08});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_nCalls >= 1; }));
  // A datagram to another socket, sent after both: once it is delivered, a notification still due
  // for the closed socket would have been delivered too.
  CRecordingSocket marker;
  ASSERT_TRUE(marker.Create(m_nPort + 1));
  device.SendTo(m_nPort + 1, kMarker);
  ASSERT_TRUE(PumpUntil([&] { return marker.m_last == kMarker; }));
  EXPECT_EQ(socket.m_nCalls, 1);
  EXPECT_EQ(socket.m_hSocket, -1);
  socket.Close();  // a second close does nothing
  EXPECT_EQ(socket.Send("x", 1), -1);
}

// Datagrams that queued up are handed over without a round through the event loop each, but
// never so many at once that the rest of the program waits for all of them; whatever a handler
// does in its call, each datagram comes once and in order.

struct QueueCase {
  const char* pszName;
  unsigned nPlatforms;
  int nSkipEvery;  ///< every nth call reads nothing; 0: each call reads
  bool bPeek;      ///< each call looks at its datagram before it reads it
};

void PrintTo(const QueueCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class Queue : public AsyncSocket, public ::testing::WithParamInterface<QueueCase> {};

TEST_P(Queue, ArrivesWholeInOrderWhileTheEventLoopKeepsTurning) {
  struct CCountingSocket : CAsyncSocket {
    explicit CCountingSocket(const QueueCase& c) : m_case(c) {}
    void OnReceive(int) override {
      if (m_case.nSkipEvery > 0 && ++m_nCalls % m_case.nSkipEvery == 0)
        return;
      BYTE buffer[4];
      BYTE peeked[4] = {};
      std::string strAddress;
      UINT nPort = 0;
      if (m_case.bPeek && ReceiveFrom(peeked, sizeof peeked, strAddress, nPort, MSG_PEEK) != 2)
        ++m_nPeeksAmiss;
      if (ReceiveFrom(buffer, sizeof buffer, strAddress, nPort) == 2) {
        m_order.push_back(buffer[0] << 8 | buffer[1]);
        m_nPeeksAmiss += m_case.bPeek && std::memcmp(peeked, buffer, 2) != 0;
      }
      if (m_order.size() == 1 && !m_bPosted) {
        m_bPosted = true;
        AfxPostCall([this] { m_nDeliveredWhenLoopTurned = m_order.size(); });
      }
    }
    const QueueCase& m_case;
    int m_nCalls = 0;
    int m_nPeeksAmiss = 0;
    bool m_bPosted = false;
    std::vector<int> m_order;
    size_t m_nDeliveredWhenLoopTurned = 0;
  } socket(GetParam());
  CUdpPeer device(kDeviceAddress, m_nPort + 1);
  ASSERT_TRUE(socket.Create(m_nPort));
  constexpr int kCount = 150;  // a small queue, well inside the socket's receive buffer
  for (int i = 0; i < kCount; ++i)
    device.SendTo(m_nPort,
                  Bytes{static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_order.size() >= kCount; }))
      << socket.m_order.size() << " of " << kCount;
  std::vector<int> expected(kCount);
  for (int i = 0; i < kCount; ++i)
    expected[i] = i;
  EXPECT_EQ(socket.m_order, expected);
  EXPECT_EQ(socket.m_nPeeksAmiss, 0);
  EXPECT_GT(socket.m_nDeliveredWhenLoopTurned, 0u);
  EXPECT_LT(socket.m_nDeliveredWhenLoopTurned, static_cast<size_t>(kCount));
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, Queue,
    ::testing::ValuesIn(RowsOfThisPlatform<QueueCase>({
        {"EachCallReads", kBothPlatforms, 0, false},
        {"EachCallPeeksThenReads", kLinux, 0, true},
        // Winsock signals a socket again only after a read, so a handler that reads nothing is
        // not called again there; on Linux the datagram stays due, read ahead or not.
        {"EveryThirdCallReadsNothing", kLinux, 3, false},
    })),
    [](const ::testing::TestParamInfo<QueueCase>& info) { return info.param.pszName; });

// ---------------------------------------------------------------------------------------------
// Bursts with gaps: the device sends a burst, the socket hands it over, and the next burst comes
// only once the event loop has run dry of what the last one left behind. A readiness notice
// that finds its datagram already read (the drain read it, the handler read the queue dry, or a
// look at the datagram raised a notice of its own) must leave the socket hearing the next burst,
// and must not call the handler with nothing to read; nor may one still queued for a socket
// closed since, when a new socket gets the same handle.

struct BurstCase {
  const char* pszName;
  std::vector<int> bursts;        ///< datagrams in each burst, sent back to back
  bool bHandlerDrains;            ///< OnReceive reads every datagram waiting, not only one
  bool bEveryOtherEmpty = false;  ///< every second datagram of a burst is empty
  bool bPeekFirst = false;        ///< OnReceive looks at each datagram before it reads it
  /// OnReceive closes the socket after its first datagram, the rest of the burst is lost with
  /// it, and the socket is made again for the next burst
  bool bClosesAfterFirst = false;
};

void PrintTo(const BurstCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class Bursts : public AsyncSocket, public ::testing::WithParamInterface<BurstCase> {};

TEST_P(Bursts, EveryDatagramOfEveryBurstIsDelivered) {
  const BurstCase& c = GetParam();
  struct CBurstSocket : CAsyncSocket {
    void OnReceive(int) override {
      bool bFirst = true;
      do {
        BYTE buffer[4];
        std::string strAddress;
        UINT nPort = 0;
        if (m_bPeek)
          ReceiveFrom(buffer, sizeof buffer, strAddress, nPort, MSG_PEEK);
        const int n = ReceiveFrom(buffer, sizeof buffer, strAddress, nPort);
        m_nCallsForNothing += bFirst && n < 0;
        bFirst = false;
        if (n != 0 && n != 2)
          return;
        m_order.push_back(n == 0 ? -1 : buffer[0] << 8 | buffer[1]);
        if (m_bClose)
          Close();
      } while (m_bDrain && HasWaitingDatagram(m_hSocket));
    }
    bool m_bDrain = false;
    bool m_bPeek = false;
    bool m_bClose = false;
    int m_nCallsForNothing = 0;
    std::vector<int> m_order;
  } socket;
  socket.m_bDrain = c.bHandlerDrains;
  socket.m_bPeek = c.bPeekFirst;
  socket.m_bClose = c.bClosesAfterFirst;
  CUdpPeer device(kDeviceAddress, m_nPort + 1);
  ASSERT_TRUE(device.IsBound());
  // A socket made again takes a port of its own: Wine may still list the port of one just
  // closed as held, for longer on a busy machine.
  unsigned nPort = m_nPort;
  ASSERT_TRUE(socket.Create(nPort)) << GetLastError();
  std::vector<int> expected;
  int nSent = 0;
  for (size_t nBurst = 0; nBurst < c.bursts.size(); ++nBurst) {
    for (int i = 0; i < c.bursts[nBurst]; ++i) {
      const int nNumber = nSent++;
      const bool bEmpty = c.bEveryOtherEmpty && i % 2 == 1;
      device.SendTo(nPort, bEmpty ? Bytes{}
                                  : Bytes{static_cast<unsigned char>(nNumber >> 8),
                                          static_cast<unsigned char>(nNumber)});
      if (i == 0 || !c.bClosesAfterFirst)
        expected.push_back(bEmpty ? -1 : nNumber);
    }
    ASSERT_TRUE(PumpUntil([&] { return socket.m_order.size() >= expected.size(); }))
        << "burst " << nBurst << ": " << socket.m_order.size() << " of " << expected.size();
    if (c.bClosesAfterFirst) {
      ASSERT_EQ(socket.m_hSocket, -1);
      nPort = TakePorts(EPortRange::Socket, 1);
      // Wine's table of owners may still list the socket that found the port free a moment ago.
      ASSERT_TRUE(
          PumpUntil([&] { return socket.Create(nPort) || GetLastError() != kAddressInUse; }));
      ASSERT_NE(socket.m_hSocket, -1) << GetLastError();
    }
    // The gap: a posted call runs after every notice queued so far, stale ones included.
    bool bGapDone = false;
    AfxPostCall([&] { bGapDone = true; });
    ASSERT_TRUE(PumpUntil([&] { return bGapDone; }));
  }
  EXPECT_EQ(socket.m_order, expected);
  EXPECT_EQ(socket.m_nCallsForNothing, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, Bursts,
    ::testing::Values(
        BurstCase{"OneAtATime", {1, 1, 1, 1}, false},
        BurstCase{"PairsEachLeavingANoticeForNothing", {2, 2, 2, 2, 2}, false},
        BurstCase{"LongerThanOneWakeUpThenSingles", {70, 1, 3, 1}, false},
        BurstCase{"HandlerReadsTheQueueDry", {3, 1, 4, 1, 5}, true},
        BurstCase{"EmptyDatagramsBetween", {2, 3, 5, 2}, false, true},
        BurstCase{"EmptyDatagramsBetweenHandlerDrains", {3, 5, 2}, true, true},
        BurstCase{"HandlerPeeksFirst", {1, 3, 2, 5}, false, true, true},
        BurstCase{"ClosedByItsHandlerAndMadeAgain", {2, 3, 2, 4}, false, false, false, true}),
    [](const ::testing::TestParamInfo<BurstCase>& info) { return info.param.pszName; });

// ---------------------------------------------------------------------------------------------
// One owner per wildcard port: what another socket on the port does to Create. The Windows
// implementation reads the system's IPv4 table of wildcard owners, so IPv6 holders and sockets on
// one address count on Linux only.

struct HolderCase {
  const char* pszName;
  unsigned nPlatforms;
  enum { Plain, Async } holder;  ///< a socket of the system's own, or a second CAsyncSocket
  const char* pszAddress;        ///< the holder's address
  bool bReuse;
  bool bV6Only;
  const char* pszPeer;         ///< the holder is connected to this address, same port; or null
  const char* pszOwnAddress;   ///< Create's own address; null: all
  bool bCounts;                ///< Create fails with kAddressInUse
  unsigned nOtherSockets = 0;  ///< more sockets of the host, each on a port of its own
};

void PrintTo(const HolderCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class WildcardPort : public AsyncSocket, public ::testing::WithParamInterface<HolderCase> {};

TEST_P(WildcardPort, AnotherOwnerOfTheWildcardMakesCreateFailWithAddressInUse) {
  const HolderCase& c = GetParam();
  std::vector<std::unique_ptr<CUdpPeer>> others;
  for (unsigned i = 0; i < c.nOtherSockets; ++i) {
    others.push_back(std::make_unique<CUdpPeer>("127.0.0.1", 0));
    ASSERT_TRUE(others.back()->IsBound()) << i;
  }
  std::unique_ptr<CUdpPeer> pPlain;
  CAsyncSocket async;
  if (c.holder == HolderCase::Async) {
    ASSERT_TRUE(async.Create(m_nPort, SOCK_DGRAM_TYPE, FD_READ_EVENT, c.pszAddress));
  } else {
    pPlain = std::make_unique<CUdpPeer>(c.pszAddress, m_nPort, c.bReuse, c.bV6Only);
    ASSERT_TRUE(pPlain->IsBound() && (!c.pszPeer || pPlain->Connect(m_nPort, c.pszPeer)));
  }
  CAsyncSocket socket;
  SetLastError(0);
  EXPECT_EQ(socket.Create(m_nPort, SOCK_DGRAM_TYPE, FD_READ_EVENT, c.pszOwnAddress), !c.bCounts);
  EXPECT_EQ(socket.m_hSocket != -1, !c.bCounts);
  EXPECT_EQ(GetLastError(), c.bCounts ? kAddressInUse : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, WildcardPort,
    ::testing::ValuesIn(RowsOfThisPlatform<HolderCase>({
        {"SecondCreate", kBothPlatforms, HolderCase::Async, nullptr, true, false, nullptr, nullptr,
         true},
        {"PlainIPv4Wildcard", kBothPlatforms, HolderCase::Plain, "0.0.0.0", false, false, nullptr,
         nullptr, true},
        {"IPv4WildcardWithAddressReuse", kBothPlatforms, HolderCase::Plain, "0.0.0.0", true, false,
         nullptr, nullptr, true},
        // More sockets on the host than the system's table is first read for.
        {"IPv4WildcardInALongTable", kBothPlatforms, HolderCase::Plain, "0.0.0.0", true, false,
         nullptr, nullptr, true, 150},
        // Another program's link: it bound the wildcard, then connected to the device. Under Wine
        // the system's table then shows the address it sends from, no longer the wildcard.
        {"IPv4WildcardConnected", kLinux, HolderCase::Plain, "0.0.0.0", true, false, kDeviceAddress,
         nullptr, true},
        {"DualStackIPv6", kLinux, HolderCase::Plain, "::", true, false, nullptr, nullptr, true},
        {"DualStackIPv6Connected", kLinux, HolderCase::Plain, "::", true, false, "::ffff:127.0.0.2",
         nullptr, true},
        {"IPv6Only", kBothPlatforms, HolderCase::Plain, "::", true, true, nullptr, nullptr, false},
        {"DeviceOnOneAddress", kBothPlatforms, HolderCase::Plain, kDeviceAddress, true, false,
         nullptr, nullptr, false},
        // Without address reuse on its side the bind itself refuses the wildcard.
        {"OneAddressWithoutReuse", kBothPlatforms, HolderCase::Plain, kDeviceAddress, false, false,
         nullptr, nullptr, true},
        // Bound to the very address that a wildcard bind would send from toward its peer.
        {"OneAddressConnectedFromItsOwnSource", kLinux, HolderCase::Plain, "127.0.0.1", true, false,
         "127.0.0.1", nullptr, true},
        {"DeviceConnectedToThisHost", kLinux, HolderCase::Plain, "127.0.0.2", true, false,
         "127.0.0.1", nullptr, false},
        {"OneAddressBesideTheWildcard", kBothPlatforms, HolderCase::Async, nullptr, true, false,
         nullptr, kDeviceAddress, false},
    })),
    [](const ::testing::TestParamInfo<HolderCase>& info) { return info.param.pszName; });

#ifdef _WIN32
// Under Wine a read of the UDP table made while another process makes sockets can list a second
// row on a socket's port that the kernel's table does not hold; a real second owner is in every
// read. Each case gives the wildcard rows on the socket's port that each read finds.
struct ReadsCase {
  const char* pszName;
  std::vector<int> rowsPerRead;
  bool bShared;
  size_t nReadsMade;
};

void PrintTo(const ReadsCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class TableReads : public AsyncSocket, public ::testing::WithParamInterface<ReadsCase> {
protected:
  static inline std::vector<int> s_rowsPerRead;
  static inline size_t s_nReads = 0;
  static inline u_short s_nPort = 0;  // network order
  /// The next read of the script: its rows on the socket's port, and one on another port.
  static bool ScriptedRead(std::vector<unsigned char>& rTable) {
    const int nRows = s_rowsPerRead.at(std::min(s_nReads++, s_rowsPerRead.size() - 1));
    rTable.assign(offsetof(MIB_UDPTABLE, table) + (nRows + 1) * sizeof(MIB_UDPROW), 0);
    auto* pTable = reinterpret_cast<MIB_UDPTABLE*>(rTable.data());
    pTable->dwNumEntries = static_cast<DWORD>(nRows + 1);
    for (int i = 0; i < nRows; ++i)
      pTable->table[i].dwLocalPort = s_nPort;
    pTable->table[nRows].dwLocalPort = htons(static_cast<u_short>(ntohs(s_nPort) + 1));
    return true;
  }
};

TEST_P(TableReads, APortIsSharedOnlyWhenEveryReadSaysSo) {
  const ReadsCase& c = GetParam();
  CAsyncSocket socket;
  ASSERT_TRUE(socket.Create(m_nPort));
  s_rowsPerRead = c.rowsPerRead;
  s_nReads = 0;
  s_nPort = htons(static_cast<u_short>(m_nPort));
  const SOCKET hSocket = static_cast<SOCKET>(socket.m_hSocket);
  bool bShared = !c.bShared;
  FindSharedWildcardPorts(&hSocket, 1, &bShared, ScriptedRead);
  EXPECT_EQ(bShared, c.bShared);
  EXPECT_EQ(s_nReads, c.nReadsMade);
}

INSTANTIATE_TEST_SUITE_P(
    Wine, TableReads,
    ::testing::Values(ReadsCase{"OneReadWithItsOwnRowOnly", {1}, false, 1},
                      ReadsCase{"ARowListedTwiceThenOnce", {2, 1}, false, 2},
                      ReadsCase{"ARowListedTwiceInFourReads", {2, 2, 2, 2, 1}, false, 5},
                      ReadsCase{"ASecondOwnerInEveryRead", {2}, true, 5}),
    [](const ::testing::TestParamInfo<ReadsCase>& info) { return info.param.pszName; });
#endif

// The port-owner look over a list of bound sockets (CreateEach: one read of the system's table
// for all): each is judged as if the ones before it were made in turn, and a look is valid for
// the sockets bound before it. Steps: "a1" binds a socket of program a (b: a second program, s:
// a stranger) on the wildcard of port P + 1; "a=01" looks at a's sockets in bind order and
// expects the first alone and the second shared.
struct LookCase {
  const char* pszName;
  const char* pszSteps;
};

void PrintTo(const LookCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class PortLook : public AsyncSocket, public ::testing::WithParamInterface<LookCase> {};

TEST_P(PortLook, SeesEveryOwnerBoundBeforeIt) {
  std::map<char, std::vector<std::unique_ptr<CUdpPeer>>> programs;
  std::istringstream steps(GetParam().pszSteps);
  for (std::string strStep; steps >> strStep;) {
    auto& sockets = programs[strStep[0]];
    if (strStep[1] != '=') {
      sockets.push_back(std::make_unique<CUdpPeer>("0.0.0.0", m_nPort + (strStep[1] - '0')));
      ASSERT_TRUE(sockets.back()->IsBound()) << strStep;
      continue;
    }
    std::vector<SocketHandle> handles;
    for (const auto& pSocket : sockets)
      handles.push_back(pSocket->Handle());
    const auto shared = std::make_unique<bool[]>(handles.size());
    // The system's table is read while the run's other test processes bind and close sockets,
    // and such a read may miss a row; a look that keeps seeing wrong is a fault.
    std::string strSeen;
    for (int nLook = 0; nLook < 3 && strSeen != strStep.substr(2); ++nLook) {
      FindSharedWildcardPorts(handles.data(), static_cast<int>(handles.size()), shared.get());
      strSeen.clear();
      for (size_t i = 0; i < handles.size(); ++i)
        strSeen += shared[i] ? '1' : '0';
    }
    EXPECT_EQ(strSeen, strStep.substr(2)) << strStep;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Looks, PortLook,
    ::testing::Values(
        // Two programs that bind at the same moment both look after their own bind: each sees
        // the other, so both may give the port up, but never both keep it.
        LookCase{"TwoProgramsOnOnePort", "a0 a=0 b0 a=1 b=1"},
        LookCase{"TwoProgramsBindingBothPortsTogether", "a0 b0 a1 b1 a=11 b=11"},
        LookCase{"SecondOwnerOfTheLaterPortBetweenTheBinds", "a0 s1 a1 a=01"},
        LookCase{"SecondOwnerOfTheEarlierPortBetweenTheBinds", "a0 s0 a1 a=10"},
        // The later one on a port counts as not made when the earlier one is judged.
        LookCase{"OnePortTwiceInOneList", "a0 a0 a=01"}),
    [](const ::testing::TestParamInfo<LookCase>& info) { return info.param.pszName; });

// ---------------------------------------------------------------------------------------------
// Host names: dotted text or a name for the resolver; anything else is refused before a lookup.
// On Linux the resolver of a child process reads a hosts file of this test's own (in a private
// mount namespace) that names every text below, so nothing is asked of the network, and a text
// wrongly handed to the resolver would resolve instead of failing. Elsewhere the names that need
// that file are left out.

struct HostTextCase {
  const char* pszName;
  unsigned nPlatforms;
  const char* pszText;
  const char* pszPeer;  ///< the address connected to; null: kInvalidArgument without a lookup
};

const std::vector<HostTextCase> kHostTexts = RowsOfThisPlatform<HostTextCase>({
    {"dotted address", kBothPlatforms, kDeviceAddress, kDeviceAddress},
    {"localhost", kBothPlatforms, "localhost", "127.0.0.1"},
    {"hosts-file name with underscores", kLinux, "vending_device_1", "127.0.0.3"},
    {"name with hyphens and dots", kLinux, "lx-5200.shop.lan", "127.0.0.4"},
    {"blank", kBothPlatforms, "vending device", nullptr},
    {"comma", kBothPlatforms, "vending,device", nullptr},
    {"quotes", kBothPlatforms, "\"vending\"", nullptr},
    {"control character", kBothPlatforms, "vending\x01", nullptr},
    {"not ASCII", kBothPlatforms, "vending\xff\xfe", nullptr},
    {"slash", kBothPlatforms, "1.2.3.4.5/8", nullptr},
    {"semicolon", kBothPlatforms, "127.0.0.9;rm", nullptr},
    {"empty", kBothPlatforms, "", nullptr},
});

/// Every row whose outcome differs from the table, one line each. An accepted text is connected
/// to port P + 1, where a peer on the row's address must receive the row's name.
std::string CheckHostTexts(unsigned nPort) {
  std::string strFailures;
  for (const HostTextCase& c : kHostTexts) {
    CAsyncSocket socket;
    if (!socket.Create(nPort, SOCK_DGRAM_TYPE, 0))
      return "cannot create a socket\n";
    std::unique_ptr<CUdpPeer> pPeer;
    if (c.pszPeer)
      pPeer = std::make_unique<CUdpPeer>(c.pszPeer, nPort + 1);
    SetLastError(0);
    const bool bConnected = socket.Connect(c.pszText, nPort + 1);
    const DWORD dwError = GetLastError();
    const Bytes name(c.pszName, c.pszName + std::strlen(c.pszName));
    socket.Send(name.data(), static_cast<int>(name.size()));
    Bytes received;
    if (c.pszPeer && !(bConnected && pPeer->ReceiveWithoutEvents(received) && received == name))
      strFailures += std::string(c.pszName) + ": not connected to " + c.pszPeer + "\n";
    if (!c.pszPeer && (bConnected || dwError != kInvalidArgument))
      strFailures += std::string(c.pszName) + ": not refused with the invalid-argument code\n";
  }
  return strFailures;
}

#ifdef __linux__
const char* const kHostsFile =
    "127.0.0.1 localhost\n127.0.0.3 vending_device_1\n127.0.0.4 lx-5200.shop.lan\n"
    "127.0.0.5 vending,device \"vending\" vending\x01 vending\xff\xfe 1.2.3.4.5/8 "
    "127.0.0.9;rm\n";

TEST_F(AsyncSocket, NamesGoToTheResolverAndTextsThatAreNoNameFailAtOnce) {
  CTempDir dir;
  const std::string strHosts = dir.Path() + "/hosts";
  WriteWholeFile(strHosts, kHostsFile);
  const std::string strNoNamespace = dir.Path() + "/no-namespace";
  constexpr int kNoNamespace = 77;  // the reason is in strNoNamespace
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(20);
    const char* pszStep = nullptr;
    if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
      pszStep = "unshare(CLONE_NEWNS), as root or in a new user namespace";
    else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      pszStep = "making / private";
    else if (mount(strHosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0)
      pszStep = "mounting the hosts file on /etc/hosts";
    const int nError = errno;
    if (pszStep) {
      WriteWholeFile(strNoNamespace, std::string(pszStep) + ": " + std::strerror(nError));
      _exit(kNoNamespace);
    }
    const std::string strFailures = CheckHostTexts(m_nPort);
    std::fputs(strFailures.c_str(), stderr);
    _exit(strFailures.empty() ? 0 : 1);
  }
  int nStatus = 0;
  ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
  ASSERT_TRUE(WIFEXITED(nStatus));
  ASSERT_NE(WEXITSTATUS(nStatus), kNoNamespace)
      << "no private mount namespace for a hosts file of the test's own: "
      << ReadWholeFile(strNoNamespace)
      << " (needs CAP_SYS_ADMIN, or user namespaces: sysctl kernel.unprivileged_userns_clone=1)";
  EXPECT_EQ(WEXITSTATUS(nStatus), 0) << "the rows named above failed";
}
#else
TEST_F(AsyncSocket, NamesGoToTheResolverAndTextsThatAreNoNameFailAtOnce) {
  EXPECT_EQ(CheckHostTexts(m_nPort), "");
}
#endif

}  // namespace
