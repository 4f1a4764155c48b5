#include "Win32.h"

bool AfxSocketInit() {
  WSADATA data;
  const int nError = WSAStartup(MAKEWORD(2, 2), &data);
  if (nError != 0) {
    SetLastError(static_cast<DWORD>(nError));
    return false;
  }
  if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
    WSACleanup();
    SetLastError(WSAVERNOTSUPPORTED);
    return false;
  }
  return true;
}
