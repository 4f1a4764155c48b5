#include "AsyncSocket.h"

#include "PortSharing.h"
#include "Win32.h"

#include "AddressText.h"  // after the socket headers

#include <mswsock.h>

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

class CSocketWatch;

/// The hidden message-only window of one thread, to which Winsock posts the read readiness of
/// the sockets made on that thread, and the sockets it delivers to.
class CSocketWindow {
public:
  /// Delivers one readiness message to the socket (a function of CAsyncSocket's own).
  using Deliver = void (*)(CAsyncSocket* pSocket);

  /// The calling thread's window, made on first use. @returns nullptr when it cannot be made.
  static CSocketWindow* ForThisThread();

  HWND Window() const { return m_hWnd; }
  /// The readiness message for the next socket opened: each socket gets another one in turn, so
  /// that messages still queued for a closed socket are not taken for those of a new socket that
  /// Winsock gave the same handle.
  UINT NextMessage();
  void Add(SOCKET s, CSocketWatch* pWatch, CAsyncSocket* pSocket, Deliver pDeliver) {
    m_sockets[s] = {pWatch, pSocket, pDeliver};
  }
  void Remove(SOCKET s) { m_sockets.erase(s); }

private:
  struct Entry {
    CSocketWatch* pWatch;
    CAsyncSocket* pSocket;
    Deliver pDeliver;
  };

  static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;
  UINT m_nNextMessage = 0;  ///< offset in the window's range of readiness messages
  std::unordered_map<SOCKET, Entry> m_sockets;
};

/// What an open socket keeps beside its handle: the window that delivers its read readiness
/// (none when it was not asked for), what tells a stale readiness message, and its peer.
///
/// The peer is not given to Winsock's connect: it is the destination of every send and the only
/// source that ReceiveFrom accepts. Under Wine a connected UDP socket that gets an ICMP
/// port-unreachable (a send before the device listens) is never reported readable again; an
/// unconnected one hears no ICMP at all, and on Windows SIO_UDP_CONNRESET keeps it so.
class CSocketWatch {
public:
  CSocketWindow* m_pWindow = nullptr;
  UINT m_nMessage = 0;  ///< the readiness message Winsock posts for this socket
  /// The reads of the socket (ReceiveFrom's, looks at a datagram included) less the readiness
  /// messages handled for it. Winsock posts a message when a datagram arrives while the notice is
  /// enabled, and one after each read that leaves a datagram behind, and then none until the
  /// next read. So a message, handled in the order posted, finds this at 0 when no read came
  /// after it was posted, and its datagram still waits; above 0 a later read took that
  /// datagram, and whatever waits now has a message of its own behind this one.
  int m_nReadsOverNotices = 0;
  bool m_bHasPeer = false;
  sockaddr_in m_peer = {};
};

namespace {

/// The range of the readiness messages, all within the application's own.
constexpr UINT kFirstReadinessMessage = WM_APP + 1;
constexpr UINT kReadinessMessages = 0x3F00;
constexpr const char* kWindowClass = "MintoraSocketWatch";

/// True when a datagram, an empty one included, is waiting on s. The size of the next datagram
/// is asked first: Wine answers it from the socket itself, with one request to its server for
/// the thread's event. Only when no byte is waiting is select asked, which under Wine is a poll
/// through its server.
bool HasDatagramWaiting(SOCKET s) {
  u_long nBytes = 0;
  if (ioctlsocket(s, FIONREAD, &nBytes) == 0 && nBytes > 0)
    return true;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval now = {0, 0};
  return select(0, &readable, nullptr, nullptr, &now) == 1;
}

/// Winsock's code of the last failure, as GetLastError gives it.
void KeepSocketError() { SetLastError(static_cast<DWORD>(WSAGetLastError())); }

}  // namespace

CSocketWindow* CSocketWindow::ForThisThread() {
  // The window lives as long as the thread's message queue; it is never destroyed before.
  thread_local CSocketWindow* s_pWindow = nullptr;
  if (s_pWindow)
    return s_pWindow;
  HINSTANCE hInstance = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = hInstance;
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    return nullptr;
  auto* pWindow = new CSocketWindow;
  pWindow->m_hWnd = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    hInstance, nullptr);
  if (!pWindow->m_hWnd) {
    delete pWindow;
    return nullptr;
  }
  SetWindowLongPtrA(pWindow->m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pWindow));
  s_pWindow = pWindow;
  return s_pWindow;
}

UINT CSocketWindow::NextMessage() {
  const UINT nMessage = kFirstReadinessMessage + m_nNextMessage;
  m_nNextMessage = (m_nNextMessage + 1) % kReadinessMessages;
  return nMessage;
}

