// One modal dialog's run of the system's dialog loop (DialogBoxIndirectParamA), and the stack of
// the runs: a nested dialog's loop runs inside the call of the one that opened it.
#pragma once

#include "Win32.h"

#include <functional>

class CDialog;

class CModalLoop {
public:
  /// Puts dlg on top of the stack of running modal dialogs.
  explicit CModalLoop(CDialog& dlg);
  /// Takes the dialog off the stack.
  ~CModalLoop();
  CModalLoop(const CModalLoop&) = delete;
  CModalLoop& operator=(const CModalLoop&) = delete;

  /// Creates the dialog window from the template, owned by hWndOwner (disabled meanwhile), and
  /// runs it until EndDialog; the window is destroyed when this returns.
  /// @returns false when the window could not be made.
  bool Run(HWND hWndOwner);

  /// The innermost running modal dialog, or nullptr.
  static CDialog* Top();
  /// Ends every running modal dialog, innermost first: message boxes and nested dialogs as
  /// cancelled, the outermost dialog (the main window) through WM_CLOSE.
  static void EndAll();
  /// EndAll, then destroys every dialog window at once, innermost first, so that their
  /// OnDestroy has run before this returns (the session ends under the program).
  static void DestroyAll();
  /// Tests: fn is called each time a modal dialog has been shown, from inside its loop.
  static void SetShownHook(std::function<void(CDialog&)> fn);

private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog(HWND hWnd, bool& bDefaultFocus);
  void OnDestroy();

  CDialog& m_dlg;
  bool m_bShownPosted = false;
};
