// A UDP peer on the loopback range that plays the interface device (or a stranger) for the
// program's sockets, and what the kernel says about the program's sockets.
#pragma once

#include "TestEvents.h"
#include "TestSockets.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
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
    const SocketLength nLength = Address(lpszAddress, nPort, local);
    m_fd = OpenUdpSocket(local.ss_family);
    const int nOn = 1;
    const int nV6Only = bV6Only ? 1 : 0;
    if (bReuse)
      setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&nOn), sizeof nOn);
    if (local.ss_family == AF_INET6)
      setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&nV6Only),
                 sizeof nV6Only);
    m_bBound = bind(m_fd, reinterpret_cast<const sockaddr*>(&local), nLength) == 0;
  }
  ~CUdpPeer() { CloseSocket(m_fd); }
  CUdpPeer(const CUdpPeer&) = delete;
  CUdpPeer& operator=(const CUdpPeer&) = delete;

  bool IsBound() const { return m_bBound; }
  /// The socket itself, for checks that the kernel answers about it.
  SocketHandle Handle() const { return m_fd; }

  /// Sends to 127.0.0.1:nPort, where the program's sockets listen on all local addresses.
  void SendTo(unsigned nPort, const Bytes& bytes) { SendTo("127.0.0.1", nPort, bytes); }

  /// Sends to a loopback address.
  void SendTo(const char* lpszAddress, unsigned nPort, const Bytes& bytes) {
    sockaddr_storage to;
    const SocketLength nLength = Address(lpszAddress, nPort, to);
    if (IsLoopback(to))
      sendto(m_fd, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
             reinterpret_cast<const sockaddr*>(&to), nLength);
  }

  /// Connects to a loopback address (127.0.0.1 unless told), so that Write needs no address (a
  /// flood of writes then shows once in a trace of the send calls, as the connect).
  /// @returns false when it failed.
  bool Connect(unsigned nPort, const char* lpszAddress = "127.0.0.1") {
    sockaddr_storage to;
    const SocketLength nLength = Address(lpszAddress, nPort, to);
    return m_bBound && IsLoopback(to) &&
           connect(m_fd, reinterpret_cast<const sockaddr*>(&to), nLength) == 0;
  }
  /// Sends to the connected address; refused or dropped datagrams go unnoticed.
  void Write(const std::uint8_t* pBytes, std::size_t nLength) {
    send(m_fd, reinterpret_cast<const char*>(pBytes), static_cast<int>(nLength), 0);
  }
  void Write(const Bytes& bytes) { Write(bytes.data(), bytes.size()); }

  /// Waits for one datagram while the event loop runs; pnFromPort receives the sender's port.
  /// @returns false on time-out.
  bool Receive(Bytes& bytes, int nMilliseconds = 3000, unsigned* pnFromPort = nullptr) {
    return PumpUntil([&] { return ReceiveNow(bytes, pnFromPort); }, nMilliseconds);
  }

  /// Waits for one datagram without running the event loop, for a process that has none (a
  /// forked child). @returns false on time-out.
  bool ReceiveWithoutEvents(Bytes& bytes, int nMilliseconds = 3000) {
    pollfd pfd = {m_fd, POLLIN, 0};
    return PollSocket(&pfd, 1, nMilliseconds) > 0 && ReceiveNow(bytes);
  }

  /// Waits for a datagram other than a header-only tick. @returns false on time-out.
  bool ReceiveNonTick(Bytes& bytes, int nMilliseconds = 3000) {
    const CDeadline deadline(nMilliseconds);
    while (Receive(bytes, deadline.Remaining()))
      if (bytes != Bytes{0x08})
        return true;
    return false;
  }

  /// The datagrams that arrive up to and including the first one equal to last.
  /// @returns them, or nothing when last did not come in time.
  std::optional<std::vector<Bytes>> ReceiveThrough(const Bytes& last, int nMilliseconds = 3000) {
    std::vector<Bytes> all;
    const CDeadline deadline(nMilliseconds);
    for (Bytes bytes; Receive(bytes, deadline.Remaining());) {
      all.push_back(bytes);
      if (bytes == last)
        return all;
    }
    return std::nullopt;
  }

  /// Sends a probe to this socket itself and waits for it. Whatever was sent here before the
  /// call is queued ahead of the probe, so "nothing came" needs no waiting time that a slow
  /// machine could overrun. @returns the datagrams ahead of the probe, or nothing when the probe
  /// was lost.
  std::optional<std::vector<Bytes>> ReceiveBeforeProbe() {
    sockaddr_storage self = {};
    SocketLength nLength = sizeof self;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&self), &nLength);
    auto& v4 = reinterpret_cast<sockaddr_in&>(self);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(self);
    if (self.ss_family == AF_INET && v4.sin_addr.s_addr == htonl(INADDR_ANY))
      v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (self.ss_family == AF_INET6 && IN6_IS_ADDR_UNSPECIFIED(&v6.sin6_addr))
      v6.sin6_addr = in6addr_loopback;
    const Bytes probe = {'p', 'r', 'o', 'b', 'e', 0xA5};
    if (IsLoopback(self))
      sendto(m_fd, reinterpret_cast<const char*>(probe.data()), static_cast<int>(probe.size()), 0,
             reinterpret_cast<const sockaddr*>(&self), nLength);
    std::optional<std::vector<Bytes>> before = ReceiveThrough(probe);
    if (before)
      before->pop_back();
    return before;
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
  static SocketLength Address(const char* lpszAddress, unsigned nPort, sockaddr_storage& address) {
    address = {};
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    const std::uint16_t nNetPort = htons(static_cast<std::uint16_t>(nPort));
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
    if (!HasWaitingDatagram(static_cast<INT_PTR>(m_fd)))
      return false;
    char buffer[2048];
    sockaddr_storage from = {};
    SocketLength nFromLength = sizeof from;
    const int n = static_cast<int>(
        recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &nFromLength));
    if (n < 0)
      return false;
    bytes.assign(buffer, buffer + n);
    if (pnFromPort)  // the port lies at the same place in both families' addresses
      *pnFromPort = ntohs(reinterpret_cast<const sockaddr_in&>(from).sin_port);
    return true;
  }

  SocketHandle m_fd = kNoSocket;
  bool m_bBound = false;
};

#ifdef __linux__
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

/// The receive queue of the program's link sockets on local port nPort (see DeviceSocketLines).
struct SocketQueue {
  long nWaiting = 0;  // bytes not yet read
  long nDropped = 0;  // datagrams the kernel dropped because the queue was full
};

inline SocketQueue DeviceSocketQueue(unsigned nPort) {
  SocketQueue queue;
  for (const std::string& strLine : DeviceSocketLines(nPort)) {
    std::istringstream fields(strLine);
    std::string strSl, strLocal, strRemote, strState, strQueues, strField;
    fields >> strSl >> strLocal >> strRemote >> strState >> strQueues;  // tx_queue:rx_queue, hex
    queue.nWaiting += std::stol(strQueues.substr(strQueues.find(':') + 1), nullptr, 16);
    for (int i = 0; i < 8; ++i)
      fields >> strField;  // tr:when, retrnsmt, uid, timeout, inode, ref, pointer, drops
    queue.nDropped += std::atol(strField.c_str());
  }
  return queue;
}
#endif

}  // namespace testing_support
