#include "AsyncSocket.h"

#include "PortSharing.h"

#include <QEvent>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "AddressText.h"  // after the socket headers

namespace {

/// The longest datagram IPv4 can carry, with its headers: room beyond it is never filled.
constexpr size_t kLongestDatagram = 65536;

}  // namespace

/// The socket's read readiness, from the Qt event loop, and the datagrams that one system call
/// took from the socket's queue ahead of their OnReceive calls.
class CSocketWatch : public QSocketNotifier {
public:
  using Deliver = void (*)(CAsyncSocket* pSocket, bool bPosted);

  CSocketWatch(int fd, CAsyncSocket* pSocket, Deliver pDeliver)
      : QSocketNotifier(fd, QSocketNotifier::Read), m_pSocket(pSocket), m_pDeliver(pDeliver) {}

  /// Readiness is delivered straight from the notification: the notifier's activated signals
  /// (two of them, each through the toolkit's connection lists) have no receiver here and cost
  /// about as much as the program's own handling of an answer.
  bool event(QEvent* pEvent) override {
    if (pEvent->type() != QEvent::SockAct)
      return QSocketNotifier::event(pEvent);
    m_pDeliver(m_pSocket, false);  // a socket closed in the call keeps this until later (Close)
    return true;
  }

  /// Delivery again once the event loop has turned, unless the socket was closed by then.
  void DeliverLater() {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (isEnabled())
            m_pDeliver(m_pSocket, true);
        },
        Qt::QueuedConnection);
  }

  /// Reads the datagram waiting into lpBuf and, when it comes as part of a burst, in the same
  /// system call those queued behind it, each into room of nBufLen bytes (at most 63 more: one
  /// wake-up's worth). A datagram that comes longer than kBurstGap after the last read, or after
  /// a read that found nothing behind its datagram, is taken alone: recvmmsg costs more than
  /// recvfrom when it then finds nothing more, which is how an answer to a query comes. Whatever
  /// queued behind a datagram read alone is announced by the next readiness notification.
  /// @returns the first one's whole length, or -1 with errno set.
  ssize_t ReadWithQueued(void* lpBuf, int nBufLen, sockaddr_in& rFrom) {
    const auto now = std::chrono::steady_clock::now();
    const bool bBurst = m_bLastFoundMore || now - m_lastRead < kBurstGap;
    m_lastRead = now;
    if (!bBurst) {
      socklen_t nFromLen = sizeof rFrom;
      // MSG_TRUNC: the length is the datagram's own, so one too long for lpBuf is recognised.
      return recvfrom(static_cast<int>(socket()), lpBuf, static_cast<size_t>(nBufLen),
                      MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&rFrom), &nFromLen);
    }
    const size_t nRoom = std::min(static_cast<size_t>(nBufLen), kLongestDatagram);
    if (!m_pAhead || m_pAhead->nRoom != nRoom)
      m_pAhead = std::make_unique<ReadAhead>(nRoom);
    ReadAhead& ahead = *m_pAhead;
    ahead.iovs[0] = {lpBuf, static_cast<size_t>(nBufLen)};
    for (size_t i = 0; i < ahead.nUsed; ++i)
      ahead.messages[i].msg_hdr.msg_namelen = sizeof ahead.from[i];
    // MSG_TRUNC: each length is the datagram's own, so one too long for its room is recognised.
    const int n = recvmmsg(static_cast<int>(socket()), ahead.messages.data(), kSlots,
                           MSG_TRUNC | MSG_DONTWAIT, nullptr);
    m_bLastFoundMore = n > 1;
    if (n <= 0)
      return -1;
    rFrom = ahead.from[0];
    ahead.nNext = 1;
    ahead.nUsed = static_cast<size_t>(n);
    return ahead.messages[0].msg_len;
  }

  /// Copies the oldest datagram read ahead into lpBuf (at most nBufLen bytes) and takes it off,
  /// unless bPeek. @returns its whole length; rbCut: it was longer than the room it was read into.
  ssize_t TakeQueued(void* lpBuf, int nBufLen, sockaddr_in& rFrom, bool bPeek, bool& rbCut) {
    ReadAhead& ahead = *m_pAhead;
    const size_t i = ahead.nNext;
    const size_t nLength = ahead.messages[i].msg_len;
    rbCut = nLength > ahead.nRoom;
    std::memcpy(lpBuf, ahead.iovs[i].iov_base,
                std::min({nLength, ahead.nRoom, static_cast<size_t>(nBufLen)}));
    rFrom = ahead.from[i];
    if (!bPeek)
      ++ahead.nNext;
    return static_cast<ssize_t>(nLength);
  }

  /// The datagrams read ahead that TakeQueued has not taken off yet.
  int Queued() const { return m_pAhead ? static_cast<int>(m_pAhead->nUsed - m_pAhead->nNext) : 0; }

