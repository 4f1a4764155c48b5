#include "ChangerModel.h"

#include <algorithm>

namespace {

// MDB changer poll status bytes.
constexpr std::uint8_t kStatusJustReset = 0x0B;
constexpr std::uint8_t kDepositToCashBox = 0x40;  // 0100xxxx
constexpr std::uint8_t kDepositToTube = 0x50;     // 0101xxxx
constexpr std::uint8_t kManualDispense = 0x80;    // 1yyyxxxx, yyy coins of type xxxx
constexpr unsigned kMaxDispense = 7;              // what yyy can count

void AppendText(ByteVector& data, const std::string& str, std::size_t nWidth) {
  for (std::size_t i = 0; i < nWidth; ++i)
    data.push_back(i < str.size() ? static_cast<std::uint8_t>(str[i]) : ' ');
}

void AppendWord(ByteVector& data, std::uint16_t w) {
  data.push_back(static_cast<std::uint8_t>(w >> 8));
  data.push_back(static_cast<std::uint8_t>(w));
}

}  // namespace

const char* CommandName(EChangerCommand eCommand) {
  switch (eCommand) {
  case EChangerCommand::Reset: return "RESET";
  case EChangerCommand::Setup: return "SETUP";
  case EChangerCommand::TubeStatus: return "TUBE STATUS";
  case EChangerCommand::Poll: return "POLL";
  case EChangerCommand::CoinType: return "COIN TYPE";
  case EChangerCommand::Dispense: return "DISPENSE";
  case EChangerCommand::Identification: return "EXPANSION IDENTIFICATION";
  case EChangerCommand::FeatureEnable: return "EXPANSION FEATURE ENABLE";
  case EChangerCommand::Payout: return "EXPANSION PAYOUT";
  case EChangerCommand::Unknown: break;
  }
  return "UNKNOWN";
}

CChangerModel::CChangerModel(const ChangerConfig& config) : m_config(config) {
  for (unsigned n = 0; n < 16; ++n)
    m_tubeCount[n] = HasTube(n) ? std::min(config.m_tubeCount[n], config.m_nTubeCapacity) : 0;
  PowerUp();
}

ChangerReply CChangerModel::OnCommand(const std::uint8_t* pBytes, std::size_t nLength) {
  ChangerReply reply;
  if (nLength == 0)
    return reply;
  // Expected length of each command, address byte included.
  std::size_t nExpected = 1;
  switch (pBytes[0]) {
  case 0x08: reply.m_eCommand = EChangerCommand::Reset; break;
  case 0x09: reply.m_eCommand = EChangerCommand::Setup; break;
  case 0x0A: reply.m_eCommand = EChangerCommand::TubeStatus; break;
  case 0x0B: reply.m_eCommand = EChangerCommand::Poll; break;
  case 0x0C:
    reply.m_eCommand = EChangerCommand::CoinType;
    nExpected = 5;
    break;
  case 0x0D:
    reply.m_eCommand = EChangerCommand::Dispense;
    nExpected = 2;
    break;
  case 0x0F:
    if (nLength < 2)
      return reply;
    switch (pBytes[1]) {
    case 0x00:
      reply.m_eCommand = EChangerCommand::Identification;
      nExpected = 2;
      break;
    case 0x01:
      reply.m_eCommand = EChangerCommand::FeatureEnable;
      nExpected = 6;
      break;
    case 0x02:
      reply.m_eCommand = EChangerCommand::Payout;
      nExpected = 3;
      break;
    default: return reply;
    }
    break;
  default: return reply;
  }
  if (nLength != nExpected)
    return reply;
  reply.m_bWellFormed = true;
  OnPolled();

  switch (reply.m_eCommand) {
  case EChangerCommand::Reset: OnReset(); break;
  case EChangerCommand::Setup: reply.m_data = SetupData(); break;
  case EChangerCommand::TubeStatus: reply.m_data = TubeStatusData(); break;
  case EChangerCommand::Poll: reply.m_data = TakeEvent(); break;
  case EChangerCommand::CoinType: OnCoinType(pBytes + 1); break;
  case EChangerCommand::Identification: reply.m_data = IdentificationData(); break;
  case EChangerCommand::FeatureEnable: OnFeatureEnable(pBytes + 2); break;
  case EChangerCommand::Payout: OnPayout(pBytes[2]); break;
  case EChangerCommand::Dispense:  // manual dispense runs from the buttons only
  case EChangerCommand::Unknown: break;
  }
  return reply;
}

