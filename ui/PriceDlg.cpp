#include "PriceDlg.h"

#include "PriceSettings.h"
#include "PriceText.h"
#include "Resource.h"
#include "Templates.h"

CPriceDlg::CPriceDlg(CWnd* pParent) : CDialog(GetDialogTemplate(IDD_PRICE_DIALOG), pParent) {}

bool CPriceDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  for (unsigned i = 0; i < PriceSettings::kProductCount; ++i)
    SetDlgItemText(IDC_PRICE_1 + i, FormatPrice(PriceSettings::Read(i)));
  return true;
}

void CPriceDlg::OnOK() {
  for (unsigned i = 0; i < PriceSettings::kProductCount; ++i)
    PriceSettings::Write(i, ParsePrice(GetDlgItemText(IDC_PRICE_1 + i)));
  CDialog::OnOK();
}
