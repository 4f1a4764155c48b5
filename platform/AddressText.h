// Address texts of the socket layer that both implementations share: what may go to the
// resolver, and the dotted form in which a sender's address is reported. The including file
// brings its platform's socket headers (BSD sockets or Winsock 2) first.
#pragma once

#include "Afx.h"

#include <cstring>
#include <string>

/// Host names are letters, digits, hyphens, dots and underscores (the resolver takes names with
/// underscores from the hosts file, and many local networks use them). Anything else (blanks,
/// commas, quotes, control characters, bytes beyond ASCII) is plainly no name and is refused
/// before a resolver is asked, so a mistyped address never turns into a lookup on the network.
inline bool IsHostName(const char* lpszText) {
  const size_t nLength = std::strlen(lpszText);
  if (nLength == 0 || nLength > 253)
    return false;
  for (const char* p = lpszText; *p; ++p) {
    const char c = *p;
    const bool bAllowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
    if (!bAllowed)
      return false;
  }
  return true;
}

/// Dotted-decimal text of an IPv4 address given as its four bytes in network order. The
/// library's formatters go through sprintf, which took longer than all the rest of this
/// program's handling of a datagram.
inline void FormatIPv4(const unsigned char* pOctets, std::string& rText) {
  char szText[16];
  char* p = szText;
  for (int i = 0; i < 4; ++i) {
    unsigned n = pOctets[i];
    if (i > 0)
      *p++ = '.';
    if (n >= 100) {
      *p++ = static_cast<char>('0' + n / 100);
      n %= 100;
      *p++ = static_cast<char>('0' + n / 10);
    } else if (n >= 10) {
      *p++ = static_cast<char>('0' + n / 10);
    }
    *p++ = static_cast<char>('0' + n % 10);
  }
  rText.assign(szText, p);
}

/// The local address of a bind: port nSocketPort on lpszSocketAddress, a dotted IPv4 address, or
/// on all local addresses when it is null. @returns false for a port outside 1..65535 or an
/// address that is no dotted IPv4 address.
inline bool LocalIPv4(UINT nSocketPort, const char* lpszSocketAddress, sockaddr_in& local) {
  if (nSocketPort < 1 || nSocketPort > 65535)
    return false;
  local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<unsigned short>(nSocketPort));
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  return !lpszSocketAddress || inet_pton(AF_INET, lpszSocketAddress, &local.sin_addr) == 1;
}

/// The IPv4 address of a dotted text, or of a host name through the resolver.
/// @returns false for a text that is neither, or a name that does not resolve.
inline bool ResolveIPv4(const char* lpszHostAddress, in_addr& address) {
  if (inet_pton(AF_INET, lpszHostAddress, &address) == 1)
    return true;
  if (!IsHostName(lpszHostAddress))
    return false;
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* pResult = nullptr;
  if (getaddrinfo(lpszHostAddress, nullptr, &hints, &pResult) != 0 || !pResult)
    return false;
  address = reinterpret_cast<sockaddr_in*>(pResult->ai_addr)->sin_addr;
  freeaddrinfo(pResult);
  return true;
}

/// The peer address of a connect: port nHostPort (0..65535) of lpszHostAddress, a dotted IPv4
/// address or a host name. @returns false for no text, a port out of range or an address that
/// is neither.
inline bool PeerIPv4(const char* lpszHostAddress, UINT nHostPort, sockaddr_in& peer) {
  peer = {};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<unsigned short>(nHostPort));
  return lpszHostAddress && nHostPort <= 65535 && ResolveIPv4(lpszHostAddress, peer.sin_addr);
}

/// What a connect checks before the platform's own call: an open socket (hSocket not -1), else
/// dwNotASocket, and a peer address that PeerIPv4 takes, else dwNotAnAddress, in GetLastError.
/// @returns false when either check fails.
inline bool CheckConnect(INT_PTR hSocket, const char* lpszHostAddress, UINT nHostPort,
                         sockaddr_in& peer, DWORD dwNotASocket, DWORD dwNotAnAddress) {
  const DWORD dwError = hSocket == -1                                 ? dwNotASocket
                        : !PeerIPv4(lpszHostAddress, nHostPort, peer) ? dwNotAnAddress
                                                                      : 0;
  if (dwError != 0)
    SetLastError(dwError);
  return dwError == 0;
}
