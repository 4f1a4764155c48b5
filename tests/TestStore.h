// The settings store of a test: a store of the process's own (the platform's sandbox), the
// application object that reads it, and writers for it. Where the store is differs: on Linux a
// file in a private $XDG_CONFIG_HOME, on Windows a private key in place of HKEY_CURRENT_USER.
#pragma once

#include "ProfileSandbox.h"
#include "WinApp.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace testing_support {

/// The device's address in the tests' stores. Wine cannot bind it alone (it binds all addresses
/// instead), so there the device's peers are sockets of udp-relay's (TestUdp.h).
constexpr const char* kDeviceAddress = "127.0.0.2";

/// A whole file, byte for byte ("" when it cannot be read).
inline std::string ReadWholeFile(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

/// Writes a whole file, making its folder first.
inline void WriteWholeFile(const std::string& strPath, const std::string& strBytes) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(strPath).parent_path(), error);
  std::ofstream(strPath, std::ios::binary) << strBytes;
}

/// A fresh, empty folder for the lifetime of the object.
class CTempDir {
public:
  CTempDir() {
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int nTry = 0; nTry < 100 && m_strPath.empty(); ++nTry) {
      const std::filesystem::path path = base / ("mintora-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(path))
        m_strPath = path.generic_string();
    }
  }
  ~CTempDir() {
    std::error_code error;
    if (!m_strPath.empty())
      std::filesystem::remove_all(m_strPath, error);
  }
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  /// The folder, "" when none could be made.
  const std::string& Path() const { return m_strPath; }

private:
  std::string m_strPath;
};

/// A store of the process's own for the lifetime of the object (CProfileSandbox). A test whose
/// store cannot be its own fails: it would read and write the user's.
class CTempConfig {
public:
  CTempConfig() {
    EXPECT_FALSE(m_sandbox.GetRoot().empty()) << "no settings store of the test's own";
  }

  /// The folder that stands for $XDG_CONFIG_HOME, or the key that stands for HKEY_CURRENT_USER.
  std::string Path() const { return m_sandbox.GetRoot(); }
  /// The program's settings file (Linux).
  std::string SettingsFile() const { return Path() + "/Tessaline/Mintora.conf"; }
  /// Replaces the whole settings file with strStore (Linux).
  void Write(const std::string& strStore) const { WriteWholeFile(SettingsFile(), strStore); }
  std::string Read() const { return ReadWholeFile(SettingsFile()); }

private:
  CProfileSandbox m_sandbox;
};

/// An application object whose settings live under Tessaline/Mintora.
class CTestApp : public CWinApp {
public:
  CTestApp() : CWinApp("Mintora") { SetRegistryKey("Tessaline"); }
};

/// A store whose [Connection] points the link at the device (kDeviceAddress), communication port
/// nComm and control port nComm + 1; strMore follows (more entries of the section, or more
/// sections). As a settings file's text (Linux).
inline std::string LoopbackStore(unsigned nComm, const std::string& strMore = "") {
  return "[Connection]\nIPAddress=" + std::string(kDeviceAddress) +
         "\nPortCommunication=" + std::to_string(nComm) +
         "\nPortControl=" + std::to_string(nComm + 1) + "\n" + strMore;
}

/// The same three entries, written through the application's profile operations (both
/// platforms).
inline void StoreLoopbackLink(CWinApp& app, unsigned nComm) {
  app.WriteProfileString("Connection", "IPAddress", kDeviceAddress);
  app.WriteProfileInt("Connection", "PortCommunication", nComm);
  app.WriteProfileInt("Connection", "PortControl", nComm + 1);
}

}  // namespace testing_support
