// The simulated device's own icon, drawn by code so that the window and the installed icon files
// come from one drawing.
#pragma once

#include <QIcon>

/// The LX-5200-E as a small grey box with a display and two network jacks, one coin on top,
/// at 16, 32, 48 and 256 pixels. Needs a running QGuiApplication.
QIcon CreateSimIcon();
