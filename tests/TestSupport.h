// Shared pieces of the tests: a private settings store, an application object, a UDP peer that
// plays the interface device on 127.0.0.2, and event-loop pumping.
#pragma once

#include "WinApp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

/// A fresh XDG_CONFIG_HOME for the lifetime of the object.
class CTempConfig {
public:
  CTempConfig() {
    m_strOldValue = qEnvironmentVariable("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
  }
  ~CTempConfig() { qputenv("XDG_CONFIG_HOME", m_strOldValue.toLocal8Bit()); }
  std::string Path() const { return m_dir.path().toStdString(); }
  std::string SettingsFile() const { return Path() + "/Tessaline/Mintora.conf"; }

private:
  QTemporaryDir m_dir;
  QString m_strOldValue;
};

/// A whole file, byte for byte ("" when it cannot be read).
inline std::string ReadWholeFile(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

/// Writes a whole file, making its folder first.
inline void WriteWholeFile(const std::string& strPath, const std::string& strBytes) {
  QDir().mkpath(QFileInfo(QString::fromStdString(strPath)).path());
  std::ofstream(strPath, std::ios::binary) << strBytes;
}

/// An application object whose settings live under Tessaline/Mintora.
class CTestApp : public CWinApp {
public:
  CTestApp() : CWinApp("Mintora") { SetRegistryKey("Tessaline"); }
};

/// Processes events until pred() holds or the time is up. @returns pred().
inline bool PumpUntil(const std::function<bool()>& pred, int nMilliseconds = 3000) {
  QDeadlineTimer deadline(nMilliseconds);
  while (!pred()) {
    if (deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

/// Processes events for a while (to let anything that would arrive, arrive).
inline void PumpFor(int nMilliseconds) {
  PumpUntil([] { return false; }, nMilliseconds);
}

using Bytes = std::vector<unsigned char>;

/// A plain UDP socket bound to address:port, with SO_REUSEADDR unless told otherwise.
class CUdpPeer {
public:
  CUdpPeer(const char* lpszAddress, unsigned nPort, bool bReuse = true) {
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    if (bReuse)
      setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(nPort));
    inet_pton(AF_INET, lpszAddress, &local.sin_addr);
    m_bBound = bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
  }
  ~CUdpPeer() { close(m_fd); }
  CUdpPeer(const CUdpPeer&) = delete;
  CUdpPeer& operator=(const CUdpPeer&) = delete;

  bool IsBound() const { return m_bBound; }

  /// Sends to 127.0.0.1:nPort, where the program's sockets listen on all local addresses.
  void SendTo(unsigned nPort, const Bytes& bytes) { SendTo("127.0.0.1", nPort, bytes); }

  /// Sends to a loopback address (only 127.0.0.0/8 is ever used here).
  void SendTo(const char* lpszAddress, unsigned nPort, const Bytes& bytes) {
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(nPort));
    inet_pton(AF_INET, lpszAddress, &to.sin_addr);
    if ((ntohl(to.sin_addr.s_addr) >> 24) != 127)
      return;
    sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }

  /// Waits for one datagram while the event loop runs; pnFromPort receives the sender's port.
  /// @returns false on time-out.
  bool Receive(Bytes& bytes, int nMilliseconds = 3000, unsigned* pnFromPort = nullptr) {
    bool bGot = false;
    PumpUntil(
        [&] {
          pollfd pfd = {m_fd, POLLIN, 0};
          if (poll(&pfd, 1, 0) <= 0)
            return false;
          unsigned char buffer[2048];
          sockaddr_in from = {};
          socklen_t nFromLength = sizeof from;
          const ssize_t n = recvfrom(m_fd, buffer, sizeof buffer, 0,
                                     reinterpret_cast<sockaddr*>(&from), &nFromLength);
          if (n < 0)
            return false;
          bytes.assign(buffer, buffer + n);
          if (pnFromPort)
            *pnFromPort = ntohs(from.sin_port);
          bGot = true;
          return true;
        },
        nMilliseconds);
    return bGot;
  }

  /// Waits for a datagram other than a header-only tick. @returns false on time-out.
  bool ReceiveNonTick(Bytes& bytes, int nMilliseconds = 3000) {
    QDeadlineTimer deadline(nMilliseconds);
    while (Receive(bytes, static_cast<int>(deadline.remainingTime())))
      if (bytes != Bytes{0x08})
        return true;
    return false;
  }

  /// Every datagram that arrives within the time given.
  std::vector<Bytes> ReceiveAll(int nMilliseconds) {
    std::vector<Bytes> all;
    Bytes bytes;
    QDeadlineTimer deadline(nMilliseconds);
    while (!deadline.hasExpired()) {
      if (Receive(bytes, static_cast<int>(deadline.remainingTime())))
        all.push_back(bytes);
    }
    return all;
  }

private:
  int m_fd = -1;
  bool m_bBound = false;
};

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

  /// Writes strStore as the settings file of config, then starts the program with it.
  /// @returns false when it did not start.
  bool Start(const CTempConfig& config, const std::string& strStore) {
    WriteWholeFile(config.SettingsFile(), strStore);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.Path()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(QStringLiteral(MINTORA_EXE), {});
    return m_process.waitForStarted(5000);
  }
  void Signal(int nSignal) { ::kill(static_cast<pid_t>(m_process.processId()), nSignal); }
  bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
  qint64 Pid() const { return m_process.processId(); }
  /// Waits for the program to end. @returns true when it ended by itself with status 0.
  bool EndsNormally(int nMilliseconds = 15000) {
    return PumpUntil([&] { return !IsRunning(); }, nMilliseconds) &&
           m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
  }

private:
  QProcess m_process;
};
#endif

#ifdef LX5200E_SIM_EXE
/// lx5200e-sim in headless mode on 127.0.0.2, driven through its standard input. Its output
/// lines are collected while the event loop runs.
class CSimProcess {
public:
  CSimProcess() {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
      while (m_process.canReadLine())
        m_lines.push_back(m_process.readLine().trimmed().toStdString());
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

private:
  QProcess m_process;
  std::vector<std::string> m_lines;
  size_t m_nNext = 0;
};
#endif

#ifdef LX5200E_SIM_EXE
/// lx5200e-sim in headless mode, like CSimProcess, whose whole output stays readable in order:
/// for tests that look at what followed what on the wire.
class CSimTraffic {
public:
  static constexpr std::size_t npos = std::string::npos;

  CSimTraffic() {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
      while (m_process.canReadLine())
        m_lines.push_back(m_process.readLine().trimmed().toStdString());
    });
  }
  ~CSimTraffic() {
    if (m_process.state() != QProcess::NotRunning) {
      m_process.closeWriteChannel();  // end of input ends the sim
      if (!m_process.waitForFinished(3000))
        m_process.kill();  // only the process this object started
      m_process.waitForFinished(3000);
    }
  }
  CSimTraffic(const CSimTraffic&) = delete;
  CSimTraffic& operator=(const CSimTraffic&) = delete;

  /// Starts the sim on 127.0.0.2. @returns false when it never got ready.
  bool Start(unsigned nComm, unsigned nControl, int nTickMilliseconds,
             const QStringList& extra = {}) {
    m_process.start(QStringLiteral(LX5200E_SIM_EXE),
                    QStringList{"--headless", "--address", "127.0.0.2", "--comm-port",
                                QString::number(nComm), "--control-port", QString::number(nControl),
                                "--tick-ms", QString::number(nTickMilliseconds)} +
                        extra);
    return Find("READY", 0) != npos;
  }
  void Type(const std::string& strLine) { m_process.write((strLine + "\n").c_str()); }
  /// Waits for a line from nFrom on that starts with strPrefix. @returns its index, or npos.
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
  const std::vector<std::string>& Lines() const { return m_lines; }

private:
  QProcess m_process;
  std::vector<std::string> m_lines;
};
#endif

}  // namespace testing_support
