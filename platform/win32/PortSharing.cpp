#include "PortSharing.h"

#include <iphlpapi.h>

#include <cstddef>
#include <vector>

namespace {

/// Rows the first read of the table has room for. Each read walks every UDP socket of the host
/// (under Wine in another process, with the owner of each looked up), so asking the size first
/// would double the cost of every bind; a host with more sockets takes a second read.
constexpr DWORD kRowsFirstRead = 128;

/// The IPv4 UDP table (addresses and ports). @returns false when it cannot be read.
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

}  // namespace

bool IsWildcardPortShared(SOCKET s) {
  sockaddr_in local = {};
  int nLength = sizeof local;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &nLength) != 0 ||
      local.sin_family != AF_INET)
    return false;
  std::vector<unsigned char> buffer;
  if (!ReadUdpTable(buffer))
    return false;
  // An owning process could not tell this socket from another one of the same process (and Wine
  // reports every owner as 0); so the wildcard rows on the port are counted, this socket's own
  // among them. dwLocalPort holds the port in network order in its low 16 bits.
  const auto* pTable = reinterpret_cast<const MIB_UDPTABLE*>(buffer.data());
  int nWildcardRows = 0;
  for (DWORD i = 0; i < pTable->dwNumEntries; ++i) {
    const MIB_UDPROW& row = pTable->table[i];
    if (row.dwLocalAddr == htonl(INADDR_ANY) &&
        static_cast<u_short>(row.dwLocalPort) == local.sin_port)
      ++nWildcardRows;
  }
  return nWildcardRows > 1;
}
