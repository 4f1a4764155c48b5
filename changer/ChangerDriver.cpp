#include "ChangerDriver.h"

#include "AcceptorControlSettings.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// MDB changer commands, changer address 0x08 in the upper five bits of the first byte.
constexpr std::uint8_t kReset[] = {0x08};
constexpr std::uint8_t kSetup[] = {0x09};
constexpr std::uint8_t kTubeStatus[] = {0x0A};
constexpr std::uint8_t kIdentification[] = {0x0F, 0x00};
constexpr std::uint8_t kCoinTypeDisable[] = {0x0C, 0x00, 0x00, 0x00, 0x00};
constexpr std::uint8_t kExpansionFeatureEnable = 0x01;  // after 0x0F
constexpr std::uint8_t kExpansionPayout = 0x02;         // after 0x0F

constexpr std::uint8_t kStatusChangerReset = 0x0B;
constexpr std::uint32_t kResetCountdown = 10;
constexpr std::uint32_t kCountdownAfterReset = 3;
// Ticks in a row without any response block after which the answers still due are taken as never
// coming (the device lost them). A genuine answer can be behind no more ticks than wait unread in
// the program's receive buffer: 256 one-byte datagrams in Linux's default 208 KiB, and anything
// beyond is lost anyway. A bound below the backlog would take late answers for current ones
// again; one above costs a phantom answer a repeat per query until it is forgotten.
constexpr std::uint32_t kForgetAfterQuietTicks = 512;

namespace Settings = AcceptorControlSettings;

// Datagram lengths, header byte included.
constexpr bool IsTick(unsigned nLength) { return nLength == 1; }
constexpr bool IsStatus(unsigned nLength) { return nLength == 2; }
constexpr bool IsResponse(unsigned nLength) { return nLength > 7; }
// What Polling reads as a poll answer: a status byte, possibly followed by more events. From 8
// bytes on a datagram is a response block, even one that arrives after the driver moved on.
constexpr bool IsPollAnswer(unsigned nLength) { return nLength >= 2 && !IsResponse(nLength); }
// A deposit report is header, status and the count of coins in the tube: at most 3 bytes. While
// a query runs, anything longer is an answer cut short (or several events at once), no coin.
constexpr bool IsDepositSized(unsigned nLength) { return nLength == 2 || nLength == 3; }

// Coins deposited: 01yyxxxx, yy the routing, xxxx the coin type.
constexpr bool IsDeposit(std::uint8_t nStatus) { return (nStatus & 0xC0) == 0x40; }
constexpr bool IsReturnedCoin(std::uint8_t nStatus) { return (nStatus & 0x30) == 0x30; }

// Copies datagram bytes nFirst..nFirst+nCount-1 to pField; those beyond the datagram's end
// become 0, so a short response never leaves stale bytes of an earlier one behind.
void CopyField(void* pField, const std::uint8_t* pBytes, unsigned nLength, unsigned nFirst,
               unsigned nCount) {
  auto* pDest = static_cast<std::uint8_t*>(pField);
  const unsigned nPresent = nLength > nFirst ? std::min(nLength - nFirst, nCount) : 0;
  if (nPresent > 0)
    std::memcpy(pDest, pBytes + nFirst, nPresent);
  std::memset(pDest + nPresent, 0, nCount - nPresent);
}

}  // namespace

CChangerDriver::CChangerDriver(IChangerHost& host)
    : m_nState(ResetWait),
      m_bResetSent(false),
      m_wCoinAccept(0),
      m_wCoinDispense(0),
      m_dwFeatureEnable(0),
      m_nCountdown(kResetCountdown),
      m_nCredit(0),
      m_bPayoutDue(false),
      m_nAnswersDue(0),
      m_nStateQueries(0),
      m_nQuietTicks(0),
      m_setup{},
      m_tubes{},
      m_ident{},
      m_pHost(&host) {}

