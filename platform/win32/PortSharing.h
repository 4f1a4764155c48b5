// Whether a UDP port bound on all local addresses has a second owner.
//
// Sockets bind with SO_REUSEADDR so that a socket on one specific address (the simulated device
// on 127.0.0.2) may share the port with a bind to all addresses. With that option Windows also
// lets a second bind to all addresses take the same port, which would split the device's
// traffic between two owners without a sign; the system's UDP table decides instead.
#pragma once

#include "Win32.h"

#include <vector>

/// The system's IPv4 UDP table (a MIB_UDPTABLE: addresses and ports) into rTable.
/// @returns false when it cannot be read.
bool ReadUdpTable(std::vector<unsigned char>& rTable);

/// For each of the nCount sockets, in order, whether another UDP socket, in this process or any
/// other, is bound to the IPv4 wildcard address on its local port; sockets later in the list
/// count as not there yet, so each is judged as if the ones before it had been made in turn.
/// Sockets on one specific address neither count nor are judged (false). One read of the
/// system's table serves them all (a port that it finds shared is read again, a few times, before
/// it counts as shared): every socket must already be bound when this is called, so that of two
/// sockets bound at the same moment each sees the other.
/// pbShared gets nCount answers; all are false when the table cannot be read (the binds then
/// stand). pfnReadTable reads the table: the system's, unless a test gives one of its own.
void FindSharedWildcardPorts(
    const SOCKET* pSockets, int nCount, bool* pbShared,
    bool (*pfnReadTable)(std::vector<unsigned char>& rTable) = ReadUdpTable);