void CChangerModel::PowerUp(const ByteVector& moreStatus) { OnReset(moreStatus); }

void CChangerModel::OnReset(const ByteVector& moreStatus) {
  // A reset changer accepts nothing until the controller sends COIN TYPE again, forgets what it
  // had to report, and says once that it was reset. Its time without a poll runs on: a reset
  // does not bring back a controller that went silent.
  m_wCoinAccept = 0;
  m_wCoinDispense = 0;
  m_dwFeatureEnable = 0;
  m_events.clear();
  ByteVector status = {kStatusJustReset};
  status.insert(status.end(), moreStatus.begin(), moreStatus.end());
  QueueEvent(std::move(status));
}

void CChangerModel::OnPolled() {
  m_nUnpolledMs = 0;
  m_bUnpolled = false;
}

bool CChangerModel::OnUnpolled(unsigned nMilliseconds) {
  m_nUnpolledMs = nMilliseconds > ~0u - m_nUnpolledMs ? ~0u : m_nUnpolledMs + nMilliseconds;
  if (m_bUnpolled || m_nUnpolledMs < m_config.m_nNonResponseMs)
    return false;
  // Disabled as by COIN TYPE 0000: a controller that comes back enables its coins anew.
  m_bUnpolled = true;
  m_wCoinAccept = 0;
  return true;
}

void CChangerModel::OnCoinType(const std::uint8_t* pBytes) {
  m_wCoinAccept = static_cast<std::uint16_t>(pBytes[0] << 8 | pBytes[1]);
  m_wCoinDispense = static_cast<std::uint16_t>(pBytes[2] << 8 | pBytes[3]);
}

void CChangerModel::OnFeatureEnable(const std::uint8_t* pBytes) {
  m_dwFeatureEnable = static_cast<std::uint32_t>(pBytes[0]) << 24 |
                      static_cast<std::uint32_t>(pBytes[1]) << 16 |
                      static_cast<std::uint32_t>(pBytes[2]) << 8 | pBytes[3];
}

void CChangerModel::OnPayout(std::uint8_t nCreditUnits) {
  PayoutOutcome outcome;
  outcome.m_nRequested = static_cast<unsigned>(nCreditUnits) * m_config.m_nScalingFactor;

  // Largest coins first; among equal values the higher coin type first.
  std::array<unsigned, 16> order;
  for (unsigned n = 0; n < 16; ++n)
    order[n] = n;
  std::stable_sort(order.begin(), order.end(), [this](unsigned a, unsigned b) {
    return m_config.m_coinCredit[a] > m_config.m_coinCredit[b] ||
           (m_config.m_coinCredit[a] == m_config.m_coinCredit[b] && a > b);
  });
  unsigned nLeft = nCreditUnits;
  for (unsigned n : order) {
    const unsigned nCredit = m_config.m_coinCredit[n];
    if (nCredit == 0 || !HasTube(n))
      continue;
    const unsigned nCoins = std::min<unsigned>(m_tubeCount[n], nLeft / nCredit);
    m_tubeCount[n] = static_cast<std::uint8_t>(m_tubeCount[n] - nCoins);
    outcome.m_coins[n] = static_cast<std::uint8_t>(nCoins);
    nLeft -= nCoins * nCredit;
  }
  outcome.m_nPaid = (nCreditUnits - nLeft) * m_config.m_nScalingFactor;
  m_nChangePaid += outcome.m_nPaid;
  ++m_nPayouts;
  m_lastPayout = outcome;
}

InsertOutcome CChangerModel::InsertCoin(unsigned nCoinType) {
  if (nCoinType > 15 || m_config.m_coinCredit[nCoinType] == 0)
    return {EInsertResult::UnknownCoin, 0};
  const std::uint8_t nCount = m_tubeCount[nCoinType];
  if (m_bUnpolled)
    return {EInsertResult::NotPolled, nCount};
  if (!(m_wCoinAccept & 1u << nCoinType))
    return {EInsertResult::NotEnabled, nCount};
  if (m_events.size() >= kMaxEvents)
    return {EInsertResult::Busy, nCount};

  if (HasTube(nCoinType) && !IsTubeFull(nCoinType)) {
    ++m_tubeCount[nCoinType];
    QueueEvent({static_cast<std::uint8_t>(kDepositToTube | nCoinType), m_tubeCount[nCoinType]});
    return {EInsertResult::ToTube, m_tubeCount[nCoinType]};
  }
  ++m_cashBoxCount[nCoinType];
  QueueEvent({static_cast<std::uint8_t>(kDepositToCashBox | nCoinType), nCount});
  return {EInsertResult::ToCashBox, nCount};
}

