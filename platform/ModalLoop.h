// One modal dialog's run of its platform's loop, and the stack of the dialogs running one: a
// nested dialog's loop runs inside the call of the one that opened it. The stack is kept in
// ModalLoop.cpp; each implementation's ModalLoop.cpp makes, runs and ends the window. For the
// implementations only; the program reaches all of this through CDialog.
#pragma once

#include "Afx.h"

#include <cstdint>
#include <functional>

class CDialog;
#ifdef _WIN32
struct tagMSG;
#else
class QEventLoop;
#endif

class CModalLoop {
public:
  /// Puts dlg on top of the stack of running modal dialogs.
  explicit CModalLoop(CDialog& dlg);
  /// Takes the dialog off the stack.
  ~CModalLoop();
  CModalLoop(const CModalLoop&) = delete;
  CModalLoop& operator=(const CModalLoop&) = delete;

  /// Makes the dialog's window, owned by hWndOwner (which is disabled meanwhile), runs its
  /// initialisation, shows it, calls the shown hook once from inside the loop and processes events
  /// until End is called or the application quits. The window is gone or going when this returns.
  /// @returns false when the window could not be made.
  bool Run(HWND hWndOwner);
  /// Hides the window and ends Run.
  void End();
  /// Takes the dialog off the stack, wherever it is: a dialog may end while one it opened still
  /// runs. A second call does nothing.
  void Leave();

  /// The innermost running modal dialog, or nullptr.
  static CDialog* Top();
  /// Whether hWnd is the window of a running modal dialog.
  static bool IsRunning(HWND hWnd);
  /// Ends every running modal dialog, innermost first: message boxes and nested dialogs as
  /// cancelled, the outermost dialog (the main window) through WM_CLOSE.
  static void EndAll();
  /// EndAll, then destroys every dialog window at once, innermost first, so that their
  /// OnDestroy has run before this returns (the session ends under the program).
  static void DestroyAll();
  /// Tests: fn is called each time a modal dialog has been shown, from inside its loop.
  static void SetShownHook(std::function<void(CDialog&)> fn);
#ifdef _WIN32
  /// What every loop of the thread does with a message before it is dispatched (a modal
  /// dialog's, and the pump of AfxPumpEvents): the innermost running dialog's keys, the Enter
  /// rule first, then the dialog manager's. @returns true when the message has been handled.
  static bool PreTranslateMessage(const tagMSG& msg);
#endif

private:
  /// The dialog is visible: the shown hook's turn, unless the dialog has ended meanwhile.
  void OnShown();
  /// Ends the message boxes that are open; they run their own loops above the dialogs'.
  static void CancelMessageBoxes();

  CDialog& m_dlg;
#ifdef _WIN32
  static std::intptr_t __stdcall DialogProc(HWND hWnd, UINT message, std::uintptr_t wParam,
                                            std::intptr_t lParam);
  std::intptr_t OnMessage(HWND hWnd, UINT message, std::uintptr_t wParam, std::intptr_t lParam);
  bool OnInitDialog(HWND hWnd);
  /// Gives the owner its input back, when Run took it.
  void ReleaseOwner();
  bool m_bShownPosted = false;
  HWND m_hWndOwner = nullptr;
  bool m_bOwnerDisabled = false;  ///< by Run, until ReleaseOwner
#else
  QEventLoop* m_pLoop = nullptr;  ///< while Run runs
#endif
};
