#include "VendingPanelDlg.h"

#include "AboutDlg.h"
#include "AcceptorControlDlg.h"
#include "AcceptorIdentDlg.h"
#include "AcceptorSetupDlg.h"
#include "AppIcon.h"
#include "ConnectionDlg.h"
#include "PriceDlg.h"
#include "PriceSettings.h"
#include "PriceText.h"
#include "Resource.h"
#include "Templates.h"
#include "TubeStatusDlg.h"
#include "WinApp.h"

namespace {

using PriceSettings::kProductCount;

/// The host of a driver that no datagram ever reaches.
class CNoChangerHost final : public IChangerHost {
public:
  void SendChangerCommand(const BYTE*, unsigned) override {}
  std::uint32_t GetProfileInt(const char*, const char*, std::uint32_t nDefault) override {
    return nDefault;
  }
  void UpdateCreditDisplay() override {}
};

/// Shows a dialog of the menu modally; it lives only while its command runs.
template <typename Dlg>
INT_PTR ShowDialog() {
  Dlg dlg;
  return dlg.DoModal();
}

}  // namespace

CChangerDriver& GetOwnerDriver(const CWnd& dlg) {
  if (auto* pPanel = dynamic_cast<CVendingPanelDlg*>(dlg.GetOwner()))
    return *pPanel->GetChangerDriver();
  static CNoChangerHost host;
  static CChangerDriver unfed(host);
  return unfed;
}

CVendingPanelDlg::CVendingPanelDlg(CWnd* pParent)
    : CDialog(GetDialogTemplate(IDD_VENDINGPANEL_DIALOG), pParent), m_driver(*this) {
  RegisterAppIcon();
  m_hIcon = AfxLoadIcon(IDR_MAINFRAME);
}

void CVendingPanelDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_CREDIT, m_editCredit);
  for (unsigned i = 0; i < kProductCount; ++i)
    DDX_Control(pDX, IDC_PRICE_1 + kProductCount - 1 - i, m_editPrice[i]);
}

bool CVendingPanelDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDlgItemText(IDC_CREDIT, "0.00");
  RefreshPrices();
  if (CDeviceLink* pLink = AfxGetDeviceLink()) {
    pLink->SendControlCommand(11);
    pLink->SendControlCommand(18);
  }
  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);
  return true;
}

bool CVendingPanelDlg::OnCommand(UINT nID) {
  if (nID >= IDC_PRODUCT_1 && nID < IDC_PRODUCT_1 + kProductCount) {
    Vend(nID - IDC_PRODUCT_1);
    return true;
  }
  switch (nID) {
  case ID_SETTINGS_EDITPRICES: OnEditPrices(); return true;
  case ID_SETTINGS_CONNECTION: OnConnection(); return true;
  case ID_HELP_ABOUT: OnAbout(); return true;
  case ID_SETTINGS_ACCEPTORCONTROL: OnAcceptorControl(); return true;
  case ID_INFORMATION_ACCEPTORSETUP: OnAcceptorSetup(); return true;
  case ID_INFORMATION_ACCEPTORIDENT: OnAcceptorIdentification(); return true;
  case ID_INFORMATION_TUBESTATUS: OnTubeStatus(); return true;
  case IDC_CHANGE_RETURN: OnChangeReturn(); return true;
  default: return CDialog::OnCommand(nID);
  }
}

void CVendingPanelDlg::OnDestroy() {
  CDialog::OnDestroy();
  if (CDeviceLink* pLink = AfxGetDeviceLink())
    pLink->SendControlCommand(0);
}

void CVendingPanelDlg::OnPaint(CDC& dc) {
  if (!IsIconic() || !m_hIcon || !m_hWnd)
    return;
  // Minimised: the icon, centred in the client area.
  const int cxIcon = 32;
  const int cyIcon = 32;
  CRect rect;
  GetClientRect(&rect);
  const int x = (rect.Width() - cxIcon + 1) / 2;
  const int y = (rect.Height() - cyIcon + 1) / 2;
  dc.EraseRect(rect);
  dc.DrawIcon(x, y, m_hIcon);
}

HICON CVendingPanelDlg::OnQueryDragIcon() { return m_hIcon; }

void CVendingPanelDlg::OnDatagram(const BYTE* pBytes, unsigned nLength) {
  m_driver.OnDatagram(pBytes, nLength);
}

void CVendingPanelDlg::SendChangerCommand(const BYTE* pBytes, unsigned nLength) {
  if (CDeviceLink* pLink = AfxGetDeviceLink())
    pLink->SendChangerCommand(pBytes, nLength);
}

std::uint32_t CVendingPanelDlg::GetProfileInt(const char* lpszSection, const char* lpszEntry,
                                              std::uint32_t nDefault) {
  return AfxGetApp()->GetProfileInt(lpszSection, lpszEntry, nDefault);
}

void CVendingPanelDlg::UpdateCreditDisplay() {
  SetDlgItemText(IDC_CREDIT, FormatPrice(m_driver.GetCredit()));
}

void CVendingPanelDlg::Vend(unsigned i) {
  if (i >= kProductCount)
    return;
  if (m_driver.DebitCredit(PriceSettings::Read(i))) {
    AfxMessageBeep(250);
    UpdateCreditDisplay();
  }
}

void CVendingPanelDlg::OnChangeReturn() { m_driver.SetState(CChangerDriver::PayoutSend); }

void CVendingPanelDlg::RefreshPrices() {
  for (unsigned i = 0; i < kProductCount; ++i)
    SetDlgItemText(IDC_PRICE_1 + i, FormatPrice(PriceSettings::Read(i)));
}

void CVendingPanelDlg::OnEditPrices() {
  if (ShowDialog<CPriceDlg>() == IDOK)
    RefreshPrices();
}

void CVendingPanelDlg::OnConnection() {
  // The link is opened only at start-up; the new settings apply at the next start.
  ShowDialog<CConnectionDlg>();
}

void CVendingPanelDlg::OnAbout() { ShowDialog<CAboutDlg>(); }

void CVendingPanelDlg::OnAcceptorControl() { ShowDialog<CAcceptorControlDlg>(); }

void CVendingPanelDlg::OnAcceptorSetup() { ShowDialog<CAcceptorSetupDlg>(); }

void CVendingPanelDlg::OnAcceptorIdentification() { ShowDialog<CAcceptorIdentDlg>(); }

void CVendingPanelDlg::OnTubeStatus() { ShowDialog<CTubeStatusDlg>(); }
