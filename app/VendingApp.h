#pragma once

#include "DeviceLink.h"
#include "WinApp.h"

/// The application: start-up, the one modal run of the vending panel, shutdown. It also holds
/// the link to the interface device.
class CVendingApp : public CWinApp, public CDeviceLink {
public:
  CVendingApp();

  /// Runs the whole working life of the program and returns false, so that no event loop of
  /// the application's own follows.
  bool InitInstance() override;
  /// Tears the link down, then lets the framework finish.
  int ExitInstance() override;
};
