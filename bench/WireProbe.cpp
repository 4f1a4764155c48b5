// The measuring end of the whole-process benchmarks. It plays the interface device on 127.0.0.2 and
// measures, from the wire, what a program on the same host costs:
//
//   wire_probe roundtrip|rate ... --echo-as-program
//       As below, with an echo in place of the program, to check the measurement itself.
//   wire_probe roundtrip PROGRAM_PORT ECHO_PORT COUNT ROUNDS
//       Round trip of one tick: to Mintora (first brought into SetupQuery, where every tick is
//       answered by SETUP) and to a plain UDP echo, in alternating blocks.
//       Prints: roundtrip program|echo <median ns> <p99 ns> <samples> <lost>
//   wire_probe rate PROGRAM_PORT ECHO_PORT COUNT WINDOW ROUNDS
//       Datagrams answered per second with WINDOW (1..64) of them in flight, well inside the socket
//       buffers, so none may be lost. Prints: rate program|echo <per second, median> <lost>
//   wire_probe startup CONTROL_PORT SETTLE_MS -- COMMAND...
//       Starts COMMAND, times exec to the first control datagram 08 03 0B on CONTROL_PORT, lets it
//       run SETTLE_MS more, ends it with SIGTERM and reads its peak resident memory.
//       Prints: startup <ns> <peak KiB>
//   wire_probe idle CONTROL_PORT SECONDS TRACE -- COMMAND...
//       Starts COMMAND under strace, waits for 08 03 0B and one second more, then counts the system
//       calls its threads enter during SECONDS of silence. Prints: idle <calls> <name x count,...>
//
// Traffic goes only to 127.0.0.1 (the program's ports) and 127.0.0.2 (our own).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::int64_t NowNs(clockid_t clock = CLOCK_MONOTONIC) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

[[noreturn]] void Fail(const std::string& strWhat) {
  std::fprintf(stderr, "wire_probe: %s\n", strWhat.c_str());
  std::exit(1);
}

/// The device's end of one port: bound to 127.0.0.2:port, talking to 127.0.0.1:port.
class CDevicePort {
public:
  explicit CDevicePort(unsigned nPort) {
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(nPort));
    inet_pton(AF_INET, "127.0.0.2", &local.sin_addr);
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
      Fail("cannot bind 127.0.0.2:" + std::to_string(nPort) + ": " + std::strerror(errno));
    m_peer.sin_family = AF_INET;
    m_peer.sin_port = htons(static_cast<std::uint16_t>(nPort));
    m_peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~CDevicePort() { close(m_fd); }
  CDevicePort(const CDevicePort&) = delete;
  CDevicePort& operator=(const CDevicePort&) = delete;

  void Send(const Bytes& bytes) {
    sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&m_peer),
           sizeof m_peer);
  }
  /// Sends nCount copies of a tick with as few system calls as the kernel allows.
  void SendTicks(unsigned nCount) {
    while (nCount > 0) {
      const unsigned nBatch = std::min(nCount, kMaxBatch);
      for (unsigned i = 0; i < nBatch; ++i) {
        m_sendMessages[i] = {};
        m_sendMessages[i].msg_hdr.msg_name = &m_peer;
        m_sendMessages[i].msg_hdr.msg_namelen = sizeof m_peer;
        m_sendMessages[i].msg_hdr.msg_iov = &m_tickIov;
        m_sendMessages[i].msg_hdr.msg_iovlen = 1;
      }
      unsigned nSent = 0;
      while (nSent < nBatch) {
        const int n = sendmmsg(m_fd, m_sendMessages.data() + nSent, nBatch - nSent, 0);
        if (n <= 0)
          Fail(std::string("sendmmsg: ") + std::strerror(errno));
        nSent += static_cast<unsigned>(n);
      }
      nCount -= nBatch;
    }
  }
  /// One datagram, or false after nTimeoutMs. Socket errors (an ICMP refusal while the program is
  /// not yet listening) count as nothing received.
  bool Receive(Bytes& bytes, int nTimeoutMs) {
    pollfd pfd = {m_fd, POLLIN, 0};
    if (poll(&pfd, 1, nTimeoutMs) <= 0)
      return false;
    std::uint8_t buffer[2048];
    const ssize_t n = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0)
      return false;
    bytes.assign(buffer, buffer + n);
    return true;
  }
  /// Every datagram already waiting, at most kMaxBatch. @returns how many.
  unsigned Drain() {
    for (unsigned i = 0; i < kMaxBatch; ++i) {
      m_receiveIovs[i] = {m_receiveBuffers[i].data(), m_receiveBuffers[i].size()};
      m_receiveMessages[i] = {};
      m_receiveMessages[i].msg_hdr.msg_iov = &m_receiveIovs[i];
      m_receiveMessages[i].msg_hdr.msg_iovlen = 1;
    }
    const int n = recvmmsg(m_fd, m_receiveMessages.data(), kMaxBatch, MSG_DONTWAIT, nullptr);
    return n > 0 ? static_cast<unsigned>(n) : 0;
  }
  int Handle() const { return m_fd; }

  static constexpr unsigned kMaxBatch = 64;

