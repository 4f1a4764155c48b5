// The measuring end of the whole-process benchmarks. It plays the interface device on 127.0.0.2 and
// measures, from the wire, what a program on the same host costs:
//
//   wire_probe roundtrip|rate ... --echo-as-program
//       As below, with an echo in place of the program, to check the measurement itself.
//   wire_probe roundtrip PROGRAM_PORT ECHO_PORT COUNT ROUNDS [PAIRS]
//       COUNT x ROUNDS round trips of one tick each to Mintora (first brought into SetupQuery,
//       where every tick is answered by SETUP) and to a plain UDP echo, alternating trip by trip.
//       Prints: roundtrip program|echo <median ns> <p99 ns> <samples> <lost>; writes the pairs
//       of trips (program ns, echo ns) to the file PAIRS.
//   wire_probe rate PROGRAM_PORT ECHO_PORT COUNT WINDOW ROUNDS [PAIRS]
//       Datagrams answered per second with WINDOW (1..64) of them in flight, well inside the socket
//       buffers, so none may be lost. Prints: rate program|echo <per second, median> <lost>;
//       writes one pair of rates per round to PAIRS.
//   wire_probe verdict QUANTILE <=|>= GOAL [BLOCK] < PAIRS
//       Judges the ratio of the two sides' QUANTILE against GOAL, with its noise band (see
//       Verdict below).
//   wire_probe startup CONTROL_PORT SETTLE_MS -- COMMAND...
//       Starts COMMAND, times exec to the first control datagram 08 03 0B on CONTROL_PORT, lets it
//       run SETTLE_MS more, ends it with SIGTERM and reads its peak resident memory and the CPU
//       time it used in all. Prints: startup <ns> <peak KiB> <CPU ns>
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
#include <tuple>
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

/// Warms both ends up: nCount trips, not timed.
void Ping(CDevicePort& port, unsigned nCount) {
  Bytes reply;
  for (unsigned i = 0; i < nCount; ++i) {
    port.Send(kTick);
    port.Receive(reply, 1000);
  }
}

/// One round trip. @returns its time, or -1 when the answer was lost or wrong.
std::int64_t Trip(CDevicePort& port, const Bytes& expected) {
  Bytes reply;
  const std::int64_t nStart = NowNs();
  port.Send(kTick);
  if (!port.Receive(reply, 1000) || reply != expected)
    return -1;
  return NowNs() - nStart;
}

std::int64_t Percentile(std::vector<std::int64_t> values, double fFraction) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  const size_t i = std::min(values.size() - 1,
                            static_cast<size_t>(fFraction * static_cast<double>(values.size())));
  return values[i];
}

