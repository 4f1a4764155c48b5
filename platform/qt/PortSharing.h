// Whether a UDP port bound on all local addresses has a second owner.
//
// Sockets bind with SO_REUSEADDR so that a socket on one specific address (the simulated device
// on 127.0.0.2) may share the port with a bind to all addresses. On Linux that option also lets
// two binds to all addresses share one port, which the Windows rule refuses and which would split
// the device's traffic between them without a sign. Where the plain bind already refuses that,
// nothing is checked here.
#pragma once

/// Whether a UDP socket other than fd, in this process or any other, holds the IPv4 wildcard
/// address on fd's local port: one bound to 0.0.0.0, one bound to :: that is not IPv6-only, or
/// one of those after it connected to a peer (it then shows the source address that the kernel
/// chose toward that peer as its own). Sockets on one specific address do not count, connected
/// or not, unless that address is the one a wildcard bind would have taken toward their peer.
/// fd must already be bound, so that of two sockets bound at the same moment each sees the
/// other.
/// @returns false as well where the bind refuses a second owner by itself, and where the
/// kernel's socket table cannot be read (the bind then stands as the kernel allowed it).
bool IsWildcardPortShared(int fd);
