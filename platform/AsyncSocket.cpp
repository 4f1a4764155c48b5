// What a socket does the same way on every platform: the delivery of its read readiness.
#include "AsyncSocket.h"

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
