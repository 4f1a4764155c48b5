// The real executables as child processes of a test: the program, with a settings store of its
// own on the offscreen platform, and the simulated device in headless mode on 127.0.0.2.
#pragma once

#include "TestEvents.h"
#include "TestPorts.h"
#include "TestStore.h"
#include "TestUdp.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <array>
#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

#ifdef MINTORA_EXE
/// The real Mintora executable on the offscreen platform, with a settings store of its own.
class CMintoraProcess {
public:
  ~CMintoraProcess() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.kill();  // only the process this object started
      m_process.waitForFinished(5000);
    }
  }

  /// Writes strStore as the settings file of config, then starts the program with it: the
  /// command line is the program's path unless given whole (the program, a link to it, or a
  /// tool that runs it, then the arguments). @returns false when it did not start.
  bool Start(const CTempConfig& config, const std::string& strStore,
             const QStringList& command = {QStringLiteral(MINTORA_EXE)}) {
    config.Write(strStore);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.Path()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(command.front(), command.mid(1));
    return m_process.waitForStarted(10000);
  }
  /// Sends a signal once the program catches the termination signals, so that an early one is
  /// not taken by the default action, however slowly the program starts.
  void Signal(int nSignal) {
    PumpUntil([&] { return CatchesTerminationSignals(); }, 15000);
    ::kill(static_cast<pid_t>(m_process.processId()), nSignal);
  }
  /// @returns true when SIGTERM, SIGINT and SIGHUP have handlers (SigCgt in /proc/<pid>/status).
  bool CatchesTerminationSignals() const {
    const std::string strStatus = ReadWholeFile(ProcPath("status"));
    const std::size_t nAt = strStatus.find("SigCgt:");
    if (nAt == std::string::npos)
      return false;
    const unsigned long long nCaught = std::stoull(strStatus.substr(nAt + 7), nullptr, 16);
    const unsigned long long nNeeded =
        (1ull << (SIGTERM - 1)) | (1ull << (SIGINT - 1)) | (1ull << (SIGHUP - 1));
    return (nCaught & nNeeded) == nNeeded;
  }
  /// @returns true while the program's main thread sleeps in its event loop's wait. Once this
  /// holds and its sockets hold nothing unread, it has handled every datagram sent to it and
  /// sent all it had to say in reply.
  bool IsWaitingForEvents() const {
    const std::string strStat = ReadWholeFile(ProcPath("stat"));
    const std::size_t nAfterName = strStat.rfind(')');
    if (nAfterName == std::string::npos || strStat.compare(nAfterName, 4, ") S ") != 0)
      return false;
    // Where the kernel does not name the wait ("0"), sleeping has to do.
    const std::string strWait = ReadWholeFile(ProcPath("wchan"));
    return strWait == "0" || strWait.find("poll") != std::string::npos;
  }
  bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
  qint64 Pid() const { return m_process.processId(); }
  /// Waits for the program to end. @returns true when it ended by itself with status 0.
  bool EndsNormally(int nMilliseconds = 15000) {
    return PumpUntil([&] { return !IsRunning(); }, nMilliseconds) &&
           m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
  }

private:
  std::string ProcPath(const char* lpszFile) const {
    return "/proc/" + std::to_string(m_process.processId()) + "/" + lpszFile;
  }

  QProcess m_process;
};

/// The program's link at work, with comm and control playing the device's ports: control codes
/// 11 and 18 as it opens, RESET on the 12th tick from the device, and code 0 once nSignal has
/// ended the program, normally. @returns "" when all of it came, else the first step that did not.
inline std::string DrivesTheDeviceUntil(int nSignal, CMintoraProcess& program, CUdpPeer& comm,
                                        CUdpPeer& control, unsigned nComm) {
  Bytes received;
  if (!control.Receive(received, 15000) || received != Bytes{0x08, 0x03, 0x0B})
    return "no control code 11 as it opened";
  if (!control.Receive(received) || received != Bytes{0x08, 0x03, 0x12})
    return "no control code 18 as it opened";
  for (int i = 0; i < 12; ++i)
    comm.SendTo(nComm, Bytes{0x08});
  if (!comm.Receive(received) || received != Bytes{0x08})
    return "no RESET on the 12th tick";
  program.Signal(nSignal);
  if (!control.Receive(received, 10000) || received != Bytes{0x08, 0x03, 0x00})
    return "no control code 0 at its end";
  return program.EndsNormally() ? "" : "it did not end normally";
}
#endif

/// Processes that do nothing but burn the processor, as a loaded machine has beside the program.
/// Each is ended by its own PID when the object goes.
class CBusyLoops {
public:
  explicit CBusyLoops(unsigned nCount) {
    for (unsigned n = 0; n < nCount; ++n) {
      m_loops.push_back(std::make_unique<QProcess>());
      m_loops.back()->start(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
    }
  }
  ~CBusyLoops() {
    for (const auto& pLoop : m_loops) {
      if (pLoop->processId() > 0)
        ::kill(static_cast<pid_t>(pLoop->processId()), SIGKILL);
      pLoop->waitForFinished(5000);
    }
  }
  CBusyLoops(const CBusyLoops&) = delete;
  CBusyLoops& operator=(const CBusyLoops&) = delete;

  /// @returns true when every loop runs.
  bool AllRunning() const {
    for (const auto& pLoop : m_loops)
      if (!pLoop->waitForStarted(5000) || pLoop->state() != QProcess::Running)
        return false;
    return true;
  }

private:
  std::vector<std::unique_ptr<QProcess>> m_loops;
};

/// The device's side of the money, counted from lx5200e-sim's log lines alone, one line at a time
/// as they come: the coin reports it sent and the payouts it was asked for. Money in hundredths.
struct SimLedger {
  std::array<unsigned, 16> m_coinValue = {};  ///< from the SETUP answer sent
  unsigned m_nScaling = 0;                    ///< from the SETUP answer sent
  unsigned m_nDeposits = 0;                   ///< coin reports sent with their header intact
  std::uint64_t m_nDeposited = 0;             ///< ... and their worth
  std::vector<unsigned> m_paidUnits;          ///< the byte of each EXPANSION PAYOUT received
  std::uint64_t m_nPaid = 0;                  ///< their units times the scaling factor
  std::uint64_t m_nSent = 0;                  ///< datagrams sent to the PC's communication port
  std::string m_strAcceptMask;                ///< of the last COIN TYPE received ("003F")

