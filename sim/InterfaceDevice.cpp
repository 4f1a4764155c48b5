#include "InterfaceDevice.h"

#include <algorithm>
#include <cstdio>

namespace {

// Added to the line of a coin the PC has not enabled.
constexpr const char* kNotEnabledHint =
    "(coin types are enabled in Mintora's Settings > Acceptor Control and reach the changer the "
    "next time coins are enabled: Exit, open the dialog again and press Enable, or Reset)";

std::string Hex16(unsigned w) {
  char sz[8];
  std::snprintf(sz, sizeof sz, "%04X", w & 0xFFFFu);
  return sz;
}

// A fault without a target strikes any datagram; with one, those whose name starts with it.
bool Hits(const std::string& strTarget, const std::string& strName) {
  return strName.compare(0, strTarget.size(), strTarget) == 0;
}

std::string TargetNote(const std::string& strTarget) {
  return strTarget.empty() ? std::string() : " " + strTarget;
}

std::string Hex32(std::uint32_t dw) {
  char sz[12];
  std::snprintf(sz, sizeof sz, "%08X", static_cast<unsigned>(dw));
  return sz;
}

}  // namespace

CInterfaceDevice::CInterfaceDevice(const ChangerConfig& config) : m_changer(config) {}

DeviceStep CInterfaceDevice::OnCommDatagram(const std::uint8_t* pBytes, std::size_t nLength) {
  DeviceStep step;
  m_bIdleTick = false;
  if (nLength == 0) {
    step.m_strReceived = "EMPTY";
    return step;
  }
  const ChangerReply reply = m_changer.OnCommand(pBytes, nLength);
  step.m_strReceived = CommandName(reply.m_eCommand);
  if (!reply.m_bWellFormed) {
    if (reply.m_eCommand != EChangerCommand::Unknown)
      step.m_strReceived += " (WRONG LENGTH)";
    return step;
  }
  const std::string strNote = NoteCommand(reply);
  if (!strNote.empty())
    step.m_notes.push_back(strNote);

  std::string strResponse;
  switch (reply.m_eCommand) {
  case EChangerCommand::Setup: strResponse = "SETUP RESPONSE"; break;
  case EChangerCommand::TubeStatus: strResponse = "TUBE STATUS RESPONSE"; break;
  case EChangerCommand::Identification: strResponse = "IDENTIFICATION RESPONSE"; break;
  case EChangerCommand::Poll:
    // Nobody polls but the device itself; answer a stray POLL with what waits, if anything.
    if (!reply.m_data.empty())
      step.m_send.push_back(Frame(reply.m_data, DescribeReport(reply.m_data)));
    ReleaseLateAnswers(step);
    return step;
  default: return step;  // RESET, COIN TYPE, FEATURE ENABLE, PAYOUT: the changer's ACK stays here
  }

  if (m_nWithhold > 0 && Hits(m_strWithholdTarget, strResponse)) {
    if (m_nWithhold != kWithholdAll)
      --m_nWithhold;
    step.m_notes.push_back("FAULT withheld " + strResponse);
    return step;
  }
  Datagram response = Frame(reply.m_data, strResponse);
  if (m_nShortLength > 0 && Hits(m_strShortTarget, strResponse)) {
    if (m_nShortLength < response.m_bytes.size())
      response.m_bytes.resize(m_nShortLength);
    response.m_strName += " (SHORT)";
    m_nShortLength = 0;
  }
  if (m_nLateDelay > 0 && Hits(m_strLateTarget, strResponse)) {
    step.m_notes.push_back("FAULT held " + response.m_strName + " for " +
                           std::to_string(m_nLateDelay));
    response.m_strName += " (LATE)";
    m_late.push_back({m_nLateDelay, std::move(response)});
    m_nLateDelay = 0;
    return step;
  }
  step.m_send.push_back(std::move(response));
  ReleaseLateAnswers(step);
  return step;
}

DeviceStep CInterfaceDevice::OnControlDatagram(const std::uint8_t* pBytes, std::size_t nLength) {
  DeviceStep step;
  if (nLength != 3 || pBytes[0] != 0x08 || pBytes[1] != 0x03) {
    step.m_strReceived = "CONTROL (MALFORMED)";
    return step;
  }
  const std::uint8_t nCode = pBytes[2];
  m_nLastControlCode = nCode;
  step.m_strReceived = "CONTROL " + std::to_string(nCode);
  switch (nCode) {
  case kControlPollOn:
    if (!m_bPolling)
      m_bIdleTick = false;  // the first slot after the start is a tick
    m_bPolling = true;
    step.m_strReceived += " POLL ON";
    break;
  case kControlReportOn:
    m_bReporting = true;
    step.m_strReceived += " REPORT ON";
    break;
  case kControlOff:
    m_bPolling = false;
    m_bReporting = false;
    step.m_strReceived += " OFF";
    break;
  default: step.m_strReceived += " UNKNOWN"; return step;
  }
  step.m_notes.push_back(std::string("STATE polling ") + (m_bPolling ? "on" : "off") +
                         " reporting " + (m_bReporting ? "on" : "off"));
  return step;
}

