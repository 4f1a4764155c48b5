// The asynchronous UDP socket: binding, one owner per wildcard port, peers and host names,
// datagram boundaries and error codes.
#include "AsyncSocket.h"
#include "PortSharing.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <cerrno>
#include <cstring>

using namespace testing_support;

namespace {

/// Each test has two ports of its own.
class AsyncSocket : public ::testing::Test {
protected:
  const unsigned m_nPort = TakePorts(EPortRange::Socket);
};

class CRecordingSocket : public CAsyncSocket {
public:
  void OnReceive(int) override {
    BYTE buffer[16];
    std::string strAddress;
    UINT nPort = 0;
    const int n = ReceiveFrom(buffer, sizeof buffer, strAddress, nPort);
    m_results.push_back(n);
    if (n > 0)
      m_last.assign(buffer, buffer + n);
    m_strAddress = strAddress;
    m_nPort = nPort;
  }
  std::vector<int> m_results;
  Bytes m_last;
  std::string m_strAddress;
  UINT m_nPort = 0;
};

TEST_F(AsyncSocket, PortsOutsideTheValidRangeFailWithoutWrapping) {
  for (UINT nPort : {0u, 65536u, 65536u + 21001u, 0xFFFFFFFFu}) {
    CAsyncSocket socket;
    SetLastError(0);
    EXPECT_FALSE(socket.Create(nPort)) << nPort;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL)) << nPort;
    EXPECT_EQ(socket.m_hSocket, -1);
  }
}

// ---------------------------------------------------------------------------------------------
// One owner per wildcard port: what another socket on the port does to Create.

struct HolderCase {
  const char* pszName;
  const char* pszAddress;
  bool bReuse;
  bool bV6Only;
  const char* pszPeer;  ///< connected to this address, same port; null: not connected
  bool bCounts;         ///< Create fails with EADDRINUSE
};

void PrintTo(const HolderCase& c, std::ostream* pOut) { *pOut << c.pszName; }

class WildcardPort : public AsyncSocket, public ::testing::WithParamInterface<HolderCase> {};

