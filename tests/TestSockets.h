// The Berkeley socket calls that Winsock and the BSD socket API share, under one set of names, for
// the harness's own sockets (the peers that play the device, the port probe). They are the
// system's sockets, not the program's: a peer must not be made of the code under test. On Windows
// the Winsock headers come as the implementation has them (Win32.h), so that the macros of
// windows.h that clash with the platform API's names are undone in the tests too.
#pragma once

#include "Afx.h"

#ifdef _WIN32
#include "Win32.h"
#define MINTORA_WINSOCK_OR_POSIX(winsock, posix) winsock
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#define MINTORA_WINSOCK_OR_POSIX(winsock, posix) posix
#endif

namespace testing_support {

// What differs between the two is a name, one row each.
using SocketHandle = MINTORA_WINSOCK_OR_POSIX(SOCKET, int);
using SocketLength = MINTORA_WINSOCK_OR_POSIX(int, socklen_t);
constexpr SocketHandle kNoSocket = MINTORA_WINSOCK_OR_POSIX(INVALID_SOCKET, -1);
inline void CloseSocket(SocketHandle s) { MINTORA_WINSOCK_OR_POSIX(closesocket, close)(s); }
inline int PollSocket(pollfd* pPoll, unsigned nCount, int nMilliseconds) {
  return MINTORA_WINSOCK_OR_POSIX(WSAPoll, poll)(pPoll, nCount, nMilliseconds);
}
// The socket layer's codes, as GetLastError reports them.
constexpr DWORD kAddressInUse = MINTORA_WINSOCK_OR_POSIX(WSAEADDRINUSE, EADDRINUSE);
constexpr DWORD kInvalidArgument = MINTORA_WINSOCK_OR_POSIX(WSAEINVAL, EINVAL);
constexpr DWORD kNotASocket = MINTORA_WINSOCK_OR_POSIX(WSAENOTSOCK, EBADF);

/// A UDP socket of the system's own, or kNoSocket. The socket layer is started first (Winsock
/// needs it; elsewhere it is ready).
inline SocketHandle OpenUdpSocket(int nFamily) {
  AfxSocketInit();
  return socket(nFamily, SOCK_DGRAM, IPPROTO_UDP);
}

/// @returns true when a datagram (an empty one too) waits to be read on the socket, which may be
/// one of the program's (its m_hSocket).
inline bool HasWaitingDatagram(INT_PTR hSocket) {
  pollfd pfd = {static_cast<SocketHandle>(hSocket), POLLIN, 0};
  return PollSocket(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN);
}

}  // namespace testing_support
