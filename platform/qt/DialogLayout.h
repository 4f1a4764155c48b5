// Dialog units to pixels, and the one text size of a dialog.
#pragma once

#include "DialogTemplate.h"

#include <vector>

class QMenuBar;
class QWidget;

/// Sizes pWindow to the template's client area below the menu bar (nullptr for none) and places
/// the controls (in template order) by their dialog units, which are measured with the window's
/// font (the template's). Every text of the dialog is drawn in one size: the template's, or when a
/// substitute face runs too wide for some control, the largest size down to 8 px at which every
/// text fits its control whole.
void LayoutDialog(const DialogTemplate& dlgTemplate, QWidget* pWindow,
                  const std::vector<QWidget*>& controls, QMenuBar* pMenuBar);
