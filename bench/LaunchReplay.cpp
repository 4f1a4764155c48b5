// Reads the log of lx5200e-sim --headless for one launch of Mintora on standard input, hands the
// datagrams the device sent on the communication port, in the order it sent them, to a changer
// driver, and says what that driver stored. Loopback keeps the order, so the driver built from
// the same sources as the program did what the program did: the commands it sends must be those
// the sim received, or the replay is not faithful (a datagram lost, say) and says so.
//
// Output, one line: "faithful|unfaithful setup ok|misfiled|none ident ... tubes ... resets N".
#include "../tests/fuzz/RecordBytes.h"
#include "ChangerDriver.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace record_bytes;

class CReplayHost : public IChangerHost {
public:
  void SendChangerCommand(const std::uint8_t* pBytes, unsigned nLength) override {
    m_commands.emplace_back(pBytes, pBytes + nLength);
  }
  std::uint32_t GetProfileInt(const char*, const char*, std::uint32_t nDefault) override {
    return nDefault;  // the launches' stores hold no AcceptorControl section
  }
  void UpdateCreditDisplay() override {}
  std::vector<Bytes> m_commands;
};

// "TX COMM <n> <n bytes> <name>": the bytes and the name.
bool ParseDatagram(const std::string& strLine, const char* lpszPrefix, Bytes& bytes,
                   std::string& strName) {
  if (strLine.rfind(lpszPrefix, 0) != 0)
    return false;
  std::istringstream in(strLine.substr(std::strlen(lpszPrefix)));
  unsigned nLength = 0;
  in >> nLength;
  bytes.clear();
  for (unsigned i = 0; i < nLength; ++i) {
    unsigned nByte = 0;
    in >> std::hex >> nByte;
    bytes.push_back(static_cast<std::uint8_t>(nByte));
  }
  std::getline(in >> std::ws, strName);
  return nLength <= 64 && !in.fail();
}

const char* Verdict(const Bytes& record, const Bytes& answer) {
  if (record == Bytes(record.size(), 0))
    return "none";
  return record == answer ? "ok" : "misfiled";
}

}  // namespace

int main() {
  CReplayHost host;
  CChangerDriver driver(host);
  std::vector<Bytes> received;
  Bytes setupAnswer, identAnswer, tubeAnswer;
  std::string strLine, strName;
  Bytes bytes;
  while (std::getline(std::cin, strLine)) {
    if (ParseDatagram(strLine, "RX COMM ", bytes, strName)) {
      received.push_back(bytes);
    } else if (ParseDatagram(strLine, "TX COMM ", bytes, strName)) {
      if (strName == "SETUP RESPONSE")
        setupAnswer = bytes;
      else if (strName == "IDENTIFICATION RESPONSE")
        identAnswer = bytes;
      else if (strName == "TUBE STATUS RESPONSE")
        tubeAnswer = bytes;
      driver.OnDatagram(bytes.data(), static_cast<unsigned>(bytes.size()));
    }
  }
  // The program may have been stopped before its last commands reached the sim.
  bool bFaithful = host.m_commands.size() >= received.size();
  unsigned nResets = 0;
  for (std::size_t i = 0; i < host.m_commands.size(); ++i) {
    if (i < received.size() && host.m_commands[i] != received[i])
      bFaithful = false;
    nResets += host.m_commands[i] == Bytes{0x08};
  }
  std::printf("%s setup %s ident %s tubes %s resets %u\n", bFaithful ? "faithful" : "unfaithful",
              Verdict(BytesOf(driver.GetChangerSetup()), Field(setupAnswer, 1, 23)),
              Verdict(BytesOf(driver.GetChangerIdentification()), IdentLayout(identAnswer)),
              Verdict(BytesOf(driver.GetTubeStatus()), Field(tubeAnswer, 1, 18)), nResets);
  return 0;
}
