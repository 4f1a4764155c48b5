// lx5200e-sim as a separate process in headless mode, on 127.0.0.2 with ports of its own: the
// test plays the PC with two plain UDP sockets on 127.0.0.1 and reads the sim's stdout.
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

/// A UDP socket on 127.0.0.1:port, as the PC binds it (SO_REUSEADDR).
class CPcSocket {
public:
  explicit CPcSocket(unsigned nPort) {
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(nPort));
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_bBound = bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
  }
  ~CPcSocket() { close(m_fd); }
  CPcSocket(const CPcSocket&) = delete;
  CPcSocket& operator=(const CPcSocket&) = delete;

  bool IsBound() const { return m_bBound; }

  /// Sends to 127.0.0.2:nPort, where the sim listens.
  void SendTo(unsigned nPort, const Bytes& bytes) {
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(nPort));
    inet_pton(AF_INET, "127.0.0.2", &to.sin_addr);
    sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }

  /// Waits for one datagram. @returns false on time-out; nFromPort is the sender's port.
  bool Receive(Bytes& bytes, unsigned& nFromPort, int nMilliseconds = 3000) {
    pollfd pfd = {m_fd, POLLIN, 0};
    if (poll(&pfd, 1, nMilliseconds) <= 0)
      return false;
    unsigned char buffer[2048];
    sockaddr_in from = {};
    socklen_t nFromLength = sizeof from;
    const ssize_t n = recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &nFromLength);
    if (n < 0)
      return false;
    bytes.assign(buffer, buffer + n);
    nFromPort = ntohs(from.sin_port);
    return true;
  }

  /// Receives until a datagram other than a header-only tick arrives. @returns false on time-out.
  bool ReceiveNonTick(Bytes& bytes, int nMilliseconds = 3000) {
    QDeadlineTimer deadline(nMilliseconds);
    unsigned nPort = 0;
    while (Receive(bytes, nPort, static_cast<int>(deadline.remainingTime())))
      if (bytes != Bytes{0x08})
        return true;
    return false;
  }

private:
  int m_fd = -1;
  bool m_bBound = false;
};

/// The sim in headless mode on 127.0.0.2 with the given ports and a 20 ms cadence.
class SimProcess : public ::testing::Test {
protected:
  void Start(unsigned nCommPort, unsigned nControlPort, const QStringList& extra = {}) {
    m_nCommPort = nCommPort;
    m_nControlPort = nControlPort;
    m_process.start(LX5200E_SIM_EXE, QStringList{"--headless", "--address", "127.0.0.2", "--comm-port",
                                                 QString::number(nCommPort), "--control-port",
                                                 QString::number(nControlPort), "--tick-ms", "20"} + extra);
    ASSERT_TRUE(m_process.waitForStarted(5000));
    ASSERT_TRUE(WaitForLine("READY 127.0.0.2 comm " + std::to_string(nCommPort) + " control " +
                            std::to_string(nControlPort)));
  }

  void TearDown() override {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.closeWriteChannel();
      if (!m_process.waitForFinished(5000))
        m_process.kill();  // only the process this test started
      m_process.waitForFinished(2000);
    }
  }

  void Type(const std::string& strCommand) {
    m_process.write((strCommand + "\n").c_str());
    m_process.waitForBytesWritten(1000);
  }

  /// Reads stdout until the exact line arrives. @returns false on time-out or end of output.
  bool WaitForLine(const std::string& strLine, int nMilliseconds = 5000) {
    QDeadlineTimer deadline(nMilliseconds);
    for (;;) {
      while (m_process.canReadLine()) {
        const std::string strRead = m_process.readLine().trimmed().toStdString();
        m_lines.push_back(strRead);
        if (strRead == strLine)
          return true;
      }
      if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
        return false;
      m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
  }

  QProcess m_process;
  std::vector<std::string> m_lines;
  unsigned m_nCommPort = 0;
  unsigned m_nControlPort = 0;
};

