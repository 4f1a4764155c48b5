// A changer driver session played from an arbitrary byte string: the driver against the
// simulated device and changer, the bytes choosing what the changer, the device and the operator
// do, with its rules checked after every datagram (PeerDriverSession.cpp). libFuzzer drives it
// (ChangerDriverFuzz.cpp); a unit test replays the seed corpus.
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
  bool bSaturated = false;            ///< the credit reached the largest 32-bit number
  std::size_t nDatagrams = 0;         ///< datagrams handed to the driver
};

/// Datagrams a session may hand to the driver in all, repeats included: enough for 66,052 coins
/// of 255 x 255 hundredths, the first that no longer fit into the 32-bit credit, at about four
/// datagrams each.
constexpr std::size_t kMaxSessionDatagrams = 400000;

/// Plays one session of at most nMaxDatagrams datagrams. @returns an empty text when every rule
/// held, otherwise a description of the first broken rule and the step where it broke.
std::string CheckChangerDriverSession(const std::uint8_t* pData, std::size_t nSize,
                                      ChangerSessionSummary* pSummary = nullptr,
                                      std::size_t nMaxDatagrams = kMaxSessionDatagrams);
