#pragma once

#include "Dialog.h"

/// Accepted and dispensable coin types, changer features, and the Reset / Enable / Disable
/// buttons. The ticks are stored in section "AcceptorControl" whenever the window goes away.
class CAcceptorControlDlg : public CDialog {
public:
  explicit CAcceptorControlDlg(CWnd* pParent = nullptr);

  bool OnInitDialog() override;
  bool OnCommand(UINT nID) override;
  void OnDestroy() override;

  void OnReset();
  void OnEnable();
  void OnDisable();

protected:
  void DoDataExchange(CDataExchange* pDX) override;

  // One flag (0 or 1) per check box; index k is bit k of the stored word.
  int m_bAcceptCoin[16] = {};
  int m_bDispenseCoin[16] = {};
  int m_bFeature[4] = {};

private:
  /// Sets the owning panel's changer driver to nState.
  void SetDriverState(UINT nState);
};