  void OnLine(const std::string& strLine) {
    std::istringstream in(strLine);
    std::vector<std::string> words;
    for (std::string strWord; in >> strWord;)
      words.push_back(strWord);
    if (words.size() >= 3 && words[0] == "ENABLED")
      m_strAcceptMask = words[2];
    if (words.size() < 3 || words[1] != "COMM" || (words[0] != "TX" && words[0] != "RX"))
      return;
    const bool bToPc = words[0] == "TX";
    const std::size_t nLength = std::stoul(words[2]);
    m_nSent += bToPc;
    if (nLength == 0 || nLength > 64 || words.size() < 3 + nLength)
      return;
    std::vector<unsigned> bytes;
    for (std::size_t i = 0; i < nLength; ++i)
      bytes.push_back(static_cast<unsigned>(std::stoul(words[3 + i], nullptr, 16)));
    const std::string strName = words.size() > 3 + nLength ? words[3 + nLength] : "";
    if (!bToPc) {
      if (nLength == 3 && bytes[0] == 0x0F && bytes[1] == 0x02) {
        m_paidUnits.push_back(bytes[2]);
        m_nPaid += std::uint64_t{bytes[2]} * m_nScaling;
      }
      return;
    }
    if ((bytes[0] & 0xF8) != 0x08)
      return;  // a spoiled header: the PC drops it
    if (strName == "SETUP" && nLength == 24) {
      m_nScaling = bytes[4];
      for (unsigned n = 0; n < 16; ++n)
        m_coinValue[n] = bytes[8 + n] * m_nScaling;
    }
    if (strName == "DEPOSIT" && nLength >= 2) {
      ++m_nDeposits;
      m_nDeposited += m_coinValue[bytes[1] & 0x0F];
    }
  }
};

#ifdef LX5200E_SIM_EXE
/// lx5200e-sim in headless mode on 127.0.0.2, driven through its standard input. Its output
/// lines are collected while the event loop runs.
class CSimProcess {
public:
  CSimProcess() {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
      while (m_process.canReadLine()) {
        m_lines.push_back(m_process.readLine().trimmed().toStdString());
        m_ledger.OnLine(m_lines.back());
      }
    });
  }
  ~CSimProcess() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.closeWriteChannel();  // end of input ends the sim
      if (!m_process.waitForFinished(3000))
        m_process.kill();  // only the process this object started
      m_process.waitForFinished(3000);
    }
  }
  CSimProcess(const CSimProcess&) = delete;
  CSimProcess& operator=(const CSimProcess&) = delete;

  /// Starts the sim with the given ports and tick cadence. @returns false when it never got ready.
  bool Start(unsigned nComm, unsigned nControl, int nTickMilliseconds,
             const QStringList& extra = {}) {
    m_process.start(QStringLiteral(LX5200E_SIM_EXE),
                    QStringList{"--headless", "--address", "127.0.0.2", "--comm-port",
                                QString::number(nComm), "--control-port", QString::number(nControl),
                                "--tick-ms", QString::number(nTickMilliseconds)} +
                        extra);
    return WaitFor("READY 127.0.0.2 comm " + std::to_string(nComm) + " control " +
                   std::to_string(nControl));
  }
  void Type(const std::string& strLine) { m_process.write((strLine + "\n").c_str()); }
  /// Waits for an output line that starts with strPrefix, after the lines already matched.
  bool WaitFor(const std::string& strPrefix, int nMilliseconds = 10000) {
    return PumpUntil(
        [&] {
          for (; m_nNext < m_lines.size(); ++m_nNext) {
            if (m_lines[m_nNext].rfind(strPrefix, 0) == 0) {
              ++m_nNext;
              return true;
            }
          }
          return false;
        },
        nMilliseconds);
  }
  QProcess& Process() { return m_process; }

  static constexpr std::size_t npos = std::string::npos;
  /// Waits for a line from index nFrom on that starts with strPrefix. @returns its index, or npos.
  std::size_t Find(const std::string& strPrefix, std::size_t nFrom, int nMilliseconds = 10000) {
    std::size_t nFound = npos;
    PumpUntil(
        [&] {
          for (std::size_t i = nFrom; i < m_lines.size(); ++i) {
            if (m_lines[i].rfind(strPrefix, 0) == 0) {
              nFound = i;
              return true;
            }
          }
          return false;
        },
        nMilliseconds);
    return nFound;
  }
  /// Every line the sim wrote so far, in order.
  const std::vector<std::string>& Lines() const { return m_lines; }
  /// What those lines say about money.
  const SimLedger& Ledger() const { return m_ledger; }

private:
  QProcess m_process;
  std::vector<std::string> m_lines;
  SimLedger m_ledger;
  size_t m_nNext = 0;
};
#endif

}  // namespace testing_support
