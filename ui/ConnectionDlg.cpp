#include "ConnectionDlg.h"

#include "ConnectionSettings.h"
#include "Resource.h"
#include "Templates.h"
#include "WinApp.h"

namespace cs = connection_settings;

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
  m_strConnectionName =
      pApp->GetProfileString(cs::kSection, cs::kConnectionName, cs::kDefaultConnectionName);
  m_strIPAddress = pApp->GetProfileString(cs::kSection, cs::kIPAddress, cs::kDefaultIPAddress);
  m_dwPortCommunication =
      pApp->GetProfileInt(cs::kSection, cs::kPortCommunication, cs::kDefaultPortCommunication);
  m_dwPortControl = pApp->GetProfileInt(cs::kSection, cs::kPortControl, cs::kDefaultPortControl);
  m_bAutoConnect =
      pApp->GetProfileInt(cs::kSection, cs::kAutoConnect, cs::kDefaultAutoConnectInDialog) != 0 ? 1
                                                                                                : 0;
  UpdateData(false);
  return true;
}

void CConnectionDlg::OnOK() {
  if (!UpdateData(true))
    return;  // the failing field has the focus and the message has been shown
  CWinApp* pApp = AfxGetApp();
  pApp->WriteProfileString(cs::kSection, cs::kConnectionName, m_strConnectionName.c_str());
  pApp->WriteProfileString(cs::kSection, cs::kIPAddress, m_strIPAddress.c_str());
  pApp->WriteProfileInt(cs::kSection, cs::kPortCommunication, m_dwPortCommunication);
  pApp->WriteProfileInt(cs::kSection, cs::kPortControl, m_dwPortControl);
  pApp->WriteProfileInt(cs::kSection, cs::kAutoConnect, m_bAutoConnect != 0 ? 1 : 0);
  EndDialog(IDOK);
}