private:
  int m_fd = -1;
  sockaddr_in m_peer = {};
  std::uint8_t m_nTick = 0x08;
  iovec m_tickIov = {&m_nTick, 1};
  std::array<mmsghdr, kMaxBatch> m_sendMessages;
  std::array<mmsghdr, kMaxBatch> m_receiveMessages;
  std::array<iovec, kMaxBatch> m_receiveIovs;
  std::array<std::array<std::uint8_t, 64>, kMaxBatch> m_receiveBuffers;
};

const Bytes kTick = {0x08};
const Bytes kSetup = {0x09};
const Bytes kOpenCode = {0x08, 0x03, 0x0B};

/// Set by --echo-as-program: the program's port is served by a second echo, for checking that
/// the two sides of a comparison are measured alike (the ratio must come out near 1).
bool g_bEchoAsProgram = false;

/// Ticks until the driver answers one with SETUP: from then on it answers every tick so.
void BringIntoSetupQuery(CDevicePort& port) {
  if (g_bEchoAsProgram)
    return;
  const std::int64_t nDeadline = NowNs() + 30'000'000'000;
  Bytes reply;
  while (NowNs() < nDeadline) {
    port.Send(kTick);
    while (port.Receive(reply, 50)) {
      if (reply == kSetup) {
        // Anything still in flight is answered too; let it pass.
        while (port.Receive(reply, 100)) {
        }
        return;
      }
    }
  }
  Fail("the program never answered a tick with SETUP");
}

struct Latencies {
  std::vector<std::int64_t> samples;
  unsigned nLost = 0;
};

void Ping(CDevicePort& port, const Bytes& expected, unsigned nCount, Latencies* pResult) {
  Bytes reply;
  for (unsigned i = 0; i < nCount; ++i) {
    const std::int64_t nStart = NowNs();
    port.Send(kTick);
    if (!port.Receive(reply, 1000) || reply != expected) {
      if (pResult)
        ++pResult->nLost;
      continue;
    }
    if (pResult)
      pResult->samples.push_back(NowNs() - nStart);
  }
}

std::int64_t Percentile(std::vector<std::int64_t> values, double fFraction) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  const size_t i = std::min(values.size() - 1,
                            static_cast<size_t>(fFraction * static_cast<double>(values.size())));
  return values[i];
}

int RoundTrip(unsigned nProgramPort, unsigned nEchoPort, unsigned nCount, unsigned nRounds) {
  CDevicePort program(nProgramPort);
  CDevicePort echo(nEchoPort);
  BringIntoSetupQuery(program);
  const Bytes& answer = g_bEchoAsProgram ? kTick : kSetup;
  Ping(program, answer, 200, nullptr);
  Ping(echo, kTick, 200, nullptr);
  Latencies programResult;
  Latencies echoResult;
  for (unsigned nRound = 0; nRound < nRounds; ++nRound) {
    // Alternate who goes first, so a slow spell of the machine lands on both.
    if (nRound % 2 == 0) {
      Ping(echo, kTick, nCount, &echoResult);
      Ping(program, answer, nCount, &programResult);
    } else {
      Ping(program, answer, nCount, &programResult);
      Ping(echo, kTick, nCount, &echoResult);
    }
  }
  for (const auto& [lpszName, pResult] :
       {std::pair{"program", &programResult}, std::pair{"echo", &echoResult}}) {
    std::printf("roundtrip %s %lld %lld %zu %u\n", lpszName,
                static_cast<long long>(Percentile(pResult->samples, 0.5)),
                static_cast<long long>(Percentile(pResult->samples, 0.99)), pResult->samples.size(),
                pResult->nLost);
  }
  return 0;
}

struct Rate {
  double fPerSecond = 0;
  unsigned nLost = 0;
};

