// The application icon, resource 128 (IDR_MAINFRAME).
#pragma once

/// Makes resource 128 available to AfxLoadIcon: a coin changer, a stack of golden coins beside a
/// coin slot, at 16, 32, 48 and 256 pixels. Where the executable carries the icon as a resource
/// of its own there is nothing to do. Calling it again does nothing.
void RegisterAppIcon();
