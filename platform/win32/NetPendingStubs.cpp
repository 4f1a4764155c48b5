// Stand-ins for the parts of the Win32 implementation that the network and settings code's tests
// link against but do not exercise (the application object's life, message boxes, windows).
// Goes once the real ones are in the tree.
#include "Win32.h"
#include "WinApp.h"
#include "Wnd.h"

namespace {

CWinApp* g_pApp = nullptr;
MessageBoxHook g_messageBoxHook;

}  // namespace

CWinApp* AfxGetApp() { return g_pApp; }

CWinApp::CWinApp(const char* lpszAppName) {
  if (lpszAppName)
    m_strAppName = lpszAppName;
  m_pPreviousApp = g_pApp;
  g_pApp = this;
}

CWinApp::~CWinApp() {
  if (g_pApp == this)
    g_pApp = m_pPreviousApp;
}

bool CWinApp::InitInstance() { return true; }
int CWinApp::Run() { return 0; }

int CWinApp::ExitInstance() {
  SaveStdProfileSettings();
  return 0;
}

bool CWinApp::OnCmdMsg(UINT) { return false; }
void CWinApp::OnAppExit() {}
void CWinApp::OnHelp() {}

void AfxSetMessageBoxHook(MessageBoxHook hook) { g_messageBoxHook = std::move(hook); }

int AfxMessageBox(const std::string& strText, UINT nType) {
  if (g_messageBoxHook)
    return g_messageBoxHook(strText, nType);
  return IDOK;
}

bool CWnd::OnCommand(UINT) { return false; }
void CWnd::OnClose() {}
void CWnd::OnDestroy() {}
void CWnd::OnPaint(CDC&) {}
HICON CWnd::OnQueryDragIcon() { return nullptr; }
