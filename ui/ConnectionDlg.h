#pragma once

#include "Dialog.h"

#include <string>

/// The five entries of section "Connection". They take effect at the next start: nothing
/// here touches the open link.
class CConnectionDlg : public CDialog {
public:
  explicit CConnectionDlg(CWnd* pParent = nullptr);

  bool OnInitDialog() override;
  /// Stores the five entries and closes, unless a port field is not an unsigned number.
  void OnOK() override;

protected:
  void DoDataExchange(CDataExchange* pDX) override;

  int m_bAutoConnect = 0;
  std::string m_strConnectionName;
  std::string m_strIPAddress;
  DWORD m_dwPortCommunication = 0;
  DWORD m_dwPortControl = 0;
};
