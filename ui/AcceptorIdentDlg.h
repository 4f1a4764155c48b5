#pragma once

#include "Dialog.h"

#include <string>

/// The changer's answer to EXPANSION IDENTIFICATION as the driver last stored it.
class CAcceptorIdentDlg : public CDialog {
public:
  explicit CAcceptorIdentDlg(CWnd* pParent = nullptr);

  bool OnInitDialog() override;

protected:
  void DoDataExchange(CDataExchange* pDX) override;

  std::string m_strManufacturerCode;
  std::string m_strModelRevision;
  std::string m_strSerialNumber;
  std::string m_strSoftwareVersion;
  std::string m_strFeature[4];  ///< index b: bit b of the optional features
};
