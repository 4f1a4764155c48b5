#include "AcceptorSetupDlg.h"

#include "RecordText.h"
#include "Resource.h"
#include "Templates.h"
#include "VendingPanelDlg.h"

namespace {

constexpr unsigned kCoinTypes = 16;

// The value control of each coin row: the numbering skips row 8, which got 1084.
constexpr int kCoinControl[kCoinTypes] = {
    IDC_SETUP_COIN_1,     IDC_SETUP_COIN_1 + 1, IDC_SETUP_COIN_1 + 2, IDC_SETUP_COIN_1 + 3,
    IDC_SETUP_COIN_1 + 4, IDC_SETUP_COIN_1 + 5, IDC_SETUP_COIN_7,     IDC_SETUP_COIN_8,
    IDC_SETUP_COIN_9,     IDC_SETUP_COIN_9 + 1, IDC_SETUP_COIN_9 + 2, IDC_SETUP_COIN_9 + 3,
    IDC_SETUP_COIN_9 + 4, IDC_SETUP_COIN_9 + 5, IDC_SETUP_COIN_15,    IDC_SETUP_COIN_16,
};

}  // namespace

CAcceptorSetupDlg::CAcceptorSetupDlg(CWnd* pParent)
    : CDialog(GetDialogTemplate(IDD_ACCEPTORSETUP_DIALOG), pParent) {}

void CAcceptorSetupDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_SETUP_COUNTRY_CODE, m_strCountryCode);
  DDX_Text(pDX, IDC_SETUP_DECIMAL_PLACES, m_strDecimalPlaces);
  DDX_Text(pDX, IDC_SETUP_FEATURE_LEVEL, m_strFeatureLevel);
  DDX_Text(pDX, IDC_SETUP_SCALING_FACTOR, m_strScalingFactor);
  for (unsigned j = 0; j < kCoinTypes; ++j)
    DDX_Text(pDX, kCoinControl[j], m_strCoin[j]);
}

bool CAcceptorSetupDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const ChangerSetup* pSetup = &GetOwnerDriver(*this).GetChangerSetup();

  m_strFeatureLevel = FormatByte(pSetup->featureLevel);
  m_strCountryCode = FormatBcdDigits(SwapBytes16(pSetup->countryCode));
  m_strScalingFactor = FormatByte(pSetup->scalingFactor);
  m_strDecimalPlaces = FormatByte(pSetup->decimalPlaces);
  for (unsigned j = 0; j < kCoinTypes; ++j)
    m_strCoin[j] = FormatCoinLine(*pSetup, j);
  UpdateData(false);
  return true;
}
