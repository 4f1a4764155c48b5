#include "AcceptorIdentDlg.h"

#include "RecordText.h"
#include "Resource.h"
#include "Templates.h"
#include "VendingPanelDlg.h"

namespace {

constexpr unsigned kFeatures = 4;

}  // namespace

CAcceptorIdentDlg::CAcceptorIdentDlg(CWnd* pParent)
    : CDialog(GetDialogTemplate(IDD_ACCEPTORIDENT_DIALOG), pParent) {}

void CAcceptorIdentDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_IDENT_MANUFACTURER, m_strManufacturerCode);
  DDX_Text(pDX, IDC_IDENT_MODEL_REVISION, m_strModelRevision);
  DDX_Text(pDX, IDC_IDENT_SERIAL_NUMBER, m_strSerialNumber);
  DDX_Text(pDX, IDC_IDENT_SOFTWARE_VERSION, m_strSoftwareVersion);
  for (unsigned b = 0; b < kFeatures; ++b)
    DDX_Text(pDX, IDC_IDENT_FEATURE_1 + b, m_strFeature[b]);
}

bool CAcceptorIdentDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const ChangerIdentification* pIdent = &GetOwnerDriver(*this).GetChangerIdentification();

  m_strManufacturerCode = FormatRecordText(pIdent->manufacturerCode);
  m_strSerialNumber = FormatRecordText(pIdent->serialNumber);
  m_strModelRevision = FormatRecordText(pIdent->modelRevision);
  m_strSoftwareVersion = FormatSoftwareVersion(SwapBytes16(pIdent->softwareVersion));
  for (unsigned b = 0; b < kFeatures; ++b)
    m_strFeature[b] = FormatFeature(pIdent->optionalFeatures, b);
  UpdateData(false);
  return true;
}
