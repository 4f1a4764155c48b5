// The raw session: datagrams of any header, length and content and the operator's requests, in
// the order the bytes give, checked against the driver's documented rules. The input (after the
// mode byte) is a sequence of steps, each introduced by one operation byte:
//
//   op & 7 = 0..3  a datagram. Header: op & 0x80 ? the next byte : 0x08 | (op >> 3 & 7).
//                  Length from the next byte L: L < 0x70: 1 (tick); < 0xA0: 2 (status);
//                  < 0xB8: 3..7; < 0xF8: 8..39 (responses); else 40..1024 from one more byte.
//                  The remaining bytes of the datagram follow (zeros once the input ends).
//   op & 7 = 4     the last datagram again, 1..256 times (a count byte follows), so that a
//                  short input can fill the credit up to its largest value.
//   op & 7 = 5     SetState: op & 0x80 ? a 32-bit number (any value) : the next byte % 10.
//   op & 7 = 6     DebitCredit with a price of 1, 2 or 4 bytes (op >> 3 & 3 picks 1, 2, 4, 4).
//   op & 7 = 7     the stored word (op >> 3) % 3 (CoinAccept, CoinDispense, FeatureEnable)
//                  becomes the next 4 bytes.
//
// Answers come in the order of their queries: the session counts the queries the driver sent and
// not yet answered, and those the current state sent, to know which response block the running
// query must take (the current state's, or one nobody asked for) and which it must drop.

#include "ChangerDriverFuzz.h"
#include "FuzzSession.h"

#include <limits>

namespace {

using namespace fuzz_session;

constexpr std::size_t kMaxSteps = 20000;
constexpr std::uint32_t kQuietTicksToForget = 512;

bool IsQuery(const Bytes& command) {
  return command == Bytes{0x09} || command == Bytes{0x0F, 0x00} || command == Bytes{0x0A};
}

class CSession {
public:
  CSession(const std::uint8_t* pData, std::size_t nSize, std::size_t nMaxDatagrams)
      : m_nMaxDatagrams(nMaxDatagrams), m_input(pData, nSize), m_driver(m_host) {}

  std::string Run(ChangerSessionSummary& summary) {
    for (std::size_t nStep = 0; !m_input.AtEnd() && nStep < kMaxSteps &&
                                m_nDatagrams < m_nMaxDatagrams && m_strFailure.empty();
         ++nStep) {
      m_nStep = nStep;
      const std::uint8_t op = Next();
      switch (op & 7) {
      case 4: StepRepeat(); break;
      case 5: StepSetState(op); break;
      case 6: StepDebit(op); break;
      case 7: StepSetting(op); break;
      default: StepDatagram(op); break;
      }
      if (m_strFailure.empty() && !m_host.m_strBadRead.empty())
        Fail("read a setting it has no business with: " + m_host.m_strBadRead);
    }
    // Every hundredth that came in is accounted for.
    const std::uint64_t nOut =
        m_nDebited + m_nPaid + m_nDropped + m_driver.GetCredit() + m_nClipped;
    if (m_strFailure.empty() && m_nCredited != nOut)
      Fail("money not conserved: credited " + std::to_string(m_nCredited) + ", debited " +
           std::to_string(m_nDebited) + " + paid " + std::to_string(m_nPaid) + " + dropped " +
           std::to_string(m_nDropped) + " + credit " + std::to_string(m_driver.GetCredit()) +
           " + clipped " + std::to_string(m_nClipped));
    summary = EndSummary(m_summary, m_driver, m_nDatagrams);
    return m_strFailure;
  }

private:
  std::uint8_t Next() { return m_input.Next(); }
  std::uint32_t Next32() { return m_input.Next32(); }

  void Fail(const std::string& strWhat) {
    if (m_strFailure.empty())
      m_strFailure = "step " + std::to_string(m_nStep) + ": " + strWhat;
  }

  /// Operator requests never send anything and never touch the records.
  void CheckQuietRequest(const char* lpszRequest) {
    if (!m_host.m_commands.empty())
      Fail(std::string(lpszRequest) + " sent " + Hex(m_host.m_commands.front()));
  }

  void StepSetState(std::uint8_t op) {
    const std::uint32_t nState = (op & 0x80) ? Next32() : Next() % 10u;
    const std::uint32_t nBefore = m_driver.GetState();
    const std::uint32_t nCredit = m_driver.GetCredit();
    m_host.Clear();
    m_driver.SetState(nState);
    if (nState <= CChangerDriver::PayoutSend)
      m_nStateQueries = 0;
    CheckQuietRequest("SetState");
    if (m_driver.GetCredit() != nCredit)
      Fail("SetState changed the credit");
    const std::uint32_t nExpected = nState <= CChangerDriver::PayoutSend ? nState : nBefore;
    if (m_driver.GetState() != nExpected)
      Fail("SetState(" + std::to_string(nState) + ") left state " +
           std::to_string(m_driver.GetState()));
  }

