// The application icon (resource 128), drawn by code.
#pragma once

#include <QIcon>

/// A coin changer: a stack of golden coins beside a coin slot, at 16, 32, 48 and 256 pixels.
/// Needs a running QGuiApplication.
QIcon CreateAppIcon();

/// Registers CreateAppIcon as icon resource 128; calling it again does nothing.
void RegisterAppIcon();
