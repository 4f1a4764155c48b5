#include "PortSharing.h"

#include <iphlpapi.h>

#include <vector>

namespace {

/// The IPv4 UDP table with each socket's owning process. @returns false when it cannot be read.
bool ReadUdpTable(std::vector<unsigned char>& rBuffer) {
  // The table may grow between asking its size and reading it; a few rounds settle it.
  DWORD dwSize = 0;
  for (int nRound = 0; nRound < 4; ++nRound) {
    rBuffer.resize(dwSize);
    const DWORD dwResult = GetExtendedUdpTable(rBuffer.empty() ? nullptr : rBuffer.data(), &dwSize,
                                               FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0);
    if (dwResult == NO_ERROR)
      return rBuffer.size() >= sizeof(DWORD);
    if (dwResult != ERROR_INSUFFICIENT_BUFFER)
      return false;
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
  // The owning process cannot tell this socket from another one of the same process, and Wine
  // reports every owner as 0; so the wildcard rows on the port are counted, this socket's own
  // among them. dwLocalPort holds the port in network order in its low 16 bits.
  const auto* pTable = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(buffer.data());
  int nWildcardRows = 0;
  for (DWORD i = 0; i < pTable->dwNumEntries; ++i) {
    const MIB_UDPROW_OWNER_PID& row = pTable->table[i];
    if (row.dwLocalAddr == htonl(INADDR_ANY) &&
        static_cast<u_short>(row.dwLocalPort) == local.sin_port)
      ++nWildcardRows;
  }
  return nWildcardRows > 1;
}
