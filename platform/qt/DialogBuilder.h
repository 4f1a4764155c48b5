// The widgets of a dialog, built from its template.
#pragma once

#include "DialogTemplate.h"

#include <vector>

class CWnd;
class QMenuBar;
class QString;
class QWidget;

/// The object name of a control's widget, which names its ID ("ctrl_1001").
QString ControlObjectName(int nID);

/// Makes the menu bar of menu in pWindow; its items run their commands through wnd.
QMenuBar* CreateMenuBar(const MenuTemplate& menu, QWidget* pWindow, CWnd& wnd);

/// Makes the controls of dlgTemplate in pWindow, in template order, with their texts, styles,
/// focus and tab order, and group frames below the rest. Buttons run their commands through
/// wnd. Nothing is measured: fonts and geometry come later, from the dialog's layout.
std::vector<QWidget*> CreateControls(const DialogTemplate& dlgTemplate, QWidget* pWindow,
                                     CWnd& wnd);
