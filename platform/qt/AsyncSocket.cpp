#include "AsyncSocket.h"

#include "PortSharing.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "AddressText.h"  // after the socket headers

/// The socket's read readiness, from the Qt event loop.
class CSocketWatch : public QSocketNotifier {
public:
  using QSocketNotifier::QSocketNotifier;
};

bool CAsyncSocket::IsDatagramWaiting(INT_PTR hSocket) {
  pollfd pfd = {static_cast<int>(hSocket), POLLIN, 0};
  return poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0;
}

CAsyncSocket::~CAsyncSocket() { Close(); }

bool CAsyncSocket::Create(UINT nSocketPort, int nSocketType, long lEvent,
                          const char* lpszSocketAddress) {
  sockaddr_in local;
  if (m_hSocket >= 0 || nSocketType != SOCK_DGRAM ||
      !LocalIPv4(nSocketPort, lpszSocketAddress, local)) {
    SetLastError(EINVAL);
    return false;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetLastError(errno);
    return false;
  }
  // SO_REUSEADDR lets a socket on one specific address (a device simulated on this host) share
  // the port. A second owner of the wildcard is refused after the bind, so that of two programs
  // binding at the same moment at most one keeps the port.
  const int nOn = 1;
  int nError = 0;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn) != 0 ||
      bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
    nError = errno;
  else if (local.sin_addr.s_addr == htonl(INADDR_ANY) && IsWildcardPortShared(fd))
    nError = EADDRINUSE;
  if (nError != 0) {
    close(fd);
    SetLastError(nError);
    return false;
  }
  m_hSocket = fd;
  // Write readiness is accepted for compatibility and never delivered: sends do not block.
  if (lEvent & FD_READ_EVENT) {
    m_pWatch = new CSocketWatch(fd, QSocketNotifier::Read);
    QObject::connect(m_pWatch, &QSocketNotifier::activated, [this] { DeliverReadiness(); });
  }
  return true;
}

bool CAsyncSocket::Connect(const char* lpszHostAddress, UINT nHostPort) {
  if (m_hSocket < 0) {
    SetLastError(EBADF);
    return false;
  }
  sockaddr_in peer;
  if (!PeerIPv4(lpszHostAddress, nHostPort, peer)) {
    SetLastError(EINVAL);
    return false;
  }
  if (connect(static_cast<int>(m_hSocket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) !=
      0) {
    SetLastError(errno);
    return false;
  }
  return true;
}

int CAsyncSocket::ReceiveFrom(void* lpBuf, int nBufLen, std::string& rSocketAddress,
                              UINT& rSocketPort, int nFlags) {
  if (m_hSocket < 0 || nBufLen < 0) {
    SetLastError(EBADF);
    return -1;
  }
  sockaddr_in from = {};
  socklen_t nFromLen = sizeof from;
  // MSG_TRUNC makes the kernel report the datagram's real length, so an oversized one is
  // recognised (and dropped whole) instead of being delivered cut short.
  const ssize_t n = recvfrom(static_cast<int>(m_hSocket), lpBuf, static_cast<size_t>(nBufLen),
                             nFlags | MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &nFromLen);
  if (n < 0) {
    SetLastError(errno);
    return -1;
  }
  if (!(nFlags & MSG_PEEK))
    ++m_nDatagramsRead;
  if (n > nBufLen) {
    SetLastError(EMSGSIZE);
    return -1;
  }
  FormatIPv4(reinterpret_cast<const unsigned char*>(&from.sin_addr.s_addr), rSocketAddress);
  rSocketPort = ntohs(from.sin_port);
  return static_cast<int>(n);
}

int CAsyncSocket::Send(const void* lpBuf, int nBufLen, int nFlags) {
  if (m_hSocket < 0 || nBufLen < 0) {
    SetLastError(EBADF);
    return -1;
  }
  const ssize_t n =
      send(static_cast<int>(m_hSocket), lpBuf, static_cast<size_t>(nBufLen), nFlags | MSG_NOSIGNAL);
  if (n < 0) {
    SetLastError(errno);
    return -1;
  }
  return static_cast<int>(n);
}

void CAsyncSocket::Close() {
  if (m_hSocket < 0)
    return;
  if (m_pWatch) {
    // A socket may be closed from its own receive notification; the notifier is still
    // emitting then and must outlive the call.
    m_pWatch->setEnabled(false);
    if (m_bInReceive)
      m_pWatch->deleteLater();
    else
      delete m_pWatch;
    m_pWatch = nullptr;
  }
  close(static_cast<int>(m_hSocket));
  m_hSocket = -1;
}

void CAsyncSocket::OnReceive(int) {}
