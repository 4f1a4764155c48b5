// Whether a UDP port bound on all local addresses has a second owner.
//
// Sockets bind with SO_REUSEADDR so that a socket on one specific address (the simulated device
// on 127.0.0.2) may share the port with a bind to all addresses. With that option Windows also
// lets a second bind to all addresses take the same port, which would split the device's
// traffic between two owners without a sign; the system's UDP table decides instead.
#pragma once

#include "Win32.h"

/// Whether a UDP socket other than s, in this process or any other, is bound to the IPv4
/// wildcard address on s's local port. Sockets on one specific address do not count. s must
/// already be bound, so that of two sockets bound at the same moment each sees the other.
/// @returns false as well when the table cannot be read (the bind then stands).
bool IsWildcardPortShared(SOCKET s);
