#include "ConnectionDlg.h"

#include "Resource.h"
#include "Templates.h"
#include "WinApp.h"

namespace {

constexpr const char* kSection = "Connection";

}  // namespace

CConnectionDlg::CConnectionDlg(CWnd* pParent)
    : CDialog(GetDialogTemplate(IDD_CONNECTION_DIALOG), pParent) {}

void CConnectionDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Check(pDX, IDC_AUTOCONNECT, m_bAutoConnect);
  DDX_Text(pDX, IDC_CONNECTION_NAME, m_strConnectionName);
  DDX_Text(pDX, IDC_IP_ADDRESS, m_strIPAddress);
  DDX_Text(pDX, IDC_PORT_COMMUNICATION, m_dwPortCommunication);
  DDX_Text(pDX, IDC_PORT_CONTROL, m_dwPortControl);
}

bool CConnectionDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CWinApp* pApp = AfxGetApp();
  m_strConnectionName = pApp->GetProfileString(kSection, "ConnectionName", "LX-5200");
  m_strIPAddress = pApp->GetProfileString(kSection, "IPAddress", "192.168.1.1");
  m_dwPortCommunication = pApp->GetProfileInt(kSection, "PortCommunication", 4003);
  m_dwPortControl = pApp->GetProfileInt(kSection, "PortControl", 4001);
  // Shown clear when absent, although start-up connects by default.
  m_bAutoConnect = pApp->GetProfileInt(kSection, "AutoConnect", 0) != 0 ? 1 : 0;
  UpdateData(false);
  return true;
}

void CConnectionDlg::OnOK() {
  if (!UpdateData(true))
    return;  // the failing field has the focus and the message has been shown
  CWinApp* pApp = AfxGetApp();
  pApp->WriteProfileString(kSection, "ConnectionName", m_strConnectionName.c_str());
  pApp->WriteProfileString(kSection, "IPAddress", m_strIPAddress.c_str());
  pApp->WriteProfileInt(kSection, "PortCommunication", m_dwPortCommunication);
  pApp->WriteProfileInt(kSection, "PortControl", m_dwPortControl);
  pApp->WriteProfileInt(kSection, "AutoConnect", m_bAutoConnect != 0 ? 1 : 0);
  EndDialog(IDOK);
}
