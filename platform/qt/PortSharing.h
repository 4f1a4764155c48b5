// Whether a UDP port bound on all local addresses has a second owner.
//
// Sockets bind with SO_REUSEADDR so that a socket on one specific address (the simulated device
// on 127.0.0.2) may share the port with a bind to all addresses. On Linux that option also lets
// two binds to all addresses share one port, which the Windows rule refuses and which would split
// the device's traffic between them without a sign. Where the plain bind already refuses that,
// nothing is checked here.
#pragma once

/// For each of the nCount sockets, in order, whether a UDP socket other than it, in this process
/// or any other, holds the IPv4 wildcard address on its local port: one bound to 0.0.0.0, one
/// bound to :: that is not IPv6-only, or one of those after it connected to a peer (it then shows
/// the source address that the kernel chose toward that peer as its own). Sockets on one specific
/// address do not count, connected or not, unless that address is the one a wildcard bind would
/// have taken toward their peer; nor are they judged (false). Sockets later in the list count as
/// not there yet, so each is judged as if the ones before it had been made in turn. Every socket
/// must already be bound, so that of two sockets bound at the same moment each sees the other.
/// pbShared gets nCount answers: false as well where the bind refuses a second owner by itself,
/// and where the kernel's socket table cannot be read (the bind then stands as the kernel allowed
/// it).
void FindSharedWildcardPorts(const int* pFds, int nCount, bool* pbShared);