/// The two sides alternate trip by trip, the one that goes first changing each pair, so that any
/// slow spell of the machine longer than two round trips lands on both alike. Writes the pairs
/// (program ns, echo ns) to strPairs, for the verdict's noise band; a pair with a lost answer is
/// left out and counted.
int RoundTrip(unsigned nProgramPort, unsigned nEchoPort, unsigned nCount, unsigned nRounds,
              const std::string& strPairs) {
  CDevicePort program(nProgramPort);
  CDevicePort echo(nEchoPort);
  BringIntoSetupQuery(program);
  const Bytes& answer = g_bEchoAsProgram ? kTick : kSetup;
  Ping(program, 200);
  Ping(echo, 200);
  std::vector<std::int64_t> programSamples;
  std::vector<std::int64_t> echoSamples;
  unsigned nProgramLost = 0;
  unsigned nEchoLost = 0;
  const unsigned nPairs = nCount * nRounds;
  // What a program does after it has answered (a look for more datagrams, a turn through its
  // event loop) must not land on the other side's trip, which would start at once on the same
  // CPU: each trip waits this long first (WIRE_PROBE_GAP_US, microseconds).
  const char* lpszGap = std::getenv("WIRE_PROBE_GAP_US");
  const timespec gap = {0, lpszGap ? std::atol(lpszGap) * 1000 : 0};
  auto trip = [&gap](CDevicePort& port, const Bytes& expected) {
    if (gap.tv_nsec > 0)
      nanosleep(&gap, nullptr);
    return Trip(port, expected);
  };
  for (unsigned i = 0; i < nPairs; ++i) {
    std::int64_t nProgram = 0;
    std::int64_t nEcho = 0;
    if (i % 2 == 0) {
      nProgram = trip(program, answer);
      nEcho = trip(echo, kTick);
    } else {
      nEcho = trip(echo, kTick);
      nProgram = trip(program, answer);
    }
    nProgramLost += nProgram < 0;
    nEchoLost += nEcho < 0;
    if (nProgram >= 0 && nEcho >= 0) {
      programSamples.push_back(nProgram);
      echoSamples.push_back(nEcho);
    }
  }
  if (!strPairs.empty()) {
    std::ofstream file(strPairs);
    for (size_t i = 0; i < programSamples.size(); ++i)
      file << programSamples[i] << ' ' << echoSamples[i] << '\n';
  }
  for (const auto& [lpszName, pSamples, nLost] :
       {std::tuple{"program", &programSamples, nProgramLost},
        std::tuple{"echo", &echoSamples, nEchoLost}}) {
    std::printf("roundtrip %s %lld %lld %zu %u\n", lpszName,
                static_cast<long long>(Percentile(*pSamples, 0.5)),
                static_cast<long long>(Percentile(*pSamples, 0.99)), pSamples->size(), nLost);
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

/// Rounds alternate who streams first. Writes one pair per round (program, echo, per second) to
/// strPairs, for the verdict's noise band.
int Rates(unsigned nProgramPort, unsigned nEchoPort, unsigned nCount, unsigned nWindow,
          unsigned nRounds, const std::string& strPairs) {
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
    Rate echoRate;
    Rate programRate;
    if (nRound % 2 == 0) {
      echoRate = Stream(echo, nCount, nWindow);
      programRate = Stream(program, nCount, nWindow);
    } else {
      programRate = Stream(program, nCount, nWindow);
      echoRate = Stream(echo, nCount, nWindow);
    }
    echoRates.push_back(echoRate.fPerSecond);
    programRates.push_back(programRate.fPerSecond);
    nEchoLost += echoRate.nLost;
    nProgramLost += programRate.nLost;
  }
  if (!strPairs.empty()) {
    std::ofstream file(strPairs);
    for (size_t i = 0; i < programRates.size(); ++i)
      file << programRates[i] << ' ' << echoRates[i] << '\n';
  }
  std::sort(programRates.begin(), programRates.end());
  std::sort(echoRates.begin(), echoRates.end());
  std::printf("rate program %.0f %u\n", programRates[programRates.size() / 2], nProgramLost);
  std::printf("rate echo %.0f %u\n", echoRates[echoRates.size() / 2], nEchoLost);
  return 0;
}

/// The value below which the fraction fFraction of the sorted values lie (nearest rank).
double Quantile(const std::vector<double>& sorted, double fFraction) {
  const size_t i = std::min(sorted.size() - 1,
                            static_cast<size_t>(fFraction * static_cast<double>(sorted.size())));
  return sorted[i];
}

/// Judges a figure from pairs "program baseline" read from standard input, one pair per line, in
/// the order they were taken. The figure is the ratio of the two sides' quantile (0.5: median;
/// 0.99: 99th percentile). Its noise band is the middle 95 % of the same ratio over 2000
/// resamplings of the pairs in runs of nBlock consecutive ones (a moving-block bootstrap: a slow
/// spell of the machine spans neighbouring pairs, and resampling whole runs keeps that). The
/// verdict is "met" or "not-met" only when the whole band lies on one side of the goal, and
/// "within-noise" otherwise. Prints:
///   verdict <min> <median> <max> <quantile> of the program, the same four of the baseline,
///           <ratio> <band low> <band high> <pairs> <met|not-met|within-noise>
int Verdict(double fQuantile, const std::string& strOp, double fLimit, size_t nBlock) {
  std::vector<double> program;
  std::vector<double> baseline;
  for (double a = 0, b = 0; std::scanf("%lf %lf", &a, &b) == 2;) {
    program.push_back(a);
    baseline.push_back(b);
  }
  if (program.empty())
    Fail("verdict: no pairs on standard input");
  if (strOp != "<=" && strOp != ">=")
    Fail("verdict: the goal is <= or >=");
  const size_t nPairs = program.size();
  nBlock = std::clamp<size_t>(nBlock, 1, nPairs);
  auto ratioOf = [fQuantile](std::vector<double> a, std::vector<double> b) {
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    const double fBase = Quantile(b, fQuantile);
    return fBase > 0 ? Quantile(a, fQuantile) / fBase : 0.0;
  };
  // A fixed seed: the same pairs give the same band.
  std::uint64_t nState = 0x9E3779B97F4A7C15u;
  auto next = [&nState](size_t nBound) {
    nState ^= nState << 13;
    nState ^= nState >> 7;
    nState ^= nState << 17;
    return static_cast<size_t>(nState % nBound);
  };
  std::vector<double> ratios;
  std::vector<double> a;
  std::vector<double> b;
  for (int nResample = 0; nResample < 2000; ++nResample) {
    a.clear();
    b.clear();
    while (a.size() < nPairs) {
      const size_t nFrom = next(nPairs - nBlock + 1);
      for (size_t i = nFrom; i < nFrom + nBlock && a.size() < nPairs; ++i) {
        a.push_back(program[i]);
        b.push_back(baseline[i]);
      }
    }
    ratios.push_back(ratioOf(a, b));
  }
  std::sort(ratios.begin(), ratios.end());
  const double fLow = Quantile(ratios, 0.025);
  const double fHigh = Quantile(ratios, 0.975);
  const bool bLess = strOp == "<=";
  const char* lpszVerdict = "within-noise";
  if (bLess ? fHigh <= fLimit : fLow >= fLimit)
    lpszVerdict = "met";
  else if (bLess ? fLow > fLimit : fHigh < fLimit)
    lpszVerdict = "not-met";
  std::printf("verdict");
  for (std::vector<double>* pSide : {&program, &baseline}) {
    std::vector<double> sorted = *pSide;
    std::sort(sorted.begin(), sorted.end());
    std::printf(" %g %g %g %g", sorted.front(), Quantile(sorted, 0.5), sorted.back(),
                Quantile(sorted, fQuantile));
  }
  std::printf(" %.4f %.4f %.4f %zu %s\n", ratioOf(program, baseline), fLow, fHigh, nPairs,
              lpszVerdict);
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
  const bool bOpened = WaitForOpenCode(control, pid, 60000);
  const std::int64_t nElapsed = NowNs() - nStart;
  if (bOpened)
    usleep(static_cast<useconds_t>(nSettleMs) * 1000);
  kill(pid, SIGTERM);
  int nStatus = 0;
  rusage usage{};
  wait4(pid, &nStatus, 0, &usage);
  if (!bOpened)
    Fail(std::string(argv[0]) + " sent no open code");
  const auto cpuNs = [](const timeval& tv) {
    return std::int64_t{tv.tv_sec} * 1000000000 + std::int64_t{tv.tv_usec} * 1000;
  };
  std::printf("startup %lld %ld %lld\n", static_cast<long long>(nElapsed), usage.ru_maxrss,
              static_cast<long long>(cpuNs(usage.ru_utime) + cpuNs(usage.ru_stime)));
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
  if (strMode == "roundtrip" && (argc == 6 || argc == 7))
    return RoundTrip(Number(argv[2]), Number(argv[3]), Number(argv[4]), Number(argv[5]),
                     argc == 7 ? argv[6] : "");
  if (strMode == "rate" && (argc == 7 || argc == 8))
    return Rates(Number(argv[2]), Number(argv[3]), Number(argv[4]), Number(argv[5]),
                 Number(argv[6]), argc == 8 ? argv[7] : "");
  if (strMode == "verdict" && (argc == 5 || argc == 6))
    return Verdict(std::strtod(argv[2], nullptr), argv[3], std::strtod(argv[4], nullptr),
                   argc == 6 ? Number(argv[5]) : 1);
  if (strMode == "startup" && argc > 5)
    return Startup(Number(argv[2]), static_cast<int>(Number(argv[3])),
                   CommandAfterDashes(argc, argv, 4));
  if (strMode == "idle" && argc > 6)
    return Idle(Number(argv[2]), static_cast<int>(Number(argv[3])), argv[4],
                CommandAfterDashes(argc, argv, 5));
  std::fprintf(stderr,
               "usage: wire_probe roundtrip PROGRAM_PORT ECHO_PORT COUNT ROUNDS [PAIRS]\n"
               "       wire_probe rate PROGRAM_PORT ECHO_PORT COUNT WINDOW ROUNDS [PAIRS]\n"
               "       wire_probe verdict QUANTILE <=|>= GOAL [BLOCK] < PAIRS\n"
               "       wire_probe startup CONTROL_PORT SETTLE_MS -- COMMAND...\n"
               "       wire_probe idle CONTROL_PORT SECONDS TRACE -- COMMAND...\n");
  return 2;
}