/// Keeps nWindow ticks in flight until nCount are answered; a reply missing for a second is lost.
Rate Stream(CDevicePort& port, unsigned nCount, unsigned nWindow) {
  unsigned nSent = 0;
  unsigned nReceived = 0;
  const std::int64_t nStart = NowNs();
  port.SendTicks(std::min(nWindow, nCount));
  nSent = std::min(nWindow, nCount);
  while (nReceived < nSent) {
    pollfd pfd = {port.Handle(), POLLIN, 0};
    if (poll(&pfd, 1, 1000) <= 0)
      break;
    const unsigned n = port.Drain();
    nReceived += n;
    const unsigned nMore = std::min(n, nCount - nSent);
    if (nMore > 0) {
      port.SendTicks(nMore);
      nSent += nMore;
    }
  }
  const std::int64_t nElapsed = NowNs() - nStart;
  Rate rate;
  rate.fPerSecond = static_cast<double>(nReceived) * 1e9 / static_cast<double>(nElapsed);
  rate.nLost = nCount - nReceived;
  return rate;
}

int Rates(unsigned nProgramPort, unsigned nEchoPort, unsigned nCount, unsigned nWindow,
          unsigned nRounds) {
  if (nWindow == 0 || nWindow > CDevicePort::kMaxBatch)
    Fail("the window must be 1 to " + std::to_string(CDevicePort::kMaxBatch));
  CDevicePort program(nProgramPort);
  CDevicePort echo(nEchoPort);
  BringIntoSetupQuery(program);
  Stream(program, nCount / 10, nWindow);
  Stream(echo, nCount / 10, nWindow);
  std::vector<double> programRates;
  std::vector<double> echoRates;
  unsigned nProgramLost = 0;
  unsigned nEchoLost = 0;
  for (unsigned nRound = 0; nRound < nRounds; ++nRound) {
    const Rate echoRate = Stream(echo, nCount, nWindow);
    const Rate programRate = Stream(program, nCount, nWindow);
    echoRates.push_back(echoRate.fPerSecond);
    programRates.push_back(programRate.fPerSecond);
    nEchoLost += echoRate.nLost;
    nProgramLost += programRate.nLost;
  }
  std::sort(programRates.begin(), programRates.end());
  std::sort(echoRates.begin(), echoRates.end());
  std::printf("rate program %.0f %u\n", programRates[programRates.size() / 2], nProgramLost);
  std::printf("rate echo %.0f %u\n", echoRates[echoRates.size() / 2], nEchoLost);
  return 0;
}

pid_t Spawn(char** argv) {
  pid_t pid = 0;
  const int nError = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ);
  if (nError != 0)
    Fail(std::string("cannot start ") + argv[0] + ": " + std::strerror(nError));
  return pid;
}

/// Waits for the open code 08 03 0B. @returns false when the child ended or time ran out first.
bool WaitForOpenCode(CDevicePort& control, pid_t pid, int nTimeoutMs) {
  const std::int64_t nDeadline = NowNs() + std::int64_t{nTimeoutMs} * 1000000;
  Bytes bytes;
  while (NowNs() < nDeadline) {
    if (control.Receive(bytes, 20) && bytes == kOpenCode)
      return true;
    int nStatus = 0;
    if (waitpid(pid, &nStatus, WNOHANG) == pid)
      return false;
  }
  return false;
}

int Startup(unsigned nControlPort, int nSettleMs, char** argv) {
  CDevicePort control(nControlPort);
  const std::int64_t nStart = NowNs();
  const pid_t pid = Spawn(argv);
  const bool bOpened = WaitForOpenCode(control, pid, 20000);
  const std::int64_t nElapsed = NowNs() - nStart;
  if (bOpened)
    usleep(static_cast<useconds_t>(nSettleMs) * 1000);
  kill(pid, SIGTERM);
  int nStatus = 0;
  rusage usage{};
  wait4(pid, &nStatus, 0, &usage);
  if (!bOpened)
    Fail(std::string(argv[0]) + " sent no open code");
  std::printf("startup %lld %ld\n", static_cast<long long>(nElapsed), usage.ru_maxrss);
  return 0;
}

/// @returns the first thread's children of pid (strace's tracee).
pid_t ChildOf(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  pid_t child = 0;
  file >> child;
  return child;
}

