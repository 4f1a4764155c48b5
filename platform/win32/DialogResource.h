// Turns the template tables into what the Windows dialog manager and menu functions take.
#pragma once

#include "DialogTemplate.h"
#include "Win32.h"

#include <vector>

/// An in-memory DLGTEMPLATE (with DS_SETFONT) and its DLGITEMTEMPLATEs, DWORD-aligned, for
/// DialogBoxIndirectParamA. The menu is not part of it: see CreateDialogMenu.
std::vector<DWORD> BuildDialogResource(const DialogTemplate& dlgTemplate);

/// The window styles of one control of a template: class, alignment, border, tab stop, group.
DWORD ControlWindowStyle(const DialogControl& ctrl, bool bGroupStart);

/// A menu bar with the template's popups and items; the caller gives it to a window.
HMENU CreateDialogMenu(const MenuTemplate& menu);
