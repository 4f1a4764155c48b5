// The operator's hand for tests: keys and clicks that take the same way through a dialog as the
// keyboard's and the mouse's, the focus, and the message box that is open. The program itself
// never calls these; the events that follow go through the one event pump (EventPump.h).
#pragma once

#include "Afx.h"
#include "EventPump.h"
#include "Wnd.h"

#include <string>

/// AltF4: F4 with Alt held, which the window's menu or the system takes as its close command.
enum class EDialogKey { Enter, KeypadEnter, Escape, Tab, AltF4 };

/// Presses and releases the key on the control that has the keyboard focus in the dialog
/// window hDlg (on hDlg itself when the focus lies elsewhere), and processes the events that
/// follow. The dialog's own key handling sees it first, as it sees a key typed. A key with Alt
/// is one typed on the active window: where the toolkit asks for it, hDlg is activated first.
void AfxPressKey(HWND hDlg, EDialogKey key);

/// Clicks the left mouse button in the middle of the control and processes the events that
/// follow: the control takes the focus as it does under the mouse, and a button runs its command.
void AfxClickControl(HWND hItem);

/// Asks the window to close as its close box does, and processes the events that follow.
void AfxCloseWindow(HWND hWnd);

/// The window with the keyboard focus, or nullptr.
HWND AfxGetFocus();

/// The selected part of an edit control's text.
std::string AfxGetSelectedText(HWND hEdit);

/// The control's rectangle in pixels of its dialog's client area (where a menu bar may take the
/// top rows).
CRect AfxGetItemRect(HWND hItem);

/// The caption and text of the message box that is open, and its owner's window.
/// @returns false when no message box is open.
bool AfxFindMessageBox(std::string& strCaption, std::string& strText, HWND& hOwner);
