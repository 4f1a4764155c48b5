// The harness of the Windows implementation's own tests: a message pump, a UDP peer on the
// loopback range made with Winsock, and an application object whose settings live in a registry
// key of the running test's own.
#pragma once

#include "Win32.h"
#include "WinApp.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_win32 {

using Bytes = std::vector<unsigned char>;

/// Dispatches this thread's messages until pred() holds or the time is up. @returns pred().
inline bool PumpUntil(const std::function<bool()>& pred, DWORD nMilliseconds = 3000) {
  const ULONGLONG nDeadline = GetTickCount64() + nMilliseconds;
  while (!pred()) {
    MSG msg;
    bool bAny = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      bAny = true;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (pred())
        return true;
    }
    const ULONGLONG nNow = GetTickCount64();
    if (nNow >= nDeadline)
      return pred();
    if (!bAny)
      MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                static_cast<DWORD>(std::min<ULONGLONG>(10, nDeadline - nNow)),
                                QS_ALLINPUT);
  }
  return true;
}

/// A plain UDP socket bound to address:port (with SO_REUSEADDR unless told otherwise) that plays
/// the device or a stranger. Only 127.0.0.0/8 is ever sent to.
class CUdpPeer {
public:
  CUdpPeer(const char* lpszAddress, unsigned nPort, bool bReuse = true) {
    m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const BOOL bOn = TRUE;
    if (bReuse)
      setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&bOn),
                 sizeof bOn);
    const sockaddr_in local = Address(lpszAddress, nPort);
    m_bBound = bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    u_long nNonBlocking = 1;
    ioctlsocket(m_socket, FIONBIO, &nNonBlocking);
  }
  ~CUdpPeer() { closesocket(m_socket); }
  CUdpPeer(const CUdpPeer&) = delete;
  CUdpPeer& operator=(const CUdpPeer&) = delete;

  bool IsBound() const { return m_bBound; }

  /// Sends to a loopback address (127.0.0.1 unless told).
  void SendTo(unsigned nPort, const Bytes& bytes, const char* lpszAddress = "127.0.0.1") {
    const sockaddr_in to = Address(lpszAddress, nPort);
    if (ntohl(to.sin_addr.s_addr) >> 24 == 127)
      sendto(m_socket, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
             0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

  /// Waits for one datagram while the message loop runs; pnFromPort receives the sender's port.
  /// @returns false on time-out.
  bool Receive(Bytes& bytes, unsigned* pnFromPort = nullptr) {
    return PumpUntil([&] {
      char buffer[2048];
      sockaddr_in from = {};
      int nFromLength = sizeof from;
      const int n = recvfrom(m_socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                             &nFromLength);
      if (n < 0)
        return false;
      bytes.assign(buffer, buffer + n);
      if (pnFromPort)
        *pnFromPort = ntohs(from.sin_port);
      return true;
    });
  }

private:
  static sockaddr_in Address(const char* lpszAddress, unsigned nPort) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(nPort));
    inet_pton(AF_INET, lpszAddress, &address.sin_addr);
    return address;
  }

  SOCKET m_socket = INVALID_SOCKET;
  bool m_bBound = false;
};

/// The running test's name, fit to be a registry key name.
inline std::string CurrentTestName() {
  const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string strName = std::string(pInfo->test_suite_name()) + "." + pInfo->name();
  for (char& c : strName)
    if (c == '/' || c == '\\')
      c = '_';
  return strName;
}

/// An application object whose settings live under HKEY_CURRENT_USER\Software\Tessaline\<the
/// test's own name>, which is empty when the test begins and removed when it ends.
class CRegistryApp : public CWinApp {
public:
  CRegistryApp() : CWinApp(CurrentTestName().c_str()) {
    SetRegistryKey("Tessaline");
    RegDeleteTreeA(HKEY_CURRENT_USER, Key().c_str());
  }
  ~CRegistryApp() override { RegDeleteTreeA(HKEY_CURRENT_USER, Key().c_str()); }

  /// The application's key below HKEY_CURRENT_USER, or one of its sections.
  std::string Key(const std::string& strSection = "") const {
    const std::string strKey = "Software\\Tessaline\\" + m_strAppName;
    return strSection.empty() ? strKey : strKey + "\\" + strSection;
  }
};

}  // namespace testing_win32