  void StepDebit(std::uint8_t op) {
    static const int s_widths[4] = {1, 2, 4, 4};
    std::uint32_t nPrice = 0;
    for (int i = 0; i < s_widths[(op >> 3) & 3]; ++i)
      nPrice = nPrice << 8 | Next();
    const std::uint32_t nCredit = m_driver.GetCredit();
    m_host.Clear();
    const bool bDebited = m_driver.DebitCredit(nPrice);
    CheckQuietRequest("DebitCredit");
    if (bDebited != (nPrice <= nCredit))
      Fail("DebitCredit(" + std::to_string(nPrice) + ") with credit " + std::to_string(nCredit) +
           " said " + (bDebited ? "yes" : "no"));
    const std::uint32_t nExpected = bDebited ? nCredit - nPrice : nCredit;
    if (m_driver.GetCredit() != nExpected)
      Fail("DebitCredit(" + std::to_string(nPrice) + ") left credit " +
           std::to_string(m_driver.GetCredit()) + " instead of " + std::to_string(nExpected));
    if (bDebited)
      m_nDebited += nPrice;
  }

  void StepSetting(std::uint8_t op) { m_host.m_settings[(op >> 3) % SettingCount] = Next32(); }

  unsigned NextLength() {
    const std::uint8_t n = Next();
    if (n < 0x70)
      return 1;
    if (n < 0xA0)
      return 2;
    if (n < 0xB8)
      return 3 + n % 5;
    if (n < 0xF8)
      return 8 + n % 32;
    const unsigned nLong = 40 + Next() * 4u + (n & 3);
    return nLong < kMaxDatagram ? nLong : kMaxDatagram;
  }

  /// The command each state sends, by the state before the datagram.
  bool CommandFitsState(const Bytes& command, std::uint32_t nState) const {
    const std::uint32_t* pSettings = m_host.m_settings;
    switch (nState) {
    case CChangerDriver::ResetPending: return command == Bytes{0x08};
    case CChangerDriver::SetupQuery: return command == Bytes{0x09};
    case CChangerDriver::IdentQuery: return command == Bytes{0x0F, 0x00};
    case CChangerDriver::FeatureEnableSend: {
      const std::uint32_t n = pSettings[FeatureEnable];
      return command == Bytes{0x0F,
                              0x01,
                              std::uint8_t(n >> 24),
                              std::uint8_t(n >> 16),
                              std::uint8_t(n >> 8),
                              std::uint8_t(n)};
    }
    case CChangerDriver::TubeQuery:
    case CChangerDriver::Polling: return command == Bytes{0x0A};
    case CChangerDriver::CoinEnableSend: {
      const std::uint32_t a = pSettings[CoinAccept];
      const std::uint32_t d = pSettings[CoinDispense];
      return command == Bytes{0x0C, std::uint8_t(a >> 8), std::uint8_t(a), std::uint8_t(d >> 8),
                              std::uint8_t(d)};
    }
    case CChangerDriver::CoinDisableSend: return command == Bytes{0x0C, 0x00, 0x00, 0x00, 0x00};
    case CChangerDriver::PayoutSend:
      return command.size() == 3 && command[0] == 0x0F && command[1] == 0x02;
    default: return false;
    }
  }

  void StepRepeat() {
    const unsigned nTimes = m_input.Next() + 1u;
    for (unsigned n = 0;
         n < nTimes && !m_last.empty() && m_strFailure.empty() && m_nDatagrams < m_nMaxDatagrams;
         ++n)
      Check(m_last);
  }

  void StepDatagram(std::uint8_t op) {
    const std::uint8_t nHeader =
        (op & 0x80) ? Next() : static_cast<std::uint8_t>(0x08 | ((op >> 3) & 7));
    const unsigned nLength = NextLength();
    Bytes datagram(nLength);
    datagram[0] = nHeader;
    for (unsigned i = 1; i < nLength; ++i)
      datagram[i] = Next();
    m_last = datagram;
    Check(datagram);
  }