TEST_P(WildcardPort, AnotherOwnerOfTheWildcardMakesCreateFailWithAddressInUse) {
  const HolderCase& c = GetParam();
  CUdpPeer holder(c.pszAddress, m_nPort, c.bReuse, c.bV6Only);
  ASSERT_TRUE(holder.IsBound() && (!c.pszPeer || holder.Connect(m_nPort, c.pszPeer)))
      << std::strerror(errno);
  CAsyncSocket socket;
  SetLastError(0);
  EXPECT_EQ(socket.Create(m_nPort), !c.bCounts);
  EXPECT_EQ(socket.m_hSocket >= 0, !c.bCounts);
  EXPECT_EQ(GetLastError(), c.bCounts ? static_cast<DWORD>(EADDRINUSE) : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, WildcardPort,
    ::testing::Values(
        HolderCase{"PlainIPv4Wildcard", "0.0.0.0", false, false, nullptr, true},
        HolderCase{"IPv4WildcardWithAddressReuse", "0.0.0.0", true, false, nullptr, true},
        // Another program's link: it bound the wildcard, then connected to the device.
        HolderCase{"IPv4WildcardConnected", "0.0.0.0", true, false, "127.0.0.2", true},
        HolderCase{"DualStackIPv6", "::", true, false, nullptr, true},
        HolderCase{"DualStackIPv6Connected", "::", true, false, "::ffff:127.0.0.2", true},
        HolderCase{"IPv6Only", "::", true, true, nullptr, false},
        HolderCase{"DeviceOnOneAddress", "127.0.0.2", true, false, nullptr, false},
        // Without address reuse on its side the bind itself refuses the wildcard.
        HolderCase{"OneAddressWithoutReuse", "127.0.0.2", false, false, nullptr, true},
        // Bound to the very address that a wildcard bind would send from toward its peer.
        HolderCase{"OneAddressConnectedFromItsOwnSource", "127.0.0.1", true, false, "127.0.0.1",
                   true},
        HolderCase{"DeviceConnectedToThisHost", "127.0.0.2", true, false, "127.0.0.1", false}),
    [](const ::testing::TestParamInfo<HolderCase>& info) { return info.param.pszName; });

// Two programs that bind at the same moment both look after their own bind: each sees the other,
// so both may give the port up, but never both keep it.
TEST_F(AsyncSocket, TwoWildcardBindsAtOnceEachSeeTheOther) {
  CUdpPeer first("0.0.0.0", m_nPort);
  ASSERT_TRUE(first.IsBound());
  EXPECT_FALSE(IsWildcardPortShared(first.Handle()));
  CUdpPeer second("0.0.0.0", m_nPort);
  ASSERT_TRUE(second.IsBound());
  EXPECT_TRUE(IsWildcardPortShared(first.Handle()));
  EXPECT_TRUE(IsWildcardPortShared(second.Handle()));
}

// ---------------------------------------------------------------------------------------------
// Host names. The resolver of a child process reads a hosts file of this test's own (in a private
// mount namespace) that names every text below, so nothing is asked of the network, and a text
// wrongly handed to the resolver would resolve instead of failing.

struct HostTextCase {
  const char* pszName;
  const char* pszText;
  const char* pszPeer;  ///< the address connected to; null: EINVAL without a lookup
};

const HostTextCase kHostTexts[] = {
    {"dotted address", "127.0.0.2", "127.0.0.2"},
    {"localhost", "localhost", "127.0.0.1"},
    {"hosts-file name with underscores", "vending_device_1", "127.0.0.3"},
    {"name with hyphens and dots", "lx-5200.shop.lan", "127.0.0.4"},
    {"blank", "vending device", nullptr},
    {"comma", "vending,device", nullptr},
    {"quotes", "\"vending\"", nullptr},
    {"control character", "vending\x01", nullptr},
    {"not ASCII", "vending\xff\xfe", nullptr},
    {"slash", "1.2.3.4.5/8", nullptr},
    {"semicolon", "127.0.0.9;rm", nullptr},
    {"empty", "", nullptr},
};

const char* const kHostsFile =
    "127.0.0.1 localhost\n127.0.0.3 vending_device_1\n127.0.0.4 lx-5200.shop.lan\n"
    "127.0.0.5 vending,device \"vending\" vending\x01 vending\xff\xfe 1.2.3.4.5/8 "
    "127.0.0.9;rm\n";

/// Every row whose outcome differs from the table, one line each.
std::string CheckHostTexts(unsigned nPort) {
  std::string strFailures;
  for (const HostTextCase& c : kHostTexts) {
    CAsyncSocket socket;
    if (!socket.Create(nPort, SOCK_DGRAM_TYPE, 0))
      return "cannot create a socket\n";
    SetLastError(0);
    const bool bConnected = socket.Connect(c.pszText, nPort);
    sockaddr_in peer = {};
    socklen_t nLength = sizeof peer;
    char szPeer[INET_ADDRSTRLEN] = "";
    if (getpeername(socket.m_hSocket, reinterpret_cast<sockaddr*>(&peer), &nLength) == 0)
      inet_ntop(AF_INET, &peer.sin_addr, szPeer, sizeof szPeer);
    if (c.pszPeer && (!bConnected || std::string(szPeer) != c.pszPeer))
      strFailures += std::string(c.pszName) + ": connected to '" + szPeer + "'\n";
    if (!c.pszPeer && (bConnected || GetLastError() != EINVAL))
      strFailures += std::string(c.pszName) + ": not refused with EINVAL\n";
  }
  return strFailures;
}

TEST_F(AsyncSocket, NamesGoToTheResolverAndTextsThatAreNoNameFailAtOnce) {
  QTemporaryDir dir;
  const std::string strHosts = dir.path().toStdString() + "/hosts";
  WriteWholeFile(strHosts, kHostsFile);
  const std::string strNoNamespace = dir.path().toStdString() + "/no-namespace";
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

TEST_F(AsyncSocket, ReceivesOneDatagramPerNotificationAndDropsOversizedOnes) {
  CUdpPeer device("127.0.0.2", m_nPort);
  CRecordingSocket socket;
  ASSERT_TRUE(socket.Create(m_nPort));
  ASSERT_TRUE(socket.Connect("127.0.0.2", m_nPort));

  device.SendTo(m_nPort, Bytes(16, 0x08));
  device.SendTo(m_nPort, Bytes(17, 0x09));  // one byte more than the buffer
  device.SendTo(m_nPort, Bytes{});
  device.SendTo(m_nPort, Bytes{0x0A, 0x0B});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_results.size() >= 4; }));
  EXPECT_EQ(socket.m_results, (std::vector<int>{16, -1, 0, 2}));
  EXPECT_EQ(socket.m_last, (Bytes{0x0A, 0x0B}));
  EXPECT_EQ(socket.m_strAddress, "127.0.0.2");
  EXPECT_EQ(socket.m_nPort, m_nPort);
}

