// The simulated coin changer: its answers byte for byte, where coins go, what it pays out.
#include "ChangerModel.h"

#include <gtest/gtest.h>

namespace {

ChangerReply Send(CChangerModel& changer, const ByteVector& command) {
  return changer.OnCommand(command.data(), command.size());
}

/// A changer with the default coin set, fresh from power-up.
class ChangerAtPowerUp : public ::testing::Test {
protected:
  CChangerModel m_changer;
};

TEST_F(ChangerAtPowerUp, AnswersSetupIdentificationAndTubeStatus) {
  const ChangerReply setup = Send(m_changer, {0x09});
  EXPECT_EQ(setup.m_eCommand, EChangerCommand::Setup);
  EXPECT_EQ(setup.m_data,
            (ByteVector{0x03, 0x19, 0x78, 0x05, 0x02, 0x00, 0x0F, 0x01, 0x02, 0x04, 0x0A, 0x14,
                        0x28, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0}));

  const ChangerReply ident = Send(m_changer, {0x0F, 0x00});
  EXPECT_EQ(ident.m_eCommand, EChangerCommand::Identification);
  EXPECT_EQ(ident.m_data,
            (ByteVector{'T', 'S', 'L', '1', '9', '7',  '8',  '0',  '0',  '0',  '4',
                        '2', '9', '1', '7', 'L', 'X',  '5',  '2',  '0',  '0',  'E',
                        '-', 'C', 'G', ' ', ' ', 0x01, 0x23, 0x00, 0x00, 0x00, 0x05}));

  const ChangerReply tubes = Send(m_changer, {0x0A});
  EXPECT_EQ(tubes.m_eCommand, EChangerCommand::TubeStatus);
  EXPECT_EQ(tubes.m_data,
            (ByteVector{0x00, 0x00, 24, 30, 18, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ChangerAtPowerUp, TakesCommandsOnlyAtTheirExactLength) {
  struct Case {
    ByteVector m_bytes;
    EChangerCommand m_eCommand;
    bool m_bWellFormed;
  };
  const Case cases[] = {
      {{0x08}, EChangerCommand::Reset, true},
      {{0x08, 0x00}, EChangerCommand::Reset, false},
      {{0x0B, 0x00}, EChangerCommand::Poll, false},
      {{0x0C, 0x00, 0x3F, 0x00}, EChangerCommand::CoinType, false},
      {{0x0C, 0x00, 0x3F, 0x00, 0x0F, 0x00}, EChangerCommand::CoinType, false},
      {{0x0F}, EChangerCommand::Unknown, false},
      {{0x0F, 0x03}, EChangerCommand::Unknown, false},
      {{0x0F, 0x01, 0x00, 0x00, 0x00}, EChangerCommand::FeatureEnable, false},
      {{0x0F, 0x02}, EChangerCommand::Payout, false},
      {{0x07}, EChangerCommand::Unknown, false},
      {{0x10}, EChangerCommand::Unknown, false},
  };
  for (const Case& c : cases) {
    const ChangerReply reply = Send(m_changer, c.m_bytes);
    EXPECT_EQ(reply.m_eCommand, c.m_eCommand) << testing::PrintToString(c.m_bytes);
    EXPECT_EQ(reply.m_bWellFormed, c.m_bWellFormed) << testing::PrintToString(c.m_bytes);
    EXPECT_TRUE(reply.m_data.empty());
  }
  // None of the malformed ones did anything: still nothing enabled, nothing paid.
  EXPECT_EQ(m_changer.GetAcceptMask(), 0);
  EXPECT_EQ(m_changer.GetPayoutCount(), 0u);
}

/// Coin types 0..5 accepted, tubes 0..3 dispensable by hand, the power-up report taken.
class ChangerEnabled : public ::testing::Test {
protected:
  void SetUp() override {
    m_changer.TakeEvent();
    ASSERT_TRUE(Send(m_changer, {0x0C, 0x00, 0x3F, 0x00, 0x0F}).m_bWellFormed);
    ASSERT_EQ(m_changer.GetAcceptMask(), 0x003F);
    ASSERT_EQ(m_changer.GetDispenseMask(), 0x000F);
  }
  CChangerModel m_changer;
};

TEST_F(ChangerEnabled, RoutesCoinsToTheirTubeOrTheCashBox) {
  InsertOutcome outcome = m_changer.InsertCoin(2);
  EXPECT_EQ(outcome.m_eResult, EInsertResult::ToTube);
  EXPECT_EQ(outcome.m_nTubeCount, 19);
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0x52, 0x13}));

  outcome = m_changer.InsertCoin(4);  // 1.00 has no tube
  EXPECT_EQ(outcome.m_eResult, EInsertResult::ToCashBox);
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0x44, 0x00}));
  EXPECT_EQ(m_changer.GetCashBoxTotal(), 100u);
  EXPECT_EQ(m_changer.GetCashBoxCount(4), 1u);

  EXPECT_EQ(Send(m_changer, {0x0A}).m_data,
            (ByteVector{0x00, 0x00, 24, 30, 19, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ChangerEnabled, FullTubeSendsFurtherCoinsToTheCashBox) {
  ASSERT_TRUE(m_changer.SetTubeCount(0, 59));
  EXPECT_EQ(m_changer.InsertCoin(0).m_eResult, EInsertResult::ToTube);
  EXPECT_TRUE(m_changer.IsTubeFull(0));
  EXPECT_EQ(m_changer.InsertCoin(0).m_eResult, EInsertResult::ToCashBox);
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0x50, 60}));
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0x40, 60}));
  EXPECT_EQ(m_changer.GetCashBoxTotal(), 5u);

  ASSERT_TRUE(m_changer.SetTubeCount(1, 200));  // more than fits: clamped to the capacity
  EXPECT_EQ(m_changer.GetTubeCount(1), 60);
  const ByteVector tubes = Send(m_changer, {0x0A}).m_data;
  ASSERT_EQ(tubes.size(), 18u);
  EXPECT_EQ(tubes[0], 0x00);
  EXPECT_EQ(tubes[1], 0x03);
}