/// Counts the system calls entered between two wall-clock times in an strace -f -ttt output.
/// Lines that finish an earlier call ("<... resumed>"), signals and exits are not entries.
int CountCalls(const std::string& strTrace, double fFrom, double fTo, std::string& strSeen) {
  std::ifstream file(strTrace);
  std::string strLine;
  int nCalls = 0;
  std::map<std::string, int> seen;
  while (std::getline(file, strLine)) {
    std::istringstream fields(strLine);
    std::string strPid;
    double fTime = 0;
    std::string strRest;
    if (!(fields >> strPid >> fTime))
      continue;
    std::getline(fields, strRest);
    if (fTime < fFrom || fTime >= fTo)
      continue;
    const size_t nStart = strRest.find_first_not_of(' ');
    if (nStart == std::string::npos)
      continue;
    strRest.erase(0, nStart);
    if (strRest.rfind("<...", 0) == 0 || strRest.rfind("---", 0) == 0 ||
        strRest.rfind("+++", 0) == 0)
      continue;
    ++nCalls;
    ++seen[strRest.substr(0, strRest.find('('))];
  }
  for (const auto& [strName, nCount] : seen)
    strSeen += (strSeen.empty() ? "" : ",") + strName + "x" + std::to_string(nCount);
  return nCalls;
}

int Idle(unsigned nControlPort, int nSeconds, const std::string& strTrace, char** argv) {
  CDevicePort control(nControlPort);
  std::vector<std::string> command = {"strace", "-f", "-qq", "-ttt", "-o", strTrace};
  for (char** p = argv; *p; ++p)
    command.emplace_back(*p);
  std::vector<char*> args;
  for (std::string& str : command)
    args.push_back(str.data());
  args.push_back(nullptr);
  const pid_t nStrace = Spawn(args.data());
  if (!WaitForOpenCode(control, nStrace, 60000)) {
    kill(nStrace, SIGTERM);
    waitpid(nStrace, nullptr, 0);
    Fail(std::string(argv[0]) + " sent no open code under strace");
  }
  sleep(1);
  const double fFrom = static_cast<double>(NowNs(CLOCK_REALTIME)) / 1e9;
  sleep(static_cast<unsigned>(nSeconds));
  const double fTo = static_cast<double>(NowNs(CLOCK_REALTIME)) / 1e9;
  const pid_t nProgram = ChildOf(nStrace);
  if (nProgram > 0)
    kill(nProgram, SIGTERM);
  waitpid(nStrace, nullptr, 0);
  std::string strSeen;
  const int nCalls = CountCalls(strTrace, fFrom, fTo, strSeen);
  std::printf("idle %d %s\n", nCalls, strSeen.empty() ? "-" : strSeen.c_str());
  return 0;
}

/// argv after "--", or a failure.
char** CommandAfterDashes(int argc, char** argv, int nFrom) {
  for (int i = nFrom; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0 && i + 1 < argc)
      return argv + i + 1;
  }
  Fail("no command after --");
}

unsigned Number(const char* lpszText) {
  return static_cast<unsigned>(std::strtoul(lpszText, nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  if (argc > 2 && std::strcmp(argv[argc - 1], "--echo-as-program") == 0) {
    g_bEchoAsProgram = true;
    --argc;
  }
  const std::string strMode = argc > 1 ? argv[1] : "";
  if (strMode == "roundtrip" && argc == 6)
    return RoundTrip(Number(argv[2]), Number(argv[3]), Number(argv[4]), Number(argv[5]));
  if (strMode == "rate" && argc == 7)
    return Rates(Number(argv[2]), Number(argv[3]), Number(argv[4]), Number(argv[5]),
                 Number(argv[6]));
  if (strMode == "startup" && argc > 5)
    return Startup(Number(argv[2]), static_cast<int>(Number(argv[3])),
                   CommandAfterDashes(argc, argv, 4));
  if (strMode == "idle" && argc > 6)
    return Idle(Number(argv[2]), static_cast<int>(Number(argv[3])), argv[4],
                CommandAfterDashes(argc, argv, 5));
  std::fprintf(stderr,
               "usage: wire_probe roundtrip PROGRAM_PORT ECHO_PORT COUNT ROUNDS\n"
               "       wire_probe rate PROGRAM_PORT ECHO_PORT COUNT WINDOW ROUNDS\n"
               "       wire_probe startup CONTROL_PORT SETTLE_MS -- COMMAND...\n"
               "       wire_probe idle CONTROL_PORT SECONDS TRACE -- COMMAND...\n");
  return 2;
}
