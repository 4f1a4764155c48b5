// What the application object does the same way on every platform: its one instance, the
// framework's start-up and exit hooks and the commands it routes. The event loop and help are
// each implementation's WinApp.cpp, the settings store its Profile.cpp.
#include "WinApp.h"

#include "Wnd.h"

namespace {

CWinApp* g_pApp = nullptr;

}  // namespace

CWinApp* AfxGetApp() { return g_pApp; }

CWinApp::CWinApp(const char* lpszAppName) {
  if (lpszAppName)
    m_strAppName = lpszAppName;
  m_pPreviousApp = g_pApp;
  g_pApp = this;
}

CWinApp::~CWinApp() {
  // Application objects nest (a test may make a second one for a while).
  if (g_pApp == this)
    g_pApp = m_pPreviousApp;
}

bool CWinApp::InitInstance() { return true; }

int CWinApp::ExitInstance() {
  SaveStdProfileSettings();
  return 0;
}

bool CWinApp::OnCmdMsg(UINT nID) {
  switch (nID) {
  case ID_APP_EXIT: OnAppExit(); return true;
  case ID_HELP: OnHelp(); return true;
  default: return false;
  }
}

void CWinApp::OnAppExit() {
  if (m_pMainWnd)
    m_pMainWnd->SendMessage(WM_CLOSE);
}

void CWinApp::SetRegistryKey(const char* lpszRegistryKey) {
  m_strRegistryKey = lpszRegistryKey ? lpszRegistryKey : "";
}

void CWinApp::LoadStdProfileSettings(UINT nMaxMRU) {
  m_bStdProfileLoaded = true;
  m_recentFiles.clear();
  for (UINT i = 1; i <= nMaxMRU; ++i) {
    const std::string strEntry = "File" + std::to_string(i);
    m_recentFiles.push_back(GetProfileString("Recent File List", strEntry.c_str(), ""));
  }
  bool bAny = false;
  for (const std::string& strFile : m_recentFiles)
    bAny = bAny || !strFile.empty();
  if (!bAny)
    m_recentFiles.clear();
  m_nPreviewPages = GetProfileInt("Settings", "PreviewPages", 0);
}
