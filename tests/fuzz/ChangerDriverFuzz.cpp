// Fuzz target for the changer driver: the first byte picks the raw or the peer session.
#include "ChangerDriverFuzz.h"

#include <cstdio>
#include <cstdlib>

std::string CheckChangerDriverSession(const std::uint8_t* pData, std::size_t nSize,
                                      ChangerSessionSummary* pSummary) {
  ChangerSessionSummary summary;
  std::string strFailure;
  if (nSize == 0)
    strFailure = CheckRawDriverSession(pData, 0, summary);
  else if (pData[0] & 1)
    strFailure = CheckPeerDriverSession(pData + 1, nSize - 1, summary);
  else
    strFailure = CheckRawDriverSession(pData + 1, nSize - 1, summary);
  if (pSummary)
    *pSummary = summary;
  return strFailure;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string strFailure = CheckChangerDriverSession(pData, nSize);
  if (!strFailure.empty()) {
    std::fprintf(stderr, "changer driver rule broken: %s\n", strFailure.c_str());
    std::abort();
  }
  return 0;
}
