// The settings store of a test: a private XDG_CONFIG_HOME, the application object that reads it,
// and writers for the store file.
#pragma once

#include "WinApp.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <string>

namespace testing_support {

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

/// A fresh XDG_CONFIG_HOME for the lifetime of the object.
class CTempConfig {
public:
  CTempConfig() {
    m_strOldValue = qEnvironmentVariable("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
  }
  ~CTempConfig() { qputenv("XDG_CONFIG_HOME", m_strOldValue.toLocal8Bit()); }
  CTempConfig(const CTempConfig&) = delete;
  CTempConfig& operator=(const CTempConfig&) = delete;

  std::string Path() const { return m_dir.path().toStdString(); }
  std::string SettingsFile() const { return Path() + "/Tessaline/Mintora.conf"; }
  /// Replaces the whole settings file with strStore.
  void Write(const std::string& strStore) const { WriteWholeFile(SettingsFile(), strStore); }
  std::string Read() const { return ReadWholeFile(SettingsFile()); }

private:
  QTemporaryDir m_dir;
  QString m_strOldValue;
};

/// An application object whose settings live under Tessaline/Mintora.
class CTestApp : public CWinApp {
public:
  CTestApp() : CWinApp("Mintora") { SetRegistryKey("Tessaline"); }
};

/// A store whose [Connection] points the link at a device on 127.0.0.2, communication port nComm
/// and control port nComm + 1; strMore follows (more entries of the section, or more sections).
inline std::string LoopbackStore(unsigned nComm, const std::string& strMore = "") {
  return "[Connection]\nIPAddress=127.0.0.2\nPortCommunication=" + std::to_string(nComm) +
         "\nPortControl=" + std::to_string(nComm + 1) + "\n" + strMore;
}

/// The same three entries, written through the application's profile operations.
inline void StoreLoopbackLink(CWinApp& app, unsigned nComm) {
  app.WriteProfileString("Connection", "IPAddress", "127.0.0.2");
  app.WriteProfileInt("Connection", "PortCommunication", nComm);
  app.WriteProfileInt("Connection", "PortControl", nComm + 1);
}

}  // namespace testing_support
