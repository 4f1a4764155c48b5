// Message boxes and beeps caught instead of shown or sounded.
#pragma once

#include "Afx.h"

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

/// While it lives, every message box is answered with IDOK and recorded, and so is every beep.
class CMessageCapture {
public:
  CMessageCapture() {
    AfxSetMessageBoxHook([this](const std::string& strText, UINT nType) {
      m_messages.push_back(strText);
      m_messageTypes.push_back(nType);
      return IDOK;
    });
    AfxSetMessageBeepHook([this](UINT uType) {
      m_beeps.push_back(uType);
      if (m_onBeep)
        m_onBeep(uType);
    });
  }
  ~CMessageCapture() {
    AfxSetMessageBoxHook(nullptr);
    AfxSetMessageBeepHook(nullptr);
  }
  CMessageCapture(const CMessageCapture&) = delete;
  CMessageCapture& operator=(const CMessageCapture&) = delete;

  std::vector<std::string> m_messages;
  std::vector<UINT> m_messageTypes;
  std::vector<UINT> m_beeps;
  std::function<void(UINT)> m_onBeep;  ///< also called for each beep
};

}  // namespace testing_support