DeviceStep CInterfaceDevice::OnTickSlot(unsigned nMilliseconds) {
  DeviceStep step;
  if (!m_bPolling) {
    if (m_changer.OnUnpolled(nMilliseconds))
      step.m_notes.push_back("CHANGER DISABLED not polled for " +
                             std::to_string(m_changer.GetConfig().m_nNonResponseMs) + " ms");
    return step;
  }
  m_changer.OnPolled();
  if (m_bReporting && m_bIdleTick && m_changer.HasEvent()) {
    const ByteVector status = m_changer.TakeEvent();
    step.m_send.push_back(Frame(status, DescribeReport(status)));
    m_bIdleTick = false;
  } else {
    step.m_send.push_back(Frame({}, "TICK"));
    m_bIdleTick = true;
  }
  ReleaseLateAnswers(step);
  return step;
}

void CInterfaceDevice::StartPolling() {
  if (!m_bPolling)
    m_bIdleTick = false;
  m_bPolling = true;
  m_bReporting = true;
}

std::string CInterfaceDevice::InsertCoin(unsigned nCoinType) {
  const InsertOutcome outcome = m_changer.InsertCoin(nCoinType);
  const std::string strCoin = "coin " + std::to_string(nCoinType);
  switch (outcome.m_eResult) {
  case EInsertResult::ToTube:
    return "ACCEPTED " + strCoin + " value " + std::to_string(m_changer.GetCoinValue(nCoinType)) +
           " tube " + std::to_string(outcome.m_nTubeCount);
  case EInsertResult::ToCashBox:
    return "ACCEPTED " + strCoin + " value " + std::to_string(m_changer.GetCoinValue(nCoinType)) +
           " cashbox";
  case EInsertResult::UnknownCoin: return "REFUSED " + strCoin + " unknown";
  case EInsertResult::NotPolled: return "REFUSED " + strCoin + " not-polled";
  case EInsertResult::NotEnabled:
    // Mintora's first start enables no coin type: the line says where to turn them on.
    return "REFUSED " + strCoin + " not-enabled " + kNotEnabledHint;
  case EInsertResult::Busy: break;
  }
  return "REFUSED " + strCoin + " busy";
}

std::string CInterfaceDevice::DispenseCoin(unsigned nCoinType, unsigned nCount) {
  if (!m_changer.DispenseCoin(nCoinType, nCount))
    return "REFUSED dispense coin " + std::to_string(nCoinType);
  return "DISPENSED coin " + std::to_string(nCoinType) + " tube " +
         std::to_string(m_changer.GetTubeCount(nCoinType)) +
         (nCount > 1 ? " coins " + std::to_string(nCount) : std::string());
}

std::string CInterfaceDevice::SetTubeCount(unsigned nCoinType, unsigned nCount) {
  if (!m_changer.SetTubeCount(nCoinType, nCount))
    return "REFUSED tube " + std::to_string(nCoinType) + " no-tube";
  return "TUBE " + std::to_string(nCoinType) + " count " +
         std::to_string(m_changer.GetTubeCount(nCoinType)) +
         (m_changer.IsTubeFull(nCoinType) ? " full" : "");
}

std::string CInterfaceDevice::ResetChanger(const ByteVector& moreStatus) {
  m_changer.PowerUp(moreStatus);
  std::string strNote = "CHANGER RESET";
  if (!moreStatus.empty()) {
    strNote += " report 0B";
    char sz[4];
    for (std::uint8_t nStatus : moreStatus) {
      std::snprintf(sz, sizeof sz, " %02X", nStatus);
      strNote += sz;
    }
  }
  return strNote;
}

std::string CInterfaceDevice::ArmWithhold(unsigned nCount, const std::string& strTarget) {
  m_nWithhold = nCount;
  m_strWithholdTarget = strTarget;
  if (nCount == 0)
    return "FAULT withhold off";
  return "FAULT withhold " +
         (nCount == kWithholdAll ? std::string("all") : std::to_string(nCount)) +
         TargetNote(strTarget);
}

std::string CInterfaceDevice::ArmShortResponse(std::size_t nLength, const std::string& strTarget) {
  m_nShortLength = std::max<std::size_t>(nLength, 1);
  m_strShortTarget = strTarget;
  return "FAULT short " + std::to_string(m_nShortLength) + TargetNote(strTarget);
}

std::string CInterfaceDevice::ArmWrongHeader(std::uint8_t nHeader, const std::string& strTarget) {
  m_bWrongHeader = true;
  m_nWrongHeader = nHeader;
  m_strHeaderTarget = strTarget;
  char sz[4];
  std::snprintf(sz, sizeof sz, "%02X", nHeader);
  return std::string("FAULT header ") + sz + TargetNote(strTarget);
}

