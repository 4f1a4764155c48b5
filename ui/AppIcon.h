// The application icon (resource 128), drawn by code.
#pragma once

/// Registers the application icon as icon resource 128: a coin changer, a stack of golden coins
/// beside a coin slot, at 16, 32, 48 and 256 pixels. Calling it again does nothing.
void RegisterAppIcon();
