// The peer session: the driver against the simulated device and its changer (the sim's own model,
// which knows nothing of the driver), with the fuzz input choosing what the changer, the device
// and the operator do. The verdicts come from the peer's side and from properties that hold for
// any correct controller, not from the driver's rules:
//
//   money     every coin the changer took is worth what the changer's configuration says, and
//             each datagram moves the credit only by what the peer knows it carries: a coin the
//             changer reports (header intact) adds its value; a payout takes what the changer was
//             asked to pay, and drops less than one unit. Two differences are allowed, each counted
//             apart under its name: a coin reported while the driver does not hold the changer's
//             SETUP answer may be credited short (m_nValueUnknown: the driver could not know its
//             value), and an answer the peer cut to 2 or 3 bytes (2 to 7 when it reaches Polling
//             late) whose byte 1 reads as a kept coin may be credited up to that coin's value
//             (m_nCutReadAsCoin: no controller can tell it from a deposit report). Any other credit
//             is money nobody paid in. At the end, coins taken + cut answers read as coins = credit
//             + vended + paid + dropped + clipped
//             + coins still waiting in the changer, lost with its reset or with a spoiled header
//             + coins credited short;
//   payout    a payout goes out only for the operator's Change Return (or the one a changer reset
//             deferred), at most once per request, never to a changer that reported its reset and
//             is not started up again, and the changer takes every one;
//   display   every change of the credit ends with a refresh that shows the new credit;
//   records   a record changes only with an answer of its kind and then holds exactly the bytes
//             the changer sent (zeros where the answer was cut short), however late the answer
//             comes; after a start-up without faults the records hold the changer's full answers.
//             The one exception is a response block nobody asked for (OVERSIZED): it may stand
//             for any answer, and while the answers that were on their way when it came are still
//             arriving, any of them may be taken for another query;
//   wire      every command is one the changer takes (right code, right length), at most one per
//             datagram, none for an operator's request; after RESET at least three datagrams and
//             a tick pass before SETUP;
//   liveness  with a changer that answers, the driver is back in Polling within 24 datagrams of
//             a reset (14 after a reset reported while polling), a Change Return is paid
//             within 26, and a changer that reported its reset has the stored coin masks and
//             features again within 26; each datagram the PC lags behind adds 7 to these, and
//             each answer the driver waits for in vain adds 6 (a repeat per query) until 512
//             ticks in a row have brought no response block;
//   memory    each datagram sits in a heap block of exactly its length (AddressSanitizer).
//
// Input: six configuration bytes (scaling factor, the credits of coin types
// 0 to 3, tube routing of coin types 0 to 7; types 4 and 5 keep the changer's 20 and 40 units, so
// that an identification cut short, whose byte 1 'T' reads as coin type 4, is worth something),
// then operations, one byte each (low nibble the operation, high nibble its small argument N),
// some followed by more bytes:
//
//   0 run N * 4 + 1 slots of the device's cadence
//   1 insert coin N
//   2 insert coin N, next byte + 1 times, each followed by slots until it is reported
//   3 changer reset at the device; N > 0: the device passes its report on at once, padded with
//     zeros to 2 + (N - 1) % 6 bytes, whatever the driver is doing
//   4 N < 8: withhold the next N % 4 + 1 query answers; N >= 8: from now on the PC reads
//     N - 8 datagrams behind the device (0: it catches up), so that the answers to the queries it
//     sends come behind that many datagrams, across its repeats and the operator's requests
//   5 cut the next query answer (B next): N = 0: to 1 or 8 + B % 30 bytes; N > 0: to
//     2 + (N - 1) % 6 bytes, the answer of the kind B % 4 picks (any, SETUP, IDENTIFICATION,
//     TUBE STATUS)
//   6 N = 0: spoil the next datagram's header with B (next); N > 0: hold the next query answer
//     of the kind B % 4 picks back; when the operator's request comes first, it arrives after
//     the request and (N - 1) % 4 slots of the cadence, a late answer; otherwise before the
//     next datagram, in its turn. Either way it goes before any later answer: answers keep the
//     order of their queries
//   7 N = 0: empty datagram on the communication port; N > 0: poll status B (next), one the
//     changer model never sends by itself, passed on at once (see InjectStatus)
//   8 datagram of 1 + B * 8 bytes (B next)
//   9 vend: DebitCredit(next 16 bits)
//  10 Change Return (SetState 9)          12 Enable (SetState 6)
//  11 Reset (SetState 0)                  13 Disable (SetState 7)
//  14 stored word N % 3 = next 32 bits
//  15 manual dispense of coin N
#include "../FakeChangerHost.h"
#include "ChangerDriver.h"
#include "ChangerDriverFuzz.h"
#include "InterfaceDevice.h"
#include "RecordBytes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace record_bytes;

constexpr std::size_t kMaxDatagrams = kMaxSessionDatagrams;
constexpr unsigned kMaxDatagram = 1024;  ///< the link loses anything longer