TEST_F(ChangerEnabled, GivesBackCoinsItMayNotOrCannotTake) {
  ASSERT_TRUE(Send(m_changer, {0x0C, 0x00, 0x01, 0x00, 0x00}).m_bWellFormed);
  EXPECT_EQ(m_changer.InsertCoin(1).m_eResult, EInsertResult::NotEnabled);
  EXPECT_EQ(m_changer.InsertCoin(6).m_eResult,
            EInsertResult::UnknownCoin);  // no such coin in the set
  EXPECT_EQ(m_changer.InsertCoin(16).m_eResult, EInsertResult::UnknownCoin);  // beyond the 16 types
  EXPECT_FALSE(m_changer.HasEvent());

  // The report buffer holds 16; the 17th coin comes back.
  for (std::size_t n = 0; n < CChangerModel::kMaxEvents; ++n)
    ASSERT_EQ(m_changer.InsertCoin(0).m_eResult, EInsertResult::ToTube);
  EXPECT_EQ(m_changer.InsertCoin(0).m_eResult, EInsertResult::Busy);
  EXPECT_EQ(m_changer.GetTubeCount(0), 24 + 16);
}

TEST_F(ChangerEnabled, ResetDisablesCoinsAndDropsWaitingReports) {
  m_changer.InsertCoin(2);
  EXPECT_TRUE(Send(m_changer, {0x08}).m_bWellFormed);
  EXPECT_EQ(m_changer.GetAcceptMask(), 0);
  EXPECT_EQ(m_changer.GetDispenseMask(), 0);
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0x0B}));
  EXPECT_FALSE(m_changer.HasEvent());
  EXPECT_EQ(m_changer.GetTubeCount(2), 19);  // the coin stays in its tube
  EXPECT_EQ(m_changer.InsertCoin(2).m_eResult, EInsertResult::NotEnabled);
  // A reset at the changer may report further statuses in the same poll answer.
  m_changer.PowerUp({0x0A, 0x07});
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0x0B, 0x0A, 0x07}));
}

