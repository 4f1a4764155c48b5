// The real executables as child processes of a test: the program, with a settings store of its
// own on the offscreen platform, and the simulated device in headless mode on 127.0.0.2.
#pragma once

#include "TestEvents.h"
#include "TestStore.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>
#include <functional>
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

  /// Writes strStore as the settings file of config, then starts the program with it.
  /// @returns false when it did not start.
  bool Start(const CTempConfig& config, const std::string& strStore) {
    return StartUnder(config, strStore, {});
  }
  /// The same, with the program run by a tool: launcher holds the tool and its arguments, the
  /// program's path follows them.
  bool StartUnder(const CTempConfig& config, const std::string& strStore,
                  const QStringList& launcher) {
    if (launcher.isEmpty())
      return StartCommand(config, strStore, QStringLiteral(MINTORA_EXE), {});
    return StartCommand(config, strStore, launcher.front(),
                        launcher.mid(1) << QStringLiteral(MINTORA_EXE));
  }
  /// The same, with the command line given whole: strProgram (the program, a link to it, or a
  /// tool that runs it) and its arguments.
  bool StartCommand(const CTempConfig& config, const std::string& strStore,
                    const QString& strProgram, const QStringList& arguments) {
    config.Write(strStore);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.Path()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(strProgram, arguments);
    return m_process.waitForStarted(10000);
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
/// lines are collected while the event loop runs, and each is handed to m_onLine as it comes.
class CSimProcess {
public:
  CSimProcess() {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
      while (m_process.canReadLine()) {
        m_lines.push_back(m_process.readLine().trimmed().toStdString());
        if (m_onLine)
          m_onLine(m_lines.back());
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

  std::function<void(const std::string&)> m_onLine;

private:
  QProcess m_process;
  std::vector<std::string> m_lines;
  size_t m_nNext = 0;
};
#endif

}  // namespace testing_support
