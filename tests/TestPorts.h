// Port numbers for the tests. Each suite owns a range of its own, so that suites run side by side;
// within it a process takes a slot of ten ports that no other test process holds (a lock file per
// slot, let go when the process ends) and, in the slot, only ports that no socket on this machine
// holds, so that copies of one suite (tests run in parallel, two build folders) do not meet: two
// processes that both found a port free before either bound it would. The ranges lie between 25000
// and 32767: below the kernel's ephemeral ports, above the ports of scripts/bench (24000-24099). No
// test picks a port outside its range.
#pragma once

#include "TestSockets.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#endif

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

constexpr unsigned kPortSlotSize = 10;

/// Takes the lock of the slot of ports that starts at nFirstPort, for as long as this process
/// lives, or until ReleasePortSlot. @returns the lock's handle, or -1 when another process holds
/// it.
inline INT_PTR LockPortSlot(unsigned nFirstPort) {
#ifdef _WIN32
  char szTemp[MAX_PATH] = {};
  GetTempPathA(sizeof szTemp, szTemp);
  const std::string strPath =
      std::string(szTemp) + "mintora-test-ports-" + std::to_string(nFirstPort) + ".lock";
  // Shared with nobody: a second open fails while this one stands.
  const HANDLE hLock =
      CreateFileA(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  return hLock == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(hLock);
#else
  // One folder for the locks, so that they do not spread over the temporary folder.
  const char* pszTemp = std::getenv("TMPDIR");
  const std::string strFolder =
      std::string(pszTemp && *pszTemp ? pszTemp : "/tmp") + "/mintora-test-ports";
  mkdir(strFolder.c_str(), 0700);
  const std::string strPath = strFolder + "/" + std::to_string(nFirstPort) + ".lock";
  const int fd = open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
#endif
}

inline void ReleasePortSlot(INT_PTR hLock) {
  if (hLock == -1)
    return;
#ifdef _WIN32
  CloseHandle(reinterpret_cast<HANDLE>(hLock));
#else
  close(static_cast<int>(hLock));
#endif
}

/// nCount (at most a slot's) consecutive free ports of the suite's range. @returns the first.
inline unsigned TakePorts(EPortRange eRange, unsigned nCount = 2) {
  // Where this process goes on in each range: its slot, the lock of that slot and of the one
  // before (a test may still use ports of the slot it took last), and the next port in it.
  struct Place {
    unsigned nSlot = 0;
    unsigned nNext = kPortSlotSize;  // none taken yet
    INT_PTR hLock = -1;
    INT_PTR hPreviousLock = -1;
  };
  static std::map<EPortRange, Place> s_places;
  const unsigned nFirst = static_cast<unsigned>(eRange);
  constexpr unsigned nSlots = kPortRangeSize / kPortSlotSize;
  const auto [it, bNew] = s_places.try_emplace(eRange);
  Place& place = it->second;
  if (bNew)
    place.nSlot = std::random_device()() % nSlots;
  for (unsigned nTried = 0; nTried <= nSlots; ++nTried) {
    if (place.nNext + nCount > kPortSlotSize) {
      // The next slot that no other test process holds.
      ReleasePortSlot(place.hPreviousLock);
      place.hPreviousLock = place.hLock;
      place.hLock = -1;
      for (unsigned n = 0; n < nSlots && place.hLock == -1; ++n) {
        place.nSlot = (place.nSlot + 1) % nSlots;
        place.hLock = LockPortSlot(nFirst + place.nSlot * kPortSlotSize);
      }
      place.nNext = 0;
    }
    const unsigned nPort = nFirst + place.nSlot * kPortSlotSize + place.nNext;
    bool bFree = true;
    for (unsigned n = 0; n < nCount && bFree; ++n)
      bFree = IsPortFree(nPort + n);
    place.nNext += bFree ? nCount : kPortSlotSize;  // a slot with a port held elsewhere is left
    if (bFree)
      return nPort;
  }
  return nFirst;  // all taken: the test's own bind will say so
}

}  // namespace testing_support
