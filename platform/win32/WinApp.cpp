// The application object's event loop and help; the rest is platform/WinApp.cpp, the settings
// store Profile.cpp.
#include "WinApp.h"

#include "Win32.h"
#include "Wnd.h"

#include <shellapi.h>

int CWinApp::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
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