/// The fuzz input, read front to back; zeros once it has ended.
class CInput {
public:
  CInput(const std::uint8_t* pData, std::size_t nSize) : m_pData(pData), m_nSize(nSize) {}
  bool AtEnd() const { return m_nPos >= m_nSize; }
  std::uint8_t Next() { return m_nPos < m_nSize ? m_pData[m_nPos++] : 0; }
  std::uint16_t Next16() { return static_cast<std::uint16_t>(Next() << 8 | Next()); }
  std::uint32_t Next32() { return std::uint32_t{Next16()} << 16 | Next16(); }

private:
  const std::uint8_t* m_pData;
  std::size_t m_nSize;
  std::size_t m_nPos = 0;
};

// The stored words the driver may read, always with the default 0.
const char* const kSettings[3] = {"AcceptorControl/CoinAccept", "AcceptorControl/CoinDispense",
                                  "AcceptorControl/FeatureEnable"};

/// A poll status that reports a coin the changer kept: 01yyxxxx with routing yy not 11 (returned).
constexpr bool ReadsAsKeptCoin(std::uint8_t nStatus) {
  return (nStatus & 0xC0) == 0x40 && (nStatus & 0x30) != 0x30;
}

std::string Hex(const Bytes& bytes) {
  std::string str;
  char sz[4];
  for (std::size_t i = 0; i < bytes.size() && i < 48; ++i) {
    std::snprintf(sz, sizeof sz, "%s%02X", str.empty() ? "" : " ", bytes[i]);
    str += sz;
  }
  return bytes.size() > 48 ? str + " ..." : str;
}

/// Hands one datagram to the driver from a heap block of exactly its length, so that
/// AddressSanitizer sees any read beyond its end.
void Deliver(CChangerDriver& driver, const Bytes& datagram) {
  const std::size_t nLength = datagram.size();
  auto* pBlock = new std::uint8_t[nLength];
  if (nLength > 0)
    std::memcpy(pBlock, datagram.data(), nLength);
  driver.OnDatagram(pBlock, static_cast<unsigned>(nLength));
  delete[] pBlock;
}

constexpr std::size_t kMaxOperations = 20000;
constexpr unsigned kStartUpBound = 24;       // datagrams from a reset to Polling
constexpr unsigned kPollingResetBound = 14;  // from a reset report seen while polling
constexpr unsigned kPayoutBound = kStartUpBound + 2;
constexpr unsigned kSlackPerLag = 7;         // per datagram the PC lags behind
constexpr unsigned kSlackPerLost = 6;        // per answer that never comes: a repeat per query
constexpr unsigned kQuietTicksToHeal = 512;  // after which the driver waits for no lost answer
constexpr std::uint32_t kMaxCredit = std::numeric_limits<std::uint32_t>::max();

ChangerConfig ReadConfig(CInput& input) {
  ChangerConfig config;
  config.m_nScalingFactor = static_cast<std::uint8_t>(1 + input.Next() % 255);
  for (unsigned n = 0; n < 4; ++n)
    config.m_coinCredit[n] = input.Next();
  config.m_wRouting = input.Next();
  return config;
}

