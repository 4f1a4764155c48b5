// The simulated interface device without sockets: control codes, the cadence of ticks and
// reports, query answers as single datagrams, and the faults it injects on demand.
#include "InterfaceDevice.h"

#include <gtest/gtest.h>

namespace {

class DeviceTest : public ::testing::Test {
protected:
  DeviceStep Command(const ByteVector& bytes) {
    return m_device.OnCommDatagram(bytes.data(), bytes.size());
  }
  DeviceStep Control(const ByteVector& bytes) {
    return m_device.OnControlDatagram(bytes.data(), bytes.size());
  }
  /// The one datagram of a cadence slot (fails when there is none).
  ByteVector Slot() {
    const DeviceStep step = m_device.OnTickSlot();
    EXPECT_EQ(step.m_send.size(), 1u);
    return step.m_send.empty() ? ByteVector() : step.m_send[0].m_bytes;
  }
  /// The one datagram sent in answer to a command, or empty when none.
  ByteVector Answer(const ByteVector& bytes) {
    const DeviceStep step = Command(bytes);
    EXPECT_LE(step.m_send.size(), 1u);
    return step.m_send.empty() ? ByteVector() : step.m_send[0].m_bytes;
  }

  CInterfaceDevice m_device;
};

/// Polling and reporting on, the power-up report already delivered, the PC in its polling state
/// with coins 0..5 enabled.
class DevicePolled : public DeviceTest {
protected:
  void SetUp() override {
    Control({0x08, 0x03, 0x0B});
    Control({0x08, 0x03, 0x12});
    ASSERT_EQ(Slot(), ByteVector{0x08});
    ASSERT_EQ(Slot(), (ByteVector{0x08, 0x0B}));
    Command({0x0C, 0x00, 0x3F, 0x00, 0x00});
  }
};

TEST_F(DeviceTest, StaysSilentUntilTheControlCodes) {
  EXPECT_TRUE(m_device.OnTickSlot().m_send.empty());

  DeviceStep step = Control({0x08, 0x03, 0x0B});
  EXPECT_EQ(step.m_strReceived, "CONTROL 11 POLL ON");
  EXPECT_EQ(Slot(), ByteVector{0x08});
  EXPECT_EQ(Slot(), ByteVector{0x08});  // the power-up report waits for code 18

  step = Control({0x08, 0x03, 0x12});
  EXPECT_EQ(step.m_strReceived, "CONTROL 18 REPORT ON");
  EXPECT_EQ(step.m_notes, std::vector<std::string>{"STATE polling on reporting on"});
  EXPECT_EQ(Slot(), (ByteVector{0x08, 0x0B}));
  EXPECT_EQ(Slot(), ByteVector{0x08});

  step = Control({0x08, 0x03, 0x00});
  EXPECT_EQ(step.m_strReceived, "CONTROL 0 OFF");
  EXPECT_TRUE(m_device.OnTickSlot().m_send.empty());
  EXPECT_EQ(m_device.GetLastControlCode(), 0);
}

TEST_F(DeviceTest, IgnoresMalformedAndUnknownControlDatagrams) {
  EXPECT_EQ(Control({0x08, 0x0B}).m_strReceived, "CONTROL (MALFORMED)");
  EXPECT_EQ(Control({0x09, 0x03, 0x0B}).m_strReceived, "CONTROL (MALFORMED)");
  EXPECT_EQ(Control({0x08, 0x03, 0x0B, 0x00}).m_strReceived, "CONTROL (MALFORMED)");
  EXPECT_EQ(Control({}).m_strReceived, "CONTROL (MALFORMED)");
  EXPECT_EQ(Control({0x08, 0x03, 0x05}).m_strReceived, "CONTROL 5 UNKNOWN");
  EXPECT_FALSE(m_device.IsPolling());
  EXPECT_FALSE(m_device.IsReporting());
  EXPECT_TRUE(m_device.OnTickSlot().m_send.empty());
}

TEST_F(DeviceTest, AnswersEachQueryWithOneDatagramAtOnce) {
  // Queries are answered whether or not polling runs.
  DeviceStep step = Command({0x09});
  EXPECT_EQ(step.m_strReceived, "SETUP");
  ASSERT_EQ(step.m_send.size(), 1u);
  EXPECT_EQ(step.m_send[0].m_strName, "SETUP RESPONSE");
  EXPECT_EQ(step.m_send[0].m_ePort, EPort::Communication);
  EXPECT_EQ(step.m_send[0].m_bytes,
            (ByteVector{0x08, 0x03, 0x19, 0x78, 0x05, 0x02, 0x00, 0x0F, 0x01, 0x02, 0x04, 0x0A,
                        0x14, 0x28, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0}));
  EXPECT_EQ(Answer({0x0A}),
            (ByteVector{0x08, 0x00, 0x00, 24, 30, 18, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  const ByteVector ident = Answer({0x0F, 0x00});
  ASSERT_EQ(ident.size(), 34u);
  EXPECT_EQ(ident[0], 0x08);
  EXPECT_EQ(ident[1], 'T');
  EXPECT_EQ(ident[33], 0x05);
}

TEST_F(DeviceTest, KeepsTheChangersAcknowledgementsToItself) {
  const struct {
    ByteVector m_bytes;
    const char* m_lpszName;
    const char* m_lpszNote;
  } cases[] = {
      {{0x08}, "RESET", "CHANGER RESET"},
      {{0x0F, 0x01, 0x00, 0x00, 0x00, 0x05}, "EXPANSION FEATURE ENABLE", "FEATURES 00000005"},
      {{0x0C, 0x80, 0x01, 0x00, 0x0F}, "COIN TYPE", "ENABLED accept 8001 dispense 000F"},
      {{0x0F, 0x02, 0x19}, "EXPANSION PAYOUT", "PAID 125 of 125 coins 3x2 2x1 0x1"},
      {{0x0F, 0x02, 0x00}, "EXPANSION PAYOUT", "PAID 0 of 0 coins none"},
  };
  for (const auto& c : cases) {
    const DeviceStep step = Command(c.m_bytes);
    EXPECT_EQ(step.m_strReceived, c.m_lpszName);
    EXPECT_TRUE(step.m_send.empty()) << c.m_lpszName;
    EXPECT_EQ(step.m_notes, std::vector<std::string>{c.m_lpszNote});
  }
  EXPECT_EQ(Command({0x0F, 0x02}).m_strReceived, "EXPANSION PAYOUT (WRONG LENGTH)");
  EXPECT_EQ(Command({0x1F}).m_strReceived, "UNKNOWN");
  EXPECT_EQ(Command({}).m_strReceived, "EMPTY");
}

TEST_F(DevicePolled, SendsADepositInPlaceOfATickThePcLetPass) {
  EXPECT_EQ(m_device.InsertCoin(2), "ACCEPTED coin 2 value 20 tube 19");
  EXPECT_EQ(Slot(), ByteVector{0x08});  // the tick after COIN TYPE: the PC may still be busy
  const DeviceStep step = m_device.OnTickSlot();
  ASSERT_EQ(step.m_send.size(), 1u);
  EXPECT_EQ(step.m_send[0].m_bytes, (ByteVector{0x08, 0x52, 0x13}));
  EXPECT_EQ(step.m_send[0].m_strName, "DEPOSIT TUBE coin 2");
}

TEST_F(DevicePolled, HoldsReportsWhileThePcAnswersTicks) {
  // The PC's round after a deposit: TUBE STATUS at once, COIN TYPE on the next tick. A second
  // coin must not be reported before the PC is idle again.
  m_device.InsertCoin(2);
  m_device.InsertCoin(4);
  EXPECT_EQ(Slot(), ByteVector{0x08});
  EXPECT_EQ(Slot(), (ByteVector{0x08, 0x52, 0x13}));
  EXPECT_EQ(Answer({0x0A}).size(), 19u);
  EXPECT_EQ(Slot(), ByteVector{0x08});
  EXPECT_TRUE(Answer({0x0C, 0x00, 0x3F, 0x00, 0x00}).empty());
  EXPECT_EQ(Slot(), ByteVector{0x08});
  EXPECT_EQ(Slot(), (ByteVector{0x08, 0x44, 0x00}));
  EXPECT_EQ(Slot(), ByteVector{0x08});
}

TEST_F(DevicePolled, ReportsAChangerResetAtTheDevice) {
  m_device.InsertCoin(1);
  EXPECT_EQ(m_device.ResetChanger(), "CHANGER RESET");
  EXPECT_EQ(Slot(), ByteVector{0x08});
  EXPECT_EQ(Slot(), (ByteVector{0x08, 0x0B}));  // the deposit went with the reset
  EXPECT_EQ(Slot(), ByteVector{0x08});
  const std::string strRefused = m_device.InsertCoin(1);
  EXPECT_EQ(strRefused.rfind("REFUSED coin 1 not-enabled (", 0), 0u) << strRefused;
  // One line that tells the operator where coin types are turned on.
  EXPECT_NE(strRefused.find("Settings > Acceptor Control"), std::string::npos) << strRefused;
  EXPECT_EQ(strRefused.find('\n'), std::string::npos);

  EXPECT_EQ(m_device.ResetChanger({0x0A}), "CHANGER RESET report 0B 0A");
  EXPECT_EQ(Slot(), (ByteVector{0x08, 0x0B, 0x0A}));
}

// The PC's code 0 stops the polling: after its non-response time the changer gives coins back
// until the device polls it again and the PC enables them anew.
TEST_F(DevicePolled, AChangerNobodyPollsDisablesItself) {
  EXPECT_EQ(m_device.InsertCoin(2), "ACCEPTED coin 2 value 20 tube 19");
  EXPECT_EQ(Control({0x08, 0x03, 0x00}).m_strReceived, "CONTROL 0 OFF");
  EXPECT_TRUE(m_device.OnTickSlot(1999).m_notes.empty());
  EXPECT_EQ(m_device.InsertCoin(2), "ACCEPTED coin 2 value 20 tube 20");
  EXPECT_EQ(m_device.OnTickSlot(1).m_notes,
            std::vector<std::string>{"CHANGER DISABLED not polled for 2000 ms"});
  EXPECT_TRUE(m_device.OnTickSlot(100).m_notes.empty());
  EXPECT_EQ(m_device.InsertCoin(2), "REFUSED coin 2 not-polled");
  Control({0x08, 0x03, 0x0B});
  Control({0x08, 0x03, 0x12});
  EXPECT_EQ(Slot(), ByteVector{0x08});
  EXPECT_EQ(m_device.InsertCoin(2).rfind("REFUSED coin 2 not-enabled (", 0), 0u);
  EXPECT_EQ(Slot(), (ByteVector{0x08, 0x52, 19}));  // taken before code 0, reported now
}

TEST_F(DeviceTest, AChangerNeverPolledRefusesCoinsAfterItsNonResponseTime) {
  EXPECT_EQ(m_device.OnTickSlot().m_notes, std::vector<std::string>{});
  for (int i = 0; i < 18; ++i)
    m_device.OnTickSlot();
  EXPECT_EQ(m_device.OnTickSlot().m_notes,
            std::vector<std::string>{"CHANGER DISABLED not polled for 2000 ms"});
  EXPECT_EQ(m_device.InsertCoin(0), "REFUSED coin 0 not-polled");
}

TEST_F(DevicePolled, NotesWhatTheOperatorDid) {
  EXPECT_EQ(m_device.InsertCoin(5), "ACCEPTED coin 5 value 200 cashbox");
  EXPECT_EQ(m_device.InsertCoin(9), "REFUSED coin 9 unknown");
  EXPECT_EQ(m_device.SetTubeCount(0, 255), "TUBE 0 count 60 full");
  EXPECT_EQ(m_device.SetTubeCount(0, 3), "TUBE 0 count 3");
  EXPECT_EQ(m_device.SetTubeCount(4, 3), "REFUSED tube 4 no-tube");
  EXPECT_EQ(m_device.DispenseCoin(0), "REFUSED dispense coin 0");
  Command({0x0C, 0x00, 0x3F, 0x00, 0x01});
  EXPECT_EQ(m_device.DispenseCoin(0), "DISPENSED coin 0 tube 2");
  EXPECT_EQ(m_device.DispenseCoin(0, 2), "DISPENSED coin 0 tube 0 coins 2");
}

TEST_F(DevicePolled, AnswersAStrayPollWithWhatWaits) {
  m_device.InsertCoin(3);
  const DeviceStep step = Command({0x0B});
  ASSERT_EQ(step.m_send.size(), 1u);
  EXPECT_EQ(step.m_send[0].m_bytes, (ByteVector{0x08, 0x53, 0x0A}));
  EXPECT_TRUE(Command({0x0B}).m_send.empty());
}

TEST_F(DevicePolled, WithholdsQueryAnswersOnDemand) {
  EXPECT_EQ(m_device.ArmWithhold(2), "FAULT withhold 2");
  DeviceStep step = Command({0x09});
  EXPECT_TRUE(step.m_send.empty());
  EXPECT_EQ(step.m_notes, std::vector<std::string>{"FAULT withheld SETUP RESPONSE"});
  EXPECT_TRUE(Answer({0x0A}).empty());
  EXPECT_EQ(Answer({0x09}).size(), 24u);

  EXPECT_EQ(m_device.ArmWithhold(CInterfaceDevice::kWithholdAll), "FAULT withhold all");
  for (int i = 0; i < 5; ++i)
    EXPECT_TRUE(Answer({0x0F, 0x00}).empty());
  EXPECT_TRUE(Answer({0x08}).empty());  // RESET is no query: the fault stays armed
  EXPECT_EQ(m_device.ArmWithhold(0), "FAULT withhold off");
  EXPECT_EQ(Answer({0x0F, 0x00}).size(), 34u);
}

TEST_F(DevicePolled, CutsTheNextQueryAnswerShort) {
  EXPECT_EQ(m_device.ArmShortResponse(5), "FAULT short 5");
  EXPECT_EQ(Slot(), ByteVector{0x08});  // ticks are not cut
  const DeviceStep step = Command({0x0A});
  ASSERT_EQ(step.m_send.size(), 1u);
  EXPECT_EQ(step.m_send[0].m_bytes, (ByteVector{0x08, 0x00, 0x00, 24, 30}));
  EXPECT_EQ(step.m_send[0].m_strName, "TUBE STATUS RESPONSE (SHORT)");
  EXPECT_EQ(Answer({0x0A}).size(), 19u);
}

// The delay counts every datagram to the PC; the held answer follows the one that ends it.
TEST_F(DevicePolled, SendsAHeldAnswerAfterTheDatagramsThatOvertakeIt) {
  EXPECT_EQ(m_device.ArmLateResponse(3), "FAULT late 3");
  EXPECT_EQ(Slot(), ByteVector{0x08});  // ticks are not held
  DeviceStep step = Command({0x0A});
  EXPECT_TRUE(step.m_send.empty());
  EXPECT_EQ(step.m_notes, std::vector<std::string>{"FAULT held TUBE STATUS RESPONSE for 3"});
  EXPECT_TRUE(m_device.IsFaultArmed());
  EXPECT_EQ(Answer({0x09}).size(), 24u);
  m_device.InsertCoin(2);
  EXPECT_EQ(Slot(), ByteVector{0x08});
  step = m_device.OnTickSlot();
  ASSERT_EQ(step.m_send.size(), 2u);
  EXPECT_EQ(step.m_send[0].m_bytes, (ByteVector{0x08, 0x52, 0x13}));
  EXPECT_EQ(step.m_send[1].m_bytes.size(), 19u);
  EXPECT_EQ(step.m_send[1].m_strName, "TUBE STATUS RESPONSE (LATE)");
  EXPECT_FALSE(m_device.IsFaultArmed());
  m_device.InsertCoin(2);
  EXPECT_EQ(Slot(), ByteVector{0x08});  // a late answer is no tick the PC let pass
  EXPECT_EQ(Slot(), (ByteVector{0x08, 0x52, 0x14}));
}

TEST_F(DevicePolled, PutsAWrongHeaderOnTheNextDatagramOnly) {
  EXPECT_EQ(m_device.ArmWrongHeader(0x10), "FAULT header 10");
  const DeviceStep step = m_device.OnTickSlot();
  ASSERT_EQ(step.m_send.size(), 1u);
  EXPECT_EQ(step.m_send[0].m_bytes, ByteVector{0x10});
  EXPECT_EQ(step.m_send[0].m_strName, "TICK (WRONG HEADER)");
  EXPECT_EQ(Slot(), ByteVector{0x08});

  m_device.ArmWrongHeader(0x07);
  const ByteVector setup = Answer({0x09});
  ASSERT_EQ(setup.size(), 24u);
  EXPECT_EQ(setup[0], 0x07);
  EXPECT_EQ(setup[1], 0x03);
  EXPECT_EQ(Answer({0x09})[0], 0x08);
}

// A fault with a target lets other datagrams pass and strikes the first of its kind.
TEST_F(DevicePolled, TargetedFaultsWaitForTheirKindOfDatagram) {
  EXPECT_EQ(m_device.ArmWithhold(1, "IDENTIFICATION"), "FAULT withhold 1 IDENTIFICATION");
  EXPECT_EQ(Answer({0x09}).size(), 24u);
  EXPECT_EQ(Answer({0x0F, 0x00}), ByteVector{});
  EXPECT_EQ(Answer({0x0F, 0x00}).size(), 34u);

  EXPECT_EQ(m_device.ArmShortResponse(9, "TUBE STATUS"), "FAULT short 9 TUBE STATUS");
  EXPECT_EQ(Answer({0x09}).size(), 24u);
  EXPECT_EQ(Answer({0x0A}).size(), 9u);

  EXPECT_EQ(m_device.ArmLateResponse(1, "SETUP"), "FAULT late 1 SETUP");
  EXPECT_EQ(Answer({0x0A}).size(), 19u);
  EXPECT_EQ(Answer({0x09}), ByteVector{});
  EXPECT_EQ(m_device.OnTickSlot().m_send.size(), 2u);

  EXPECT_EQ(m_device.ArmWrongHeader(0x10, "DEPOSIT"), "FAULT header 10 DEPOSIT");
  EXPECT_EQ(Slot(), ByteVector{0x08});
  m_device.InsertCoin(2);
  EXPECT_EQ(Slot(), (ByteVector{0x10, 0x52, 19}));
  EXPECT_FALSE(m_device.IsFaultArmed());
}

TEST(TrafficLine, NamesDirectionPortLengthBytesAndMeaning) {
  EXPECT_EQ(FormatTrafficLine(true, {EPort::Communication, {0x08}, "TICK"}), "TX COMM 1 08 TICK");
  EXPECT_EQ(FormatTrafficLine(false, {EPort::Control, {0x08, 0x03, 0x0B}, "CONTROL 11 POLL ON"}),
            "RX CTRL 3 08 03 0B CONTROL 11 POLL ON");
  EXPECT_EQ(FormatTrafficLine(true, {EPort::Communication, {}, "EMPTY"}), "TX COMM 0 EMPTY");
  ByteVector longer(65, 0xAB);
  EXPECT_EQ(FormatTrafficLine(true, {EPort::Communication, longer, "OVERSIZED"}),
            "TX COMM 65 AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB ... OVERSIZED");
  ByteVector sixtyFour(64, 0x01);
  const std::string strLine =
      FormatTrafficLine(false, {EPort::Communication, sixtyFour, "UNKNOWN"});
  EXPECT_EQ(strLine.size(), std::string("RX COMM 64 UNKNOWN").size() + 64 * 3);
}

}  // namespace
