#pragma once

#include "Dialog.h"

#include <string>

/// The coins in each tube as the driver last stored them, with each coin type's value.
class CTubeStatusDlg : public CDialog {
public:
  explicit CTubeStatusDlg(CWnd* pParent = nullptr);

  bool OnInitDialog() override;

protected:
  void DoDataExchange(CDataExchange* pDX) override;

  /// Bound to 1070, 1072, 1071, 1073..1085: members 1 and 2 are crossed over, so coin type
  /// index 1 is kept in member 2 and index 2 in member 1, and each lands in its own row.
  std::string m_strTube[16];
};
