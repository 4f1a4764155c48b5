// A changer host that records everything the driver does to the outside world: the driver's
// tests and the fuzz peer session drive the driver through it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ChangerDriver.h"

using Bytes = std::vector<std::uint8_t>;

class CFakeChangerHost : public IChangerHost {
public:
  void SendChangerCommand(const std::uint8_t* pBytes, unsigned nLength) override {
    m_commands.emplace_back(pBytes, pBytes + nLength);
  }

  // Records "Section/Entry=default" and answers from m_settings ("Section/Entry").
  std::uint32_t GetProfileInt(const char* lpszSection, const char* lpszEntry,
                              std::uint32_t nDefault) override {
    const std::string strKey = std::string(lpszSection) + "/" + lpszEntry;
    m_reads.push_back(strKey + "=" + std::to_string(nDefault));
    const auto it = m_settings.find(strKey);
    return it == m_settings.end() ? nDefault : it->second;
  }

  // Records the credit each refresh would show, so that a refresh made before the credit changed
  // (which leaves the panel one coin behind) is seen here.
  void UpdateCreditDisplay() override {
    ++m_nDisplayUpdates;
    if (m_pDriver)
      m_shownCredits.push_back(m_pDriver->GetCredit());
  }

  void Clear() {
    m_commands.clear();
    m_reads.clear();
    m_nDisplayUpdates = 0;
    m_shownCredits.clear();
  }

  const CChangerDriver* m_pDriver = nullptr;  ///< whose credit a refresh shows, once it exists
  std::vector<std::uint32_t> m_shownCredits;

  std::vector<Bytes> m_commands;
  std::vector<std::string> m_reads;
  std::map<std::string, std::uint32_t> m_settings;
  int m_nDisplayUpdates = 0;
};
