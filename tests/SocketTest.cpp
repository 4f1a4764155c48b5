// The asynchronous UDP socket: binding, peers, datagram boundaries and error codes.
#include "AsyncSocket.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace testing_support;

namespace {

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

TEST(AsyncSocket, PortsOutsideTheValidRangeFailWithoutWrapping) {
  for (UINT nPort : {0u, 65536u, 65536u + 21001u, 0xFFFFFFFFu}) {
    CAsyncSocket socket;
    SetLastError(0);
    EXPECT_FALSE(socket.Create(nPort)) << nPort;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL)) << nPort;
    EXPECT_EQ(socket.m_hSocket, -1);
  }
}

TEST(AsyncSocket, APortHeldWithoutAddressReuseIsInUse) {
  CUdpPeer holder("0.0.0.0", 21001, /*bReuse=*/false);
  ASSERT_TRUE(holder.IsBound());
  CAsyncSocket socket;
  EXPECT_FALSE(socket.Create(21001));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(EADDRINUSE));
  EXPECT_EQ(socket.m_hSocket, -1);
}

TEST(AsyncSocket, SharesItsPortWithASpecificAddressBind) {
  CUdpPeer device("127.0.0.2", 21002);
  ASSERT_TRUE(device.IsBound());
  CAsyncSocket socket;
  EXPECT_TRUE(socket.Create(21002));
}

TEST(AsyncSocket, ConnectRefusesTextsThatAreNeitherAddressNorName) {
  for (const char* pszText :
       {"", "not an address!", "192.168.1.1; rm", "1.2.3.4.5/8", "\xff\xfe"}) {
    CAsyncSocket socket;
    ASSERT_TRUE(socket.Create(21003));
    EXPECT_FALSE(socket.Connect(pszText, 21003)) << pszText;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL)) << pszText;
  }
}

TEST(AsyncSocket, ConnectAcceptsDottedAddressesAndLocalNames) {
  CAsyncSocket a;
  ASSERT_TRUE(a.Create(21004));
  EXPECT_TRUE(a.Connect("127.0.0.2", 21004));
  CAsyncSocket b;
  ASSERT_TRUE(b.Create(21005));
  EXPECT_TRUE(b.Connect("localhost", 21005));
}

TEST(AsyncSocket, ReceivesOneDatagramPerNotificationAndDropsOversizedOnes) {
  CUdpPeer device("127.0.0.2", 21006);
  CRecordingSocket socket;
  ASSERT_TRUE(socket.Create(21006));
  ASSERT_TRUE(socket.Connect("127.0.0.2", 21006));

  device.SendTo(21006, Bytes(16, 0x08));
  device.SendTo(21006, Bytes(17, 0x09));  // one byte more than the buffer
  device.SendTo(21006, Bytes{});
  device.SendTo(21006, Bytes{0x0A, 0x0B});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_results.size() >= 4; }));
  EXPECT_EQ(socket.m_results, (std::vector<int>{16, -1, 0, 2}));
  EXPECT_EQ(socket.m_last, (Bytes{0x0A, 0x0B}));
  EXPECT_EQ(socket.m_strAddress, "127.0.0.2");
  EXPECT_EQ(socket.m_nPort, 21006u);
}

TEST(AsyncSocket, NamesTheSenderInDottedDecimal) {
  CRecordingSocket socket;
  ASSERT_TRUE(socket.Create(24900));
  for (const char* lpszSender : {"127.0.0.2", "127.10.100.255", "127.255.9.99", "127.1.0.10"}) {
    CUdpPeer sender(lpszSender, 24901);
    ASSERT_TRUE(sender.IsBound()) << lpszSender;
    const size_t nBefore = socket.m_results.size();
    sender.SendTo(24900, Bytes{0x08});
    ASSERT_TRUE(PumpUntil([&] { return socket.m_results.size() > nBefore; })) << lpszSender;
    EXPECT_EQ(socket.m_strAddress, lpszSender);
    EXPECT_EQ(socket.m_nPort, 24901u);
  }
}

// Datagrams that queued up are handed over without a round through the event loop each, but
// never so many at once that the rest of the program waits for all of them.
TEST(AsyncSocket, AQueueOfDatagramsArrivesWholeInOrderWhileTheEventLoopKeepsTurning) {
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
  CUdpPeer device("127.0.0.2", 24902);
  ASSERT_TRUE(socket.Create(24902));
  constexpr int kCount = 150;  // a small queue, well inside the socket's receive buffer
  for (int i = 0; i < kCount; ++i)
    device.SendTo(24902, Bytes{static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_order.size() >= kCount; }));
  std::vector<int> expected(kCount);
  for (int i = 0; i < kCount; ++i)
    expected[i] = i;
  EXPECT_EQ(socket.m_order, expected);
  EXPECT_GT(socket.m_nDeliveredWhenLoopTurned, 0u);
  EXPECT_LT(socket.m_nDeliveredWhenLoopTurned, static_cast<size_t>(kCount));
}

TEST(AsyncSocket, ClosingInsideTheNotificationStopsDelivery) {
  struct CClosingSocket : CAsyncSocket {
    void OnReceive(int) override {
      ++m_nCalls;
      Close();
    }
    int m_nCalls = 0;
  } socket;
  CUdpPeer device("127.0.0.2", 21007);
  ASSERT_TRUE(socket.Create(21007));
  device.SendTo(21007, Bytes{0x08});
  device.SendTo(21007, Bytes{0x08});
  ASSERT_TRUE(PumpUntil([&] { return socket.m_nCalls >= 1; }));
  PumpFor(100);
  EXPECT_EQ(socket.m_nCalls, 1);
  EXPECT_EQ(socket.m_hSocket, -1);
  socket.Close();  // a second close does nothing
  EXPECT_EQ(socket.Send("x", 1), -1);
}

}  // namespace
