// The toplevel widget of a dialog.
#pragma once

class CDialog;
class QFont;
class QStyle;
class QWidget;

/// Makes the window of dlg, owned by pOwner (nullptr: a window of its own), with the frame that
/// its template's style asks for and the template's font (a face missing on this system gives way
/// to a sans of similar metrics). The window routes its keys, paint and close requests to dlg:
/// Esc cancels; Enter is the dialog's (CDialog::OnEnterKey).
QWidget* CreateDialogWindow(CDialog& dlg, QWidget* pOwner);

/// The font of a template's face and size in points (8 when not positive), at 96 dots per inch
/// so that layouts do not depend on the screen. A face missing on this system gives way to a sans
/// of similar metrics.
QFont DialogFont(const char* pszFace, int nPointSize);

/// The style of the program's windows: the toolkit's own, except that a menu bar's overflow
/// button has no picture.
QStyle* CreateDialogStyle();
