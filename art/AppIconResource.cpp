// On Windows the application icon is resource 128 of the executable (app/Mintora.rc, drawn by
// the Linux build's render-icons --ico): AfxLoadIcon finds it there.
#include "AppIcon.h"

void RegisterAppIcon() {}
