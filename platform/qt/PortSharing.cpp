#include "PortSharing.h"

#include <algorithm>

#if defined(__linux__)

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <vector>

namespace {

/// A dump request for every UDP socket of one address family (sock_diag netlink).
struct DiagRequest {
  nlmsghdr header;
  inet_diag_req_v2 request;
};

bool IsV4Mapped(const __be32 address[4]) {
  return address[0] == 0 && address[1] == 0 && address[2] == htonl(0xFFFF);
}

/// Whether the kernel picks local (network order) as the source address toward peer:nPort,
/// which is the address that a socket bound to the wildcard takes on when it connects there.
bool IsSourceToward(__be32 local, __be32 peer, __be16 nPort) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return false;
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = nPort;
  to.sin_addr.s_addr = peer;
  sockaddr_in source = {};
  socklen_t nLength = sizeof source;
  // A UDP connect only chooses the route; nothing is sent.
  const bool bSame = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
                     getsockname(fd, reinterpret_cast<sockaddr*>(&source), &nLength) == 0 &&
                     source.sin_addr.s_addr == local;
  close(fd);
  return bSame;
}

/// Whether one entry of the table takes the IPv4 datagrams that a wildcard bind on its port
/// would take: it is bound to the wildcard, or it is connected from the very address that a
/// wildcard bind takes on when it connects to that peer (the table keeps no other trace of the
/// bind; a socket that bound that address itself receives the same datagrams). A socket on one
/// specific address that is not connected (the simulated device), or that is connected from
/// another address (a device talking to this host), does not count. bV6Only is the socket's
/// IPV6_V6ONLY as the kernel reports it (not reported: dual-stack).
bool TakesIPv4Wildcard(const inet_diag_msg& entry, bool bV6Only) {
  const __be32* pSource = entry.id.idiag_src;
  const __be32* pPeer = entry.id.idiag_dst;
  __be32 local = pSource[0];
  __be32 peer = pPeer[0];
  if (entry.idiag_family == AF_INET6) {
    // Only a dual-stack socket takes IPv4, bound to :: or to an IPv4-mapped address.
    const bool bAnyAddress =
        pSource[0] == 0 && pSource[1] == 0 && pSource[2] == 0 && pSource[3] == 0;
    if (bV6Only || !(bAnyAddress || IsV4Mapped(pSource)))
      return false;
    local = pSource[3];
    peer = IsV4Mapped(pPeer) ? pPeer[3] : 0;
  }
  if (local == 0)
    return true;
  return entry.id.idiag_dport != 0 && peer != 0 &&
         IsSourceToward(local, peer, entry.id.idiag_dport);
}

bool HasV6OnlyFlag(const nlmsghdr* pMessage, const inet_diag_msg& entry) {
  const auto* pAttribute = reinterpret_cast<const nlattr*>(reinterpret_cast<const char*>(&entry) +
                                                           NLMSG_ALIGN(sizeof entry));
  int nLeft = static_cast<int>(pMessage->nlmsg_len) - NLMSG_LENGTH(sizeof entry);
  while (nLeft >= static_cast<int>(sizeof(nlattr)) && pAttribute->nla_len >= sizeof(nlattr) &&
         pAttribute->nla_len <= nLeft) {
    if (pAttribute->nla_type == INET_DIAG_SKV6ONLY && pAttribute->nla_len > NLA_HDRLEN)
      return *(reinterpret_cast<const unsigned char*>(pAttribute) + NLA_HDRLEN) != 0;
    const int nStep = NLA_ALIGN(pAttribute->nla_len);
    nLeft -= nStep;
    pAttribute = reinterpret_cast<const nlattr*>(reinterpret_cast<const char*>(pAttribute) + nStep);
  }
  return false;
}

