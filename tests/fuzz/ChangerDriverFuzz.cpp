// Fuzz target for the changer driver: the peer session, with a shorter limit than the unit test's.
#include "ChangerDriverFuzz.h"

#include <cstdio>
#include <cstdlib>

namespace {

// While fuzzing, a session ends after this many datagrams: some twenty start-ups' worth, and
// short enough for a thousand sessions a second. Longer seeds are fuzzed by their beginnings; the
// unit test replays them whole, those that fill the credit up to its largest value too.
constexpr std::size_t kFuzzDatagrams = 500;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string strFailure = CheckChangerDriverSession(pData, nSize, nullptr, kFuzzDatagrams);
  if (!strFailure.empty()) {
    std::fprintf(stderr, "changer driver rule broken: %s\n", strFailure.c_str());
    std::abort();
  }
  return 0;
}
