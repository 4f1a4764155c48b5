// A UDP peer on the loopback range that plays the interface device (or a stranger) for the
// program's sockets, and what the kernel says about the program's sockets.
#pragma once

#include "TestEvents.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<unsigned char>;

/// A plain UDP socket bound to address:port, with SO_REUSEADDR unless told otherwise. The address
/// is IPv4 or IPv6 (dual-stack unless bV6Only). Only 127.0.0.0/8 (or ::1) is ever sent to.
class CUdpPeer {
public:
  CUdpPeer(const char* lpszAddress, unsigned nPort, bool bReuse = true, bool bV6Only = false) {
    sockaddr_storage local;
    const socklen_t nLength = Address(lpszAddress, nPort, local);
    m_fd = socket(local.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    const int nV6Only = bV6Only ? 1 : 0;
    if (bReuse)
      setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    if (local.ss_family == AF_INET6)
      setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, &nV6Only, sizeof nV6Only);
    m_bBound = bind(m_fd, reinterpret_cast<const sockaddr*>(&local), nLength) == 0;
  }
  ~CUdpPeer() { close(m_fd); }
  CUdpPeer(const CUdpPeer&) = delete;
  CUdpPeer& operator=(const CUdpPeer&) = delete;

  bool IsBound() const { return m_bBound; }
  /// The socket itself, for checks that the kernel answers about it.
  int Handle() const { return m_fd; }

  /// Sends to 127.0.0.1:nPort, where the program's sockets listen on all local addresses.
  void SendTo(unsigned nPort, const Bytes& bytes) { SendTo("127.0.0.1", nPort, bytes); }

  /// Sends to a loopback address.
  void SendTo(const char* lpszAddress, unsigned nPort, const Bytes& bytes) {
    sockaddr_storage to;
    const socklen_t nLength = Address(lpszAddress, nPort, to);
    if (IsLoopback(to))
      sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), nLength);
  }

  /// Connects to a loopback address (127.0.0.1 unless told), so that Write needs no address (a
  /// flood of writes then shows once in a trace of the send calls, as the connect).
  /// @returns false when it failed.
  bool Connect(unsigned nPort, const char* lpszAddress = "127.0.0.1") {
    sockaddr_storage to;
    const socklen_t nLength = Address(lpszAddress, nPort, to);
    return m_bBound && IsLoopback(to) &&
           connect(m_fd, reinterpret_cast<const sockaddr*>(&to), nLength) == 0;
  }
  /// Sends to the connected address; refused or dropped datagrams go unnoticed.
  void Write(const std::uint8_t* pBytes, std::size_t nLength) {
    [[maybe_unused]] const ssize_t n = write(m_fd, pBytes, nLength);
  }
  void Write(const Bytes& bytes) { Write(bytes.data(), bytes.size()); }

  /// Waits for one datagram while the event loop runs; pnFromPort receives the sender's port.
  /// @returns false on time-out.
  bool Receive(Bytes& bytes, int nMilliseconds = 3000, unsigned* pnFromPort = nullptr) {
    return PumpUntil([&] { return ReceiveNow(bytes, pnFromPort); }, nMilliseconds);
  }

  /// Waits for a datagram other than a header-only tick. @returns false on time-out.
  bool ReceiveNonTick(Bytes& bytes, int nMilliseconds = 3000) {
    QDeadlineTimer deadline(nMilliseconds);
    while (Receive(bytes, static_cast<int>(deadline.remainingTime())))
      if (bytes != Bytes{0x08})
        return true;
    return false;
  }

  /// Every datagram that arrives within the time given.
  std::vector<Bytes> ReceiveAll(int nMilliseconds) {
    std::vector<Bytes> all;
    Bytes bytes;
    QDeadlineTimer deadline(nMilliseconds);
    while (!deadline.hasExpired()) {
      if (Receive(bytes, static_cast<int>(deadline.remainingTime())))
        all.push_back(bytes);
    }
    return all;
  }

  /// Reads what is waiting, without waiting for more.
  std::vector<Bytes> Drain() {
    std::vector<Bytes> all;
    for (Bytes bytes; ReceiveNow(bytes);)
      all.push_back(bytes);
    return all;
  }

private:
  /// Fills address with an IPv4 address when the text is one, else an IPv6 address.
  /// @returns its length.
  static socklen_t Address(const char* lpszAddress, unsigned nPort, sockaddr_storage& address) {
    address = {};
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    const uint16_t nNetPort = htons(static_cast<uint16_t>(nPort));
    if (inet_pton(AF_INET, lpszAddress, &v4.sin_addr) == 1) {
      v4.sin_family = AF_INET;
      v4.sin_port = nNetPort;
      return sizeof v4;
    }
    inet_pton(AF_INET6, lpszAddress, &v6.sin6_addr);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = nNetPort;
    return sizeof v6;
  }
  /// 127.0.0.0/8, also as an IPv4-mapped IPv6 address, or ::1.
  static bool IsLoopback(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
      return ntohl(reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr) >> 24 == 127;
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
  }
  bool ReceiveNow(Bytes& bytes, unsigned* pnFromPort = nullptr) {
    pollfd pfd = {m_fd, POLLIN, 0};
    if (poll(&pfd, 1, 0) <= 0)
      return false;
    unsigned char buffer[2048];
    sockaddr_storage from = {};
    socklen_t nFromLength = sizeof from;
    const ssize_t n =
        recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &nFromLength);
    if (n < 0)
      return false;
    bytes.assign(buffer, buffer + n);
    if (pnFromPort)  // the port lies at the same place in both families' addresses
      *pnFromPort = ntohs(reinterpret_cast<const sockaddr_in&>(from).sin_port);
    return true;
  }

  int m_fd = -1;
  bool m_bBound = false;
};

/// The lines of /proc/net/udp for sockets on local port nPort connected to 127.0.0.2:nPort,
/// which is how the program's link sockets look.
inline std::vector<std::string> DeviceSocketLines(unsigned nPort) {
  char szNeedle[32];
  std::snprintf(szNeedle, sizeof szNeedle, ":%04X 0200007F:%04X ", nPort, nPort);
  std::ifstream in("/proc/net/udp");
  std::vector<std::string> lines;
  for (std::string strLine; std::getline(in, strLine);)
    if (strLine.find(szNeedle) != std::string::npos)
      lines.push_back(strLine);
  return lines;
}

}  // namespace testing_support
