#pragma once

#include "ChangerDriver.h"
#include "DeviceLink.h"
#include "Dialog.h"

/// The main window: credit, ten products, Change Return, and the menu to every other window.
class CVendingPanelDlg : public CDialog, public IChangerHost, public IDatagramSink {
public:
  explicit CVendingPanelDlg(CWnd* pParent = nullptr);

  /// The panel's changer driver, for the dialogs opened from its menu.
  CChangerDriver* GetChangerDriver() { return &m_driver; }

  // IDatagramSink: one datagram from the device's communication port, passed on unchanged.
  void OnDatagram(const BYTE* pBytes, unsigned nLength) override;

  // IChangerHost
  void SendChangerCommand(const BYTE* pBytes, unsigned nLength) override;
  std::uint32_t GetProfileInt(const char* lpszSection, const char* lpszEntry,
                              std::uint32_t nDefault) override;
  void UpdateCreditDisplay() override;

  /// Selection of product i (0..9): debits its stored price when the credit covers it.
  void Vend(unsigned i);
  void OnChangeReturn();

  bool OnInitDialog() override;
  bool OnCommand(UINT nID) override;
  void OnDestroy() override;
  void OnPaint(CDC& dc) override;
  HICON OnQueryDragIcon() override;

  void OnEditPrices();
  void OnConnection();
  void OnAbout();
  void OnAcceptorControl();
  void OnAcceptorSetup();
  void OnAcceptorIdentification();
  void OnTubeStatus();

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  void RefreshPrices();

  CEdit m_editCredit;
  CEdit m_editPrice[10];  ///< bound 1010 down to 1001; prices are written by control ID
  HICON m_hIcon;
  CChangerDriver m_driver;
};

/// The changer driver of the panel that owns dlg, for the dialogs opened from its menu. A dialog
/// owned by anything else gets a driver that hears from no changer: its records stay empty and
/// a state set on it has no effect.
CChangerDriver& GetOwnerDriver(const CWnd& dlg);
