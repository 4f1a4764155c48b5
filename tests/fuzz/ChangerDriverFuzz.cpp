// Fuzz target for the changer driver: the first byte picks the raw or the peer session.
#include "ChangerDriverFuzz.h"

#include <cstdio>
#include <cstdlib>

namespace {

// While fuzzing, a session ends after this many datagrams: some twenty start-ups' worth, and
// short enough for a thousand sessions a second. Longer seeds are fuzzed by their beginnings; the
// unit test replays them whole, those that fill the credit up to its largest value too.
constexpr std::size_t kFuzzDatagrams = 500;

}  // namespace

std::string CheckChangerDriverSession(const std::uint8_t* pData, std::size_t nSize,
                                      ChangerSessionSummary* pSummary, std::size_t nMaxDatagrams) {
  ChangerSessionSummary summary;
  std::string strFailure;
  if (nSize == 0)
    strFailure = CheckRawDriverSession(pData, 0, nMaxDatagrams, summary);
  else if (pData[0] & 1)
    strFailure = CheckPeerDriverSession(pData + 1, nSize - 1, nMaxDatagrams, summary);
  else
    strFailure = CheckRawDriverSession(pData + 1, nSize - 1, nMaxDatagrams, summary);
  if (pSummary)
    *pSummary = summary;
  return strFailure;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string strFailure = CheckChangerDriverSession(pData, nSize, nullptr, kFuzzDatagrams);
  if (!strFailure.empty()) {
    std::fprintf(stderr, "changer driver rule broken: %s\n", strFailure.c_str());
    std::abort();
  }
  return 0;
}