TEST_F(ChangerEnabled, DisablesItselfWhenNotPolledForItsNonResponseTime) {
  EXPECT_FALSE(m_changer.OnUnpolled(1999));
  EXPECT_EQ(m_changer.InsertCoin(2).m_eResult, EInsertResult::ToTube);
  EXPECT_TRUE(m_changer.OnUnpolled(1));      // 2 s without a poll
  EXPECT_FALSE(m_changer.OnUnpolled(5000));  // said once
  EXPECT_EQ(m_changer.InsertCoin(2).m_eResult, EInsertResult::NotPolled);
  EXPECT_EQ(m_changer.GetTubeCount(2), 19);
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0x52, 19}));  // what it took before still waits
  // Polled again, it takes coins once the controller enables them anew.
  m_changer.OnPolled();
  EXPECT_FALSE(m_changer.IsUnpolled());
  EXPECT_EQ(m_changer.InsertCoin(2).m_eResult, EInsertResult::NotEnabled);
  ASSERT_TRUE(Send(m_changer, {0x0C, 0x00, 0x3F, 0x00, 0x0F}).m_bWellFormed);
  EXPECT_EQ(m_changer.InsertCoin(2).m_eResult, EInsertResult::ToTube);
  // Any command it takes counts as a poll; a reset does not.
  EXPECT_TRUE(m_changer.OnUnpolled(2500));
  EXPECT_TRUE(Send(m_changer, {0x09}).m_bWellFormed);
  EXPECT_FALSE(m_changer.IsUnpolled());
  EXPECT_FALSE(m_changer.OnUnpolled(1000));
  m_changer.PowerUp();
  EXPECT_TRUE(m_changer.OnUnpolled(1000));
}

TEST(ChangerConfigured, TakesItsNonResponseTimeFromTheConfiguration) {
  ChangerConfig config;
  config.m_nNonResponseMs = 50;
  CChangerModel changer(config);
  EXPECT_FALSE(changer.OnUnpolled(49));
  EXPECT_TRUE(changer.OnUnpolled(1));
  EXPECT_EQ(changer.InsertCoin(0).m_eResult, EInsertResult::NotPolled);
  EXPECT_EQ(changer.InsertCoin(6).m_eResult, EInsertResult::UnknownCoin);
}

TEST_F(ChangerEnabled, ManualDispenseFollowsTheDispenseMask) {
  EXPECT_TRUE(m_changer.DispenseCoin(1));
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0x91, 29}));
  // Several coins at once: 1yyyxxxx counts them, so bit 6 is set from four on.
  EXPECT_TRUE(m_changer.DispenseCoin(1, 3));
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0xB1, 26}));
  EXPECT_TRUE(m_changer.DispenseCoin(1, 5));
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0xD1, 21}));
  EXPECT_TRUE(m_changer.DispenseCoin(0, 7));
  EXPECT_EQ(m_changer.TakeEvent(), (ByteVector{0xF0, 17}));
  EXPECT_FALSE(m_changer.DispenseCoin(0, 8));  // more than yyy counts
  EXPECT_FALSE(m_changer.DispenseCoin(0, 0));
  EXPECT_FALSE(m_changer.DispenseCoin(3, 10));  // more than the tube holds
  EXPECT_EQ(m_changer.GetTubeCount(3), 9);
  ASSERT_TRUE(m_changer.SetTubeCount(1, 29));
  EXPECT_FALSE(m_changer.DispenseCoin(4));  // no tube
  ASSERT_TRUE(m_changer.SetTubeCount(3, 0));
  EXPECT_FALSE(m_changer.DispenseCoin(3));  // empty tube
  ASSERT_TRUE(Send(m_changer, {0x0C, 0x00, 0x3F, 0x00, 0x00}).m_bWellFormed);
  EXPECT_FALSE(m_changer.DispenseCoin(1));
  EXPECT_EQ(m_changer.GetTubeCount(1), 29);
  EXPECT_FALSE(m_changer.HasEvent());
}

TEST(ChangerTubes, OnlyRoutedCoinTypesHaveTubes) {
  CChangerModel changer;
  EXPECT_FALSE(changer.SetTubeCount(4, 10));
  EXPECT_FALSE(changer.SetTubeCount(16, 10));
  EXPECT_EQ(changer.GetTubeCount(4), 0);
}

