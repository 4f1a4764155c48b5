#include "VendingApp.h"

#include "ConnectionSettings.h"
#include "VendingPanelDlg.h"

CVendingApp::CVendingApp() : CWinApp(nullptr) {}

bool CVendingApp::InitInstance() {
  CVendingPanelDlg dlg;
  Enable3dControlsStatic();
  SetRegistryKey("Tessaline");
  LoadStdProfileSettings(10);

  if (!AfxSocketInit())
    ReportFailure("Socket initialization failed, Error: %u\r\n", GetLastError());

  if (GetProfileInt(connection_settings::kSection, connection_settings::kAutoConnect,
                    connection_settings::kDefaultAutoConnectAtStartUp) != 0)
    Connect();

  m_pMainWnd = &dlg;
  dlg.DoModal();
  // The panel's window is gone; the framework has cleared m_pMainWnd with it.
  m_pMainWnd = nullptr;
  return false;
}

int CVendingApp::ExitInstance() {
  Disconnect();
  return CWinApp::ExitInstance();
}
