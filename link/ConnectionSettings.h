// The "Connection" section of the settings store: where the interface device is and whether the
// link opens at start-up. The link reads it, the connection dialog edits it; its names and
// defaults are written here only.
#pragma once

#include "Afx.h"

namespace connection_settings {

constexpr const char* kSection = "Connection";

constexpr const char* kConnectionName = "ConnectionName";  ///< the dial-up connection
constexpr const char* kDefaultConnectionName = "LX-5200";
constexpr const char* kIPAddress = "IPAddress";  ///< dotted IPv4 address or host name
constexpr const char* kDefaultIPAddress = "192.168.1.1";
constexpr const char* kPortCommunication = "PortCommunication";  ///< local and remote
constexpr DWORD kDefaultPortCommunication = 4003;
constexpr const char* kPortControl = "PortControl";  ///< local and remote
constexpr DWORD kDefaultPortControl = 4001;

constexpr const char* kAutoConnect = "AutoConnect";  ///< non-zero: connect at start-up
/// With no entry stored, start-up connects...
constexpr UINT kDefaultAutoConnectAtStartUp = 1;
/// ...while the connection dialog shows the option cleared, and its OK then stores 0.
constexpr UINT kDefaultAutoConnectInDialog = 0;

}  // namespace connection_settings