bool CChangerModel::DispenseCoin(unsigned nCoinType, unsigned nCount) {
  if (nCoinType > 15 || nCount == 0 || nCount > kMaxDispense || !HasTube(nCoinType) ||
      m_tubeCount[nCoinType] < nCount || !(m_wCoinDispense & 1u << nCoinType) ||
      m_events.size() >= kMaxEvents)
    return false;
  m_tubeCount[nCoinType] = static_cast<std::uint8_t>(m_tubeCount[nCoinType] - nCount);
  QueueEvent({static_cast<std::uint8_t>(kManualDispense | nCount << 4 | nCoinType),
              m_tubeCount[nCoinType]});
  return true;
}

bool CChangerModel::SetTubeCount(unsigned nCoinType, unsigned nCount) {
  if (nCoinType > 15 || !HasTube(nCoinType))
    return false;
  m_tubeCount[nCoinType] =
      static_cast<std::uint8_t>(std::min<unsigned>(nCount, m_config.m_nTubeCapacity));
  return true;
}

ByteVector CChangerModel::TakeEvent() {
  if (m_events.empty())
    return {};
  ByteVector status = std::move(m_events.front());
  m_events.pop_front();
  return status;
}

void CChangerModel::QueueEvent(ByteVector status) { m_events.push_back(std::move(status)); }

ByteVector CChangerModel::SetupData() const {
  ByteVector data;
  data.push_back(m_config.m_nFeatureLevel);
  AppendWord(data, m_config.m_wCountryCode);
  data.push_back(m_config.m_nScalingFactor);
  data.push_back(m_config.m_nDecimalPlaces);
  // A routing bit of a coin type the changer does not know would promise a tube that is not there.
  std::uint16_t wRouting = 0;
  for (unsigned n = 0; n < 16; ++n)
    if (HasTube(n))
      wRouting = static_cast<std::uint16_t>(wRouting | 1u << n);
  AppendWord(data, wRouting);
  data.insert(data.end(), m_config.m_coinCredit.begin(), m_config.m_coinCredit.end());
  return data;
}

ByteVector CChangerModel::TubeStatusData() const {
  std::uint16_t wFull = 0;
  for (unsigned n = 0; n < 16; ++n)
    if (IsTubeFull(n))
      wFull = static_cast<std::uint16_t>(wFull | 1u << n);
  ByteVector data;
  AppendWord(data, wFull);
  data.insert(data.end(), m_tubeCount.begin(), m_tubeCount.end());
  return data;
}

ByteVector CChangerModel::IdentificationData() const {
  ByteVector data;
  AppendText(data, m_config.m_strManufacturer, 3);
  AppendText(data, m_config.m_strSerialNumber, 12);
  AppendText(data, m_config.m_strModel, 12);
  AppendWord(data, m_config.m_wSoftwareVersion);
  AppendWord(data, static_cast<std::uint16_t>(m_config.m_dwOptionalFeatures >> 16));
  AppendWord(data, static_cast<std::uint16_t>(m_config.m_dwOptionalFeatures));
  return data;
}

bool CChangerModel::HasTube(unsigned nCoinType) const {
  return nCoinType < 16 && m_config.m_coinCredit[nCoinType] != 0 &&
         (m_config.m_wRouting & 1u << nCoinType);
}

bool CChangerModel::IsTubeFull(unsigned nCoinType) const {
  return HasTube(nCoinType) && m_tubeCount[nCoinType] >= m_config.m_nTubeCapacity;
}

std::uint8_t CChangerModel::GetTubeCount(unsigned nCoinType) const {
  return nCoinType < 16 ? m_tubeCount[nCoinType] : 0;
}

unsigned CChangerModel::GetCoinValue(unsigned nCoinType) const {
  return nCoinType < 16
             ? static_cast<unsigned>(m_config.m_coinCredit[nCoinType]) * m_config.m_nScalingFactor
             : 0;
}

unsigned CChangerModel::GetCashBoxCount(unsigned nCoinType) const {
  return nCoinType < 16 ? m_cashBoxCount[nCoinType] : 0;
}

unsigned CChangerModel::GetCashBoxTotal() const {
  unsigned nTotal = 0;
  for (unsigned n = 0; n < 16; ++n)
    nTotal += m_cashBoxCount[n] * GetCoinValue(n);
  return nTotal;
}
