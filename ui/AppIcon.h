// The application icon (resource 128), drawn by code.
#pragma once

#include <QIcon>

/// Registers the application icon as icon resource 128: a coin changer, a stack of golden coins
/// beside a coin slot, at 16, 32, 48 and 256 pixels. Calling it again does nothing.
void RegisterAppIcon();

/// The same drawing as an icon of its own, for the icon files that are installed with the program.
QIcon CreateAppIcon();
