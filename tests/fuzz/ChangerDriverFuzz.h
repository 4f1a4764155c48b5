// A changer driver session played from an arbitrary byte string: the device's datagrams and the
// operator's requests, interleaved as the bytes say, with the money and wire rules checked after
// every step. libFuzzer drives it (ChangerDriverFuzz.cpp); a unit test replays the seed corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// Where a session ended, for checking that a seed still reaches what it was written for.
struct ChangerSessionSummary {
  std::uint32_t nState = 0;
  std::uint32_t nCredit = 0;
  std::vector<std::uint8_t> payouts;  ///< third byte of each EXPANSION PAYOUT, in order
  unsigned nCoinTypeCommands = 0;     ///< COIN TYPE commands sent
};

/// Plays one session. @returns an empty text when every rule held, otherwise a description of
/// the first broken rule and the step where it broke.
std::string CheckChangerDriverSession(const std::uint8_t* pData, std::size_t nSize,
                                      ChangerSessionSummary* pSummary = nullptr);