  void Check(const Bytes& datagram) {
    ++m_nDatagrams;
    const std::uint8_t nHeader = datagram[0];
    const unsigned nLength = static_cast<unsigned>(datagram.size());

    const std::uint32_t nState = m_driver.GetState();
    const std::uint32_t nCredit = m_driver.GetCredit();
    const ChangerSetup setup = m_driver.GetChangerSetup();
    const Bytes setupBefore = BytesOf(setup);
    const Bytes tubesBefore = BytesOf(m_driver.GetTubeStatus());
    const Bytes identBefore = BytesOf(m_driver.GetChangerIdentification());

    // Which answer a response block is: one the running query must take, or an earlier one's.
    // A datagram of a foreign header is no answer.
    const bool bOwn = (nHeader & 0xF8) == 0x08;
    const bool bResponse = bOwn && nLength > 7;
    if (bOwn && nLength == 1 && m_nAnswersDue > 0 && ++m_nQuietTicks >= kQuietTicksToForget)
      m_nAnswersDue = m_nStateQueries = 0;
    if (bOwn && (m_nAnswersDue == 0 || bResponse))
      m_nQuietTicks = 0;
    const bool bTaken = bResponse && m_nAnswersDue <= m_nStateQueries;
    if (bResponse && m_nAnswersDue > 0) {
      if (bTaken)
        --m_nStateQueries;
      --m_nAnswersDue;
    }
    const bool bQueryState = nState == CChangerDriver::SetupQuery ||
                             nState == CChangerDriver::IdentQuery ||
                             nState == CChangerDriver::TubeQuery;

    m_host.Clear();
    Deliver(m_driver, datagram);

    const std::uint32_t nStateAfter = m_driver.GetState();
    const std::uint32_t nCreditAfter = m_driver.GetCredit();
    const std::vector<Bytes>& commands = m_host.m_commands;
    // Described only when a rule broke: building the text every step would halve the speed.
    const auto What = [&] {
      return "datagram " + Hex(datagram) + " in state " + std::to_string(nState);
    };

    if (nStateAfter > CChangerDriver::PayoutSend)
      Fail(What() + " left state " + std::to_string(nStateAfter));
    if ((nHeader & 0xF8) != 0x08) {
      // Not the changer's: as if it never came.
      if (!commands.empty() || nCreditAfter != nCredit || nStateAfter != nState ||
          BytesOf(m_driver.GetChangerSetup()) != setupBefore ||
          BytesOf(m_driver.GetTubeStatus()) != tubesBefore ||
          BytesOf(m_driver.GetChangerIdentification()) != identBefore)
        Fail(What() + " with a foreign header changed something");
      return;
    }

    if (commands.size() > 1)
      Fail(What() + " sent " + std::to_string(commands.size()) + " commands");
    if (nStateAfter != nState)
      m_nStateQueries = 0;
    for (const Bytes& command : commands) {
      if (IsQuery(command)) {
        ++m_nAnswersDue;
        ++m_nStateQueries;
      }
    }
    if (bResponse && bQueryState && !bTaken &&
        (nStateAfter != nState || !commands.empty() || nCreditAfter != nCredit))
      Fail(What() + " took the answer to an earlier query");
    for (const Bytes& command : commands) {
      if (!CommandFitsState(command, nState))
        Fail(What() + " sent " + Hex(command) + ", not the command of that state");
      else if (command[0] == 0x0C)
        ++m_summary.nCoinTypeCommands;
      else if (command[0] == 0x0F && command[1] == 0x02)
        m_summary.payouts.push_back(command[2]);
    }

    // A coin the changer kept is credited with its value: in Polling from a poll answer (2..7
    // bytes), in the other states from a deposit report (2 or 3 bytes).
    const std::uint8_t nStatus = nLength >= 2 ? datagram[1] : 0;
    const bool bPollAnswer = nLength >= 2 && nLength <= 7;
    const bool bDeposit = bPollAnswer && ReadsAsKeptCoin(nStatus) &&
                          (nState == CChangerDriver::Polling || nLength <= 3);
    const std::uint64_t nValue =
        bDeposit ? std::uint64_t{setup.coinTypeCredit[nStatus & 0x0F]} * setup.scalingFactor : 0;
    const std::uint64_t nSum = std::uint64_t{nCredit} + nValue;
    const std::uint32_t nCreditIn = nSum > std::numeric_limits<std::uint32_t>::max()
                                        ? std::numeric_limits<std::uint32_t>::max()
                                        : static_cast<std::uint32_t>(nSum);
    m_nCredited += nValue;
    m_nClipped += nSum - nCreditIn;
    if (nCreditAfter == std::numeric_limits<std::uint32_t>::max())
      m_summary.bSaturated = true;
    if (bDeposit && nState == CChangerDriver::Polling &&
        (commands.size() != 1 || commands[0] != Bytes{0x0A}))
      Fail(What() + ": a deposit in Polling must ask for the tube status");

    const std::uint32_t nScaling = setup.scalingFactor;
    const bool bResetReport = bPollAnswer && nStatus == 0x0B;
    // In Polling the reset report restarts the changer; a response block (8 bytes or more) is
    // no poll answer, even one whose byte 1 reads 0B, and leaves the driver polling.
    if (nState == CChangerDriver::Polling &&
        nStateAfter != (bResetReport ? CChangerDriver::ResetWait
                        : bDeposit   ? CChangerDriver::TubeQuery
                                     : nState))
      Fail(What() + " left Polling for state " + std::to_string(nStateAfter));
    if (nState == CChangerDriver::PayoutSend && bResetReport) {
      // The changer forgot everything: it is started again first, and the credit waits.
      if (!commands.empty() || nCreditAfter != nCreditIn ||
          nStateAfter != CChangerDriver::ResetWait)
        Fail(What() + ": a reset report with the payout due must restart and keep the credit");
    } else if (nState == CChangerDriver::PayoutSend) {
      if (nStateAfter != CChangerDriver::Polling)
        Fail(What() + " did not return to Polling after the payout");
      if (nScaling == 0) {
        if (!commands.empty())
          Fail(What() + " sent " + Hex(commands.front()) +
               " for a payout without a scaling factor");
        if (nCreditAfter != nCreditIn)
          Fail(What() + ": payout without a scaling factor changed the credit to " +
               std::to_string(nCreditAfter));
        return;
      }
      if (commands.size() != 1)
        Fail(What() + " sent no EXPANSION PAYOUT");
      if (!m_strFailure.empty())
        return;
      const std::uint32_t nQuotient = nCreditIn / nScaling;
      const std::uint32_t nUnits = commands.front()[2];
      if (nUnits != (nQuotient > 255 ? 255 : nQuotient))
        Fail(What() + ": credit " + std::to_string(nCreditIn) + " / scaling " +
             std::to_string(nScaling) + " paid as " + std::to_string(nUnits) + " units");
      // A full payout drops the part below one unit; a capped one keeps the rest as credit.
      const std::uint32_t nKept = nQuotient > 255 ? nCreditIn - 255 * nScaling : 0;
      if (nCreditAfter != nKept)
        Fail(What() + ": after paying " + std::to_string(nUnits) + " units of " +
             std::to_string(nScaling) + " the credit is " + std::to_string(nCreditAfter) +
             ", not " + std::to_string(nKept));
      m_nPaid += std::uint64_t{nUnits} * nScaling;
      m_nDropped += nQuotient > 255 ? 0 : nCreditIn - nUnits * nScaling;
    } else if (nCreditAfter != nCreditIn) {
      Fail(What() + " changed the credit from " + std::to_string(nCredit) + " to " +
           std::to_string(nCreditAfter) + " (coin value " + std::to_string(nValue) + ")");
    }
    if (nCreditAfter != nCredit && m_host.m_nDisplayUpdates == 0)
      Fail(What() + " changed the credit without redrawing it");

    // Records change only with the answer to their own query.
    const Bytes setupAfter = BytesOf(m_driver.GetChangerSetup());
    if (bTaken && nState == CChangerDriver::SetupQuery
            ? setupAfter != Field(datagram, 1, sizeof(ChangerSetup))
            : setupAfter != setupBefore)
      Fail(What() + " left the setup record " + Hex(setupAfter));
    const Bytes tubesAfter = BytesOf(m_driver.GetTubeStatus());
    if (bTaken && nState == CChangerDriver::TubeQuery
            ? tubesAfter != Field(datagram, 1, sizeof(TubeStatus))
            : tubesAfter != tubesBefore)
      Fail(What() + " left the tube status record " + Hex(tubesAfter));
    if (BytesOf(m_driver.GetChangerIdentification()) != identBefore &&
        !(bTaken && nState == CChangerDriver::IdentQuery))
      Fail(What() + " changed the identification record");
  }

