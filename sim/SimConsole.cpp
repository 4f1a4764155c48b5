#include "SimConsole.h"

#include "SimDevice.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

namespace {

// UDP carries at most 65507 bytes over IPv4.
constexpr unsigned long kMaxDatagram = 65507;

/// Reads an unsigned number (decimal, or hex after 0x, or hex when bHex). @returns false if the
/// word is not one or exceeds nMax.
bool ParseNumber(const std::string& strWord, unsigned long nMax, unsigned long& nValue,
                 bool bHex = false) {
  if (strWord.empty() || strWord[0] == '-' || strWord[0] == '+')
    return false;
  try {
    std::size_t nUsed = 0;
    nValue = std::stoul(strWord, &nUsed, bHex ? 16 : 0);
    return nUsed == strWord.size() && nValue <= nMax;
  } catch (...) {
    return false;
  }
}

}  // namespace

CSimConsole::CSimConsole(CSimDevice& device, QObject* pParent)
    : QObject(pParent), m_device(device) {
  connect(&m_device, &CSimDevice::Line, this, &CSimConsole::OnLine);
}

void CSimConsole::Start() {
  m_pNotifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
  connect(m_pNotifier, &QSocketNotifier::activated, this, &CSimConsole::OnStdinReadable);
}

void CSimConsole::Print(const std::string& strLine) {
  std::fputs(strLine.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void CSimConsole::OnLine(const QString& strLine) { Print(strLine.toStdString()); }

void CSimConsole::OnStdinReadable() {
  char buffer[4096];
  const ssize_t nRead = read(STDIN_FILENO, buffer, sizeof buffer);
  if (nRead <= 0) {
    m_pNotifier->setEnabled(false);
    if (!m_strPending.empty())
      Execute(m_strPending);
    Print("BYE");
    QCoreApplication::quit();
    return;
  }
  m_strPending.append(buffer, static_cast<std::size_t>(nRead));
  std::size_t nEnd;
  while ((nEnd = m_strPending.find('\n')) != std::string::npos) {
    const std::string strLine = m_strPending.substr(0, nEnd);
    m_strPending.erase(0, nEnd + 1);
    if (!Execute(strLine)) {
      m_pNotifier->setEnabled(false);
      Print("BYE");
      QCoreApplication::quit();
      return;
    }
  }
}

bool CSimConsole::Execute(const std::string& strLine) {
  std::istringstream in(strLine);
  std::vector<std::string> words;
  for (std::string strWord; in >> strWord;) {
    std::transform(strWord.begin(), strWord.end(), strWord.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    words.push_back(strWord);
  }
  if (words.empty() || words[0][0] == '#')
    return true;

  const std::string& strCommand = words[0];
  const auto Arg = [&](std::size_t n) { return n < words.size() ? words[n] : std::string(); };
  // A rejected line is reported and reading goes on.
  const auto Fail = [&](const char* lpszWhy) {
    Print("ERROR " + std::string(lpszWhy) + ": " + strLine);
    return true;
  };
  unsigned long nType = 0;
  unsigned long nValue = 0;

  if (strCommand == "quit" || strCommand == "exit")
    return false;
  if (strCommand == "help") {
    PrintHelp();
  } else if (strCommand == "status") {
    Print(StatusLine());
  } else if (strCommand == "reset") {
    // An MDB poll answer carries 16 bytes at most: 0B and up to 15 more statuses.
    if (words.size() > 16)
      return Fail("reset takes at most 15 status bytes");
    ByteVector moreStatus;
    for (std::size_t i = 1; i < words.size(); ++i) {
      if (!ParseNumber(words[i], 0xFF, nValue, true))
        return Fail("reset takes status bytes in hex");
      moreStatus.push_back(static_cast<std::uint8_t>(nValue));
    }
    m_device.ResetChanger(moreStatus);
  } else if (strCommand == "dispense") {
    nValue = 1;
    if (words.size() < 2 || words.size() > 3 || !ParseNumber(Arg(1), 15, nType) ||
        (words.size() == 3 && (!ParseNumber(Arg(2), 7, nValue) || nValue == 0)))
      return Fail("needs a coin type 0..15 and an optional count 1..7");
    m_device.DispenseCoin(static_cast<unsigned>(nType), static_cast<unsigned>(nValue));
  } else if (strCommand == "insert" || strCommand == "empty") {
    if (words.size() != 2 || !ParseNumber(Arg(1), 15, nType))
      return Fail("needs one coin type 0..15");
    if (strCommand == "insert")
      m_device.InsertCoin(static_cast<unsigned>(nType));
    else
      m_device.SetTubeCount(static_cast<unsigned>(nType), 0);
  } else if (strCommand == "fill") {
    nValue = 255;  // a tube never holds more than its capacity: this fills it up
    if (words.size() < 2 || words.size() > 3 || !ParseNumber(Arg(1), 15, nType) ||
        (words.size() == 3 && !ParseNumber(Arg(2), 255, nValue)))
      return Fail("needs a coin type 0..15 and an optional count 0..255");
    m_device.SetTubeCount(static_cast<unsigned>(nType), static_cast<unsigned>(nValue));
  } else if (strCommand == "fault") {
    const std::string strFault = Arg(1);
    const std::string strArg = Arg(2);
    // The optional last word narrows withhold, short, header and late to one kind of datagram.
    static const std::pair<const char*, const char*> s_targets[] = {
        {"setup", "SETUP"},       {"ident", "IDENTIFICATION"},
        {"tubes", "TUBE STATUS"}, {"deposit", "DEPOSIT"},
        {"tick", "TICK"},         {"reset", "CHANGER WAS RESET"}};
    std::string strTarget;
    if (words.size() == 4) {
      for (const auto& [lpszWord, lpszTarget] : s_targets)
        if (Arg(3) == lpszWord)
          strTarget = lpszTarget;
      if (strTarget.empty() || strFault == "empty" || strFault == "oversize")
        return Fail("fault target is one of setup, ident, tubes, deposit, tick, reset");
    }
    if (words.size() > 4)
      return Fail("too many words");
    if (strFault == "withhold") {
      if (strArg.empty())
        nValue = 1;
      else if (strArg == "all")
        nValue = CInterfaceDevice::kWithholdAll;
      else if (strArg == "off")
        nValue = 0;
      else if (!ParseNumber(strArg, 1000000, nValue))
        return Fail("withhold takes a count, all or off");
      m_device.ArmWithhold(static_cast<unsigned>(nValue), strTarget);
    } else if (strFault == "short") {
      nValue = 5;  // 3..7 bytes: a length the PC's query states take for nothing
      if (!strArg.empty() && (!ParseNumber(strArg, 1024, nValue) || nValue == 0))
        return Fail("short takes a length 1..1024");
      m_device.ArmShortResponse(nValue, strTarget);
    } else if (strFault == "header") {
      nValue = 0x10;
      if (!strArg.empty() && !ParseNumber(strArg, 0xFF, nValue, true))
        return Fail("header takes a hex byte");
      m_device.ArmWrongHeader(static_cast<std::uint8_t>(nValue), strTarget);
    } else if (strFault == "late") {
      nValue = 3;
      if (!strArg.empty() && (!ParseNumber(strArg, 1000000, nValue) || nValue == 0))
        return Fail("late takes a count of datagrams 1..1000000");
      m_device.ArmLateResponse(static_cast<unsigned>(nValue), strTarget);
    } else if (strFault == "empty") {
      if (strArg.empty() || strArg == "comm")
        m_device.SendEmptyDatagram(EPort::Communication);
      else if (strArg == "control")
        m_device.SendEmptyDatagram(EPort::Control);
      else
        return Fail("empty takes comm or control");
    } else if (strFault == "oversize") {
      nValue = 1025;  // one byte more than the PC reads
      if (!strArg.empty() && (!ParseNumber(strArg, kMaxDatagram, nValue) || nValue == 0))
        return Fail("oversize takes a length 1..65507");
      m_device.SendOversizedDatagram(nValue);
    } else {
      return Fail("unknown fault");
    }
  } else {
    return Fail("unknown command");
  }
  return true;
}

std::string CSimConsole::StatusLine() const {
  const CInterfaceDevice& device = m_device.GetDevice();
  const CChangerModel& changer = device.GetChanger();
  char sz[96];
  std::snprintf(sz, sizeof sz, "accept %04X dispense %04X features %08X", changer.GetAcceptMask(),
                changer.GetDispenseMask(), static_cast<unsigned>(changer.GetFeatureEnable()));
  std::string strTubes;
  unsigned wFull = 0;
  for (unsigned n = 0; n < 16; ++n) {
    strTubes += (n ? "," : "") + std::to_string(changer.GetTubeCount(n));
    if (changer.IsTubeFull(n))
      wFull |= 1u << n;
  }
  char szFull[8];
  std::snprintf(szFull, sizeof szFull, "%04X", wFull);
  const std::string strPeer = m_device.GetPeerText().toStdString();
  return std::string("STATUS polling ") + (device.IsPolling() ? "on" : "off") + " reporting " +
         (device.IsReporting() ? "on" : "off") + " peer " + (strPeer.empty() ? "none" : strPeer) +
         " " + sz + " tubes " + strTubes + " full " + szFull + " cashbox " +
         std::to_string(changer.GetCashBoxTotal()) + " paid " +
         std::to_string(changer.GetChangePaid());
}

void CSimConsole::PrintHelp() const {
  static const char* const s_lines[] = {
      "HELP insert T          drop a coin of type T (0..15) into the changer",
      "HELP dispense T [N]    manual dispense: N coins (1..7, default 1) from tube T at once",
      "HELP                   (needs its dispense bit; from 4 coins on the report has bit 6 set)",
      "HELP fill T [N]        set tube T to N coins (default: full)",
      "HELP empty T           empty tube T",
      "HELP reset [XX ...]    reset the changer at the device (it then reports 0B, followed by",
      "HELP                   the status bytes XX in hex when given)",
      "HELP status            print one STATUS line",
      "HELP fault withhold [N|all|off] [K]  drop the next N query answers (default 1)",
      "HELP fault short [N] [K]  cut the next query answer to N bytes (default 5)",
      "HELP fault header [XX] [K]  the next datagram carries byte 0 = XX hex (default 10)",
      "HELP fault late [N] [K]   send the next query answer after N more datagrams (default 3)",
      "HELP   K narrows a fault to setup, ident, tubes, deposit, tick or reset datagrams",
      "HELP fault empty [comm|control]   send an empty datagram now",
      "HELP fault oversize [N]           send an N-byte datagram now (default 1025)",
      "HELP quit              end the simulator (so does end of input)",
  };
  for (const char* lpszLine : s_lines)
    Print(lpszLine);
}
