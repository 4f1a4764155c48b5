#include "PriceDlg.h"

#include "PriceText.h"
#include "Resource.h"
#include "Templates.h"
#include "WinApp.h"

namespace {

constexpr const char* kSection = "Prices";
constexpr unsigned kProductCount = 10;
constexpr UINT kDefaultPrice = 100;  // 1.00

}  // namespace

CPriceDlg::CPriceDlg(CWnd* pParent) : CDialog(GetDialogTemplate(IDD_PRICE_DIALOG), pParent) {}

bool CPriceDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CWinApp* pApp = AfxGetApp();
  for (unsigned i = 0; i < kProductCount; ++i) {
    const UINT nPrice = pApp->GetProfileInt(kSection, PriceEntryName(i).c_str(), kDefaultPrice);
    SetDlgItemText(IDC_PRICE_1 + i, FormatPrice(nPrice));
  }
  return true;
}

void CPriceDlg::OnOK() {
  CWinApp* pApp = AfxGetApp();
  for (unsigned i = 0; i < kProductCount; ++i) {
    const DWORD dwPrice = ParsePrice(GetDlgItemText(IDC_PRICE_1 + i));
    pApp->WriteProfileInt(kSection, PriceEntryName(i).c_str(), dwPrice);
  }
  CDialog::OnOK();
}