struct PayoutCase {
  const char* m_lpszName;
  std::uint8_t m_nUnits;                // EXPANSION PAYOUT's byte, in units of 0.05
  unsigned m_nEmptyTube;                // a tube emptied first, or 16 for none
  unsigned m_nPaid;                     // hundredths
  std::array<std::uint8_t, 4> m_coins;  // coins of types 0..3 paid
};

// Tubes hold 24 × 0.05, 30 × 0.10, 18 × 0.20 and 9 × 0.50: 12.30 in all.
const PayoutCase kPayouts[] = {
    {"LargestCoinsFirst", 25, 16, 125, {1, 0, 1, 2}},
    {"Nothing", 0, 16, 0, {0, 0, 0, 0}},
    {"OneCoin", 10, 16, 50, {0, 0, 0, 1}},
    {"SmallerCoinsStandInForAnEmptyTube", 10, 3, 50, {0, 1, 2, 0}},
    {"AsMuchAsTheTubesHold", 255, 16, 1230, {24, 30, 18, 9}},
    {"OddRemainderWithoutSmallestCoins", 1, 0, 0, {0, 0, 0, 0}},
};

class ChangerPayout : public ::testing::TestWithParam<PayoutCase> {};

TEST_P(ChangerPayout, PaysFromItsTubes) {
  const PayoutCase& c = GetParam();
  CChangerModel changer;
  if (c.m_nEmptyTube < 16) {
    ASSERT_TRUE(changer.SetTubeCount(c.m_nEmptyTube, 0));
  }
  const std::array<std::uint8_t, 4> before = {changer.GetTubeCount(0), changer.GetTubeCount(1),
                                              changer.GetTubeCount(2), changer.GetTubeCount(3)};
  ASSERT_TRUE(Send(changer, {0x0F, 0x02, c.m_nUnits}).m_bWellFormed);

  const PayoutOutcome& payout = changer.GetLastPayout();
  EXPECT_EQ(payout.m_nRequested, c.m_nUnits * 5u);
  EXPECT_EQ(payout.m_nPaid, c.m_nPaid);
  EXPECT_EQ(changer.GetChangePaid(), c.m_nPaid);
  for (unsigned n = 0; n < 4; ++n) {
    EXPECT_EQ(payout.m_coins[n], c.m_coins[n]) << "coin type " << n;
    EXPECT_EQ(changer.GetTubeCount(n), before[n] - c.m_coins[n]) << "coin type " << n;
  }
  // A payout queues no report: only the one from power-up waits.
  EXPECT_EQ(changer.TakeEvent(), (ByteVector{0x0B}));
  EXPECT_FALSE(changer.HasEvent());
}

INSTANTIATE_TEST_SUITE_P(Amounts, ChangerPayout, ::testing::ValuesIn(kPayouts),
                         [](const auto& info) { return std::string(info.param.m_lpszName); });

TEST(ChangerConfigured, AnswersWithItsOwnCoinSet) {
  ChangerConfig config;
  config.m_wCountryCode = 0x1840;
  config.m_nScalingFactor = 1;
  config.m_coinCredit = {5, 10, 25, 100};
  config.m_wRouting = 0x0107;  // coin type 8 does not exist: no tube for it
  config.m_tubeCount = {70, 3, 0, 9};
  config.m_nTubeCapacity = 50;
  CChangerModel changer(config);
  EXPECT_EQ(Send(changer, {0x09}).m_data,
            (ByteVector{0x03, 0x18, 0x40, 0x01, 0x02, 0x00, 0x07, 0x05, 0x0A, 0x19, 0x64, 0,
                        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0}));
  // A start count above the capacity is cut to it; a coin type without a tube holds nothing.
  EXPECT_EQ(Send(changer, {0x0A}).m_data,
            (ByteVector{0x00, 0x01, 50, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  Send(changer, {0x0F, 0x02, 40});
  EXPECT_EQ(changer.GetLastPayout().m_nPaid, 40u);
  EXPECT_EQ(changer.GetLastPayout().m_coins[1], 3);
  EXPECT_EQ(changer.GetLastPayout().m_coins[0], 2);
}

}  // namespace
