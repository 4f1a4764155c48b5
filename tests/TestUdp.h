// A UDP peer on the loopback range that plays the interface device (or a stranger) for the
// program's sockets, and what the kernel says about the program's sockets.
#pragma once

#include "TestEvents.h"
#include "TestPlatform.h"
#include "TestSockets.h"
#include "wine/UdpRelayProtocol.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

using Bytes = std::vector<unsigned char>;

/// The test process's end of udp-relay (tests/wine/UdpRelay.cpp), which holds the sockets of the
/// peers that Wine cannot bind: started on first use from the path in $MINTORA_UDP_RELAY (the
/// windows test preset sets it), ended with the process. When it cannot be started or does not
/// answer, every peer that needs it fails its test and says why. Windows only.
class CUdpRelay {
public:
  static CUdpRelay& Get() {
    static CUdpRelay s_relay;
    return s_relay;
  }
  ~CUdpRelay() {
    if (m_strFailure.empty())
      Request({udp_relay::kBye, 0, 0, 0});
    CloseSocket(m_fdTunnel);
  }
  CUdpRelay(const CUdpRelay&) = delete;
  CUdpRelay& operator=(const CUdpRelay&) = delete;

  /// Binds a socket of the relay to nAddress:nPort (host order). @returns its number, or 0 when
  /// it could not be bound.
  std::uint16_t Bind(std::uint32_t nAddress, unsigned nPort, bool bReuse) {
    const unsigned char reuse = bReuse ? 1 : 0;
    const std::uint16_t nId = ++m_nLastId;
    m_received[nId];  // datagrams may come before the first read
    if (Answered({udp_relay::kBind, nId, nAddress, static_cast<std::uint16_t>(nPort)}, &reuse, 1))
      return nId;
    m_received.erase(nId);
    return 0;
  }
  /// Sends from socket nId to nAddress:nPort. As with a socket of its own, the datagram has
  /// reached its receiver's queue on return.
  void Send(std::uint16_t nId, std::uint32_t nAddress, unsigned nPort, const Bytes& bytes) {
    Answered({udp_relay::kSend, nId, nAddress, static_cast<std::uint16_t>(nPort)}, bytes.data(),
             bytes.size());
  }
  void Close(std::uint16_t nId) {
    Request({udp_relay::kClose, nId, 0, 0});
    m_received.erase(nId);
  }
  /// Takes the next datagram that socket nId received, waiting up to nMilliseconds for one
  /// without running the event loop; pnFromPort receives the sender's port.
  bool Take(std::uint16_t nId, Bytes& bytes, unsigned* pnFromPort, int nMilliseconds = 0) {
    const CDeadline deadline(nMilliseconds);
    while (ReadTunnel(m_received[nId].empty() ? deadline.Remaining() : 0)) {
    }
    std::deque<std::pair<Bytes, unsigned>>& queue = m_received[nId];
    if (queue.empty())
      return false;
    bytes = std::move(queue.front().first);
    if (pnFromPort)
      *pnFromPort = queue.front().second;
    queue.pop_front();
    return true;
  }

private:
  CUdpRelay() {
    const char* lpszRelay = std::getenv("MINTORA_UDP_RELAY");
    sockaddr_in self = {};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    SocketLength nLength = sizeof self;
    m_fdTunnel = OpenUdpSocket(AF_INET);
    if (!lpszRelay || !*lpszRelay) {
      m_strFailure =
          "MINTORA_UDP_RELAY names no udp-relay (the windows test preset names the "
          "Linux build's)";
      return;
    }
    if (bind(m_fdTunnel, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0 ||
        getsockname(m_fdTunnel, reinterpret_cast<sockaddr*>(&self), &nLength) != 0) {
      m_strFailure = "no tunnel socket for udp-relay";
      return;
    }
    const std::string strPort = std::to_string(ntohs(self.sin_port));
    if (!Start(lpszRelay, strPort)) {
      m_strFailure = std::string("cannot start udp-relay ") + lpszRelay +
                     " (cmake --build --preset default --target udp-relay builds it)";
      return;
    }
    // The hello names the relay's tunnel; connected to it, the tunnel hears nobody else.
    sockaddr_in relay = {};
    nLength = sizeof relay;
    char hello[udp_relay::kRelayHeader];
    pollfd pfd = {m_fdTunnel, POLLIN, 0};
    if (PollSocket(&pfd, 1, 10000) <= 0 ||
        recvfrom(m_fdTunnel, hello, sizeof hello, 0, reinterpret_cast<sockaddr*>(&relay),
                 &nLength) != static_cast<int>(sizeof hello) ||
        hello[0] != udp_relay::kHello ||
        !udp_relay::IsLoopbackAddress(ntohl(relay.sin_addr.s_addr)) ||
        connect(m_fdTunnel, reinterpret_cast<const sockaddr*>(&relay), nLength) != 0)
      m_strFailure = std::string("udp-relay ") + lpszRelay + " did not answer in 10 s";
  }

  static bool Start(const char* lpszRelay, const std::string& strPort) {
#ifdef _WIN32
    // Wine starts a native program as it starts a Windows one.
    std::string strCommand = std::string("\"") + lpszRelay + "\" " + strPort;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, strCommand.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
      return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
#else
    (void)lpszRelay, (void)strPort;
    return false;
#endif
  }

  void Request(const udp_relay::SRelayHeader& header, const void* p = nullptr, std::size_t n = 0) {
    const Bytes bytes = udp_relay::RelayMessage(header, p, n);
    if (m_strFailure.empty())
      send(m_fdTunnel, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
           0);
  }
  /// Sends a request and waits for its result. @returns true when it was done.
  bool Answered(const udp_relay::SRelayHeader& header, const void* p = nullptr, std::size_t n = 0) {
    if (!m_strFailure.empty()) {
      ADD_FAILURE() << m_strFailure;
      return false;
    }
    m_results.erase(header.nId);
    Request(header, p, n);
    const CDeadline deadline(10000);
    while (!m_results.count(header.nId) && ReadTunnel(deadline.Remaining())) {
    }
    if (!m_results.count(header.nId)) {
      ADD_FAILURE() << "udp-relay did not answer in 10 s";
      return false;
    }
    return m_results[header.nId];
  }
  /// Reads one datagram of the tunnel into the queues, waiting up to nMilliseconds for it.
  /// @returns false when none came.
  bool ReadTunnel(int nMilliseconds) {
    pollfd pfd = {m_fdTunnel, POLLIN, 0};
    if (!m_strFailure.empty() || PollSocket(&pfd, 1, nMilliseconds) <= 0)
      return false;
    std::vector<unsigned char> buffer(65536);
    const int n = static_cast<int>(recv(m_fdTunnel, reinterpret_cast<char*>(buffer.data()),
                                        static_cast<int>(buffer.size()), 0));
    udp_relay::SRelayHeader header;
    if (n < 0 || !udp_relay::ParseRelayHeader(buffer.data(), static_cast<std::size_t>(n), header))
      return n >= 0;
    const unsigned char* pPayload = buffer.data() + udp_relay::kRelayHeader;
    if (header.eKind == udp_relay::kData && m_received.count(header.nId))
      m_received[header.nId].emplace_back(Bytes(pPayload, pPayload + (n - udp_relay::kRelayHeader)),
                                          header.nPort);
    if (header.eKind == udp_relay::kResult && n > static_cast<int>(udp_relay::kRelayHeader))
      m_results[header.nId] = pPayload[0] == 1;
    return true;
  }

  SocketHandle m_fdTunnel = kNoSocket;
  std::string m_strFailure;  // why there is no relay; empty while there is one
  std::uint16_t m_nLastId = 0;
  std::map<std::uint16_t, std::deque<std::pair<Bytes, unsigned>>> m_received;  // by socket
  std::map<std::uint16_t, bool> m_results;  // by socket: its latest request was done
};

/// A plain UDP socket bound to address:port, with SO_REUSEADDR unless told otherwise. The address
/// is IPv4 or IPv6 (dual-stack unless bV6Only). Only 127.0.0.0/8 (or ::1) is ever sent to. Under
/// Wine a peer on an IPv4 address other than 127.0.0.1 and the wildcard is a socket of
/// udp-relay's.
class CUdpPeer {
public:
  CUdpPeer(const char* lpszAddress, unsigned nPort, bool bReuse = true, bool bV6Only = false) {
    const SocketLength nLength = Address(lpszAddress, nPort, m_local);
    if (IsRelayed(m_local)) {
      m_nRelayId = CUdpRelay::Get().Bind(V4(m_local), nPort, bReuse);
      m_bBound = m_nRelayId != 0;
      return;
    }
    m_fd = OpenUdpSocket(m_local.ss_family);
    const int nOn = 1;
    const int nV6Only = bV6Only ? 1 : 0;
    if (bReuse)
      setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&nOn), sizeof nOn);
    if (m_local.ss_family == AF_INET6)
      setsockopt(m_fd, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&nV6Only),
                 sizeof nV6Only);
    m_bBound = bind(m_fd, reinterpret_cast<const sockaddr*>(&m_local), nLength) == 0;
  }
  ~CUdpPeer() {
    if (m_nRelayId)
      CUdpRelay::Get().Close(m_nRelayId);
    CloseSocket(m_fd);
  }
  CUdpPeer(const CUdpPeer&) = delete;
  CUdpPeer& operator=(const CUdpPeer&) = delete;

  bool IsBound() const { return m_bBound; }
  /// The socket itself, for checks that the kernel answers about it (none for a relayed peer).
  SocketHandle Handle() const { return m_fd; }

  /// Sends to 127.0.0.1:nPort, where the program's sockets listen on all local addresses.
  void SendTo(unsigned nPort, const Bytes& bytes) { SendTo("127.0.0.1", nPort, bytes); }

  /// Sends to a loopback address.
  void SendTo(const char* lpszAddress, unsigned nPort, const Bytes& bytes) {
    sockaddr_storage to;
    SendBytes(to, Address(lpszAddress, nPort, to), bytes);
  }

  /// Connects to a loopback address (127.0.0.1 unless told), so that Write needs no address (a
  /// flood of writes then shows once in a trace of the send calls, as the connect).
  /// @returns false when it failed.
  bool Connect(unsigned nPort, const char* lpszAddress = "127.0.0.1") {
    sockaddr_storage to;
    const SocketLength nLength = Address(lpszAddress, nPort, to);
    if (!m_bBound || !IsLoopback(to))
      return false;
    m_connected = to;  // a relayed peer sends there; it hears from anyone all the same
    return m_nRelayId ? to.ss_family == AF_INET
                      : connect(m_fd, reinterpret_cast<const sockaddr*>(&to), nLength) == 0;
  }
  /// Sends to the connected address; refused or dropped datagrams go unnoticed.
  void Write(const std::uint8_t* pBytes, std::size_t nLength) {
    if (m_nRelayId)
      SendBytes(m_connected, sizeof(sockaddr_in), Bytes(pBytes, pBytes + nLength));
    else
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
    if (m_nRelayId)
      return CUdpRelay::Get().Take(m_nRelayId, bytes, nullptr, nMilliseconds);
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
    sockaddr_storage self = m_local;
    SocketLength nLength = sizeof self;
    if (!m_nRelayId)
      getsockname(m_fd, reinterpret_cast<sockaddr*>(&self), &nLength);
    auto& v4 = reinterpret_cast<sockaddr_in&>(self);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(self);
    if (self.ss_family == AF_INET && v4.sin_addr.s_addr == htonl(INADDR_ANY))
      v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (self.ss_family == AF_INET6 && IN6_IS_ADDR_UNSPECIFIED(&v6.sin6_addr))
      v6.sin6_addr = in6addr_loopback;
    const Bytes probe = {'p', 'r', 'o', 'b', 'e', 0xA5};
    SendBytes(self, nLength, probe);
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
      return udp_relay::IsLoopbackAddress(V4(address));
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6&>(address).sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
  }
  /// An IPv4 address, in host order.
  static std::uint32_t V4(const sockaddr_storage& address) {
    return ntohl(reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr);
  }
  /// Wine binds an IPv4 address other than 127.0.0.1 (its loopback interface's) to all addresses.
  static bool IsRelayed(const sockaddr_storage& local) {
    const bool bWineBindsIt =
        local.ss_family != AF_INET || V4(local) == INADDR_ANY || V4(local) == INADDR_LOOPBACK;
    return !bWineBindsIt && kThisPlatform == kWindows;
  }

  void SendBytes(const sockaddr_storage& to, SocketLength nLength, const Bytes& bytes) {
    if (!IsLoopback(to))
      return;
    if (m_nRelayId && to.ss_family == AF_INET)
      CUdpRelay::Get().Send(m_nRelayId, V4(to),
                            ntohs(reinterpret_cast<const sockaddr_in&>(to).sin_port), bytes);
    else if (!m_nRelayId)
      sendto(m_fd, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
             reinterpret_cast<const sockaddr*>(&to), nLength);
  }
  bool ReceiveNow(Bytes& bytes, unsigned* pnFromPort = nullptr) {
    if (m_nRelayId)
      return CUdpRelay::Get().Take(m_nRelayId, bytes, pnFromPort);
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

  sockaddr_storage m_local = {};
  sockaddr_storage m_connected = {};
  SocketHandle m_fd = kNoSocket;
  std::uint16_t m_nRelayId = 0;  // the relay's socket, 0 when the peer is a socket of its own
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
