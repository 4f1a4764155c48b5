// What both fuzz sessions of the changer driver share: reading the input, a host that records the
// driver's calls out, and byte helpers for the checks.
#pragma once

#include "ChangerDriver.h"
#include "ChangerDriverFuzz.h"
#include "RecordBytes.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz_session {

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

enum Setting { CoinAccept, CoinDispense, FeatureEnable, SettingCount };
inline const char* const kSettingNames[SettingCount] = {"CoinAccept", "CoinDispense",
                                                        "FeatureEnable"};

/// Records the driver's calls out, and the credit each refresh would show; answers the three
/// words of "AcceptorControl" and notes any other read.
class CSessionHost : public IChangerHost {
public:
  void SendChangerCommand(const std::uint8_t* pBytes, unsigned nLength) override {
    m_commands.emplace_back(pBytes, pBytes + nLength);
  }
  std::uint32_t GetProfileInt(const char* lpszSection, const char* lpszEntry,
                              std::uint32_t nDefault) override {
    if (std::strcmp(lpszSection, "AcceptorControl") == 0 && nDefault == 0) {
      for (int n = 0; n < SettingCount; ++n) {
        if (std::strcmp(lpszEntry, kSettingNames[n]) == 0)
          return m_settings[n];
      }
    }
    m_strBadRead =
        std::string(lpszSection) + "/" + lpszEntry + " default " + std::to_string(nDefault);
    return nDefault;
  }
  void UpdateCreditDisplay() override {
    ++m_nDisplayUpdates;
    if (m_pDriver)
      m_nShownCredit = m_pDriver->GetCredit();
  }
  void Clear() {
    m_commands.clear();
    m_nDisplayUpdates = 0;
  }

  const CChangerDriver* m_pDriver = nullptr;
  std::vector<Bytes> m_commands;
  std::uint32_t m_settings[SettingCount] = {};
  unsigned m_nDisplayUpdates = 0;
  std::uint32_t m_nShownCredit = 0;  ///< what the last refresh showed
  std::string m_strBadRead;
};

/// A poll status that reports a coin the changer kept: 01yyxxxx with routing yy not 11 (returned).
constexpr bool ReadsAsKeptCoin(std::uint8_t nStatus) {
  return (nStatus & 0xC0) == 0x40 && (nStatus & 0x30) != 0x30;
}

inline std::string Hex(const Bytes& bytes) {
  std::string str;
  char sz[4];
  for (std::size_t i = 0; i < bytes.size() && i < 48; ++i) {
    std::snprintf(sz, sizeof sz, "%s%02X", str.empty() ? "" : " ", bytes[i]);
    str += sz;
  }
  return bytes.size() > 48 ? str + " ..." : str;
}

/// A session's summary as it ends: what it counted, then the driver's state and credit.
inline ChangerSessionSummary EndSummary(ChangerSessionSummary summary, const CChangerDriver& driver,
                                        std::size_t nDatagrams) {
  summary.nState = driver.GetState();
  summary.nCredit = driver.GetCredit();
  summary.nDatagrams = nDatagrams;
  return summary;
}

/// Hands one datagram to the driver from a heap block of exactly its length, so that
/// AddressSanitizer sees any read beyond its end.
inline void Deliver(CChangerDriver& driver, const Bytes& datagram) {
  const std::size_t nLength = datagram.size();
  auto* pBlock = new std::uint8_t[nLength];
  if (nLength > 0)
    std::memcpy(pBlock, datagram.data(), nLength);
  driver.OnDatagram(pBlock, static_cast<unsigned>(nLength));
  delete[] pBlock;
}

}  // namespace fuzz_session