void CChangerDriver::OnDatagram(const std::uint8_t* pBytes, unsigned nLength) {
  if (pBytes == nullptr || nLength == 0 || (pBytes[0] & 0xF8) != 0x08)
    return;

  // A coin reported while the driver is busy elsewhere has still been taken from the customer.
  // Polling credits deposits by its own rule; everywhere else a deposit-sized datagram is
  // credited here and the state's rule then runs as usual. An answer cut to 2 or 3 bytes cannot
  // be told from a deposit report and is credited too.
  if (m_nState != Polling && IsDepositSized(nLength) && IsDeposit(pBytes[1]))
    CreditDeposit(pBytes[1]);

  // While a query runs, a response block that answers an earlier query (a repeat read late, or a
  // query the operator's request overtook) is dropped; the query goes out again at the next tick.
  if (!BookAnswer(nLength) &&
      (m_nState == SetupQuery || m_nState == IdentQuery || m_nState == TubeQuery))
    return;

  switch (m_nState) {
  case ResetWait: OnResetWait(); break;
  case ResetPending: OnResetPending(nLength); break;
  case SetupQuery: OnSetupQuery(pBytes, nLength); break;
  case IdentQuery: OnIdentQuery(pBytes, nLength); break;
  case FeatureEnableSend: OnFeatureEnableSend(pBytes, nLength); break;
  case TubeQuery: OnTubeQuery(pBytes, nLength); break;
  case CoinEnableSend: OnCoinEnableSend(pBytes, nLength); break;
  case CoinDisableSend: OnCoinDisableSend(pBytes, nLength); break;
  case Polling: OnPolling(pBytes, nLength); break;
  case PayoutSend: OnPayoutSend(pBytes, nLength); break;
  }
}

void CChangerDriver::SetState(std::uint32_t nState) {
  // The windows only pass 0, 6, 7 and 9; any number that names no state would leave the
  // machine deaf to every datagram, so it is refused.
  if (nState > PayoutSend)
    return;
  Enter(nState);
  // The operator's latest request replaces one that waited for the changer to come back.
  m_bPayoutDue = false;
  if (nState == ResetWait)
    m_nCountdown = kResetCountdown;
}

bool CChangerDriver::DebitCredit(std::uint32_t nPrice) {
  if (nPrice > m_nCredit)
    return false;
  m_nCredit -= nPrice;
  return true;
}

// Lets the changer settle after power-up or after it reported a reset.
void CChangerDriver::OnResetWait() {
  if (m_nCountdown > 0) {
    --m_nCountdown;
    return;
  }
  m_bResetSent = false;
  Enter(ResetPending);
}

// RESET goes out on the first datagram, then three more pass before a tick starts the setup.
// The changer's reset report that follows RESET is expected here and restarts nothing.
void CChangerDriver::OnResetPending(unsigned nLength) {
  if (m_nCountdown > 0) {
    --m_nCountdown;
    return;
  }
  if (!m_bResetSent) {
    Send(kReset, sizeof kReset);
    m_bResetSent = true;
    m_nCountdown = kCountdownAfterReset;
    return;
  }
  if (IsTick(nLength))
    Enter(SetupQuery);
}

void CChangerDriver::OnSetupQuery(const std::uint8_t* pBytes, unsigned nLength) {
  if (IsResponse(nLength)) {
    CopyField(&m_setup, pBytes, nLength, 1, sizeof m_setup);
    Enter(IdentQuery);
  } else if (IsStatus(nLength)) {
    ApplyResetRule(pBytes[1]);
  } else if (IsTick(nLength)) {
    SendQuery(kSetup, sizeof kSetup);
  }
}

// Texts: manufacturer from bytes 1-3, serial from 4-15, model from 16-27, each closed by a zero
// in its area; version from 28-29 and feature bits from 30-33, both in bus order.
void CChangerDriver::OnIdentQuery(const std::uint8_t* pBytes, unsigned nLength) {
  if (IsResponse(nLength)) {
    auto* pIdent = reinterpret_cast<std::uint8_t*>(&m_ident);
    CopyField(m_ident.manufacturerCode, pBytes, nLength, 1, 3);
    m_ident.manufacturerCode[3] = 0;
    CopyField(m_ident.serialNumber, pBytes, nLength, 4, 12);
    m_ident.serialNumber[12] = 0;
    CopyField(m_ident.modelRevision, pBytes, nLength, 16, 12);
    m_ident.modelRevision[12] = 0;
    CopyField(pIdent + offsetof(ChangerIdentification, softwareVersion), pBytes, nLength, 28, 2);
    CopyField(pIdent + offsetof(ChangerIdentification, optionalFeatures), pBytes, nLength, 30, 4);
    Enter(FeatureEnableSend);
  } else if (IsStatus(nLength)) {
    ApplyResetRule(pBytes[1]);
  } else if (IsTick(nLength)) {
    SendQuery(kIdentification, sizeof kIdentification);
  }
}