LRESULT CALLBACK CSocketWindow::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message < kFirstReadinessMessage || message >= kFirstReadinessMessage + kReadinessMessages)
    return DefWindowProcA(hWnd, message, wParam, lParam);
  auto* pWindow = reinterpret_cast<CSocketWindow*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
  const SOCKET s = static_cast<SOCKET>(wParam);
  if (!pWindow || WSAGETSELECTEVENT(lParam) != FD_READ)
    return 0;
  // A message may still be queued for a socket that was closed since, whose handle a new
  // socket may have now.
  const auto it = pWindow->m_sockets.find(s);
  if (it == pWindow->m_sockets.end() || it->second.pWatch->m_nMessage != message)
    return 0;
  // A message that no read came after has its datagram waiting: it is delivered without a look
  // at the socket, which under Wine costs a request to its server. One that a read came after is
  // stale, and so is one beyond what the reads can have raised (after a handler that read
  // nothing), which counts afresh from here; such a message is delivered only when a look finds
  // a datagram, so that no handler is called with nothing to read and, should Winsock ever post
  // fewer messages than counted, none waits unheard. A stale message needs nothing else done: the
  // read that took its datagram re-enabled the notice. A read of no bytes here would re-enable it
  // again, and Wine answers that with a new message at once, so the thread would spin.
  CSocketWatch& watch = *it->second.pWatch;
  const bool bFresh = watch.m_nReadsOverNotices == 0;
  watch.m_nReadsOverNotices = std::max(watch.m_nReadsOverNotices, 0) - 1;
  if (bFresh || HasDatagramWaiting(s))
    it->second.pDeliver(it->second.pSocket);
  return 0;
}

// Winsock reads one datagram a call: nothing is ever read ahead.
int CAsyncSocket::ReadAheadCount() const { return 0; }

// The next datagram comes with a readiness message of its own: Winsock posts one after every
// read that leaves a datagram behind. A look here would cost a request to Wine's server for each
// datagram, and the message would come all the same, to be found stale.
bool CAsyncSocket::IsDatagramWaiting(INT_PTR) { return false; }

CAsyncSocket::~CAsyncSocket() { Close(); }

INT_PTR CAsyncSocket::Bind(UINT nSocketPort, int nSocketType, const char* lpszSocketAddress) const {
  sockaddr_in local;
  if (m_hSocket != -1 || nSocketType != SOCK_DGRAM ||
      !LocalIPv4(nSocketPort, lpszSocketAddress, local)) {
    SetLastError(WSAEINVAL);
    return -1;
  }
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    KeepSocketError();
    return -1;
  }
  // SO_REUSEADDR lets a socket on one specific address (a device simulated on this host) share
  // the port. A second owner of the wildcard is refused after the bind (FirstSharedPort), so that
  // of two programs binding at the same moment at most one keeps the port.
  const BOOL bOn = TRUE;
  if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&bOn), sizeof bOn) !=
          0 ||
      bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    DWORD dwError = static_cast<DWORD>(WSAGetLastError());
    // A bind with address reuse is refused with WSAEACCES when the socket that holds the port
    // does not share it (bound without reuse, or exclusively): the port is in use all the same.
    if (dwError == WSAEACCES)
      dwError = WSAEADDRINUSE;
    closesocket(s);
    SetLastError(dwError);
    return -1;
  }
  return static_cast<INT_PTR>(s);
}

int CAsyncSocket::FirstSharedPort(const INT_PTR* pHandles, int nCount) {
  const std::vector<SOCKET> sockets(pHandles, pHandles + nCount);
  const auto shared = std::make_unique<bool[]>(sockets.size());
  FindSharedWildcardPorts(sockets.data(), nCount, shared.get());
  for (int i = 0; i < nCount; ++i) {
    if (shared[i]) {
      SetLastError(WSAEADDRINUSE);
      return i;
    }
  }
  return nCount;
}

