// Replays the fuzz target's seed corpus (and anything added to it later) in every test run, so
// the driver's money, record, wire and liveness properties are checked against the simulated
// changer without a fuzzer; and makes sure the seeds still reach what they were written for.
#include "fuzz/ChangerDriverFuzz.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::map<std::string, std::vector<std::uint8_t>> ReadCorpus() {
  std::map<std::string, std::vector<std::uint8_t>> corpus;
  for (const fs::directory_entry& entry : fs::directory_iterator(MINTORA_FUZZ_CORPUS)) {
    if (entry.is_regular_file())
      corpus[entry.path().filename().string()] = ReadFile(entry.path());
  }
  return corpus;
}

TEST(ChangerDriverFuzzCorpus, EverySessionKeepsTheRules) {
  const auto corpus = ReadCorpus();
  ASSERT_GE(corpus.size(), 10u);
  for (const auto& [strName, data] : corpus)
    EXPECT_EQ(CheckChangerDriverSession(data.data(), data.size()), "") << strName;
}

TEST(ChangerDriverFuzzCorpus, SeedsReachWhatTheyWereWrittenFor) {
  struct Expected {
    const char* lpszSeed;
    std::uint32_t nState;
    std::uint32_t nCredit;
    std::vector<std::uint8_t> payouts;
    unsigned nCoinTypeCommands;
    bool bSaturated = false;
  };
  // 66,052 coins of 255 x 255 pass 0xFFFFFFFF; a payout of 255 units of 255 leaves this much.
  constexpr std::uint32_t kAfterSaturation = 0xFFFFFFFFu - 255 * 255;
  const Expected cases[] = {
      {"peer_start_up", 8, 0, {}, 1},
      // Coins of 0.50, 0.20 and 0.10, a vend of 0.25: 11 units.
      {"peer_coins_vend_change", 8, 0, {11}, 4},
      // A reset between Change Return and the payout: paid after the restart, once.
      {"peer_reset_before_payout", 8, 0, {10, 1}, 4},
      // Of two coins of 0.50, the one whose header was spoiled is neither credited nor paid.
      {"peer_spoiled_headers", 8, 0, {10}, 3},
      {"peer_saturation", 8, kAfterSaturation, {255}, 66053, true},
      // Only the identifications cut to 2 and 3 bytes read as coin type 4: 2 x 20 units, and six
      // coins of 2.
      {"peer_cut_answers", 8, 0, {52}, 19},
      // Late answers credit nothing: coins of 2, then 4 + 10 + 1 units, then nothing.
      {"peer_late_answers", 8, 0, {2, 15, 0, 0, 0, 0}, 16},
      // The PC reading 1 to 7 datagrams behind the device. From 3 on, the changer's report of the
      // driver's own RESET comes after SETUP went out and starts it all again, so some coins
      // find the changer not enabled; what was taken is paid: 8, then three times 2 units.
      {"peer_lagging_pc", 8, 0, {8, 2, 2, 2}, 18},
      // Of all poll statuses only the two coins taken count: 1 + 10 units.
      {"peer_poll_statuses", 8, 0, {11}, 4},
      {"peer_resets_reported_at_once", 8, 0, {10}, 36},
      // At the cap's edge: 255 units and a remainder below one more (dropped), 254, and 256 (255
      // now, one with the next Change Return).
      {"peer_payout_edge_255", 8, 0, {255}, 6},
      {"peer_payout_edge_254", 8, 0, {254}, 4},
      {"peer_payout_edge_256", 8, 0, {255, 1}, 6},
  };
  const auto corpus = ReadCorpus();
  for (const Expected& expected : cases) {
    SCOPED_TRACE(expected.lpszSeed);
    const auto it = corpus.find(expected.lpszSeed);
    ASSERT_NE(it, corpus.end());
    ChangerSessionSummary summary;
    EXPECT_EQ(CheckChangerDriverSession(it->second.data(), it->second.size(), &summary), "");
    EXPECT_EQ(summary.nState, expected.nState);
    EXPECT_EQ(summary.nCredit, expected.nCredit);
    EXPECT_EQ(summary.payouts, expected.payouts);
    EXPECT_EQ(summary.nCoinTypeCommands, expected.nCoinTypeCommands);
    EXPECT_EQ(summary.bSaturated, expected.bSaturated);
  }
}

TEST(ChangerDriverFuzzCorpus, EmptyAndTruncatedInputsAreHarmless) {
  EXPECT_EQ(CheckChangerDriverSession(nullptr, 0), "");
  const std::uint8_t configOnly[] = {0x04};  // the changer's configuration cut short
  EXPECT_EQ(CheckChangerDriverSession(configOnly, sizeof configOnly), "");
  const std::uint8_t truncated[] = {0x04, 0, 0, 0, 0, 0, 0x09};  // a vend whose price never comes
  EXPECT_EQ(CheckChangerDriverSession(truncated, sizeof truncated), "");
}

}  // namespace
