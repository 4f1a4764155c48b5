// Icon resources. Icons are drawn by code: the owner of an icon resource registers the function
// that draws it, and the pictures are made the first time one is wanted.
#pragma once

#include "Afx.h"

class QIcon;
using HICON = const QIcon*;

/// Registers the drawing function of icon resource nID; a later call replaces it.
void AfxRegisterIcon(UINT nID, QIcon (*pfnCreate)());
/// @returns the icon, the same handle for every call, or nullptr when none is registered under
/// that number or no toolkit runs.
HICON AfxLoadIcon(UINT nID);