  const std::size_t m_nMaxDatagrams;
  CInput m_input;
  std::size_t m_nStep = 0;
  std::size_t m_nDatagrams = 0;
  Bytes m_last;
  CSessionHost m_host;
  CChangerDriver m_driver;
  std::string m_strFailure;
  ChangerSessionSummary m_summary;
  std::uint32_t m_nAnswersDue = 0;    // queries sent and not answered
  std::uint32_t m_nStateQueries = 0;  // of those, sent since the state last changed
  std::uint32_t m_nQuietTicks = 0;    // ticks in a row without a response block, answers due
  // Money in hundredths over the whole session.
  std::uint64_t m_nCredited = 0;  // coin values of credited deposits
  std::uint64_t m_nDebited = 0;   // successful DebitCredit calls
  std::uint64_t m_nPaid = 0;      // EXPANSION PAYOUT units times the scaling factor
  std::uint64_t m_nDropped = 0;   // the part below one unit that a full payout leaves out
  std::uint64_t m_nClipped = 0;   // what did not fit into the 32-bit credit
};

}  // namespace

std::string CheckRawDriverSession(const std::uint8_t* pData, std::size_t nSize,
                                  std::size_t nMaxDatagrams, ChangerSessionSummary& summary) {
  return CSession(pData, nSize, nMaxDatagrams).Run(summary);
}