TEST_F(AsyncSocket, NamesTheSenderInDottedDecimal) {
  CRecordingSocket socket;
  ASSERT_TRUE(socket.Create(m_nPort));
  for (const char* lpszSender : {"127.0.0.2", "127.10.100.255", "127.255.9.99", "127.1.0.10"}) {
    CUdpPeer sender(lpszSender, m_nPort + 1);
    ASSERT_TRUE(sender.IsBound()) << lpszSender;
    const size_t nBefore = socket.m_results.size();
    sender.SendTo(m_nPort, Bytes{0x08});
    ASSERT_TRUE(PumpUntil([&] { return socket.m_results.size() > nBefore; })) << lpszSender;
    EXPECT_EQ(socket.m_strAddress, lpszSender);
    EXPECT_EQ(socket.m_nPort, m_nPort + 1);
  }
}

// Datagrams that queued up are handed over without a round through the event loop each, but
// never so many at once that the rest of the program waits for all of them.
TEST_F(AsyncSocket, AQueueOfDatagramsArrivesWholeInOrderWhileTheEventLoopKeepsTurning) {
  struct CCountingSocket : CAsyncSocket {
    void OnReceive(int) override {
      BYTE buffer[4];
      std::string strAddress;
      UINT nPort = 0;
      if (ReceiveFrom(buffer, sizeof buffer, strAddress, nPort) == 2)
        m_order.push_back(buffer[0] << 8 | buffer[1]);
      if (m_order.size() == 1)
        QMetaObject::invokeMethod(
            qApp, [this] { m_nDeliveredWhenLoopTurned = m_order.size(); }, Qt::QueuedConnection);
    }
    std::vector<int> m_order;
    size_t m_nDeliveredWhenLoopTurned = 0;
  } socket;
  CUdpPeer device("127.0.0.2", m_nPort);
  ASSERT_TRUE(socket.Create(m_nPort));
  constexpr int kCount = 150;  // a small queue, well inside the socket's receive buffer
  for (int i = 0; i < kCount; ++i)
    device.SendTo(m_nPort,
                  Bytes{static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_order.size() >= kCount; }));
  std::vector<int> expected(kCount);
  for (int i = 0; i < kCount; ++i)
    expected[i] = i;
  EXPECT_EQ(socket.m_order, expected);
  EXPECT_GT(socket.m_nDeliveredWhenLoopTurned, 0u);
  EXPECT_LT(socket.m_nDeliveredWhenLoopTurned, static_cast<size_t>(kCount));
}

TEST_F(AsyncSocket, ClosingInsideTheNotificationStopsDelivery) {
  struct CClosingSocket : CAsyncSocket {
    void OnReceive(int) override {
      ++m_nCalls;
      Close();
    }
    int m_nCalls = 0;
  } socket;
  CUdpPeer device("127.0.0.2", m_nPort);
  ASSERT_TRUE(socket.Create(m_nPort));
  device.SendTo(m_nPort, Bytes{0x08});
  device.SendTo(m_nPort, Bytes{0x08});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_nCalls >= 1; }));
  // A datagram to another socket, sent after both: once it is delivered, a notification still due
  // for the closed socket would have been delivered too.
  CRecordingSocket marker;
  ASSERT_TRUE(marker.Create(m_nPort + 1));
  device.SendTo(m_nPort + 1, Bytes{0x08});
  ASSERT_TRUE(PumpUntil([&] { return !marker.m_results.empty(); }));
  EXPECT_EQ(socket.m_nCalls, 1);
  EXPECT_EQ(socket.m_hSocket, -1);
  socket.Close();  // a second close does nothing
  EXPECT_EQ(socket.Send("x", 1), -1);
}

}  // namespace
