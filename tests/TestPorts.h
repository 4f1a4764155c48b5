// Port numbers for the tests. Each suite owns a range of its own, so that suites run side by side;
// within it a process starts at a place picked at random and takes only ports that no socket on
// this machine holds, so that copies of one suite (tests run in parallel, two build folders) do
// not meet. The ranges lie between 25000 and 32767: below the kernel's ephemeral ports, above
// the ports of scripts/bench (24000-24099). No test picks a port outside its range.
#pragma once

#include "TestSockets.h"

#include <map>
#include <random>

namespace testing_support {

/// The first port of each suite's range.
enum class EPortRange : unsigned {
  Socket = 25000,
  DeviceLink = 25500,
  MintoraProcess = 26000,
  VendingApp = 26500,
  AbruptEnd = 27000,
  HostileSettings = 27500,
  Flood = 28000,
  MoneyConservation = 28500,
  EndToEnd = 29000,
  Memcheck = 29500,
  SimProcess = 30000,
  FaultEndToEnd = 30500,
  Dissector = 31000,
};
constexpr unsigned kPortRangeSize = 500;

/// @returns true when no socket holds nPort on any IPv4 address.
inline bool IsPortFree(unsigned nPort) {
  const SocketHandle fd = OpenUdpSocket(AF_INET);
  sockaddr_in any = {};
  any.sin_family = AF_INET;
  any.sin_port = htons(static_cast<unsigned short>(nPort));
  const bool bFree = bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0;
  CloseSocket(fd);
  return bFree;
}

/// nCount consecutive free ports of the suite's range. @returns the first of them.
inline unsigned TakePorts(EPortRange eRange, unsigned nCount = 2) {
  static std::map<EPortRange, unsigned> s_next;  // offset in the range where this process goes on
  const unsigned nFirst = static_cast<unsigned>(eRange);
  unsigned& nOffset = s_next.try_emplace(eRange, std::random_device()() % 50 * 10).first->second;
  for (unsigned nTried = 0; nTried < kPortRangeSize; ++nTried, ++nOffset) {
    nOffset %= kPortRangeSize;
    if (nOffset + nCount > kPortRangeSize)
      continue;
    bool bFree = true;
    for (unsigned n = 0; n < nCount && bFree; ++n)
      bFree = IsPortFree(nFirst + nOffset + n);
    if (bFree) {
      nOffset += nCount;
      return nFirst + nOffset - nCount;
    }
  }
  return nFirst;  // all taken: the test's own bind will say so
}

}  // namespace testing_support
