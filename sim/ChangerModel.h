// The MDB coin changer that hangs behind the simulated interface device: its coin set, tubes and
// cash box, the masks the controller sets, and the poll answers it has queued. No sockets, no Qt:
// bytes in, bytes out, so every rule here is tested directly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

using ByteVector = std::vector<std::uint8_t>;

/// How the changer is built. Coin types are 0..15; money is counted in hundredths unless a field
/// says "credit units" (multiples of the scaling factor).
struct ChangerConfig {
  std::uint8_t m_nFeatureLevel = 3;
  std::uint16_t m_wCountryCode = 0x1978;  ///< four BCD digits; 1978 is the euro
  std::uint8_t m_nScalingFactor = 5;      ///< hundredths per credit unit
  std::uint8_t m_nDecimalPlaces = 2;
  /// Value of each coin type in credit units; 0 means the changer knows no such coin.
  /// Default 0.05, 0.10, 0.20, 0.50, 1.00, 2.00.
  std::array<std::uint8_t, 16> m_coinCredit = {1, 2, 4, 10, 20, 40};
  std::uint16_t m_wRouting = 0x000F;                           ///< bit n: coin type n has a tube
  std::array<std::uint8_t, 16> m_tubeCount = {24, 30, 18, 9};  ///< coins in each tube at power-up
  std::uint8_t m_nTubeCapacity = 60;               ///< a tube holding this many coins reports full
  std::string m_strManufacturer = "TSL";           ///< 3 characters
  std::string m_strSerialNumber = "197800042917";  ///< 12 characters
  std::string m_strModel = "LX5200E-CG  ";         ///< 12 characters, blank padded
  std::uint16_t m_wSoftwareVersion = 0x0123;       ///< four BCD digits
  /// Bit 0 alternative payout, 1 extended diagnostics, 2 controlled manual fill and payout, 3 FTL.
  std::uint32_t m_dwOptionalFeatures = 0x00000005;
  /// Milliseconds without a poll after which the changer disables itself, as an MDB changer does
  /// when its controller has gone silent for longer than its non-response time (2 s).
  unsigned m_nNonResponseMs = 2000;
};

/// MDB changer commands (address 0x08 plus the command number in the low three bits, then
/// expansion sub-commands after 0x0F).
enum class EChangerCommand {
  Reset,           ///< 08
  Setup,           ///< 09
  TubeStatus,      ///< 0A
  Poll,            ///< 0B
  CoinType,        ///< 0C + accept mask, dispense mask (big-endian words)
  Dispense,        ///< 0D + 1 byte (not supported here)
  Identification,  ///< 0F 00
  FeatureEnable,   ///< 0F 01 + 4 bytes
  Payout,          ///< 0F 02 + 1 byte in credit units
  Unknown,
};

/// @returns the command's name as the log shows it ("EXPANSION PAYOUT").
const char* CommandName(EChangerCommand eCommand);

/// What the changer made of one command.
struct ChangerReply {
  EChangerCommand m_eCommand = EChangerCommand::Unknown;
  bool m_bWellFormed = false;  ///< false: wrong length for the command, ignored (MDB would NAK)
  ByteVector m_data;           ///< response data (Z1..Zn) when the command asks for data
};

/// Where an inserted coin ended up, or why it was given back.
enum class EInsertResult { ToTube, ToCashBox, UnknownCoin, NotPolled, NotEnabled, Busy };

struct InsertOutcome {
  EInsertResult m_eResult;
  std::uint8_t m_nTubeCount;  ///< coins in the coin type's tube afterwards
};

/// One EXPANSION PAYOUT as carried out.
struct PayoutOutcome {
  unsigned m_nRequested = 0;  ///< hundredths
  unsigned m_nPaid = 0;       ///< hundredths; less than requested when the tubes ran short
  std::array<std::uint8_t, 16> m_coins = {};  ///< coins paid per coin type
};

class CChangerModel {
public:
  /// Poll answers waiting beyond this many make the changer give coins back (its buffer is full).
  static constexpr std::size_t kMaxEvents = 16;