std::string CInterfaceDevice::ArmLateResponse(unsigned nDelay, const std::string& strTarget) {
  m_nLateDelay = std::max(nDelay, 1u);
  m_strLateTarget = strTarget;
  return "FAULT late " + std::to_string(m_nLateDelay) + TargetNote(strTarget);
}

Datagram CInterfaceDevice::MakeEmptyDatagram(EPort ePort) const {
  return Datagram{ePort, {}, "EMPTY"};
}

Datagram CInterfaceDevice::MakeOversizedDatagram(std::size_t nLength) const {
  Datagram datagram{EPort::Communication, ByteVector(nLength, 0), "OVERSIZED"};
  if (nLength > 0)
    datagram.m_bytes[0] = kHeader;
  return datagram;
}

Datagram CInterfaceDevice::Frame(ByteVector data, std::string strName) {
  Datagram datagram;
  datagram.m_bytes.reserve(data.size() + 1);
  datagram.m_bytes.push_back(kHeader);
  datagram.m_bytes.insert(datagram.m_bytes.end(), data.begin(), data.end());
  datagram.m_strName = std::move(strName);
  if (m_bWrongHeader && Hits(m_strHeaderTarget, datagram.m_strName)) {
    datagram.m_bytes[0] = m_nWrongHeader;
    datagram.m_strName += " (WRONG HEADER)";
    m_bWrongHeader = false;
  }
  return datagram;
}

// A late answer follows the datagram that ends its delay, in the same step; the datagram before
// the next slot is then no tick, so the PC is not taken for idle.
void CInterfaceDevice::ReleaseLateAnswers(DeviceStep& step) {
  const std::size_t nSent = step.m_send.size();
  if (m_late.empty() || nSent == 0)
    return;
  for (auto it = m_late.begin(); it != m_late.end();) {
    it->m_nDue -= static_cast<unsigned>(std::min<std::size_t>(it->m_nDue, nSent));
    if (it->m_nDue > 0) {
      ++it;
      continue;
    }
    step.m_send.push_back(std::move(it->m_datagram));
    it = m_late.erase(it);
    m_bIdleTick = false;
  }
}

std::string CInterfaceDevice::DescribeReport(const ByteVector& status) const {
  if (status.empty())
    return "TICK";
  const unsigned nStatus = status[0];
  const std::string strCoin = "coin " + std::to_string(nStatus & 0x0F);
  if (nStatus == 0x0B)
    return "CHANGER WAS RESET";
  if ((nStatus & 0xF0) == 0x50)
    return "DEPOSIT TUBE " + strCoin;
  if ((nStatus & 0xF0) == 0x40)
    return "DEPOSIT CASHBOX " + strCoin;
  if (nStatus & 0x80)
    return "MANUAL DISPENSE " + strCoin;
  return "STATUS";
}

std::string CInterfaceDevice::NoteCommand(const ChangerReply& reply) const {
  switch (reply.m_eCommand) {
  case EChangerCommand::Reset: return "CHANGER RESET";
  case EChangerCommand::CoinType:
    return "ENABLED accept " + Hex16(m_changer.GetAcceptMask()) + " dispense " +
           Hex16(m_changer.GetDispenseMask());
  case EChangerCommand::FeatureEnable: return "FEATURES " + Hex32(m_changer.GetFeatureEnable());
  case EChangerCommand::Payout: {
    const PayoutOutcome& payout = m_changer.GetLastPayout();
    std::string strNote = "PAID " + std::to_string(payout.m_nPaid) + " of " +
                          std::to_string(payout.m_nRequested) + " coins";
    bool bAny = false;
    for (unsigned n = 16; n-- > 0;) {
      if (payout.m_coins[n] == 0)
        continue;
      strNote += " " + std::to_string(n) + "x" + std::to_string(payout.m_coins[n]);
      bAny = true;
    }
    return bAny ? strNote : strNote + " none";
  }
  default: return {};
  }
}

std::string FormatTrafficLine(bool bToPc, const Datagram& datagram) {
  std::string strLine = bToPc ? "TX " : "RX ";
  strLine += datagram.m_ePort == EPort::Communication ? "COMM " : "CTRL ";
  strLine += std::to_string(datagram.m_bytes.size());
  const std::size_t nShown = datagram.m_bytes.size() <= 64 ? datagram.m_bytes.size() : 16;
  char sz[4];
  for (std::size_t i = 0; i < nShown; ++i) {
    std::snprintf(sz, sizeof sz, " %02X", datagram.m_bytes[i]);
    strLine += sz;
  }
  if (nShown < datagram.m_bytes.size())
    strLine += " ...";
  if (!datagram.m_strName.empty())
    strLine += " " + datagram.m_strName;
  return strLine;
}
