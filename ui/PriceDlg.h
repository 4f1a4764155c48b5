#pragma once

#include "Dialog.h"

/// The ten product prices of section "Prices". Moves text between the store and its edit
/// boxes directly; OK stores all ten.
class CPriceDlg : public CDialog {
public:
  explicit CPriceDlg(CWnd* pParent = nullptr);

  bool OnInitDialog() override;
  void OnOK() override;
};
