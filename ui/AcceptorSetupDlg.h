#pragma once

#include "Dialog.h"

#include <string>

/// The changer's answer to SETUP as the driver last stored it; a snapshot taken when it opens.
class CAcceptorSetupDlg : public CDialog {
public:
  explicit CAcceptorSetupDlg(CWnd* pParent = nullptr);

  bool OnInitDialog() override;

protected:
  void DoDataExchange(CDataExchange* pDX) override;

  std::string m_strFeatureLevel;
  std::string m_strCountryCode;
  std::string m_strScalingFactor;
  std::string m_strDecimalPlaces;
  std::string m_strCoin[16];  ///< index j: coin type j, shown in the row "Coin Type j+1 Credit:"
};
