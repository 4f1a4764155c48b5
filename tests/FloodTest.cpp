// The running program under a flood of datagrams of random length (1 to 1500 bytes) and random
// header byte, from the device's ports and from others. Afterwards it must be alive, its memory
// no bigger, idle again, and a normal start-up of the changer must still go through.
//
// MINTORA_FLOOD_DATAGRAMS sets the number (default 1000000). The datagrams go out through
// connected sockets with write(), so the loopback guard's trace (which follows connect and the
// send calls) records the four destinations once instead of a million times.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <random>
#include <sstream>

using namespace testing_support;

namespace {

/// A field of /proc/<pid>/status in kB ("VmRSS", "VmHWM").
long StatusKb(qint64 nPid, const char* lpszField) {
  const std::string strStatus = ReadWholeFile("/proc/" + std::to_string(nPid) + "/status");
  const std::size_t nAt = strStatus.find(std::string(lpszField) + ":");
  return nAt == std::string::npos ? -1
                                  : std::atol(strStatus.c_str() + nAt + std::strlen(lpszField) + 1);
}

/// User plus system CPU time of the process, in clock ticks.
long CpuTicks(qint64 nPid) {
  const std::string strStat = ReadWholeFile("/proc/" + std::to_string(nPid) + "/stat");
  std::istringstream in(strStat.substr(strStat.rfind(')') + 2));
  std::string strField;
  long nUser = 0, nSystem = 0;
  for (int i = 3; i <= 15 && in >> strField; ++i) {
    if (i == 14)
      nUser = std::atol(strField.c_str());
    if (i == 15)
      nSystem = std::atol(strField.c_str());
  }
  return nUser + nSystem;
}

/// The program's two sockets (those connected to 127.0.0.2) in /proc/net/udp.
SocketQueue ProgramQueues(unsigned nComm) {
  const SocketQueue comm = DeviceSocketQueue(nComm);
  const SocketQueue control = DeviceSocketQueue(nComm + 1);
  return {comm.nWaiting + control.nWaiting, comm.nDropped + control.nDropped};
}

/// A peer on a loopback address and port, connected to the program's port: a flood of writes
/// shows once in the loopback guard's trace, as the connect.
struct CSender : CUdpPeer {
  CSender(const char* lpszAddress, unsigned nPort, unsigned nTargetPort)
      : CUdpPeer(lpszAddress, nPort), m_bReady(Connect(nTargetPort)) {}
  bool IsReady() const { return m_bReady; }
  bool m_bReady;
};

class Flood : public ::testing::Test {
protected:
  /// Sends nCount datagrams spread over the four senders, pausing while the program's sockets
  /// are filling up, so that it reads nearly all of them instead of the kernel dropping them.
  void SendFlood(unsigned nCount) {
    std::uniform_int_distribution<int> length(1, 1500);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> source(0, 99);
    std::vector<std::uint8_t> noise(64 * 1024);
    for (std::uint8_t& b : noise)
      b = static_cast<std::uint8_t>(byte(m_random));
    std::uint8_t datagram[1500];
    for (unsigned i = 0; i < nCount; ++i) {
      const int nLength = length(m_random);
      std::memcpy(datagram, noise.data() + (i * 4099u) % (noise.size() - 1500),
                  static_cast<std::size_t>(nLength));
      datagram[0] = static_cast<std::uint8_t>(byte(m_random));
      // Half from the device's communication port: these reach the driver. The rest from its
      // control port (read and dropped by the program) and from a foreign port and address
      // (which the connected sockets never even see).
      const int nSource = source(m_random);
      CSender& sender = nSource < 50   ? m_device
                        : nSource < 70 ? m_deviceControl
                        : nSource < 85 ? m_foreignPort
                                       : m_foreignAddress;
      sender.Write(datagram, static_cast<std::size_t>(nLength));
      if (i % 64 == 63) {
        for (int nWait = 0; nWait < 20000 && ProgramQueues(m_nComm).nWaiting > 96 * 1024; ++nWait)
          usleep(100);
      }
    }
  }

  /// Waits until the program has read and handled everything sent to it, whatever the load.
  bool IsIdle(int nMilliseconds = 10000) {
    return PumpUntil(
        [this] { return ProgramQueues(m_nComm).nWaiting == 0 && m_program.IsWaitingForEvents(); },
        nMilliseconds);
  }

  /// Sends one datagram from the device and waits until the program has handled it.
  /// @returns its answer, or nothing when it had none.
  Bytes Answer(const Bytes& datagram) {
    m_device.Write(datagram);
    EXPECT_TRUE(IsIdle());
    const std::vector<Bytes> answers = m_device.Drain();
    EXPECT_LE(answers.size(), 1u);
    return answers.empty() ? Bytes{} : answers.back();
  }

  /// Ticks until the program answers. @returns the answer, or nothing after 40 ticks.
  Bytes TickUntilAnswer() {
    for (int i = 0; i < 40; ++i) {
      if (Bytes answer = Answer(Bytes{0x08}); !answer.empty())
        return answer;
    }
    return {};
  }

