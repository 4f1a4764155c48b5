// The socket of the Windows baseline programs: bound to PORT on all local addresses and connected
// to the same port of 127.0.0.2, as Mintora's own sockets are.
#pragma once

#include <mswsock.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

/// Starts Winsock 2.2 for the life of the program. @returns false when it cannot.
inline bool StartWinsock() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

/// @returns the socket, or INVALID_SOCKET (WSAGetLastError tells why).
inline SOCKET OpenDeviceSocket(std::uint16_t nPort) {
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET)
    return s;
  const BOOL bOn = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&bOn), sizeof bOn);
  // A datagram that the peer's port refused must not fail the next receive.
  BOOL bReport = FALSE;
  DWORD nReturned = 0;
  WSAIoctl(s, SIO_UDP_CONNRESET, &bReport, sizeof bReport, nullptr, 0, &nReturned, nullptr,
           nullptr);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(nPort);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  sockaddr_in peer = local;
  peer.sin_addr.s_addr = htonl(0x7F000002);  // 127.0.0.2
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    const int nError = WSAGetLastError();
    closesocket(s);
    WSASetLastError(nError);
    return INVALID_SOCKET;
  }
  return s;
}
