// The nested event loop that a modal dialog runs, and the stack of the dialogs running one.
#pragma once

#include <functional>

class CDialog;
class QEventLoop;
class QWidget;

/// One modal dialog's place on the stack, from initialisation until its window goes.
class CModalLoop {
public:
  /// Puts dlg on top of the stack of running modal dialogs.
  explicit CModalLoop(CDialog& dlg);
  /// Takes the dialog off the stack.
  ~CModalLoop();
  CModalLoop(const CModalLoop&) = delete;
  CModalLoop& operator=(const CModalLoop&) = delete;

  /// Shows pWindow, calls the shown hook once from inside the loop, and processes events until
  /// Exit is called or the application quits.
  void Run(QWidget* pWindow);
  /// Ends Run, or keeps it from calling the shown hook when it has not started.
  void Exit();
  /// Takes the dialog off the stack, wherever it is: a dialog may end while one it opened still
  /// runs. A second call does nothing.
  void Leave();

  /// The innermost running modal dialog, or nullptr.
  static CDialog* Top();
  /// Ends every running modal dialog, innermost first: message boxes and nested dialogs as
  /// cancelled, the outermost dialog (the main window) through WM_CLOSE.
  static void EndAll();
  /// Tests: fn is called each time a modal dialog has been shown, from inside its loop.
  static void SetShownHook(std::function<void(CDialog&)> fn);

private:
  CDialog& m_dlg;
  QEventLoop* m_pLoop = nullptr;
  bool m_bExited = false;
};