// The feature bits are read now, so a change made in the settings reaches the changer with the
// next start-up sequence and not before.
void CChangerDriver::OnFeatureEnableSend(const std::uint8_t* pBytes, unsigned nLength) {
  if (IsStatus(nLength)) {
    ApplyResetRule(pBytes[1]);
  } else if (IsTick(nLength)) {
    m_dwFeatureEnable =
        m_pHost->GetProfileInt(Settings::kSection, Settings::kFeatureEnable, Settings::kDefault);
    const std::uint8_t command[] = {0x0F,
                                    kExpansionFeatureEnable,
                                    static_cast<std::uint8_t>(m_dwFeatureEnable >> 24),
                                    static_cast<std::uint8_t>(m_dwFeatureEnable >> 16),
                                    static_cast<std::uint8_t>(m_dwFeatureEnable >> 8),
                                    static_cast<std::uint8_t>(m_dwFeatureEnable)};
    Send(command, sizeof command);
    Enter(TubeQuery);
  }
}

void CChangerDriver::OnTubeQuery(const std::uint8_t* pBytes, unsigned nLength) {
  if (IsResponse(nLength)) {
    CopyField(&m_tubes, pBytes, nLength, 1, sizeof m_tubes);
    Enter(CoinEnableSend);
  } else if (IsStatus(nLength)) {
    ApplyResetRule(pBytes[1]);
  } else if (IsTick(nLength)) {
    SendQuery(kTubeStatus, sizeof kTubeStatus);
  }
}

// COIN TYPE 0C, accept mask, dispense mask, each high byte (coin types 15..8) first.
void CChangerDriver::OnCoinEnableSend(const std::uint8_t* pBytes, unsigned nLength) {
  if (IsStatus(nLength)) {
    ApplyResetRule(pBytes[1]);
  } else if (IsTick(nLength)) {
    m_wCoinAccept = static_cast<std::uint16_t>(
        m_pHost->GetProfileInt(Settings::kSection, Settings::kCoinAccept, Settings::kDefault));
    m_wCoinDispense = static_cast<std::uint16_t>(
        m_pHost->GetProfileInt(Settings::kSection, Settings::kCoinDispense, Settings::kDefault));
    const std::uint8_t command[] = {0x0C, static_cast<std::uint8_t>(m_wCoinAccept >> 8),
                                    static_cast<std::uint8_t>(m_wCoinAccept),
                                    static_cast<std::uint8_t>(m_wCoinDispense >> 8),
                                    static_cast<std::uint8_t>(m_wCoinDispense)};
    Send(command, sizeof command);
    EnterPolling();
  }
}

// The kept masks stay as last sent; only the changer is told to take no coins.
void CChangerDriver::OnCoinDisableSend(const std::uint8_t* pBytes, unsigned nLength) {
  if (IsStatus(nLength)) {
    ApplyResetRule(pBytes[1]);
  } else if (IsTick(nLength)) {
    Send(kCoinTypeDisable, sizeof kCoinTypeDisable);
    EnterPolling();
  }
}

// Byte 1 of a poll answer is its first status, whatever follows it; a response block that comes
// late (its query was overtaken by the operator) is no poll answer and credits nothing.
// Escrow request, busy, slugs, manual dispense and error reports are of no interest.
void CChangerDriver::OnPolling(const std::uint8_t* pBytes, unsigned nLength) {
  if (!IsPollAnswer(nLength))
    return;
  const std::uint8_t nStatus = pBytes[1];
  if (IsDeposit(nStatus)) {
    if (CreditDeposit(nStatus)) {
      Enter(TubeQuery);  // whose answer this TUBE STATUS awaits
      SendQuery(kTubeStatus, sizeof kTubeStatus);
    }
  } else if (nStatus == kStatusChangerReset) {
    // The countdown is left as it is (0 after a normal start-up): RESET follows at once.
    Enter(ResetWait);
  }
}