  explicit CChangerModel(const ChangerConfig& config = ChangerConfig());

  /// One command from the controller, bytes as on the bus without the checksum. Any command it
  /// takes keeps the changer in service, as a poll does.
  ChangerReply OnCommand(const std::uint8_t* pBytes, std::size_t nLength);

  /// A coin dropped into the slot. Accepted coins queue a deposit report (2 bytes).
  InsertOutcome InsertCoin(unsigned nCoinType);
  /// The operator's manual dispense button: nCount coins (1..7) from the tube at once, when the
  /// controller's dispense mask allows it; one report 1yyyxxxx says so (yyy the count, so bit 6
  /// is set from 4 coins on). @returns false when nothing came out.
  bool DispenseCoin(unsigned nCoinType, unsigned nCount = 1);
  /// Sets a tube's content, at most its capacity. @returns false when the coin type has no tube.
  bool SetTubeCount(unsigned nCoinType, unsigned nCount);
  /// Power cycle: what RESET does, done at the changer itself. Its reset report carries the
  /// further status bytes given after 0B, as one poll answer may carry several statuses.
  void PowerUp(const ByteVector& moreStatus = {});
  /// The device polled the changer (POLL on the bus): it stays in service.
  void OnPolled();
  /// nMilliseconds went by without a poll. @returns true when this made the changer disable
  /// itself: it then gives every coin back until it is polled again, and accepts none after that
  /// until COIN TYPE enables coins again.
  bool OnUnpolled(unsigned nMilliseconds);
  /// @returns true while the changer has disabled itself for want of polls.
  bool IsUnpolled() const { return m_bUnpolled; }

  /// @returns true while a poll answer is waiting.
  bool HasEvent() const { return !m_events.empty(); }
  /// Removes and returns the oldest poll answer (1 or more status bytes); empty when none waits.
  ByteVector TakeEvent();

  const ChangerConfig& GetConfig() const { return m_config; }
  ByteVector SetupData() const;           ///< the 23 bytes answering SETUP
  ByteVector TubeStatusData() const;      ///< the 18 bytes answering TUBE STATUS
  ByteVector IdentificationData() const;  ///< the 33 bytes answering EXPANSION IDENTIFICATION

  bool HasTube(unsigned nCoinType) const;
  bool IsTubeFull(unsigned nCoinType) const;
  std::uint8_t GetTubeCount(unsigned nCoinType) const;
  unsigned GetCoinValue(unsigned nCoinType) const;  ///< hundredths; 0 for no such coin
  std::uint16_t GetAcceptMask() const { return m_wCoinAccept; }
  std::uint16_t GetDispenseMask() const { return m_wCoinDispense; }
  std::uint32_t GetFeatureEnable() const { return m_dwFeatureEnable; }
  unsigned GetCashBoxCount(unsigned nCoinType) const;
  unsigned GetCashBoxTotal() const;                         ///< hundredths
  unsigned GetChangePaid() const { return m_nChangePaid; }  ///< hundredths, all payouts together
  const PayoutOutcome& GetLastPayout() const { return m_lastPayout; }
  unsigned GetPayoutCount() const { return m_nPayouts; }

private:
  void OnReset(const ByteVector& moreStatus = {});
  void OnCoinType(const std::uint8_t* pBytes);
  void OnFeatureEnable(const std::uint8_t* pBytes);
  void OnPayout(std::uint8_t nCreditUnits);
  void QueueEvent(ByteVector status);

  ChangerConfig m_config;
  std::array<std::uint8_t, 16> m_tubeCount;
  std::array<unsigned, 16> m_cashBoxCount = {};
  std::uint16_t m_wCoinAccept = 0;  // both masks are 0 after a reset: nothing accepted
  std::uint16_t m_wCoinDispense = 0;
  std::uint32_t m_dwFeatureEnable = 0;
  std::deque<ByteVector> m_events;
  unsigned m_nUnpolledMs = 0;  // since the last poll, or since power-up
  bool m_bUnpolled = false;
  unsigned m_nChangePaid = 0;
  unsigned m_nPayouts = 0;
  PayoutOutcome m_lastPayout;
};