  // Three ports: the device's two and a foreign one.
  const unsigned m_nComm = TakePorts(EPortRange::Flood, 3);
  CTempConfig m_config;
  CMintoraProcess m_program;
  std::mt19937 m_random{20240607};
  CSender m_device{"127.0.0.2", m_nComm, m_nComm};
  CSender m_deviceControl{"127.0.0.2", m_nComm + 1, m_nComm + 1};
  CSender m_foreignPort{"127.0.0.2", m_nComm + 2, m_nComm};
  CSender m_foreignAddress{"127.0.0.3", m_nComm, m_nComm};
};

TEST_F(Flood, ProgramSurvivesStaysSmallAndStillStartsTheChanger) {
  ASSERT_TRUE(m_device.IsReady() && m_deviceControl.IsReady() && m_foreignPort.IsReady() &&
              m_foreignAddress.IsReady());
  const unsigned nCount =
      qEnvironmentVariableIsSet("MINTORA_FLOOD_DATAGRAMS")
          ? static_cast<unsigned>(qEnvironmentVariableIntValue("MINTORA_FLOOD_DATAGRAMS"))
          : 1000000u;
  ASSERT_TRUE(m_program.Start(m_config, LoopbackStore(m_nComm)));
  const qint64 nPid = m_program.Pid();
  Bytes code;
  ASSERT_TRUE(m_deviceControl.Receive(code, 15000));
  ASSERT_EQ(code, (Bytes{0x08, 0x03, 0x0B}));

  // A first, smaller flood lets the program reach its working size before it is measured.
  SendFlood(nCount / 20 + 1000);
  ASSERT_TRUE(IsIdle(60000));
  const long nRssBefore = StatusKb(nPid, "VmRSS");
  const long nDroppedBefore = ProgramQueues(m_nComm).nDropped;

  SendFlood(nCount);
  ASSERT_TRUE(m_program.IsRunning());
  ASSERT_TRUE(IsIdle(60000)) << "still busy after the flood";
  m_device.Drain();  // its answers to the flood
  const long nRssAfter = StatusKb(nPid, "VmRSS");
  // Idle, it neither works nor talks by itself: a second with no CPU time and no datagram.
  const long nCpuBefore = CpuTicks(nPid);
  PumpFor(1000);
  const long nIdleTicks = CpuTicks(nPid) - nCpuBefore;
  EXPECT_TRUE(m_device.Drain().empty()) << "talking by itself after the flood";
  std::printf(
      "flood of %u datagrams: %ld dropped at the program's full sockets; VmRSS %ld kB before, %ld "
      "kB "
      "after, VmHWM %ld kB; %ld CPU ticks in 1 s idle\n",
      nCount, ProgramQueues(m_nComm).nDropped - nDroppedBefore, nRssBefore, nRssAfter,
      StatusKb(nPid, "VmHWM"), nIdleTicks);
  EXPECT_LE(nRssAfter, nRssBefore + std::max(4096L, nRssBefore / 20));
  EXPECT_LT(nIdleTicks, sysconf(_SC_CLK_TCK) / 4);

  // The changer's start-up, whatever state the flood left the driver in: two reset reports
  // send it back to the start (what they provoke on the way is thrown away).
  Answer(Bytes{0x08, 0x0B});
  Answer(Bytes{0x08, 0x0B});
  Bytes answer = TickUntilAnswer();
  if (answer == Bytes{0x08})  // RESET, unless the reset reports already drew it
    answer = TickUntilAnswer();
  ASSERT_EQ(answer, (Bytes{0x09}));
  const Bytes setup = {0x08, 0x03, 0x19, 0x78, 0x05, 0x02, 0x00, 0x0F, 1, 2, 4, 10,
                       20,   40,   0,    0,    0,    0,    0,    0,    0, 0, 0, 0};
  EXPECT_EQ(Answer(setup), Bytes{});
  EXPECT_EQ(Answer(Bytes{0x08}), (Bytes{0x0F, 0x00}));
  Bytes ident(34, 0x20);
  ident[0] = 0x08;
  EXPECT_EQ(Answer(ident), Bytes{});
  EXPECT_EQ(Answer(Bytes{0x08}), (Bytes{0x0F, 0x01, 0x00, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Answer(Bytes{0x08}), (Bytes{0x0A}));
  Bytes tubes(19, 0);
  tubes[0] = 0x08;
  EXPECT_EQ(Answer(tubes), Bytes{});
  EXPECT_EQ(Answer(Bytes{0x08}), (Bytes{0x0C, 0x00, 0x00, 0x00, 0x00}));
  // Polling: a coin is credited and the tubes are asked for.
  EXPECT_EQ(Answer(Bytes{0x08, 0x53, 0x05}), (Bytes{0x0A}));

  m_program.Signal(SIGTERM);
  EXPECT_TRUE(m_program.EndsNormally());
}

}  // namespace
