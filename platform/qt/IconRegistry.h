// Icon resources. Icons are drawn by code: the owner of an icon resource registers the function
// that draws it, and the pictures are made the first time one is wanted.
#pragma once

#include "Afx.h"

class QIcon;
class QPainter;

/// Registers the drawing function of icon resource nID; a later call replaces it.
void AfxRegisterIcon(UINT nID, QIcon (*pfnCreate)());
// AfxLoadIcon (Afx.h) hands out a registered icon, or nullptr when none is registered under that
// number or no toolkit runs.

/// An icon at 16, 32, 48 and 256 pixels from one drawing on a 32 x 32 grid. pfnDraw paints with
/// dc already scaled to that grid; rPen is the outline width that keeps small sizes legible.
QIcon AfxDrawIcon(void (*pfnDraw)(QPainter& dc, double rPen));
