// The event loop turned by hand: this thread's message queue. Posted calls travel as a message to
// a message-only window of their own.
#include "EventPump.h"

#include "ModalLoop.h"
#include "Win32.h"

#include <memory>

namespace {

constexpr UINT kCallMessage = WM_APP + 0x4D1;  ///< lParam: a std::function<void()>* to run once

LRESULT CALLBACK CallWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCallMessage) {
    const std::unique_ptr<std::function<void()>> pFn(
        reinterpret_cast<std::function<void()>*>(lParam));
    (*pFn)();
    return 0;
  }
  return DefWindowProcA(hWnd, message, wParam, lParam);
}

HWND CallWindow() {
  static const HWND s_hWnd = [] {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = CallWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "MintoraPostedCall";
    RegisterClassExA(&windowClass);
    return CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
  }();
  return s_hWnd;
}

/// As a modal dialog's own loop: the innermost dialog's key handling, then the window. A quit
/// message is left in the queue for the loop that ends on it.
bool DispatchWaiting() {
  bool bAny = false;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    bAny = true;
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (CModalLoop::PreTranslateMessage(msg))
      continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return bAny;
}

}  // namespace

void AfxPumpEvents(int nMilliseconds) {
  if (DispatchWaiting() || nMilliseconds <= 0)
    return;
  MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(nMilliseconds), QS_ALLINPUT);
  DispatchWaiting();
}

void AfxPostCall(std::function<void()> fn) {
  auto* pFn = new std::function<void()>(std::move(fn));
  if (!PostMessageA(CallWindow(), kCallMessage, 0, reinterpret_cast<LPARAM>(pFn)))
    delete pFn;
}

// The system's window classes and Winsock are made ready where they are first used.
CEventLoopOwner::CEventLoopOwner(int& /*argc*/, char** /*argv*/) {}

CEventLoopOwner::~CEventLoopOwner() = default;
