#include "Afx.h"

#include "Dialog.h"
#include "ModalLoop.h"
#include "Win32.h"
#include "WinApp.h"

#include <atomic>

namespace {

MessageBoxHook g_messageBoxHook;
std::function<void(UINT)> g_beepHook;

std::atomic<bool> g_bTerminating{false};
/// A hidden top-level window of the user-interface thread: it receives the session's end and
/// the termination requests of the console handler's thread.
HWND g_hSessionWnd = nullptr;
/// Set when AfxWinMain is done; the console handler holds the process until then.
HANDLE g_hEnded = nullptr;

constexpr UINT kTerminateMessage = WM_APP + 0x4D1;
/// Windows ends the process a few seconds after a close, logoff or shutdown event; the panel
/// needs far less to say goodbye to the device.
constexpr DWORD kEndWaitMs = 10000;

LRESULT CALLBACK SessionWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case kTerminateMessage: CDialog::EndAllModal(); return 0;
  case WM_QUERYENDSESSION: return TRUE;
  case WM_ENDSESSION:
    // Once this returns the process may be gone: the windows go now, OnDestroy included.
    if (wParam) {
      g_bTerminating = true;
      CModalLoop::DestroyAll();
    }
    return 0;
  default: return DefWindowProcA(hWnd, message, wParam, lParam);
  }
}

BOOL WINAPI OnConsoleEvent(DWORD dwCtrlType) {
  switch (dwCtrlType) {
  case CTRL_C_EVENT:
  case CTRL_BREAK_EVENT:
  case CTRL_CLOSE_EVENT:
  case CTRL_LOGOFF_EVENT:
  case CTRL_SHUTDOWN_EVENT:
    // This runs on a thread of its own: the user-interface thread does the ending.
    g_bTerminating = true;
    PostMessageA(g_hSessionWnd, kTerminateMessage, 0, 0);
    if (dwCtrlType != CTRL_C_EVENT && dwCtrlType != CTRL_BREAK_EVENT)
      WaitForSingleObject(g_hEnded, kEndWaitMs);
    return TRUE;
  default: return FALSE;
  }
}

/// The executable's file name without its extension.
std::string ExecutableName() {
  char szPath[MAX_PATH] = {};
  const DWORD nLength = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
  std::string strName(szPath, nLength);
  if (const size_t nSlash = strName.find_last_of("\\/"); nSlash != std::string::npos)
    strName.erase(0, nSlash + 1);
  if (const size_t nDot = strName.rfind('.'); nDot != std::string::npos && nDot > 0)
    strName.erase(nDot);
  return strName;
}

}  // namespace

int AfxMessageBox(const std::string& strText, UINT nType) {
  if (g_messageBoxHook)
    return g_messageBoxHook(strText, nType);
  if (AfxIsTerminating())
    return IDOK;
  CWinApp* pApp = AfxGetApp();
  CDialog* pTop = CDialog::GetTopModal();
  return MessageBoxA(pTop ? pTop->GetSafeHwnd() : nullptr, strText.c_str(),
                     pApp ? pApp->m_strAppName.c_str() : "", nType);
}

void AfxSetMessageBoxHook(MessageBoxHook hook) { g_messageBoxHook = std::move(hook); }

BOOL AfxMessageBeep(UINT uType) {
  if (g_beepHook) {
    g_beepHook(uType);
    return TRUE;
  }
  return MessageBeep(uType);
}

void AfxSetMessageBeepHook(std::function<void(UINT)> hook) { g_beepHook = std::move(hook); }

HICON AfxLoadIcon(UINT nID) { return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(nID)); }

bool Enable3dControlsStatic() { return true; }

bool AfxIsTerminating() { return g_bTerminating; }

void AfxInstallTerminationHandlers() {
  if (g_hSessionWnd)
    return;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = SessionWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "MintoraSession";
  RegisterClassA(&wc);
  g_hSessionWnd = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  wc.hInstance, nullptr);
  g_hEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int AfxWinMain(int /*argc*/, char** /*argv*/) {
  CWinApp* pApp = AfxGetApp();
  if (!pApp)
    return 1;
  if (pApp->m_strAppName.empty())
    pApp->m_strAppName = ExecutableName();
  AfxInstallTerminationHandlers();
  int nResult = 0;
  if (pApp->InitInstance())
    nResult = pApp->Run();
  const int nExit = pApp->ExitInstance();
  SetEvent(g_hEnded);
  return nResult != 0 ? nResult : nExit;
}
