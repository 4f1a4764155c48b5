// Dial-up through wininet. Its header declares InternetDial and InternetHangUp, which the
// platform API defines itself (Afx.h) so that tests can put a dialer of their own in between;
// the two functions of wininet are therefore reached by name at run time.
#include "Win32.h"

namespace {

using InternetDialFunction = DWORD(WINAPI*)(HWND hwndParent, LPSTR lpszConnectoid, DWORD dwFlags,
                                            DWORD_PTR* lpdwConnection, DWORD dwReserved);
using InternetHangUpFunction = DWORD(WINAPI*)(DWORD_PTR dwConnection, DWORD dwReserved);

class CWininetDialer : public IDialer {
public:
  DWORD Dial(const std::string& strConnectionName, DWORD_PTR* pdwConnection) override {
    if (!Load())
      return m_dwLoadError;
    std::string strName = strConnectionName;  // the function takes a writable text
    DWORD_PTR dwConnection = 0;
    const DWORD dwResult =
        m_pDial(nullptr, strName.data(), INTERNET_AUTODIAL_FORCE_ONLINE, &dwConnection, 0);
    *pdwConnection = dwConnection;
    return dwResult;
  }

  DWORD HangUp(DWORD_PTR dwConnection) override {
    if (!Load())
      return m_dwLoadError;
    return m_pHangUp(dwConnection, 0);
  }

private:
  /// Loads wininet once. @returns false (m_dwLoadError says why) when it or a function is missing.
  bool Load() {
    if (m_pDial && m_pHangUp)
      return true;
    if (m_dwLoadError != 0)
      return false;
    HMODULE hWininet = LoadLibraryA("wininet.dll");
    if (hWininet) {
      m_pDial = reinterpret_cast<InternetDialFunction>(
          reinterpret_cast<void*>(GetProcAddress(hWininet, "InternetDialA")));
      m_pHangUp = reinterpret_cast<InternetHangUpFunction>(
          reinterpret_cast<void*>(GetProcAddress(hWininet, "InternetHangUp")));
    }
    if (m_pDial && m_pHangUp)
      return true;
    m_dwLoadError = GetLastError();
    if (m_dwLoadError == 0)
      m_dwLoadError = ERROR_PROC_NOT_FOUND;
    return false;
  }

  InternetDialFunction m_pDial = nullptr;
  InternetHangUpFunction m_pHangUp = nullptr;
  DWORD m_dwLoadError = 0;
};

}  // namespace

IDialer& AfxGetPlatformDialer() {
  static CWininetDialer dialer;
  return dialer;
}
