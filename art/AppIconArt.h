// The drawing of the application icon, for the windows on Linux and for the icon files that are
// made at build time (the Linux package's PNG files, the Windows executable's .ico).
#pragma once

#include <QIcon>

/// The application icon at 16, 32, 48 and 256 pixels.
QIcon CreateAppIcon();
