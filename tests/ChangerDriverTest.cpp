#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChangerDriver.h"
#include "FakeChangerHost.h"
#include "fuzz/RecordBytes.h"

namespace {

using Reads = std::vector<std::string>;
using Commands = std::vector<Bytes>;

const Bytes kTick = {0x08};
const Bytes kResetReport = {0x0B, 0x0B};
// SETUP answer: level 3, country 1840, scaling 5, 2 decimals, routing 0007,
// coin credits 1 2 5 10 20 50 for types 0..5 and 200 for type 15 (values 5 10 25 50 100 250, 1000).
const Bytes kSetupResponse = {0x09, 0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x07,
                              0x01, 0x02, 0x05, 0x0A, 0x14, 0x32, 0,    0,
                              0,    0,    0,    0,    0,    0,    0,    0xC8};
const Bytes kIdentResponse = {0x0F, 'T', 'S', 'L', '0',  '0',  '0', '0', '0', '0', '0', '0',
                              '0',  '0', '4', '2', 'C',  'G',  '-', '7', ' ', ' ', ' ', ' ',
                              ' ',  ' ', ' ', ' ', 0x01, 0x23, 0,   0,   0,   0x05};
const Bytes kTubeResponse = {0x0A, 0x00, 0x02, 3, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

const char* const kReadFeatures = "AcceptorControl/FeatureEnable=0";
const char* const kReadAccept = "AcceptorControl/CoinAccept=0";
const char* const kReadDispense = "AcceptorControl/CoinDispense=0";

// One datagram of the start-up, what the driver must send in answer, and where it must end up.
struct Step {
  Bytes datagram;
  Bytes command;  // empty: nothing sent
  std::uint32_t nState;
  Reads reads = {};
};

// From creation to Polling with FeatureEnable 0x00000005, CoinAccept 0x801F, CoinDispense 0x0003.
const std::vector<Step> kStartUp = {
    {kTick, {}, 0},
    {{0x0F}, {}, 0},
    {kResetReport, {}, 0},
    {kSetupResponse, {}, 0},
    {kTick, {}, 0},
    {{0x0C, 0x00}, {}, 0},
    {kTick, {}, 0},
    {kTick, {}, 0},
    {kTick, {}, 0},
    {kTick, {}, 0},  // 10 counted down
    {kTick, {}, 1},
    {kResetReport, {0x08}, 1},  // RESET on the 12th, whatever the datagram
    {kTick, {}, 1},
    {kResetReport, {}, 1},
    {kTick, {}, 1},
    {kResetReport, {}, 1},  // the reset report neither restarts nor advances: waits for a tick
    {kTick, {}, 2},
    {kTick, {0x09}, 2},
    {kSetupResponse, {}, 3},
    {kTick, {0x0F, 0x00}, 3},
    {kIdentResponse, {}, 4},
    {kTick, {0x0F, 0x01, 0x00, 0x00, 0x00, 0x05}, 5, {kReadFeatures}},
    {kTick, {0x0A}, 5},
    {kTubeResponse, {}, 6},
    {kTick, {0x0C, 0x80, 0x1F, 0x00, 0x03}, 8, {kReadAccept, kReadDispense}},
};

class DriverTest : public ::testing::Test {
protected:
  DriverTest() { m_host.m_pDriver = &m_driver; }
  void SetUp() override {
    m_host.m_settings["AcceptorControl/FeatureEnable"] = 0x00000005;
    m_host.m_settings["AcceptorControl/CoinAccept"] = 0x0000801F;
    m_host.m_settings["AcceptorControl/CoinDispense"] = 0x00010003;  // bits above 15 are not sent
  }

  // Every change of the credit must end with a refresh that shows it.
  void Feed(const Bytes& datagram) {
    const std::uint32_t nBefore = m_driver.GetCredit();
    const size_t nShown = m_host.m_shownCredits.size();
    m_driver.OnDatagram(datagram.data(), static_cast<unsigned>(datagram.size()));
    if (m_driver.GetCredit() != nBefore) {
      ASSERT_GT(m_host.m_shownCredits.size(), nShown) << "credit changed without a refresh";
      EXPECT_EQ(m_host.m_shownCredits.back(), m_driver.GetCredit()) << "refresh showed old credit";
    }
  }
  void Feed(const Bytes& datagram, int nTimes) {
    for (int i = 0; i < nTimes; ++i)
      Feed(datagram);
  }
  void RunStartUp(size_t nSteps = kStartUp.size()) {
    for (size_t i = 0; i < nSteps; ++i)
      Feed(kStartUp[i].datagram);
  }
  // ResetWait with countdown 10 lets ten datagrams pass and enters ResetPending on the 11th.
  void ExpectFullCountdown() {
    Feed(kTick, 10);
    EXPECT_EQ(m_driver.GetState(), CChangerDriver::ResetWait);
    Feed(kTick);
    EXPECT_EQ(m_driver.GetState(), CChangerDriver::ResetPending);
  }
  void ExpectUntouched(std::uint32_t nState, std::uint32_t nCredit) {
    EXPECT_EQ(m_driver.GetState(), nState);
    EXPECT_EQ(m_driver.GetCredit(), nCredit);
    EXPECT_TRUE(m_host.m_commands.empty());
    EXPECT_TRUE(m_host.m_reads.empty());
    EXPECT_EQ(m_host.m_nDisplayUpdates, 0);
  }

  CFakeChangerHost m_host;
  CChangerDriver m_driver{m_host};
};

// Fully started, setup of kSetupResponse stored, nothing recorded yet.
class DriverInPolling : public DriverTest {
protected:
  void SetUp() override {
    DriverTest::SetUp();
    RunStartUp();
    ASSERT_EQ(m_driver.GetState(), CChangerDriver::Polling);
    m_host.Clear();
  }
};

TEST_F(DriverTest, StartUpSendsEachCommandOnItsDatagram) {
  for (size_t i = 0; i < kStartUp.size(); ++i) {
    const Step& step = kStartUp[i];
    SCOPED_TRACE("datagram " + std::to_string(i + 1));
    m_host.Clear();
    Feed(step.datagram);
    EXPECT_EQ(m_host.m_commands, step.command.empty() ? Commands{} : Commands{step.command});
    EXPECT_EQ(m_driver.GetState(), step.nState);
    EXPECT_EQ(m_host.m_reads, step.reads);
  }
}

TEST_F(DriverTest, RejectsEmptyDatagramsAndForeignHeadersInEveryStateWithoutCountingDown) {
  const Bytes rejected[] = {{0x00}, {0x07, 0x0B},       {0x10, 0x52},
                            {0xF8}, {0xFF, 0x0B, 0x00}, Bytes(24, 0x07)};
  const std::uint8_t header = 0x08;
  const auto FeedAll = [&] {
    for (const Bytes& datagram : rejected)
      Feed(datagram);
    m_driver.OnDatagram(nullptr, 0);
    m_driver.OnDatagram(&header, 0);  // a header, but no length
  };
  for (std::uint32_t nState = 0; nState <= 9; ++nState) {
    SCOPED_TRACE("state " + std::to_string(nState));
    m_driver.SetState(nState);
    FeedAll();
    ExpectUntouched(nState, 0);
  }
  m_driver.SetState(CChangerDriver::ResetWait);
  FeedAll();
  FeedAll();
  ExpectFullCountdown();
}

TEST_F(DriverTest, AcceptsEveryHeaderOfTheChangerAddress) {
  m_driver.SetState(CChangerDriver::SetupQuery);
  for (std::uint8_t nHeader = 0x08; nHeader <= 0x0F; ++nHeader)
    Feed({nHeader});
  EXPECT_EQ(m_host.m_commands, Commands(8, Bytes{0x09}));
}

TEST_F(DriverTest, SendStatesIgnoreResponses) {
  for (std::uint32_t nState : {4u, 6u, 7u}) {
    m_driver.SetState(nState);
    Feed(kSetupResponse);
    Feed(kTubeResponse);
    ExpectUntouched(nState, 0);
  }
  EXPECT_EQ(m_driver.GetChangerSetup().scalingFactor, 0);
  EXPECT_EQ(m_driver.GetTubeStatus().tubeCount[0], 0);
}

// States 2..7 after a full start-up, so that the countdown is 0 when they are entered.
class DriverInInitState : public DriverTest, public ::testing::WithParamInterface<std::uint32_t> {
protected:
  void SetUp() override {
    DriverTest::SetUp();
    RunStartUp();
    m_driver.SetState(GetParam());
    m_host.Clear();
  }
};

TEST_P(DriverInInitState, ResetReportRestartsWithFullCountdown) {
  Feed(kResetReport);
  EXPECT_TRUE(m_host.m_commands.empty());
  ExpectFullCountdown();
}

TEST_P(DriverInInitState, OtherStatusesAndOddLengthsChangeNothing) {
  const Bytes ignored[] = {{0x0B, 0x0B, 0x00},
                           {0x0B, 0x01},
                           {0x0B, 0x0A},
                           {0x0B, 0x00},
                           {0x0B, 0x0B, 0x0B, 0x0B, 0x0B, 0x0B, 0x0B}};
  for (const Bytes& datagram : ignored)
    Feed(datagram);
  ExpectUntouched(GetParam(), 0);
}

INSTANTIATE_TEST_SUITE_P(States2To7, DriverInInitState, ::testing::Range<std::uint32_t>(2, 8),
                         [](const auto& info) { return "State" + std::to_string(info.param); });

TEST_F(DriverInPolling, DepositAddsCoinValueAndQueriesTubes) {
  const struct {
    Bytes datagram;
    std::uint32_t nValue;
  } cases[] = {
      {{0x08, 0x40}, 5},
      {{0x08, 0x51}, 10},
      {{0x08, 0x52}, 25},
      {{0x08, 0x63}, 50},
      {{0x08, 0x44}, 100},
      {{0x08, 0x55}, 250},
      {{0x08, 0x4F}, 1000},
      {{0x08, 0x47}, 0},
      {{0x0B, 0x52, 0xFF}, 25},                  // bytes after the status are not looked at
      {{0x0B, 0x55, 0x80, 0x40, 0, 0, 0}, 250},  // several events: the first counts
  };
  std::uint32_t nCredit = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("status " + std::to_string(c.datagram[1]));
    m_host.Clear();
    m_driver.SetState(CChangerDriver::Polling);
    Feed(c.datagram);
    nCredit += c.nValue;
    EXPECT_EQ(m_driver.GetCredit(), nCredit);
    EXPECT_EQ(m_host.m_nDisplayUpdates, 1);
    EXPECT_EQ(m_host.m_commands, (Commands{{0x0A}}));
    EXPECT_EQ(m_driver.GetState(), CChangerDriver::TubeQuery);
  }
}

// Ticks, statuses other than a kept coin or a reset, returned coins, and response blocks that
// arrive after the operator moved the driver on: no poll answer of these moves the driver, even
// where a response block's byte 1 looks like a coin (an identification's 'T' is coin type 4) or a
// reset.
TEST_F(DriverInPolling, IgnoresTicksOtherStatusesReturnedCoinsAndLateResponseBlocks) {
  std::vector<Bytes> ignored = {kTick,
                                kTick,
                                kIdentResponse,
                                kTubeResponse,
                                kSetupResponse,
                                {0x08, 0x52, 0, 0, 0, 0, 0, 0},
                                {0x08, 0x0B, 0, 0, 0, 0, 0, 0}};
  for (std::uint8_t nStatus : {0x70, 0x72, 0x7F}) {  // returned coins
    ignored.push_back({0x08, nStatus});
    ignored.push_back({0x08, nStatus, 0x00});
  }
  for (std::uint8_t nStatus :
       {0x00, 0x01, 0x02, 0x03, 0x06, 0x0A, 0x0C, 0x21, 0x3F, 0x80, 0x95, 0xC2})
    ignored.push_back({0x08, nStatus});
  for (const Bytes& datagram : ignored) {
    SCOPED_TRACE("datagram of " + std::to_string(datagram.size()) + " bytes, byte 1 " +
                 std::to_string(datagram.size() > 1 ? datagram[1] : 0));
    Feed(datagram);
    ExpectUntouched(CChangerDriver::Polling, 0);
  }
}

TEST_F(DriverInPolling, ResetReportRestartsWithoutReloadingCountdown) {
  for (const Bytes& report : {kResetReport, Bytes{0x0B, 0x0B, 0x00}}) {
    m_host.Clear();
    m_driver.SetState(CChangerDriver::Polling);
    Feed(report);
    EXPECT_EQ(m_driver.GetState(), CChangerDriver::ResetWait);
    Feed(kTick);
    EXPECT_EQ(m_driver.GetState(), CChangerDriver::ResetPending);
    EXPECT_TRUE(m_host.m_commands.empty());
    Feed(kTick);
    EXPECT_EQ(m_host.m_commands, (Commands{{0x08}}));
    Feed(kTick, 4);  // back to SetupQuery with the countdown run out
  }
}

TEST_F(DriverInPolling, DepositCycleStoresTubesAndReenablesWithCurrentSettings) {
  Feed({0x08, 0x52});
  Feed(kTick);         // the answer to the first TUBE STATUS got lost
  Feed({0x08, 0x51});  // a second coin while the tubes are queried
  Feed(kTubeResponse);
  EXPECT_EQ(m_driver.GetState(), CChangerDriver::CoinEnableSend);
  EXPECT_EQ(m_driver.GetTubeStatus().tubeCount[1], 20);
  m_host.m_settings["AcceptorControl/CoinAccept"] = 0x0004;
  m_host.m_settings["AcceptorControl/CoinDispense"] = 0x1200;
  EXPECT_TRUE(m_host.m_reads.empty());
  Feed(kTick);
  EXPECT_EQ(m_host.m_commands, (Commands{{0x0A}, {0x0A}, {0x0C, 0x00, 0x04, 0x12, 0x00}}));
  EXPECT_EQ(m_host.m_reads, (Reads{kReadAccept, kReadDispense}));
  EXPECT_EQ(m_driver.GetCredit(), 35u);
  EXPECT_EQ(m_host.m_nDisplayUpdates, 2);
  EXPECT_EQ(m_driver.GetState(), CChangerDriver::Polling);
}

// A coin reported outside Polling is credited; the state's own rule is otherwise unchanged.
class DriverWithStrayDeposit : public DriverInInitState {};

TEST_P(DriverWithStrayDeposit, CreditsCoinWithoutCommandOrStateChange) {
  Feed({0x08, 0x52});
  Feed({0x0B, 0x44, 0x05});  // header, status, coins now in the tube
  EXPECT_EQ(m_driver.GetCredit(), 125u);
  EXPECT_EQ(m_host.m_nDisplayUpdates, 2);
  EXPECT_TRUE(m_host.m_commands.empty());
  EXPECT_EQ(m_driver.GetState(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(StatesOutsidePolling, DriverWithStrayDeposit,
                         ::testing::Range<std::uint32_t>(0, 8),
                         [](const auto& info) { return "State" + std::to_string(info.param); });

// A deposit report is at most 3 bytes; while a query runs, a longer datagram is an answer cut
// short or several events at once, and no coin.
TEST_F(DriverInPolling, LongerThanADepositReportIsNeverCreditedOutsidePolling) {
  const Bytes longer[] = {
      {0x08, 0x54, 0x53, 0x4C, 0x31},  // an identification cut to 5 bytes
      {0x08, 0x40, 0x00, 0x05},        // a tube status cut to 4 bytes
      {0x08, 0x52, 0x05, 0x41, 0x06, 0x00, 0x00},
      {0x08, 0x52, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
  };
  for (std::uint32_t nState = 0; nState <= 7; ++nState) {
    m_driver.SetState(nState);
    for (const Bytes& datagram : longer)
      Feed(datagram);
  }
  EXPECT_EQ(m_driver.GetCredit(), 0u);
  EXPECT_EQ(m_host.m_nDisplayUpdates, 0);
}

// Credit and scaling factor are set up through the changer's own answers: a setup with scaling
// factor 1 and coin values 255 (type 0) and 1 (type 1) builds the credit, then the case's setup.
class DriverWithPayoutDue : public DriverTest {
protected:
  void LoadSetup(std::uint8_t nScaling, std::uint8_t nCredit0, std::uint8_t nCredit1) {
    Bytes response(24, 0x00);
    response[0] = 0x09;
    response[4] = nScaling;
    response[8] = nCredit0;
    response[9] = nCredit1;
    m_driver.SetState(CChangerDriver::SetupQuery);
    Feed(response);
  }
  void BuildCredit(std::uint32_t nCredit) {
    LoadSetup(1, 255, 1);
    m_driver.SetState(CChangerDriver::TubeQuery);
    Feed({0x08, 0x40}, static_cast<int>(nCredit / 255));
    Feed({0x08, 0x41}, static_cast<int>(nCredit % 255));
    ASSERT_EQ(m_driver.GetCredit(), nCredit);
    m_host.Clear();
  }
};

TEST_F(DriverWithPayoutDue, PaysCreditInUnitsOfTheScalingFactor) {
  const struct {
    std::uint8_t nScaling;
    std::uint32_t nCredit;
    Commands commands;
    std::uint32_t nCreditAfter;
  } cases[] = {
      {5, 123, {{0x0F, 0x02, 0x18}}, 0},  // the remainder 3 is dropped
      {5, 0, {{0x0F, 0x02, 0x00}}, 0},
      {5, 1279, {{0x0F, 0x02, 0xFF}}, 0},
      {5, 1280, {{0x0F, 0x02, 0xFF}}, 5},  // more than one byte can carry: the rest stays
      {1, 1000, {{0x0F, 0x02, 0xFF}}, 745},
      {255, 70000, {{0x0F, 0x02, 0xFF}}, 4975},
      {0, 50, {}, 50},  // no scaling factor: nothing can be paid
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("scaling " + std::to_string(c.nScaling) + " credit " + std::to_string(c.nCredit));
    m_driver.DebitCredit(m_driver.GetCredit());
    BuildCredit(c.nCredit);
    LoadSetup(c.nScaling, 0, 0);
    m_driver.SetState(CChangerDriver::PayoutSend);
    Feed(kTick);
    EXPECT_EQ(m_host.m_commands, c.commands);
    EXPECT_EQ(m_driver.GetCredit(), c.nCreditAfter);
    EXPECT_EQ(m_host.m_nDisplayUpdates, 1);
    EXPECT_EQ(m_driver.GetState(), CChangerDriver::Polling);
  }
}

TEST_F(DriverWithPayoutDue, AnyDatagramTriggersThePayout) {
  for (const Bytes& trigger :
       {kTick, kSetupResponse, Bytes{0x0B, 0x0C, 0x00}, Bytes{0x08, 0x0B, 0, 0, 0, 0, 0, 0}}) {
    BuildCredit(20);
    LoadSetup(5, 0, 0);
    m_driver.SetState(CChangerDriver::PayoutSend);
    Feed(trigger);
    EXPECT_EQ(m_host.m_commands, (Commands{{0x0F, 0x02, 0x04}}));
    EXPECT_EQ(m_driver.GetState(), CChangerDriver::Polling);
  }
}

// A changer that reports its reset while the payout waits would lose it: the driver starts the
// changer up again and pays when it is back, once; the credit shows until then.
// The reset report is taken in every poll answer, as Polling takes it.
class DriverWithPayoutDueAndChangerReset : public DriverWithPayoutDue,
                                           public ::testing::WithParamInterface<Bytes> {};

TEST_P(DriverWithPayoutDueAndChangerReset, DefersThePayoutToAfterTheRestart) {
  BuildCredit(20);
  LoadSetup(5, 0, 0);
  m_driver.SetState(CChangerDriver::PayoutSend);
  Feed(GetParam());
  EXPECT_TRUE(m_host.m_commands.empty());
  EXPECT_EQ(m_driver.GetCredit(), 20u);
  ExpectFullCountdown();
  Feed(kTick);  // RESET
  Feed(kTick, 4);
  for (const Bytes& datagram :
       {kTick, kSetupResponse, kTick, kIdentResponse, kTick, kTick, kTubeResponse, kTick})
    Feed(datagram);
  EXPECT_EQ(m_driver.GetState(), CChangerDriver::PayoutSend);
  EXPECT_EQ(m_driver.GetCredit(), 20u);
  Feed(kTick);
  EXPECT_EQ(m_host.m_commands.back(), (Bytes{0x0F, 0x02, 0x04}));
  EXPECT_EQ(m_driver.GetCredit(), 0u);
  Feed(kTick, 3);
  EXPECT_EQ(m_host.m_commands.size(), 7u);  // RESET, five of the start-up, one payout
  // An operator's request in the meantime replaces the deferred one.
  BuildCredit(20);
  LoadSetup(5, 0, 0);
  m_driver.SetState(CChangerDriver::PayoutSend);
  Feed(GetParam());
  m_driver.SetState(CChangerDriver::CoinEnableSend);
  Feed(kTick);
  EXPECT_EQ(m_driver.GetState(), CChangerDriver::Polling);
  EXPECT_EQ(m_driver.GetCredit(), 20u);
}

INSTANTIATE_TEST_SUITE_P(PollAnswers, DriverWithPayoutDueAndChangerReset,
                         ::testing::Values(kResetReport, Bytes{0x08, 0x0B, 0x00},
                                           Bytes{0x0F, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x00}),
                         [](const auto& info) {
                           return "Bytes" + std::to_string(info.param.size());
                         });

TEST_F(DriverWithPayoutDue, CoinReportedWithThePayoutIsPaidBack) {
  BuildCredit(20);
  LoadSetup(5, 0, 3);
  m_driver.SetState(CChangerDriver::PayoutSend);
  Feed({0x08, 0x51});
  EXPECT_EQ(m_host.m_commands, (Commands{{0x0F, 0x02, 0x07}}));
  EXPECT_EQ(m_driver.GetCredit(), 0u);
  EXPECT_EQ(m_host.m_nDisplayUpdates, 2);
}

// Answers come back in the order of their queries and carry nothing that names their query. Each
// row is a stretch of traffic from Polling after a full start-up: datagrams as the device sent
// them, an answer behind the ticks that the program read late, and the operator's requests.
struct AnswerOrderCase {
  const char* lpszName;
  std::vector<Bytes> events;  // a datagram, or {kRequest, state}: the operator's SetState
  std::uint32_t nState;       // where the driver ends
  Bytes setup;                // what the records then hold: the answers' data bytes
  Bytes tubes;
  std::string strSerial;
  int nQueries;  // SETUP, EXPANSION IDENTIFICATION and TUBE STATUS sent on the way
};

constexpr std::uint8_t kRequest = 0xFF;  // a header no datagram of the changer's carries
const Bytes kDeposit = {0x08, 0x52, 0x05};
const Bytes kTubeResponse2 = {0x0A, 0x00, 0x00, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kIdentResponse2 = {0x0F, 'T', 'S', 'L', '9',  '9',  '9', '9', '9', '9', '9', '9',
                               '9',  '9', '9', '9', 'C',  'G',  '-', '8', ' ', ' ', ' ', ' ',
                               ' ',  ' ', ' ', ' ', 0x01, 0x24, 0,   0,   0,   0x05};
const Bytes kSetupData(kSetupResponse.begin() + 1, kSetupResponse.end());
const Bytes kTubeData(kTubeResponse.begin() + 1, kTubeResponse.end());
const Bytes kTubeData2(kTubeResponse2.begin() + 1, kTubeResponse2.end());
const char* const kSerial = "000000000042";

Bytes Request(std::uint32_t nState) { return {kRequest, static_cast<std::uint8_t>(nState)}; }
std::vector<Bytes> Ticks(int n) { return std::vector<Bytes>(n, kTick); }
std::vector<Bytes> Join(std::initializer_list<std::vector<Bytes>> parts) {
  std::vector<Bytes> all;
  for (const auto& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}
// From the operator's Reset to the tick that enters SetupQuery: countdown 10, ResetPending,
// RESET, three more.
const std::vector<Bytes> kRestart = Join({{Request(0)}, Ticks(16)});
const std::vector<Bytes> kIdentToPolling = {kTick, kIdentResponse, kTick,
                                            kTick, kTubeResponse,  kTick};

const AnswerOrderCase kAnswerOrderCases[] = {
    // SETUP went out twice before its answer was read: the second answer is the repeat's.
    {"SecondSetupAnswerIsNotTheIdentification",
     Join({kRestart, {kTick, kTick, kSetupResponse, kSetupResponse}, kIdentToPolling}),
     CChangerDriver::Polling, kSetupData, kTubeData, kSerial, 4},
    // Five SETUPs behind: their answers come between the ticks that send IDENTIFICATION, whose
    // first answer is taken and whose second is dropped in TubeQuery.
    {"SetupAnswersBehindManyRepeats",
     Join({kRestart,
           Ticks(5),
           {kSetupResponse, kTick, kSetupResponse, kSetupResponse, kTick, kSetupResponse,
            kSetupResponse, kIdentResponse2},
           kIdentToPolling}),
     CChangerDriver::Polling, kSetupData, kTubeData, "999999999999", 9},
    // A deposit's TUBE STATUS, repeated once, then Reset: both answers come after the next SETUP.
    {"LateTubeStatusOvertakenByResetIsNotTheSetup",
     Join({{kDeposit, kTick},
           kRestart,
           {kTick, kTubeResponse2, kTubeResponse2, kSetupResponse},
           kIdentToPolling}),
     CChangerDriver::Polling, kSetupData, kTubeData, kSerial, 5},
    // The changer's own reset report in Polling restarts at once (countdown 0): the late answer
    // to the repeated TUBE STATUS comes after SETUP.
    {"LateTubeStatusOvertakenByChangerResetIsNotTheSetup",
     Join({{kDeposit, kTick, kTubeResponse, kTick, kResetReport},
           Ticks(6),
           {kTick, kTubeResponse2, kSetupResponse},
           kIdentToPolling}),
     CChangerDriver::Polling, kSetupData, kTubeData, kSerial, 5},
    {"IdentificationOvertakenByEnableIsNotATubeStatus",
     Join({kRestart,
           {kTick, kSetupResponse, kTick, Request(6), kTick, kDeposit, kIdentResponse2, kTick,
            kTubeResponse2, kTick}}),
     CChangerDriver::Polling, kSetupData, kTubeData2, kSerial, 4},
    {"IdentificationOvertakenByChangeReturnIsNotATubeStatus",
     Join({kRestart,
           {kTick, kSetupResponse, kTick, kTick, Request(9), kTick, kDeposit, kIdentResponse2,
            kIdentResponse2, kTick, kTubeResponse2, kTick}}),
     CChangerDriver::Polling, kSetupData, kTubeData2, kSerial, 5},
    // The second TUBE STATUS is never answered: every later query loses its first answer to it
    // and costs one repeat, until 512 ticks in a row have brought no response block.
    {"NeverAnsweredRepeatCostsARepeatUntilForgotten",
     Join({{kDeposit, kTick, kTubeResponse, kTick},
           {kDeposit, kTubeResponse2, kTick, kTubeResponse2, kTick},
           Ticks(510),
           {kDeposit, kTubeResponse, kTick, kTubeResponse, kTick},
           Ticks(512),
           {kDeposit, kTubeResponse2, kTick}}),
     CChangerDriver::Polling, kSetupData, kTubeData2, kSerial, 7},
    // A number that names no state changes nothing, the count of answers due included.
    {"NumberThatNamesNoStateKeepsTheAnswersDue",
     Join({kRestart, {kTick, Request(10), kSetupResponse}, kIdentToPolling}),
     CChangerDriver::Polling, kSetupData, kTubeData, kSerial, 3},
    // A restart leaves the lost answer due: the start-up pays one repeat per query for it.
    {"NeverAnsweredRepeatBeforeARestart",
     Join({{kDeposit, kTick, kTubeResponse, kTick},
           kRestart,
           {kTick, kSetupResponse, kTick, kSetupResponse, kTick, kIdentResponse, kTick,
            kIdentResponse, kTick, kTick, kTubeResponse2, kTick, kTubeResponse2, kTick}}),
     CChangerDriver::Polling, kSetupData, kTubeData2, kSerial, 8},
};

void PrintTo(const AnswerOrderCase& c, std::ostream* pOut) { *pOut << c.lpszName; }

class DriverWithAnswersInFlight : public DriverInPolling,
                                  public ::testing::WithParamInterface<AnswerOrderCase> {};

TEST_P(DriverWithAnswersInFlight, TakesEachAnswerForItsOwnQuery) {
  const AnswerOrderCase& c = GetParam();
  for (const Bytes& event : c.events) {
    if (event[0] == kRequest)
      m_driver.SetState(event[1]);
    else
      Feed(event);
  }
  EXPECT_EQ(m_driver.GetState(), c.nState);
  const ChangerSetup& setup = m_driver.GetChangerSetup();
  EXPECT_EQ(Bytes(reinterpret_cast<const std::uint8_t*>(&setup),
                  reinterpret_cast<const std::uint8_t*>(&setup) + sizeof setup),
            c.setup);
  const TubeStatus& tubes = m_driver.GetTubeStatus();
  EXPECT_EQ(Bytes(reinterpret_cast<const std::uint8_t*>(&tubes),
                  reinterpret_cast<const std::uint8_t*>(&tubes) + sizeof tubes),
            c.tubes);
  EXPECT_STREQ(reinterpret_cast<const char*>(m_driver.GetChangerIdentification().serialNumber),
               c.strSerial.c_str());
  int nQueries = 0;
  for (const Bytes& command : m_host.m_commands)
    nQueries += command == Bytes{0x09} || command == Bytes{0x0F, 0x00} || command == Bytes{0x0A};
  EXPECT_EQ(nQueries, c.nQueries);
}

INSTANTIATE_TEST_SUITE_P(Cases, DriverWithAnswersInFlight, ::testing::ValuesIn(kAnswerOrderCases),
                         [](const auto& info) { return std::string(info.param.lpszName); });

// The operator's Reset, Enable and Disable at every point of the start-up.
TEST(DriverOperatorJumps, TakeEffectAtEveryPointOfStartUp) {
  const struct {
    std::uint32_t nJump;
    int nSilentDatagrams;  // before the one that sends
    Bytes command;
  } jumps[] = {{0, 11, {0x08}},
               {6, 0, {0x0C, 0x01, 0x02, 0x00, 0x00}},
               {7, 0, {0x0C, 0x00, 0x00, 0x00, 0x00}}};
  for (size_t nSteps = 0; nSteps <= kStartUp.size(); ++nSteps) {
    for (const auto& jump : jumps) {
      SCOPED_TRACE("jump to " + std::to_string(jump.nJump) + " after datagram " +
                   std::to_string(nSteps));
      CFakeChangerHost host;
      host.m_settings["AcceptorControl/CoinAccept"] = 0x0102;
      CChangerDriver driver(host);
      for (size_t i = 0; i < nSteps; ++i)
        driver.OnDatagram(kStartUp[i].datagram.data(),
                          static_cast<unsigned>(kStartUp[i].datagram.size()));
      host.Clear();
      driver.SetState(jump.nJump);
      for (int i = 0; i <= jump.nSilentDatagrams; ++i)
        driver.OnDatagram(kTick.data(), 1);
      EXPECT_EQ(host.m_commands, Commands{jump.command});
      EXPECT_EQ(driver.GetState(),
                jump.nJump == 0 ? CChangerDriver::ResetPending : CChangerDriver::Polling);
    }
  }
}

TEST_F(DriverTest, EnableBeforeSetupCreditsCoinsAtNoValue) {
  m_driver.SetState(CChangerDriver::CoinEnableSend);
  Feed({0x08, 0x52});  // waits for a tick
  Feed(kTick);
  Feed({0x08, 0x52});
  EXPECT_EQ(m_host.m_commands, (Commands{{0x0C, 0x80, 0x1F, 0x00, 0x03}, {0x0A}}));
  EXPECT_EQ(m_driver.GetCredit(), 0u);
  EXPECT_EQ(m_driver.GetState(), CChangerDriver::TubeQuery);
}

// The records hold zeros until the changer answers, and an answer cut short fills what it carries
// and zeroes the rest, leaving nothing of an earlier answer behind.
TEST_F(DriverTest, RecordsStartAsZerosAndAShortAnswerZeroesWhatItDoesNotCarry) {
  using record_bytes::BytesOf;
  EXPECT_EQ(BytesOf(m_driver.GetChangerSetup()), Bytes(23, 0));
  EXPECT_EQ(BytesOf(m_driver.GetTubeStatus()), Bytes(18, 0));
  EXPECT_EQ(BytesOf(m_driver.GetChangerIdentification()), Bytes(54, 0));
  const auto Answer = [&](std::uint32_t nQueryState, const Bytes& answer) {
    m_driver.SetState(nQueryState);
    Feed(answer);
  };
  Answer(CChangerDriver::SetupQuery, kSetupResponse);
  Answer(CChangerDriver::SetupQuery, {0x08, 0x02, 0x00, 0x01, 0x0A, 0x02, 0x00, 0x01, 0x04});
  Bytes setup(23, 0);
  setup[0] = 0x02, setup[2] = 0x01, setup[3] = 0x0A, setup[4] = 0x02, setup[6] = 0x01;
  setup[7] = 0x04;
  EXPECT_EQ(BytesOf(m_driver.GetChangerSetup()), setup);
  Answer(CChangerDriver::TubeQuery, Bytes(19, 0x0E));
  Answer(CChangerDriver::TubeQuery, {0x08, 0x00, 0x01, 5, 5, 5, 5, 5});
  EXPECT_EQ(BytesOf(m_driver.GetTubeStatus()),
            (Bytes{0x00, 0x01, 5, 5, 5, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  Answer(CChangerDriver::IdentQuery, kIdentResponse);
  // This one ends inside the serial number: what follows reads empty.
  Answer(CChangerDriver::IdentQuery, {0x08, 'K', 'L', 'M', 'N', 'O', 'P', 'Q'});
  Bytes ident(54, 0);
  ident[0] = 'K', ident[1] = 'L', ident[2] = 'M';
  ident[16] = 'N', ident[17] = 'O', ident[18] = 'P', ident[19] = 'Q';
  EXPECT_EQ(BytesOf(m_driver.GetChangerIdentification()), ident);
}

}  // namespace