/// Looks once through every UDP socket of one family for owners of the wildcard on the ports
/// pPorts[0..nCount) (network order, 0 for a socket not judged) and sets pbShared[i] when one
/// other than the sockets pOwn[i..nCount) holds pPorts[i]. A table that cannot be read (a kernel
/// without IPv6 has none for it) leaves pbShared as it was.
void FindOtherOwners(int nFamily, const __be16* pPorts, const ino_t* pOwn, int nCount,
                     bool* pbShared) {
  const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd < 0)
    return;
  // The kernel answers at once; should it not, start-up goes on without the check.
  const timeval limit = {1, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  DiagRequest request = {};
  request.header.nlmsg_len = sizeof request;
  request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  request.request.sdiag_family = static_cast<__u8>(nFamily);
  request.request.sdiag_protocol = IPPROTO_UDP;
  request.request.idiag_states = ~0u;  // unconnected (CLOSE) and connected (ESTABLISHED)
  sockaddr_nl kernel = {};
  kernel.nl_family = AF_NETLINK;
  if (sendto(fd, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
             sizeof kernel) != static_cast<ssize_t>(sizeof request)) {
    close(fd);
    return;
  }
  // The kernel fills each part of the dump up to the size of the reader's buffer; a message
  // is never split across reads, so a part that did not fit is reported as truncated.
  std::vector<char> buffer(32768);
  for (bool bEnd = false; !bEnd;) {
    iovec part = {buffer.data(), buffer.size()};
    msghdr message = {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    const ssize_t nRead = recvmsg(fd, &message, 0);
    if (nRead <= 0 || (message.msg_flags & MSG_TRUNC))
      break;
    int nLeft = static_cast<int>(nRead);
    for (auto* p = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(p, nLeft);
         p = NLMSG_NEXT(p, nLeft)) {
      // The dump ends with DONE, or with an ERROR where there is no table to give.
      if (p->nlmsg_type == NLMSG_DONE || p->nlmsg_type == NLMSG_ERROR ||
          p->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) {
        bEnd = true;
        break;
      }
      const auto& entry = *static_cast<const inet_diag_msg*>(NLMSG_DATA(p));
      for (int i = 0; i < nCount; ++i) {
        if (pPorts[i] != 0 && entry.id.idiag_sport == pPorts[i] &&
            std::none_of(pOwn + i, pOwn + nCount,
                         [&](ino_t nInode) { return entry.idiag_inode == nInode; }) &&
            TakesIPv4Wildcard(entry, HasV6OnlyFlag(p, entry)))
          pbShared[i] = true;
      }
    }
  }
  close(fd);
}

}  // namespace

void FindSharedWildcardPorts(const int* pFds, int nCount, bool* pbShared) {
  // Each socket's own inode and those of the sockets after it, which count as not there yet.
  std::vector<ino_t> inodes;
  std::vector<__be16> ports;  // 0 for a socket not on the IPv4 wildcard
  for (int i = 0; i < nCount; ++i) {
    pbShared[i] = false;
    sockaddr_in local = {};
    socklen_t nLength = sizeof local;
    struct stat own = {};
    const bool bKnown = getsockname(pFds[i], reinterpret_cast<sockaddr*>(&local), &nLength) == 0 &&
                        local.sin_family == AF_INET && fstat(pFds[i], &own) == 0;
    ports.push_back(bKnown && local.sin_addr.s_addr == htonl(INADDR_ANY) ? local.sin_port : 0);
    inodes.push_back(bKnown ? own.st_ino : 0);
  }
  // One look at each family's table, after every bind, serves all the sockets.
  if (std::any_of(ports.begin(), ports.end(), [](__be16 nPort) { return nPort != 0; })) {
    FindOtherOwners(AF_INET, ports.data(), inodes.data(), nCount, pbShared);
    FindOtherOwners(AF_INET6, ports.data(), inodes.data(), nCount, pbShared);
  }
}

#else

// Elsewhere the bind is taken to refuse a second owner of the wildcard by itself; a platform where
// SO_REUSEADDR lets two such binds share a port needs its own check here.
void FindSharedWildcardPorts(const int*, int nCount, bool* pbShared) {
  std::fill(pbShared, pbShared + nCount, false);
}

#endif