// EXPANSION PAYOUT carries one byte in units of the scaling factor: at most 255 units go out
// per payout and the rest stays as credit for the next one. The sub-unit remainder is dropped.
// Without a scaling factor nothing can be paid, so nothing is sent and the credit stays.
// A changer that reports its reset here has forgotten everything it was told: a payout sent to it
// now could be lost with the credit, and its coins would stay disabled. So the driver starts it
// up again and pays once it is back in Polling; the credit stays until then. The reset report is
// recognised in every poll answer, as Polling recognises it.
void CChangerDriver::OnPayoutSend(const std::uint8_t* pBytes, unsigned nLength) {
  if (IsPollAnswer(nLength) && pBytes[1] == kStatusChangerReset) {
    ApplyResetRule(pBytes[1]);
    m_bPayoutDue = true;
    return;
  }
  const std::uint32_t nScaling = m_setup.scalingFactor;
  if (nScaling != 0) {
    std::uint32_t nUnits = m_nCredit / nScaling;
    std::uint32_t nRemaining = 0;
    if (nUnits > 0xFF) {
      nUnits = 0xFF;
      nRemaining = m_nCredit - 0xFF * nScaling;
    }
    const std::uint8_t command[] = {0x0F, kExpansionPayout, static_cast<std::uint8_t>(nUnits)};
    Send(command, sizeof command);
    m_nCredit = nRemaining;
  }
  m_pHost->UpdateCreditDisplay();
  Enter(Polling);
}

// A Change Return that waited for a restart goes out with the next datagram.
void CChangerDriver::EnterPolling() {
  Enter(m_bPayoutDue ? PayoutSend : Polling);
  m_bPayoutDue = false;
}

// A restart is a state change like any other: the changer still answers what it was asked
// before, and those answers may come after the next SETUP has gone out.
void CChangerDriver::Enter(std::uint32_t nState) {
  m_nState = nState;
  m_nStateQueries = 0;
}

void CChangerDriver::SendQuery(const std::uint8_t* pBytes, unsigned nLength) {
  Send(pBytes, nLength);
  ++m_nAnswersDue;
  ++m_nStateQueries;
}

// Answers come in the order of their queries, so the oldest ones due are the earlier episodes':
// a response block is the current episode's only when no earlier one is still due. With nothing
// due at all it is taken by whatever query runs, as it always was.
bool CChangerDriver::BookAnswer(unsigned nLength) {
  if (IsTick(nLength) && m_nAnswersDue > 0 && ++m_nQuietTicks >= kForgetAfterQuietTicks) {
    m_nAnswersDue = 0;
    m_nStateQueries = 0;
  }
  if (m_nAnswersDue == 0)
    m_nQuietTicks = 0;
  if (!IsResponse(nLength))
    return true;
  m_nQuietTicks = 0;
  if (m_nAnswersDue == 0)
    return true;
  const bool bCurrent = m_nAnswersDue <= m_nStateQueries;
  --m_nAnswersDue;
  if (bCurrent)
    --m_nStateQueries;
  return bCurrent;
}

// The changer's reset report restarts the whole initialisation; other statuses are ignored.
void CChangerDriver::ApplyResetRule(std::uint8_t nStatus) {
  if (nStatus == kStatusChangerReset) {
    m_nCountdown = kResetCountdown;
    Enter(ResetWait);
  }
}

bool CChangerDriver::CreditDeposit(std::uint8_t nStatus) {
  if (IsReturnedCoin(nStatus))
    return false;
  const std::uint32_t nValue =
      std::uint32_t{m_setup.coinTypeCredit[nStatus & 0x0F]} * m_setup.scalingFactor;
  const std::uint32_t nMax = std::numeric_limits<std::uint32_t>::max();
  m_nCredit = nValue > nMax - m_nCredit ? nMax : m_nCredit + nValue;
  m_pHost->UpdateCreditDisplay();
  return true;
}

void CChangerDriver::Send(const std::uint8_t* pBytes, unsigned nLength) {
  m_pHost->SendChangerCommand(pBytes, nLength);
}
