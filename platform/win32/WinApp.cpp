// The application object; its settings functions live in Profile.cpp.
#include "WinApp.h"

#include "Win32.h"
#include "Wnd.h"

#include <shellapi.h>

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

int CWinApp::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

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

void CWinApp::OnHelp() {
  // The help file sits beside the executable and is named like it.
  char szPath[MAX_PATH] = {};
  const DWORD nLength = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
  std::string strPath(szPath, nLength);
  strPath.erase(strPath.find_last_of("\\/") + 1);
  strPath += m_strAppName + ".HLP";
  if (GetFileAttributesA(strPath.c_str()) != INVALID_FILE_ATTRIBUTES)
    ShellExecuteA(m_pMainWnd ? m_pMainWnd->GetSafeHwnd() : nullptr, "open", strPath.c_str(),
                  nullptr, nullptr, SW_SHOWNORMAL);
}
