#include "Afx.h"

namespace {

IDialer* g_pDialer = nullptr;  ///< null: the platform's own

IDialer& CurrentDialer() { return g_pDialer ? *g_pDialer : AfxGetPlatformDialer(); }

}  // namespace

void AfxSetDialer(IDialer* pDialer) { g_pDialer = pDialer; }

DWORD InternetDial(HWND, const char* lpszConnectoid, DWORD, DWORD_PTR* lpdwConnection, DWORD) {
  return CurrentDialer().Dial(lpszConnectoid ? lpszConnectoid : "", lpdwConnection);
}

DWORD InternetHangUp(DWORD_PTR dwConnection, DWORD) { return CurrentDialer().HangUp(dwConnection); }
