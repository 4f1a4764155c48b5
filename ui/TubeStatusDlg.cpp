#include "TubeStatusDlg.h"

#include "RecordText.h"
#include "Resource.h"
#include "Templates.h"
#include "VendingPanelDlg.h"

namespace {

constexpr unsigned kCoinTypes = 16;

// The member that shows coin type j; the binding order crosses members 1 and 2.
constexpr unsigned MemberOf(unsigned j) { return j == 1 ? 2 : j == 2 ? 1 : j; }

}  // namespace

CTubeStatusDlg::CTubeStatusDlg(CWnd* pParent)
    : CDialog(GetDialogTemplate(IDD_TUBESTATUS_DIALOG), pParent) {}

void CTubeStatusDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  for (unsigned m = 0; m < kCoinTypes; ++m)
    DDX_Text(pDX, IDC_TUBE_1 + MemberOf(m), m_strTube[m]);
}

bool CTubeStatusDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const CChangerDriver& driver = GetOwnerDriver(*this);
  for (unsigned j = 0; j < kCoinTypes; ++j)
    m_strTube[MemberOf(j)] = FormatTubeLine(driver.GetTubeStatus(), driver.GetChangerSetup(), j);
  UpdateData(false);
  return true;
}