template <typename T>
bool Same(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool StartsWith(const std::string& str, const char* lpszPrefix) {
  return str.rfind(lpszPrefix, 0) == 0;
}

// The kinds of query answer that a cut or a hold may pick, by the start of their names.
constexpr const char* kAnswerKinds[4] = {"", "SETUP", "IDENTIFICATION", "TUBE STATUS"};

bool IsQueryAnswer(const std::string& strName) {
  return strName.find("RESPONSE") != std::string::npos;
}

bool IsPayout(const Bytes& command) {
  return command.size() == 3 && command[0] == 0x0F && command[1] == 0x02;
}

/// A datagram on its way to the PC, with the value of the coin it reports (hundredths; 0 for
/// anything but a deposit report).
struct PendingDatagram {
  Datagram m_datagram;
  std::uint64_t m_nCoin = 0;
  bool m_bLate = false;  // held back once already
};

class CPeerSession {
public:
  CPeerSession(const std::uint8_t* pData, std::size_t nSize, std::size_t nMaxDatagrams)
      : m_nMaxDatagrams(nMaxDatagrams),
        m_input(pData, nSize),
        m_device(ReadConfig(m_input)),
        m_driver(m_host),
        m_trueSetup(m_device.GetChanger().SetupData()) {
    m_host.m_pDriver = &m_driver;
    m_host.m_settings[kSettings[0]] = 0xFFFF;
    m_host.m_settings[kSettings[1]] = 0x000F;
    m_host.m_settings[kSettings[2]] = 0x5;
    m_device.StartPolling();
    Disturbed(kStartUpBound, true);  // power-up
  }

  std::string Run(ChangerSessionSummary& summary) {
    for (std::size_t n = 0; n < kMaxOperations && !m_input.AtEnd() && Going(); ++n) {
      m_nOperation = n;
      Operate(m_input.Next());
    }
    std::uint64_t nWaiting = 0;
    for (std::uint64_t nCoin : m_coinsInChanger)
      nWaiting += nCoin;
    for (const PendingDatagram& pending : m_pending)
      nWaiting += pending.m_nCoin;
    const std::uint64_t nIn = m_nTaken + m_nCutReadAsCoin;
    const std::uint64_t nOut = m_driver.GetCredit() + m_nVended + m_nPaid + m_nDropped +
                               m_nClipped + nWaiting + m_nLostWithReset + m_nSpoiled +
                               m_nValueUnknown;
    if (nIn != nOut)
      Fail("money: coins worth " + std::to_string(m_nTaken) + " came in and cut answers read as " +
           std::to_string(m_nCutReadAsCoin) + ", but " + std::to_string(nOut) +
           " are accounted for");
    summary = m_summary;
    summary.nState = m_driver.GetState();
    summary.nCredit = m_driver.GetCredit();
    summary.nDatagrams = m_nDatagrams;
    return m_strFailure;
  }

private:
  bool Going() const { return m_strFailure.empty() && m_nDatagrams < m_nMaxDatagrams; }

  void Fail(const std::string& strWhat) {
    if (m_strFailure.empty())
      m_strFailure = "operation " + std::to_string(m_nOperation) + ", datagram " +
                     std::to_string(m_nDatagrams) + ": " + strWhat;
  }

  void Operate(std::uint8_t op) {
    const unsigned nArg = op >> 4;
    const unsigned nCode = op & 0x0F;
    // An answer held back goes out before anything else happens unless a request overtook it; then
    // only slots of the cadence go first, no datagram of any other kind (it was sent before them).
    const bool bRequest = nCode >= 10 && nCode <= 13;
    const bool bOtherDatagram = nCode == 3 || nCode == 7 || nCode == 8;
    if (m_held && ((!bRequest && !m_bOvertaken) || bOtherDatagram))
      ReleaseHeld();
    switch (nCode) {
    case 0: RunSlots(nArg * 4 + 1); break;
    case 1: InsertCoin(nArg); break;
    case 2: InsertRepeatedly(nArg, m_input.Next() + 1u); break;
    case 3: ResetChanger(nArg == 0 ? 0 : 2 + (nArg - 1) % 6); break;
    case 4:
      if (nArg < 8)
        m_device.ArmWithhold(nArg % 4 + 1);
      else
        m_nLag = nArg - 8;
      m_nLagSeen = std::max(m_nLagSeen, m_nLag);
      break;
    case 5: {
      // A cut of 2 or 3 bytes reads as a deposit report, which no controller can tell apart.
      const std::uint8_t nCut = m_input.Next();
      if (nArg == 0)
        m_device.ArmShortResponse(nCut < 0x20 ? 1 : 8 + nCut % 30);
      else
        m_device.ArmShortResponse(2 + (nArg - 1) % 6, kAnswerKinds[nCut % 4]);
      break;
    }
    case 6:
      if (nArg == 0) {
        m_device.ArmWrongHeader(m_input.Next());
      } else {
        m_strHoldKind = kAnswerKinds[m_input.Next() % 4];
        m_bHoldArmed = true;
        m_nHeldDelay = (nArg - 1) % 4;
      }
      break;
    case 7:
      if (nArg == 0)
        Queue({EPort::Communication, {}, "EMPTY"});
      else
        InjectStatus(m_input.Next());
      break;
    case 8:
      // Up to 1024 bytes it reaches the driver like an answer of zeros, in any state.
      Disturbed(kStartUpBound, false);
      Queue(m_device.MakeOversizedDatagram(1 + m_input.Next() * 8u));
      break;
    case 9: Vend(m_input.Next16()); break;
    case 10: Request(CChangerDriver::PayoutSend); break;
    case 11: Request(CChangerDriver::ResetWait); break;
    case 12: Request(CChangerDriver::CoinEnableSend); break;
    case 13: Request(CChangerDriver::CoinDisableSend); break;
    case 14:
      m_host.m_settings[kSettings[nArg % 3]] = m_input.Next32();
      m_bCleanStartUp = false;  // the changer may have been told the word before
      m_bEnableDue = false;
      break;
    case 15: m_device.DispenseCoin(nArg); break;
    }
    Drain();
  }

  // ---- the device's side ----

  void RunSlots(unsigned nSlots) {
    for (unsigned n = 0; n < nSlots && Going(); ++n) {
      if (m_held && (!m_bOvertaken || m_nHeldDelay-- == 0))
        ReleaseHeld();
      Queue(m_device.OnTickSlot().m_send);
      Drain();
    }
  }

  /// @returns true when the changer took the coin; it is then the customer's money.
  bool InsertCoin(unsigned nCoinType) {
    if (!StartsWith(m_device.InsertCoin(nCoinType), "ACCEPTED"))
      return false;
    const std::uint64_t nValue = m_device.GetChanger().GetCoinValue(nCoinType);
    m_coinsInChanger.push_back(nValue);
    m_nTaken += nValue;
    return true;
  }

  void InsertRepeatedly(unsigned nCoinType, unsigned nTimes) {
    for (unsigned n = 0; n < nTimes && Going(); ++n) {
      if (!InsertCoin(nCoinType))
        return;
      for (unsigned nSlot = 0; nSlot < 8 && (m_device.GetChanger().HasEvent() ||
                                             m_driver.GetState() != CChangerDriver::Polling);
           ++nSlot)
        RunSlots(1);
    }
  }

  // A reset wipes out the changer's waiting reports, the deposits among them.
  void LoseWaitingCoins() {
    for (std::uint64_t nCoin : m_coinsInChanger)
      m_nLostWithReset += nCoin;
    m_coinsInChanger.clear();
  }

  /// The changer resets; with nReportLength > 0 the device passes its reset report on at once,
  /// as it answers a POLL, in whatever state the driver is. The report is padded with zeros to
  /// that length only where the driver takes a reset from any poll answer (Polling, and the
  /// payout that waits in PayoutSend); while it starts the changer up, a reset report is two
  /// bytes, as the device sends it, and so it is whenever the PC reads behind: it will find the
  /// driver elsewhere.
  void ResetChanger(unsigned nReportLength) {
    const std::uint32_t nState = m_driver.GetState();
    if (!m_pending.empty() || m_nLag > 0 ||
        (nState != CChangerDriver::Polling && nState != CChangerDriver::PayoutSend))
      nReportLength = std::min(nReportLength, 2u);
    m_device.ResetChanger();
    LoseWaitingCoins();
    Disturbed(kStartUpBound, true);
    // This reset undoes whatever the driver did about an earlier report; it owes the changer its
    // masks and features again only once this reset's own report reaches it.
    m_bEnableDue = false;
    if (nReportLength == 0)
      return;
    const std::uint8_t poll[] = {0x0B};
    for (Datagram& datagram : m_device.OnCommDatagram(poll, sizeof poll).m_send) {
      if (datagram.m_bytes.size() < nReportLength)
        datagram.m_bytes.resize(nReportLength, 0);
      Queue(std::move(datagram));
    }
  }

  // Poll statuses the changer model never sends by itself, in the device's framing and passed on
  // at once: escrow request, busy and the other statuses with slugs (0x00..0x3F, 2 bytes); coins
  // returned (0111xxxx), manual dispense of any count (1yyyxxxx with bit 6 clear or set) and so
  // 0x80..0xFF, each followed by the coin type's tube count. A kept coin comes only from an
  // insert, so 0x40..0x6F become returned coins; 0x0B is a real reset of the changer. Being no
  // tick, such a status holds up a driver that waits for one to send its next command.
  void InjectStatus(std::uint8_t nStatus) {
    if (nStatus == 0x0B) {
      ResetChanger(2);
      return;
    }
    Disturbed(kStartUpBound, false);
    if ((nStatus & 0xC0) == 0x40)
      nStatus |= 0x30;
    Bytes bytes = {CInterfaceDevice::kHeader, nStatus};
    if (nStatus & 0xC0)
      bytes.push_back(m_device.GetChanger().GetTubeCount(nStatus & 0x0F));
    Queue({EPort::Communication, bytes, "INJECTED STATUS"});
  }

  // A deposit report takes its coin out of the changer's queue as the device frames it.
  void Queue(Datagram datagram) {
    PendingDatagram pending{std::move(datagram), 0};
    if (StartsWith(pending.m_datagram.m_strName, "DEPOSIT ")) {
      if (m_coinsInChanger.empty()) {
        Fail("\"" + pending.m_datagram.m_strName + "\" reports a coin the changer never took");
      } else {
        pending.m_nCoin = m_coinsInChanger.front();
        m_coinsInChanger.pop_front();
      }
    }
    m_pending.push_back(std::move(pending));
  }
  void Queue(std::vector<Datagram> datagrams) {
    for (Datagram& datagram : datagrams)
      Queue(std::move(datagram));
  }

  // The held answer goes out, and whatever the driver sends in reply is answered at once, as the
  // device answers, before the next datagram of the cadence.
  void ReleaseHeld() {
    m_held->m_bLate = true;
    m_pending.push_front(std::move(*m_held));
    m_held.reset();
    Drain();
  }

  // Datagrams to the PC reach the driver in order, but for an answer held back; each command it
  // sends reaches the device, whose answer joins the queue.
  void Drain() {
    while (m_pending.size() > m_nLag && Going()) {
      // A held answer goes before any later answer, as the device sends them in order.
      if (m_held && IsQueryAnswer(m_pending.front().m_datagram.m_strName)) {
        m_held->m_bLate = true;
        m_pending.push_front(std::move(*m_held));
        m_held.reset();
      }
      PendingDatagram pending = std::move(m_pending.front());
      m_pending.pop_front();
      const Datagram& datagram = pending.m_datagram;
      // The link keeps only the communication port's datagrams, and loses longer ones whole.
      if (datagram.m_ePort != EPort::Communication || datagram.m_bytes.size() > kMaxDatagram)
        continue;
      // An answer cut to a poll answer's size (2 to 7 bytes) is not also held back: arriving
      // late, in Polling, it is a poll answer with several events, which no controller can tell.
      const std::size_t nSize = datagram.m_bytes.size();
      if (m_bHoldArmed && !m_held && !pending.m_bLate && IsQueryAnswer(datagram.m_strName) &&
          StartsWith(datagram.m_strName, m_strHoldKind.c_str()) && (nSize < 2 || nSize > 7)) {
        m_bHoldArmed = false;
        m_bOvertaken = false;
        m_held = std::move(pending);
        continue;
      }
      const CChangerModel& changer = m_device.GetChanger();
      for (const Bytes& command : Step(datagram, pending.m_nCoin)) {
        const unsigned nPayouts = changer.GetPayoutCount();
        DeviceStep step = m_device.OnCommDatagram(command.data(), command.size());
        for (const std::string& strNote : step.m_notes) {
          if (StartsWith(strNote, "FAULT withheld"))
            LoseAnswer();
        }
        if (step.m_strReceived == "UNKNOWN" ||
            step.m_strReceived.find("WRONG LENGTH") != std::string::npos)
          Fail("the changer cannot take " + Hex(command) + " (" + step.m_strReceived + ")");
        if (step.m_strReceived == "RESET")
          LoseWaitingCoins();
        if (IsPayout(command)) {
          if (changer.GetPayoutCount() != nPayouts + 1)
            Fail("the changer did not carry out " + Hex(command));
          m_nPaid += changer.GetLastPayout().m_nRequested;
        }
        Queue(std::move(step.m_send));
      }
      // A changer that reported its reset is back in service once it has the stored masks
      // and features again.
      if (changer.GetAcceptMask() == (m_host.m_settings[kSettings[0]] & 0xFFFF) &&
          changer.GetDispenseMask() == (m_host.m_settings[kSettings[1]] & 0xFFFF) &&
          changer.GetFeatureEnable() == m_host.m_settings[kSettings[2]])
        m_bEnableDue = false;
    }
  }

  // ---- the operator ----

  void Vend(std::uint32_t nPrice) {
    const std::uint32_t nCredit = m_driver.GetCredit();
    m_host.Clear();
    const bool bSold = m_driver.DebitCredit(nPrice);
    if (bSold != (nPrice <= nCredit) ||
        m_driver.GetCredit() != (bSold ? nCredit - nPrice : nCredit))
      Fail("vend of " + std::to_string(nPrice) + " with credit " + std::to_string(nCredit) +
           " left " + std::to_string(m_driver.GetCredit()));
    if (!m_host.m_commands.empty())
      Fail("a vend sent " + Hex(m_host.m_commands.front()));
    if (bSold)
      m_nVended += nPrice;
  }

  void Request(std::uint32_t nState) {
    const std::uint32_t nCredit = m_driver.GetCredit();
    m_host.Clear();
    const std::uint32_t nWas = m_driver.GetState();
    m_driver.SetState(nState);
    if (!m_host.m_commands.empty() || m_driver.GetCredit() != nCredit)
      Fail("the operator's request " + std::to_string(nState) + " did more than ask");
    // A jump out of the waiting states leaves their countdown unspent, for the next restart.
    if (nWas == CChangerDriver::ResetWait || nWas == CChangerDriver::ResetPending)
      m_bCountdownLeft = true;
    Disturbed(kStartUpBound, nState == CChangerDriver::ResetWait);
    m_bEnableDue = false;  // the operator has taken over
    m_eRestart = RestartNone;
    m_bPayoutWanted = nState == CChangerDriver::PayoutSend;
    m_nPayoutClock = 0;
    if (m_held)
      m_bOvertaken = true;
  }

  // ---- liveness bookkeeping ----

  // A reset, a request or a fault that has struck: the driver must be back in Polling within
  // nBound datagrams from now, unless another fault is still waiting to strike; a due payout and
  // a changer to enable again get their full bound from now as well. After a reset
  // (bStartUp) without faults it must also hold the changer's full answers by then.
  void Disturbed(unsigned nBound, bool bStartUp) {
    m_nClock = 0;
    m_nPayoutClock = 0;
    m_nEnableClock = 0;
    m_nBound = nBound;
    m_nLagSeen = m_nLag;
    m_nLostSeen = m_nLost;
    m_bWatching = true;
    m_bCleanStartUp = bStartUp && !m_device.IsFaultArmed();
    m_bResetSent = false;
  }

  // ---- one datagram ----

  /// Hands one datagram to the driver and checks every property. nCoin is the value of the coin
  /// it reports. @returns the commands sent.
  std::vector<Bytes> Step(const Datagram& datagram, std::uint64_t nCoin) {
    ++m_nDatagrams;
    const Bytes& bytes = datagram.m_bytes;
    // The link drops an empty datagram: it is no step of the driver's, and must change nothing.
    const unsigned nStep = bytes.empty() ? 0 : 1;
    const bool bFaultArmed = m_device.IsFaultArmed();
    // A spoiled header is put on as the datagram is made, so no step sees its fault armed.
    const bool bStruck = (m_bFaultWasArmed && !bFaultArmed) ||
                         datagram.m_strName.find("(WRONG HEADER)") != std::string::npos;
    m_bFaultWasArmed = bFaultArmed;
    const bool bIntact = !bytes.empty() && (bytes[0] & 0xF8) == 0x08;
    const std::uint32_t nState = m_driver.GetState();
    const std::uint32_t nCredit = m_driver.GetCredit();
    const ChangerSetup setup = m_driver.GetChangerSetup();
    const TubeStatus tubes = m_driver.GetTubeStatus();
    const ChangerIdentification ident = m_driver.GetChangerIdentification();
    const CChangerModel& changer = m_device.GetChanger();
    const std::string& strName = datagram.m_strName;

    // What this datagram may add to the credit, from the peer's side: the coin it reports; all of
    // it when the driver holds the changer's SETUP answer, up to all of it when it does not
    // (checked against the whole answer, never read for a value); or, for an answer the peer cut
    // to 2 or 3 bytes, up to the value of the kept coin its byte 1 reads as.
    if (!bIntact) {
      m_nSpoiled += nCoin;
      nCoin = 0;
    }
    // Polling reads every datagram of 2 to 7 bytes as a poll answer: one the PC read late, behind
    // its lag, is one there too.
    const std::size_t nCoinSized = nState == CChangerDriver::Polling ? 7 : 3;
    const bool bCutAsCoin = bIntact && bytes.size() >= 2 && bytes.size() <= nCoinSized &&
                            strName.find("(SHORT)") != std::string::npos &&
                            ReadsAsKeptCoin(bytes[1]);
    const bool bValueKnown = std::memcmp(&setup, m_trueSetup.data(), sizeof setup) == 0;
    const std::uint64_t nAddMax = bCutAsCoin ? changer.GetCoinValue(bytes[1] & 0x0F) : nCoin;
    const std::uint64_t nAddMin = bCutAsCoin || !bValueKnown ? 0 : nCoin;

    m_host.Clear();
    Deliver(m_driver, bytes);
    const std::vector<Bytes> commands = std::move(m_host.m_commands);
    const std::uint32_t nStateAfter = m_driver.GetState();
    const std::uint32_t nCreditAfter = m_driver.GetCredit();
    const auto What = [&] {
      return "\"" + strName + "\" (" + Hex(bytes) + ") in state " + std::to_string(nState);
    };

    // Wire.
    if (commands.size() > 1)
      Fail(What() + " sent " + std::to_string(commands.size()) + " commands");
    for (const std::string& strRead : m_host.m_reads) {
      if (std::none_of(std::begin(kSettings), std::end(kSettings),
                       [&](const char* lpszKey) { return strRead == lpszKey + std::string("=0"); }))
        Fail("read " + strRead);
    }
    if (m_nSinceReset < kMaxDatagrams)
      m_nSinceReset += nStep;
    unsigned nPayoutUnits = 0;
    bool bPaid = false;
    for (const Bytes& command : commands) {
      if (command == Bytes{0x08}) {
        m_nSinceReset = 0;
        m_bResetSent = true;
      } else if (command == Bytes{0x09}) {
        if (m_nSinceReset < 5)
          Fail("SETUP only " + std::to_string(m_nSinceReset - 1) + " datagrams after RESET");
        m_bCountdownLeft = false;
      } else if (IsPayout(command)) {
        bPaid = true;
        nPayoutUnits = command[2];
        m_summary.payouts.push_back(command[2]);
      } else if (!command.empty() && command[0] == 0x0C) {
        ++m_summary.nCoinTypeCommands;
        if (m_eRestart == RestartFeaturesSent)
          m_eRestart = RestartNone;
      } else if (command.size() == 6 && command[0] == 0x0F && command[1] == 0x01 &&
                 m_eRestart == RestartDue) {
        m_eRestart = RestartFeaturesSent;
      }
    }

    // Payout.
    if (bPaid) {
      if (!m_bPayoutWanted)
        Fail(What() + " paid " + std::to_string(nPayoutUnits) + " units with no Change Return due");
      if (m_eRestart != RestartNone || (bIntact && strName == "CHANGER WAS RESET"))
        Fail(What() + " paid a changer that reported its reset and is not started up again");
      m_bPayoutWanted = false;
    }

    // Money. The credit may end anywhere from nBottom to nTop before a payout; whatever of that
    // span it did not get, and what a payout drops, is counted under its name.
    const std::uint64_t nScaling = changer.GetConfig().m_nScalingFactor;
    const std::uint64_t nTop = std::min<std::uint64_t>(kMaxCredit, nCredit + nAddMax);
    const std::uint64_t nBottom = std::min<std::uint64_t>(kMaxCredit, nCredit + nAddMin);
    const std::uint64_t nSpan = nAddMax - nAddMin;
    const std::uint64_t nPaid = std::uint64_t{nPayoutUnits} * nScaling;
    std::uint64_t nLeft = 0;  // below nTop, beyond what was paid
    if (bPaid && nCreditAfter + nPaid > nTop) {
      Fail(What() + " paid " + std::to_string(nPayoutUnits) + " units of " +
           std::to_string(nScaling) + " from a credit of at most " + std::to_string(nTop));
    } else if (bPaid) {
      nLeft = nTop - nCreditAfter - nPaid;
      if (nLeft >= nScaling + nSpan || (nPayoutUnits < 255 && nCreditAfter >= nScaling))
        Fail(What() + ": a payout of " + std::to_string(nPayoutUnits) + " units of " +
             std::to_string(nScaling) + " from at most " + std::to_string(nTop) + " left " +
             std::to_string(nCreditAfter));
    } else if (nCreditAfter > nTop || nCreditAfter < nBottom) {
      Fail(What() + " made the credit " + std::to_string(nCreditAfter) + " from " +
           std::to_string(nCredit) +
           (nAddMax == 0 ? ", with no coin behind it"
                         : " and a coin worth " + std::to_string(nAddMax)));
    } else {
      nLeft = nTop - nCreditAfter;
    }
    const std::uint64_t nShort = std::min(nLeft, nSpan);
    if (bCutAsCoin)
      m_nCutReadAsCoin += nAddMax - nShort;
    else
      m_nValueUnknown += nShort;
    m_nDropped += nLeft - nShort;
    m_nClipped += nCredit + nAddMax - nTop;
    if (nCreditAfter == kMaxCredit)
      m_summary.bSaturated = true;
    if (!m_host.m_shownCredits.empty())
      m_nShown = m_host.m_shownCredits.back();
    if (nCreditAfter != nCredit && (m_host.m_shownCredits.empty() || m_nShown != nCreditAfter))
      Fail(What() + ": the credit is " + std::to_string(nCreditAfter) + " but the panel shows " +
           std::to_string(m_nShown));

    // Records. A response block nobody asked for puts the driver's reckoning of the answers due
    // one behind: until the answers on their way then have all come, one may be taken for the
    // wrong query.
    const bool bResponseBlock = bIntact && bytes.size() > 7;
    if (bResponseBlock && strName == "OVERSIZED" && AnswersOnTheirWay() > 0)
      m_bReckoningShifted = true;
    const bool bAny = bIntact && (strName == "OVERSIZED" || m_bReckoningShifted);
    if (m_bReckoningShifted && AnswersOnTheirWay() == 0)
      m_bReckoningShifted = false;
    // An answer the driver cannot count as one (cut below 8 bytes, or its header spoiled) leaves
    // it waiting for an answer that never comes.
    if (IsQueryAnswer(strName) && !bResponseBlock)
      LoseAnswer();
    if (bResponseBlock)
      m_nQuietTicks = 0;
    else if (bIntact && bytes.size() == 1 && ++m_nQuietTicks >= kQuietTicksToHeal)
      m_nLost = 0;
    const bool bSetupAnswer = bAny || (bIntact && StartsWith(strName, "SETUP RESPONSE"));
    const bool bTubeAnswer = bAny || (bIntact && StartsWith(strName, "TUBE STATUS RESPONSE"));
    const bool bIdentAnswer = bAny || (bIntact && StartsWith(strName, "IDENTIFICATION RESPONSE"));
    // Compared as bytes only when they changed: this runs for every datagram.
    if (!Same(m_driver.GetChangerSetup(), setup)) {
      const Bytes setupAfter = BytesOf(m_driver.GetChangerSetup());
      if (!(bSetupAnswer && setupAfter == Field(bytes, 1, 23)))
        Fail(What() + " left the setup record " + Hex(setupAfter));
    }
    if (!Same(m_driver.GetTubeStatus(), tubes)) {
      const Bytes tubesAfter = BytesOf(m_driver.GetTubeStatus());
      if (!(bTubeAnswer && tubesAfter == Field(bytes, 1, 18)))
        Fail(What() + " left the tube record " + Hex(tubesAfter));
    }
    if (!Same(m_driver.GetChangerIdentification(), ident)) {
      const Bytes identAfter = BytesOf(m_driver.GetChangerIdentification());
      if (!(bIdentAnswer && identAfter == IdentLayout(bytes)))
        Fail(What() + " left the identification record " + Hex(identAfter));
    }

    // Liveness.
    if (bStruck)
      Disturbed(kStartUpBound, false);
    if (bFaultArmed)
      m_bCleanStartUp = false;
    // The report that answers the driver's own RESET, while it still waits, restarts nothing.
    if (bIntact && strName == "CHANGER WAS RESET") {
      m_eRestart = RestartDue;
      m_bEnableDue = true;
      m_nEnableClock = 0;
    }
    if (bIntact && strName == "CHANGER WAS RESET" && nState != CChangerDriver::ResetWait &&
        nState != CChangerDriver::ResetPending)
      Disturbed(nState == CChangerDriver::Polling && !m_bCountdownLeft ? kPollingResetBound
                                                                       : kStartUpBound,
                m_bCleanStartUp);
    m_nClock += nStep;
    m_nPayoutClock += nStep;
    m_nEnableClock += nStep;
    // Nothing can be paid without a scaling factor (a reset report defers the payout instead).
    if (nState == CChangerDriver::PayoutSend && !bPaid && setup.scalingFactor == 0 &&
        nStateAfter == CChangerDriver::Polling)
      m_bPayoutWanted = false;
    const bool bArrived =
        nStateAfter == CChangerDriver::Polling || nStateAfter == CChangerDriver::PayoutSend;
    if (m_bWatching && bArrived) {
      m_bWatching = false;
      if (m_bCleanStartUp && m_bResetSent && nState != CChangerDriver::Polling) {
        const CChangerModel& changer = m_device.GetChanger();
        Bytes identAnswer = {0x08};
        const Bytes identData = changer.IdentificationData();
        identAnswer.insert(identAnswer.end(), identData.begin(), identData.end());
        if (BytesOf(m_driver.GetChangerSetup()) != changer.SetupData() ||
            BytesOf(m_driver.GetTubeStatus()) != changer.TubeStatusData() ||
            BytesOf(m_driver.GetChangerIdentification()) != IdentLayout(identAnswer))
          Fail(What() + ": in Polling after a clean start-up without the changer's answers");
      }
    }
    if (bFaultArmed) {
      m_nClock = 0;
      m_nPayoutClock = 0;
      m_nEnableClock = 0;
    } else if (m_bWatching && m_nClock > m_nBound + Slack()) {
      Fail("not back in Polling " + std::to_string(m_nBound + Slack()) +
           " datagrams after a reset; state " + std::to_string(nStateAfter));
    } else if (m_bPayoutWanted && m_nPayoutClock > kPayoutBound + Slack()) {
      Fail("Change Return not paid within " + std::to_string(kPayoutBound + Slack()) +
           " datagrams");
    } else if (m_bEnableDue && m_nEnableClock > kPayoutBound + Slack()) {
      Fail("the changer reported a reset and was not enabled again within " +
           std::to_string(kPayoutBound + Slack()) + " datagrams");
    }
    return commands;
  }

  // ---- answers on their way ----

  /// Query answers sent that the driver will read as response blocks, not delivered yet.
  std::size_t AnswersOnTheirWay() const {
    std::size_t n = m_held ? 1 : 0;
    for (const PendingDatagram& pending : m_pending) {
      const Bytes& bytes = pending.m_datagram.m_bytes;
      n += IsQueryAnswer(pending.m_datagram.m_strName) && bytes.size() > 7 &&
           (bytes[0] & 0xF8) == 0x08;
    }
    return n;
  }

  // The driver counts a query whose answer never comes as due until enough quiet ticks have passed.
  void LoseAnswer() {
    m_nLostSeen = std::max(m_nLostSeen, ++m_nLost);
    m_nQuietTicks = 0;
  }

  // What lag and lost answers cost since the last disturbance, even if they have gone since.
  std::size_t Slack() const { return kSlackPerLag * m_nLagSeen + kSlackPerLost * m_nLostSeen; }

  const std::size_t m_nMaxDatagrams;
  CInput m_input;
  CInterfaceDevice m_device;
  CFakeChangerHost m_host;
  std::uint32_t m_nShown = 0;  // what the last refresh showed
  CChangerDriver m_driver;
  const Bytes m_trueSetup;  // the changer's answer to SETUP
  std::deque<PendingDatagram> m_pending;
  std::optional<PendingDatagram> m_held;  // a query answer held back
  bool m_bHoldArmed = false;
  std::string m_strHoldKind;
  bool m_bOvertaken = false;   // the operator's request came before the held answer
  std::size_t m_nLag = 0;      // datagrams the PC reads behind the device
  unsigned m_nLost = 0;        // answers the driver may still wait for in vain
  std::size_t m_nLagSeen = 0;  // the most of either since the last disturbance
  unsigned m_nLostSeen = 0;
  unsigned m_nQuietTicks = 0;        // ticks delivered in a row without a response block
  bool m_bReckoningShifted = false;  // an unasked response block came with answers on their way
  unsigned m_nHeldDelay = 0;         // slots of the cadence that still go before it
  std::string m_strFailure;
  ChangerSessionSummary m_summary;
  std::size_t m_nOperation = 0;
  std::size_t m_nDatagrams = 0;
  std::size_t m_nSinceReset = kMaxDatagrams;  // datagrams since the driver sent RESET
  // Money in hundredths over the whole session.
  std::deque<std::uint64_t> m_coinsInChanger;  // taken, their reports still in the changer
  std::uint64_t m_nTaken = 0;                  // coins the changer took, at their configured value
  std::uint64_t m_nVended = 0;                 // successful vends
  std::uint64_t m_nPaid = 0;                   // what the changer was asked to pay
  std::uint64_t m_nDropped = 0;                // the part below one unit that a payout leaves
  std::uint64_t m_nClipped = 0;                // what did not fit into the 32-bit credit
  std::uint64_t m_nLostWithReset = 0;          // coins whose reports a changer reset wiped out
  std::uint64_t m_nSpoiled = 0;                // coins whose report a spoiled header made foreign
  std::uint64_t m_nValueUnknown = 0;   // credited short while the driver could not know the value
  std::uint64_t m_nCutReadAsCoin = 0;  // credited from answers the peer cut to 2 or 3 bytes
  // Liveness.
  bool m_bWatching = false;  // a reset or request waits for Polling
  bool m_bCleanStartUp = false;
  bool m_bResetSent = false;  // RESET went out since the last disturbance
  bool m_bEnableDue = false;  // the changer reported a reset and is not enabled again yet
  // Since the changer's last reset report: whether the driver has told it its features and then
  // its coin types again.
  enum { RestartNone, RestartDue, RestartFeaturesSent } m_eRestart = RestartNone;
  unsigned m_nEnableClock = 0;
  bool m_bCountdownLeft = false;  // a restart from Polling may have to wait out a countdown
  bool m_bFaultWasArmed = false;
  unsigned m_nClock = 0;
  unsigned m_nBound = kStartUpBound;
  bool m_bPayoutWanted = false;
  unsigned m_nPayoutClock = 0;
};

}  // namespace

std::string CheckChangerDriverSession(const std::uint8_t* pData, std::size_t nSize,
                                      ChangerSessionSummary* pSummary, std::size_t nMaxDatagrams) {
  ChangerSessionSummary summary;
  const std::string strFailure = CPeerSession(pData, nSize, nMaxDatagrams).Run(summary);
  if (pSummary)
    *pSummary = summary;
  return strFailure;
}