private:
  static constexpr size_t kSlots = 64;  ///< the datagram waiting and those read with it
  /// Datagrams of a burst come microseconds apart; answers to the program's queries come a round
  /// trip through the device apart, a millisecond or more on its bus.
  static constexpr std::chrono::microseconds kBurstGap{50};

  /// Made at the first read, with room as long as the reader's buffer; its pages are touched
  /// only as far as bursts fill them.
  struct ReadAhead {
    explicit ReadAhead(size_t nRoomBytes)
        : nRoom(nRoomBytes),
          pBytes(std::make_unique_for_overwrite<unsigned char[]>((kSlots - 1) * nRoomBytes)) {
      for (size_t i = 0; i < kSlots; ++i) {
        if (i > 0)
          iovs[i] = {pBytes.get() + (i - 1) * nRoom, nRoom};
        messages[i].msg_hdr.msg_name = &from[i];
        messages[i].msg_hdr.msg_iov = &iovs[i];
        messages[i].msg_hdr.msg_iovlen = 1;
      }
    }
    size_t nRoom;
    std::unique_ptr<unsigned char[]> pBytes;
    std::array<mmsghdr, kSlots> messages = {};
    std::array<iovec, kSlots> iovs = {};
    std::array<sockaddr_in, kSlots> from = {};
    size_t nNext = kSlots;  ///< the next one TakeQueued hands out; none before the first read
    size_t nUsed = kSlots;  ///< by the last read, whose address lengths the system rewrote
  };

  CAsyncSocket* m_pSocket;
  Deliver m_pDeliver;
  std::unique_ptr<ReadAhead> m_pAhead;
  std::chrono::steady_clock::time_point m_lastRead;  ///< of ReadWithQueued
  bool m_bLastFoundMore = false;  ///< its last recvmmsg took more than one datagram
};

int CAsyncSocket::ReadAheadCount() const { return m_pWatch ? m_pWatch->Queued() : 0; }

bool CAsyncSocket::IsDatagramWaiting(INT_PTR hSocket) {
  pollfd pfd = {static_cast<int>(hSocket), POLLIN, 0};
  return poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0;
}

CAsyncSocket::~CAsyncSocket() { Close(); }

INT_PTR CAsyncSocket::Bind(UINT nSocketPort, int nSocketType, const char* lpszSocketAddress) const {
  sockaddr_in local;
  if (m_hSocket >= 0 || nSocketType != SOCK_DGRAM ||
      !LocalIPv4(nSocketPort, lpszSocketAddress, local)) {
    SetLastError(EINVAL);
    return -1;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetLastError(errno);
    return -1;
  }
  // SO_REUSEADDR lets a socket on one specific address (a device simulated on this host) share
  // the port. A second owner of the wildcard is refused after the bind (FirstSharedPort), so that
  // of two programs binding at the same moment at most one keeps the port.
  const int nOn = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn) != 0 ||
      bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int nError = errno;
    close(fd);
    SetLastError(nError);
    return -1;
  }
  return fd;
}

int CAsyncSocket::FirstSharedPort(const INT_PTR* pHandles, int nCount) {
  const std::vector<int> fds(pHandles, pHandles + nCount);
  const auto shared = std::make_unique<bool[]>(fds.size());
  FindSharedWildcardPorts(fds.data(), nCount, shared.get());
  const int nFirst =
      static_cast<int>(std::find(shared.get(), shared.get() + nCount, true) - shared.get());
  if (nFirst < nCount)
    SetLastError(EADDRINUSE);
  return nFirst;
}

bool CAsyncSocket::Open(INT_PTR hSocket, long lEvent) {
  const int fd = static_cast<int>(hSocket);
  m_hSocket = fd;
  // Write readiness is accepted for compatibility and never delivered: sends do not block.
  if (lEvent & FD_READ_EVENT) {
    m_pWatch = new CSocketWatch(fd, this, [](CAsyncSocket* pSocket, bool bPosted) {
      // A posted delivery finds what was read ahead taken already when the socket's own
      // notification came first.
      if (bPosted && pSocket->ReadAheadCount() == 0)
        return;
      pSocket->DeliverReadiness();
      // A handler that read nothing in its call leaves datagrams read ahead, for which the
      // socket will not signal again: their delivery is due once the event loop has turned.
      if (pSocket->ReadAheadCount() > 0)
        pSocket->m_pWatch->DeliverLater();
    });
  }
  return true;
}

void CAsyncSocket::CloseBound(INT_PTR hSocket) { close(static_cast<int>(hSocket)); }

bool CAsyncSocket::Connect(const char* lpszHostAddress, UINT nHostPort) {
  sockaddr_in peer;
  if (!CheckConnect(m_hSocket, lpszHostAddress, nHostPort, peer, EBADF, EINVAL))
    return false;
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
  ssize_t n = 0;
  bool bCut = false;
  m_bQueueWasEmpty = false;
  if (ReadAheadCount() > 0) {
    n = m_pWatch->TakeQueued(lpBuf, nBufLen, from, (nFlags & MSG_PEEK) != 0, bCut);
  } else if (m_bInReceive && nFlags == 0) {
    // A burst that queued up costs one system call instead of a read and a look per datagram.
    n = m_pWatch->ReadWithQueued(lpBuf, nBufLen, from);
    m_bQueueWasEmpty = n >= 0 && ReadAheadCount() == 0;
  } else {
    socklen_t nFromLen = sizeof from;
    // MSG_TRUNC makes the kernel report the datagram's real length, so an oversized one is
    // recognised (and dropped whole) instead of being delivered cut short.
    n = recvfrom(static_cast<int>(m_hSocket), lpBuf, static_cast<size_t>(nBufLen),
                 nFlags | MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &nFromLen);
  }
  if (n < 0) {
    SetLastError(errno);
    return -1;
  }
  if (!(nFlags & MSG_PEEK))
    ++m_nDatagramsRead;
  if (n > nBufLen || bCut) {
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
