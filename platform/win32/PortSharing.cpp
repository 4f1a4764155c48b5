#include "PortSharing.h"

#include <iphlpapi.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

/// Rows the first read of the table has room for. Each read walks every UDP socket of the host
/// (under Wine in another process, with the owner of each looked up), so asking the size first
/// would double the cost of every bind; a host with more sockets takes a second read.
constexpr DWORD kRowsFirstRead = 128;

}  // namespace

bool ReadUdpTable(std::vector<unsigned char>& rBuffer) {
  DWORD dwSize = offsetof(MIB_UDPTABLE, table) + kRowsFirstRead * sizeof(MIB_UDPROW);
  // The table may grow between a read that found it too long and the next; a few rounds settle
  // it.
  for (int nRound = 0; nRound < 4; ++nRound) {
    rBuffer.resize(dwSize);
    const DWORD dwResult =
        GetExtendedUdpTable(rBuffer.data(), &dwSize, FALSE, AF_INET, UDP_TABLE_BASIC, 0);
    if (dwResult == NO_ERROR)
      return dwSize >= sizeof(DWORD);
    if (dwResult != ERROR_INSUFFICIENT_BUFFER)
      return false;
    dwSize += 64 * sizeof(MIB_UDPROW);
  }
  return false;
}

void FindSharedWildcardPorts(const SOCKET* pSockets, int nCount, bool* pbShared,
                             bool (*pfnReadTable)(std::vector<unsigned char>& rTable)) {
  std::vector<u_short> ports;  // network order; 0 for a socket not on the wildcard
  for (int i = 0; i < nCount; ++i) {
    sockaddr_in local = {};
    int nLength = sizeof local;
    const bool bWildcard =
        getsockname(pSockets[i], reinterpret_cast<sockaddr*>(&local), &nLength) == 0 &&
        local.sin_family == AF_INET && local.sin_addr.s_addr == htonl(INADDR_ANY);
    ports.push_back(bWildcard ? local.sin_port : 0);
    pbShared[i] = bWildcard;  // a candidate until a read of the table clears it
  }
  // Under Wine a read made while another process makes and closes sockets now and then lists
  // a second row on this socket's port that the kernel's own table does not hold, and every owner
  // is 0 there, so such a row looks like a second owner. A port is taken for shared only when
  // every read finds it so, up to kReads, a moment apart; a real second owner is in all of them.
  // Mostly the first read clears every port, and nothing waits.
  constexpr int kReads = 5;
  std::vector<unsigned char> buffer;
  for (int nRead = 0;
       nRead < kReads && std::find(pbShared, pbShared + nCount, true) != pbShared + nCount;
       ++nRead) {
    if (nRead > 0)
      Sleep(2);
    if (!pfnReadTable(buffer)) {
      std::fill(pbShared, pbShared + nCount, false);
      return;
    }
    // An owning process could not tell these sockets from others of the same process; so the
    // wildcard rows on each port are counted, the list's own among them. dwLocalPort holds the
    // port in network order in its low 16 bits.
    const auto* pTable = reinterpret_cast<const MIB_UDPTABLE*>(buffer.data());
    for (int i = 0; i < nCount; ++i) {
      if (!pbShared[i])
        continue;
      int nRows = 0;
      for (DWORD j = 0; j < pTable->dwNumEntries; ++j) {
        const MIB_UDPROW& row = pTable->table[j];
        if (row.dwLocalAddr == htonl(INADDR_ANY) &&
            static_cast<u_short>(row.dwLocalPort) == ports[i])
          ++nRows;
      }
      // This socket and those after it on the same port: the rows that would not be there yet.
      const auto nOwnAndLater = std::count(ports.begin() + i, ports.end(), ports[i]);
      pbShared[i] = nRows > nOwnAndLater;
    }
  }
}
