#include "AcceptorControlDlg.h"

#include "AcceptorControlSettings.h"
#include "ChangerDriver.h"
#include "Resource.h"
#include "Templates.h"
#include "VendingPanelDlg.h"
#include "WinApp.h"

namespace {

namespace Settings = AcceptorControlSettings;

constexpr unsigned kCoinTypes = 16;
constexpr unsigned kFeatures = 4;

template <std::size_t N>
void UnpackFlags(UINT nWord, int (&flags)[N]) {
  for (std::size_t k = 0; k < N; ++k)
    flags[k] = (nWord >> k) & 1U;
}

// Only the bits that have a box: 0..15 for the coin words, 0..3 for the feature word.
template <std::size_t N>
UINT PackFlags(const int (&flags)[N]) {
  UINT nWord = 0;
  for (std::size_t k = 0; k < N; ++k)
    if (flags[k] != 0)
      nWord |= 1U << k;
  return nWord;
}

}  // namespace

CAcceptorControlDlg::CAcceptorControlDlg(CWnd* pParent)
    : CDialog(GetDialogTemplate(IDD_ACCEPTORCONTROL_DIALOG), pParent) {}

void CAcceptorControlDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  for (unsigned k = 0; k < kCoinTypes; ++k)
    DDX_Check(pDX, IDC_ACCEPT_COIN_1 + k, m_bAcceptCoin[k]);
  for (unsigned k = 0; k < kCoinTypes - 1; ++k)
    DDX_Check(pDX, IDC_DISPENSE_COIN_1 + k, m_bDispenseCoin[k]);
  DDX_Check(pDX, IDC_DISPENSE_COIN_16, m_bDispenseCoin[kCoinTypes - 1]);
  for (unsigned j = 0; j < kFeatures; ++j)
    DDX_Check(pDX, IDC_FEATURE_ALT_PAYOUT + j, m_bFeature[j]);
}

bool CAcceptorControlDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CWinApp* pApp = AfxGetApp();
  UnpackFlags(pApp->GetProfileInt(Settings::kSection, Settings::kCoinAccept, Settings::kDefault),
              m_bAcceptCoin);
  UnpackFlags(pApp->GetProfileInt(Settings::kSection, Settings::kCoinDispense, Settings::kDefault),
              m_bDispenseCoin);
  UnpackFlags(pApp->GetProfileInt(Settings::kSection, Settings::kFeatureEnable, Settings::kDefault),
              m_bFeature);
  UpdateData(false);
  return true;
}

bool CAcceptorControlDlg::OnCommand(UINT nID) {
  switch (nID) {
  case IDC_RESET: OnReset(); return true;
  case IDC_ENABLE: OnEnable(); return true;
  case IDC_DISABLE: OnDisable(); return true;
  default: return CDialog::OnCommand(nID);
  }
}

void CAcceptorControlDlg::OnDestroy() {
  // Every way of closing ends here, so the ticks are kept however the dialog was left.
  UpdateData(true);
  CWinApp* pApp = AfxGetApp();
  pApp->WriteProfileInt(Settings::kSection, Settings::kCoinAccept, PackFlags(m_bAcceptCoin));
  pApp->WriteProfileInt(Settings::kSection, Settings::kCoinDispense, PackFlags(m_bDispenseCoin));
  pApp->WriteProfileInt(Settings::kSection, Settings::kFeatureEnable, PackFlags(m_bFeature));
  CDialog::OnDestroy();
}

void CAcceptorControlDlg::OnReset() { SetDriverState(CChangerDriver::ResetWait); }

void CAcceptorControlDlg::OnEnable() { SetDriverState(CChangerDriver::CoinEnableSend); }

void CAcceptorControlDlg::OnDisable() { SetDriverState(CChangerDriver::CoinDisableSend); }

void CAcceptorControlDlg::SetDriverState(UINT nState) { GetOwnerDriver(*this).SetState(nState); }