TEST_F(SimProcess, TicksAfterTheControlCodesAndAnswersSetup) {
  CPcSocket comm(27313);
  CPcSocket control(27311);
  ASSERT_TRUE(comm.IsBound());
  ASSERT_TRUE(control.IsBound());
  Start(27313, 27311);

  // Nothing comes before the PC has made itself known.
  Bytes bytes;
  unsigned nFromPort = 0;
  EXPECT_FALSE(comm.Receive(bytes, nFromPort, 200));

  control.SendTo(27311, {0x08, 0x03, 0x0B});
  control.SendTo(27311, {0x08, 0x03, 0x12});
  ASSERT_TRUE(comm.Receive(bytes, nFromPort));
  EXPECT_EQ(bytes, Bytes{0x08});
  EXPECT_EQ(nFromPort, 27313u);  // the PC takes only datagrams from the communication port
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  EXPECT_EQ(bytes, (Bytes{0x08, 0x0B}));

  comm.SendTo(27313, {0x09});
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  EXPECT_EQ(bytes, (Bytes{0x08, 0x03, 0x19, 0x78, 0x05, 0x02, 0x00, 0x0F, 0x01, 0x02, 0x04, 0x0A, 0x14, 0x28, 0, 0,
                          0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(WaitForLine("RX CTRL 3 08 03 0B CONTROL 11 POLL ON"));
  EXPECT_TRUE(WaitForLine("RX COMM 1 09 SETUP"));
  EXPECT_TRUE(WaitForLine("TX COMM 24 08 03 19 78 05 02 00 0F 01 02 04 0A 14 28 00 00 00 00 00 00 00 00 00 00 "
                          "SETUP RESPONSE"));

  Type("quit");
  EXPECT_TRUE(WaitForLine("BYE"));
  ASSERT_TRUE(m_process.waitForFinished(5000));
  EXPECT_EQ(m_process.exitCode(), 0);
}

TEST_F(SimProcess, ReportsCoinsPaysChangeAndSendsFaultsFromStdin) {
  CPcSocket comm(27323);
  CPcSocket control(27321);
  ASSERT_TRUE(comm.IsBound());
  Start(27323, 27321);
  control.SendTo(27321, {0x08, 0x03, 0x0B});
  control.SendTo(27321, {0x08, 0x03, 0x12});
  Bytes bytes;
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  ASSERT_EQ(bytes, (Bytes{0x08, 0x0B}));

  Type("insert 2");  // refused: COIN TYPE has not enabled it
  EXPECT_TRUE(WaitForLine("REFUSED coin 2 not-enabled"));
  comm.SendTo(27323, {0x0C, 0x00, 0x3F, 0x00, 0x00});
  EXPECT_TRUE(WaitForLine("ENABLED accept 003F dispense 0000"));
  Type("insert 2");
  EXPECT_TRUE(WaitForLine("ACCEPTED coin 2 value 20 tube 19"));
  ASSERT_TRUE(comm.ReceiveNonTick(bytes));
  EXPECT_EQ(bytes, (Bytes{0x08, 0x52, 0x13}));

  comm.SendTo(27323, {0x0F, 0x02, 0x05});
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
  EXPECT_TRUE(WaitForLine("STATUS polling on reporting on peer 127.0.0.1:27323 accept 003F dispense 0000 "
                          "features 00000000 tubes 23,30,18,9,0,0,0,0,0,0,0,0,0,0,0,0 full 0000 cashbox 0 paid 25"));

  // End of input ends the sim, like quit.
  m_process.closeWriteChannel();
  EXPECT_TRUE(WaitForLine("BYE"));
  ASSERT_TRUE(m_process.waitForFinished(5000));
  EXPECT_EQ(m_process.exitCode(), 0);
}

TEST_F(SimProcess, RefusesToListenOutsideLoopback) {
  m_process.start(LX5200E_SIM_EXE, {"--headless", "--address", "192.168.1.1", "--comm-port", "27333",
                                    "--control-port", "27331"});
  ASSERT_TRUE(m_process.waitForFinished(5000));
  EXPECT_EQ(m_process.exitCode(), 2);
  EXPECT_FALSE(m_process.readAllStandardOutput().contains("READY"));
  EXPECT_TRUE(m_process.readAllStandardError().contains("127.0.0.0/8"));
}

}  // namespace
