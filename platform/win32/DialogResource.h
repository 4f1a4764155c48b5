// Turns the template tables into what the Windows dialog manager and menu functions take.
#pragma once

#include "DialogTemplate.h"
#include "Win32.h"

#include <vector>

/// An in-memory DLGTEMPLATE (with DS_SETFONT) and its DLGITEMTEMPLATEs, DWORD-aligned, for
/// CreateDialogIndirectParamA. It names menu resource nMenuResource of the module that makes the
/// dialog (0: none), which the dialog manager then loads and makes the window with.
std::vector<DWORD> BuildDialogResource(const DialogTemplate& dlgTemplate, UINT nMenuResource);

/// The window styles of one control of a template: class, alignment, border, tab stop, group.
DWORD ControlWindowStyle(const DialogControl& ctrl, bool bGroupStart);

/// A menu bar with the template's popups and items, for a menu that is no resource of the module;
/// the caller gives it to a window.
HMENU CreateDialogMenu(const MenuTemplate& menu);
