// The Windows headers, for the files of the Win32 implementation only. The platform API (Afx.h)
// declares its types so that both can be included, in either order; what the Windows headers turn
// into macros that clash with the API's own names is undone here, and the files call the ANSI
// functions by their own names (SendMessageA, SetDlgItemTextA, …).
#pragma once

#include "Afx.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Winsock 2 must come before windows.h, which would otherwise bring the old Winsock.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#undef SendMessage
#undef SetDlgItemText
#undef GetDlgItemText
#undef GetWindowText
#undef GetProfileInt
#undef GetProfileString
#undef WriteProfileString
#undef DrawIcon
#undef LoadIcon
