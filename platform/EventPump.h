// Turning the event loop by hand, for callers that wait for something outside any modal loop (the
// tests): what both implementations dispatch alike, socket readiness, window messages and posted
// calls.
#pragma once

#include <functional>

/// Dispatches the events that are waiting (socket readiness, window messages, posted calls), the
/// innermost modal dialog's key handling included. When none is waiting it waits for one,
/// nMilliseconds at most. @returns at once after that.
void AfxPumpEvents(int nMilliseconds);

/// Runs fn once the event loop next turns (a dialog's, a message box's or AfxPumpEvents), after
/// the events already waiting; never inside this call.
void AfxPostCall(std::function<void()> fn);

/// For a main of its own (the tests'; AfxWinMain does this itself): makes the toolkit ready for
/// windows, dialogs and socket notification while the object lives. Windows made under it are
/// not shown on a screen unless the environment names one (on Linux QT_QPA_PLATFORM; offscreen
/// when unset).
class CEventLoopOwner {
public:
  CEventLoopOwner(int& argc, char** argv);
  ~CEventLoopOwner();
  CEventLoopOwner(const CEventLoopOwner&) = delete;
  CEventLoopOwner& operator=(const CEventLoopOwner&) = delete;

private:
  void* m_pToolkit = nullptr;  ///< the implementation's application object, where it has one
};