bool CAsyncSocket::Open(INT_PTR hSocket, long lEvent) {
  const SOCKET s = static_cast<SOCKET>(hSocket);
  CSocketWindow* pWindow = nullptr;
  // Without this an ICMP port-unreachable, which a send to a device not yet listening brings
  // back, makes the next receive fail with WSAECONNRESET instead of reading the next datagram.
  // Wine reports no ICMP errors on unconnected sockets, so no test under it can see it missing.
  BOOL bReportReset = FALSE;
  DWORD dwReturned = 0;
  u_long nNonBlocking = 1;
  DWORD dwError = 0;
  UINT nMessage = 0;
  if (lEvent & FD_READ_EVENT) {
    pWindow = CSocketWindow::ForThisThread();
    if (pWindow)
      nMessage = pWindow->NextMessage();
    else
      dwError = GetLastError();  // why the window could not be made
  }
  if (dwError == 0 && (WSAIoctl(s, SIO_UDP_CONNRESET, &bReportReset, sizeof bReportReset, nullptr,
                                0, &dwReturned, nullptr, nullptr) != 0 ||
                       ioctlsocket(s, FIONBIO, &nNonBlocking) != 0 ||
                       (pWindow && WSAAsyncSelect(s, pWindow->Window(), nMessage, FD_READ) != 0)))
    dwError = static_cast<DWORD>(WSAGetLastError());
  if (dwError != 0) {
    closesocket(s);
    SetLastError(dwError);
    return false;
  }
  m_hSocket = hSocket;
  m_pWatch = new CSocketWatch;
  m_pWatch->m_pWindow = pWindow;
  // Write readiness is accepted for compatibility and never delivered: sends do not block.
  if (pWindow) {
    m_pWatch->m_nMessage = nMessage;
    pWindow->Add(s, m_pWatch, this, [](CAsyncSocket* pSocket) { pSocket->DeliverReadiness(); });
  }
  return true;
}

void CAsyncSocket::CloseBound(INT_PTR hSocket) { closesocket(static_cast<SOCKET>(hSocket)); }

bool CAsyncSocket::Connect(const char* lpszHostAddress, UINT nHostPort) {
  sockaddr_in peer;
  if (!CheckConnect(m_hSocket, lpszHostAddress, nHostPort, peer, WSAENOTSOCK, WSAEINVAL))
    return false;
  m_pWatch->m_peer = peer;
  m_pWatch->m_bHasPeer = true;
  return true;
}

int CAsyncSocket::ReceiveFrom(void* lpBuf, int nBufLen, std::string& rSocketAddress,
                              UINT& rSocketPort, int nFlags) {
  if (m_hSocket == -1 || nBufLen < 0) {
    SetLastError(WSAENOTSOCK);
    return -1;
  }
  const SOCKET s = static_cast<SOCKET>(m_hSocket);
  for (;;) {
    sockaddr_in from = {};
    int nFromLen = sizeof from;
    const int n = recvfrom(s, static_cast<char*>(lpBuf), nBufLen, nFlags,
                           reinterpret_cast<sockaddr*>(&from), &nFromLen);
    // A datagram longer than the buffer fails with WSAEMSGSIZE and is gone all the same.
    const int nError = n < 0 ? WSAGetLastError() : 0;
    const bool bRead = n >= 0 || nError == WSAEMSGSIZE;
    if (!bRead) {
      SetLastError(static_cast<DWORD>(nError));
      return -1;
    }
    ++m_pWatch->m_nReadsOverNotices;
    if (!(nFlags & MSG_PEEK))
      ++m_nDatagramsRead;
    const sockaddr_in& peer = m_pWatch->m_peer;
    if (m_pWatch->m_bHasPeer &&
        (from.sin_addr.s_addr != peer.sin_addr.s_addr || from.sin_port != peer.sin_port)) {
      // Another sender's datagram is dropped and the next one read; one that was only looked
      // at is taken away first.
      if (nFlags & MSG_PEEK) {
        char byte;
        recv(s, &byte, 0, 0);
        ++m_pWatch->m_nReadsOverNotices;
        ++m_nDatagramsRead;
      }
      continue;
    }
    if (n < 0) {
      SetLastError(static_cast<DWORD>(nError));
      return -1;
    }
    FormatIPv4(reinterpret_cast<const unsigned char*>(&from.sin_addr.s_addr), rSocketAddress);
    rSocketPort = ntohs(from.sin_port);
    return n;
  }
}

int CAsyncSocket::Send(const void* lpBuf, int nBufLen, int nFlags) {
  if (m_hSocket == -1 || nBufLen < 0) {
    SetLastError(WSAENOTSOCK);
    return -1;
  }
  if (!m_pWatch->m_bHasPeer) {
    SetLastError(WSAENOTCONN);
    return -1;
  }
  const sockaddr_in& peer = m_pWatch->m_peer;
  const int n = sendto(static_cast<SOCKET>(m_hSocket), static_cast<const char*>(lpBuf), nBufLen,
                       nFlags, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  if (n < 0) {
    KeepSocketError();
    return -1;
  }
  return n;
}

void CAsyncSocket::Close() {
  if (m_hSocket == -1)
    return;
  const SOCKET s = static_cast<SOCKET>(m_hSocket);
  // Messages still queued for the socket find it gone and are dropped.
  if (m_pWatch->m_pWindow)
    m_pWatch->m_pWindow->Remove(s);
  delete m_pWatch;
  m_pWatch = nullptr;
  closesocket(s);
  m_hSocket = -1;
}

void CAsyncSocket::OnReceive(int) {}
