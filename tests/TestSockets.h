// The Berkeley socket calls that Winsock and the BSD socket API share, under one set of names, for
// the harness's own sockets (the peers that play the device, the port probe). They are the
// system's sockets, not the program's: a peer must not be made of the code under test.
#pragma once

#include "Afx.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace testing_support {

#ifdef _WIN32
using SocketHandle = SOCKET;
using SocketLength = int;
constexpr SocketHandle kNoSocket = INVALID_SOCKET;
inline void CloseSocket(SocketHandle s) { closesocket(s); }
inline int PollSocket(pollfd* pPoll, unsigned nCount, int nMilliseconds) {
  return WSAPoll(pPoll, nCount, nMilliseconds);
}
// The socket layer's codes, as GetLastError reports them.
constexpr DWORD kAddressInUse = WSAEADDRINUSE;
constexpr DWORD kInvalidArgument = WSAEINVAL;
constexpr DWORD kNotASocket = WSAENOTSOCK;
#else
using SocketHandle = int;
using SocketLength = socklen_t;
constexpr SocketHandle kNoSocket = -1;
inline void CloseSocket(SocketHandle s) { close(s); }
inline int PollSocket(pollfd* pPoll, unsigned nCount, int nMilliseconds) {
  return poll(pPoll, nCount, nMilliseconds);
}
constexpr DWORD kAddressInUse = EADDRINUSE;
constexpr DWORD kInvalidArgument = EINVAL;
constexpr DWORD kNotASocket = EBADF;
#endif

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
