// udp-relay CLIENT_PORT: real UDP sockets on the loopback range for a test process under Wine.
// Wine binds a socket meant for 127.0.0.2 (or any address but 127.0.0.1) to all addresses, where
// it meets the program's own sockets on the same port; so the Windows tests' device peers are
// sockets of this native process instead. The test process binds its tunnel socket on 127.0.0.1
// and starts the relay with the tunnel's port; the relay answers from a tunnel of its own and
// then carries the requests and datagrams of UdpRelayProtocol.h both ways. It binds and sends to
// 127.0.0.0/8 only, each address checked. It ends on kBye, or once the test's tunnel socket is
// gone from the system's table: Wine starts it detached, so its parent is not the test process,
// and the tunnel closes when that process ends, however it ends.
#include "UdpRelayProtocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace udp_relay;

namespace {

sockaddr_in Address(std::uint32_t nAddress, std::uint16_t nPort) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(nAddress);
  address.sin_port = htons(nPort);
  return address;
}

/// The inode of the UDP socket on local port nPort ("" when there is none).
std::string SocketInode(unsigned nPort) {
  char szPort[8];
  std::snprintf(szPort, sizeof szPort, ":%04X", nPort);
  std::ifstream in("/proc/net/udp");
  for (std::string strLine; std::getline(in, strLine);) {
    std::istringstream fields(strLine);
    std::string strField[10];
    for (std::string& s : strField)
      fields >> s;  // sl, local, remote, st, queues, tr:when, retrnsmt, uid, timeout, inode
    if (strField[1].size() > 5 && strField[1].substr(strField[1].size() - 5) == szPort)
      return strField[9];
  }
  return "";
}

bool IsListed(const std::string& strInode) {
  std::ifstream in("/proc/net/udp");
  for (std::string strLine; std::getline(in, strLine);)
    if (strLine.find(" " + strInode + " ") != std::string::npos)
      return true;
  return false;
}

class CRelay {
public:
  explicit CRelay(int fdTunnel) : m_fdTunnel(fdTunnel) {}
  ~CRelay() {
    for (const auto& [nId, fd] : m_sockets)
      close(fd);
  }

  /// Serves one datagram of the tunnel. @returns false on kBye.
  bool OnRequest(const unsigned char* p, std::size_t nLength) {
    SRelayHeader h;
    if (!ParseRelayHeader(p, nLength, h))
      return true;
    const sockaddr_in to = Address(h.nAddress, h.nPort);
    const auto it = m_sockets.find(h.nId);
    const int fd = it == m_sockets.end() ? -1 : it->second;
    switch (h.eKind) {
    case kBind: Answer(h.nId, Bind(h, nLength > kRelayHeader && p[kRelayHeader] == 1)); break;
    case kSend:
      if (IsLoopbackAddress(h.nAddress))
        sendto(fd, p + kRelayHeader, nLength - kRelayHeader, 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
      Answer(h.nId, true);  // on the loopback the datagram is queued at its receiver by now
      break;
    case kClose:
      if (fd != -1)
        close(fd);
      m_sockets.erase(h.nId);
      break;
    case kBye: return false;
    default: break;
    }
    return true;
  }

  /// Hands what waits on the relayed sockets (pfds after the tunnel's) to the tunnel.
  void Forward(const std::vector<pollfd>& pfds) {
    unsigned char buffer[65536];
    for (std::size_t i = 1; i < pfds.size(); ++i) {
      if (!(pfds[i].revents & POLLIN))
        continue;
      sockaddr_in from = {};
      socklen_t nFromLength = sizeof from;
      const ssize_t n = recvfrom(pfds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from), &nFromLength);
      if (n < 0)
        continue;  // a refused send of its own, reported on the next read
      for (const auto& [nId, fd] : m_sockets)
        if (fd == pfds[i].fd)
          Reply({kData, nId, ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)}, buffer,
                static_cast<std::size_t>(n));
    }
  }

  /// The tunnel, then every relayed socket.
  std::vector<pollfd> PollList() const {
    std::vector<pollfd> pfds = {{m_fdTunnel, POLLIN, 0}};
    for (const auto& [nId, fd] : m_sockets)
      pfds.push_back({fd, POLLIN, 0});
    return pfds;
  }

private:
  bool Bind(const SRelayHeader& h, bool bReuse) {
    if (!IsLoopbackAddress(h.nAddress) || m_sockets.count(h.nId))
      return false;
    const int fd = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const int nOn = 1;
    if (bReuse)
      setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    const sockaddr_in local = Address(h.nAddress, h.nPort);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      close(fd);
      return false;
    }
    m_sockets[h.nId] = fd;
    return true;
  }
  void Answer(std::uint16_t nId, bool bDone) {
    const unsigned char done = bDone ? 1 : 0;
    Reply({kResult, nId, 0, 0}, &done, 1);
  }
  void Reply(const SRelayHeader& h, const void* p, std::size_t n) {
    const std::vector<unsigned char> bytes = RelayMessage(h, p, n);
    send(m_fdTunnel, bytes.data(), bytes.size(), 0);  // connected to the test's tunnel
  }

  int m_fdTunnel;
  std::map<std::uint16_t, int> m_sockets;  // by the test's number
};

}  // namespace

int main(int argc, char** argv) {
  const long nClientPort = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (nClientPort <= 0 || nClientPort > 65535) {
    std::fprintf(stderr, "usage: udp-relay CLIENT_PORT (the test's tunnel on 127.0.0.1)\n");
    return 2;
  }
  // What the starter left open, its tunnel among them, would keep that tunnel in the table.
  close_range(3, ~0U, 0);
  const std::string strClientInode = SocketInode(static_cast<unsigned>(nClientPort));
  const int fdTunnel = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const sockaddr_in self = Address(INADDR_LOOPBACK, 0);
  const sockaddr_in client = Address(INADDR_LOOPBACK, static_cast<std::uint16_t>(nClientPort));
  if (strClientInode.empty() ||
      bind(fdTunnel, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0 ||
      connect(fdTunnel, reinterpret_cast<const sockaddr*>(&client), sizeof client) != 0) {
    std::fprintf(stderr, "udp-relay: no tunnel to a test on port %ld\n", nClientPort);
    return 1;
  }
  CRelay relay(fdTunnel);
  const std::vector<unsigned char> hello = RelayMessage({kHello, 0, 0, 0});
  send(fdTunnel, hello.data(), hello.size(), 0);
  unsigned char buffer[65536];
  auto checked = std::chrono::steady_clock::now();
  for (bool bServing = true; bServing;) {
    std::vector<pollfd> pfds = relay.PollList();
    poll(pfds.data(), pfds.size(), 250);
    if (std::chrono::steady_clock::now() - checked > std::chrono::milliseconds(250)) {
      checked = std::chrono::steady_clock::now();
      bServing = IsListed(strClientInode);
    }
    relay.Forward(pfds);
    if (bServing && pfds[0].revents & (POLLIN | POLLERR)) {
      const ssize_t n = recv(fdTunnel, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n >= 0)
        bServing = relay.OnRequest(buffer, static_cast<std::size_t>(n));
      else
        bServing = errno != ECONNREFUSED || IsListed(strClientInode);
    }
  }
  close(fdTunnel);
  return 0;
}
