// Stand-ins for the settings, socket and dial-up functions until their Windows implementation
// lands; the settings are read from the registry location they will use, nothing is written and
// no socket is opened.
#include "AsyncSocket.h"
#include "Win32.h"
#include "WinApp.h"

namespace {

std::string SectionKey(const CWinApp& app, const char* lpszSection) {
  return "Software\\" + app.m_strRegistryKey + "\\" + app.m_strAppName + "\\" + lpszSection;
}

class CNoDialer : public IDialer {
public:
  DWORD Dial(const std::string&, DWORD_PTR* pdwConnection) override {
    *pdwConnection = 0;
    return ERROR_NOT_SUPPORTED;
  }
  DWORD HangUp(DWORD_PTR) override { return 0; }
};

}  // namespace

void CWinApp::SetRegistryKey(const char* lpszRegistryKey) {
  m_strRegistryKey = lpszRegistryKey ? lpszRegistryKey : "";
}

void CWinApp::LoadStdProfileSettings(UINT) { m_bStdProfileLoaded = true; }

UINT CWinApp::GetProfileInt(const char* lpszSection, const char* lpszEntry, UINT nDefault) {
  DWORD dwValue = 0;
  DWORD cbValue = sizeof dwValue;
  if (RegGetValueA(HKEY_CURRENT_USER, SectionKey(*this, lpszSection).c_str(), lpszEntry,
                   RRF_RT_REG_DWORD, nullptr, &dwValue, &cbValue) != ERROR_SUCCESS)
    return nDefault;
  return dwValue;
}

std::string CWinApp::GetProfileString(const char* lpszSection, const char* lpszEntry,
                                      const char* lpszDefault) {
  char szValue[256] = {};
  DWORD cbValue = sizeof szValue;
  if (RegGetValueA(HKEY_CURRENT_USER, SectionKey(*this, lpszSection).c_str(), lpszEntry,
                   RRF_RT_REG_SZ, nullptr, szValue, &cbValue) != ERROR_SUCCESS)
    return lpszDefault ? lpszDefault : "";
  return szValue;
}

bool CWinApp::WriteProfileInt(const char*, const char*, UINT) { return false; }

bool CWinApp::WriteProfileString(const char*, const char*, const char*) { return false; }

std::string CWinApp::GetProfilePath() const {
  return "HKEY_CURRENT_USER\\Software\\" + m_strRegistryKey + "\\" + m_strAppName;
}

bool AfxSocketInit() { return true; }

IDialer& AfxGetPlatformDialer() {
  static CNoDialer dialer;
  return dialer;
}

CAsyncSocket::~CAsyncSocket() = default;

bool CAsyncSocket::Create(UINT, int, long, const char*) {
  SetLastError(WSAENETDOWN);
  return false;
}

bool CAsyncSocket::Connect(const char*, UINT) {
  SetLastError(WSAENOTSOCK);
  return false;
}

int CAsyncSocket::ReceiveFrom(void*, int, std::string&, UINT&, int) { return -1; }

int CAsyncSocket::Send(const void*, int, int) { return -1; }

void CAsyncSocket::Close() {}

void CAsyncSocket::OnReceive(int) {}
