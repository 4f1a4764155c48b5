// The toplevel widget of a dialog.
#pragma once

class CDialog;
class QWidget;

/// Makes the window of dlg, owned by pOwner (nullptr: a window of its own), with the frame that
/// its template's style asks for and the template's font (a face missing on this system gives way
/// to a sans of similar metrics). The window routes its keys, paint and close requests to dlg:
/// Esc cancels; Enter clicks the push button that has the focus, else runs the default push
/// button's command (IDOK when the template has none).
QWidget* CreateDialogWindow(CDialog& dlg, QWidget* pOwner);
