// What a socket does the same way on every platform: the order of the steps that open it, and the
// delivery of its read readiness.
#include "AsyncSocket.h"

#include <vector>

namespace {

/// Datagrams delivered in one go while more keep waiting; then the event loop gets its turn, so
/// a device that floods the socket cannot freeze the windows.
constexpr int kMaxDatagramsPerWakeUp = 64;

}  // namespace

void CAsyncSocket::DeliverReadiness() {
  // Datagrams that queued up while one was handled are delivered here, one call each, without a
  // round through the event loop per datagram. A handler that reads nothing, or closes the
  // socket, ends the run.
  m_bInReceive = true;
  int nDelivered = 0;
  do {
    m_nDatagramsRead = 0;
    OnReceive(0);
  } while (++nDelivered < kMaxDatagramsPerWakeUp && m_nDatagramsRead > 0 && m_hSocket != -1 &&
           (ReadAheadCount() > 0 || (!m_bQueueWasEmpty && IsDatagramWaiting(m_hSocket))));
  m_bInReceive = false;
}

bool CAsyncSocket::Create(UINT nSocketPort, int nSocketType, long lEvent,
                          const char* lpszSocketAddress) {
  CAsyncSocket* const pThis = this;
  return OpenEach(&pThis, &nSocketPort, 1, nSocketType, lEvent, lpszSocketAddress) == 1;
}

int CAsyncSocket::CreateEach(CAsyncSocket* const ppSockets[], const UINT pnPorts[], int nCount,
                             long lEvent, const char* lpszSocketAddress) {
  return OpenEach(ppSockets, pnPorts, nCount, SOCK_DGRAM_TYPE, lEvent, lpszSocketAddress);
}

int CAsyncSocket::OpenEach(CAsyncSocket* const ppSockets[], const UINT pnPorts[], int nCount,
                           int nSocketType, long lEvent, const char* lpszSocketAddress) {
  std::vector<INT_PTR> handles;
  DWORD dwError = 0;
  for (int i = 0; i < nCount && dwError == 0; ++i) {
    const INT_PTR hSocket = ppSockets[i]->Bind(pnPorts[i], nSocketType, lpszSocketAddress);
    if (hSocket == -1)
      dwError = GetLastError();
    else
      handles.push_back(hSocket);
  }
  const int nBound = static_cast<int>(handles.size());
  const int nChecked = FirstSharedPort(handles.data(), nBound);
  if (nChecked < nBound)
    dwError = GetLastError();
  int nOpened = 0;
  while (nOpened < nChecked && ppSockets[nOpened]->Open(handles[nOpened], lEvent))
    ++nOpened;
  if (nOpened < nChecked)
    dwError = GetLastError();  // Open closed that handle
  // A failure ends the list there, as if each had been made in turn.
  for (int i = nOpened + (nOpened < nChecked ? 1 : 0); i < nBound; ++i)
    CloseBound(handles[i]);
  if (nOpened < nCount)
    SetLastError(dwError);
  return nOpened;
}
