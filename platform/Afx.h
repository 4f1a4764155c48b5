// The small application-framework layer that the rest of the program is written against.
// Names and behaviour follow the framework calls the program makes. Two implementations sit under
// it: qt/ (Qt 6 and the BSD socket API, for Linux) and win32/ (the Win32 API and Winsock).
//
// The types are those of the Windows headers, declared so that a file of the Win32
// implementation may include both this header and <windows.h>, in either order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

using BYTE = unsigned char;
using WORD = unsigned short;
#ifdef _WIN32
using DWORD = unsigned long;  // 32 bits there
#else
using DWORD = std::uint32_t;
#endif
using UINT = unsigned int;
using BOOL = int;
using INT_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;

/// A window or control while it exists; what it points to is the implementation's own.
using HWND = struct HWND__*;
/// An icon resource; what it points to is the implementation's own.
using HICON = struct HICON__*;

// The Windows headers define these as macros with the same values.
#ifndef IDOK
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
#endif
#ifndef IDC_STATIC
constexpr int IDC_STATIC = -1;
#endif

// Message box styles.
#ifndef MB_OK
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_ICONERROR = 0x10;  // also known as MB_ICONHAND / MB_ICONSTOP
constexpr UINT MB_ICONEXCLAMATION = 0x30;
#endif

// Commands that the framework routes to the application object.
constexpr UINT ID_APP_EXIT = 57665;
constexpr UINT ID_HELP = 57670;

// Window messages the program sends itself.
#ifndef WM_CLOSE
constexpr UINT WM_CLOSE = 0x0010;
#endif

// Dial-up flags.
#ifndef INTERNET_AUTODIAL_FORCE_ONLINE
constexpr DWORD INTERNET_AUTODIAL_FORCE_ONLINE = 1;
#endif

class CWinApp;

/// The single application object, or null before it is constructed.
CWinApp* AfxGetApp();

/// Shows a modal message box with the application name as caption.
/// @returns the button that closed it (IDOK).
int AfxMessageBox(const std::string& strText, UINT nType = MB_OK);

/// Tests replace the visible box: the hook receives the text and style and returns the button.
/// Pass an empty function to show real boxes again.
using MessageBoxHook = std::function<int(const std::string& strText, UINT nType)>;
void AfxSetMessageBoxHook(MessageBoxHook hook);

#ifdef _WIN32
// The system's own: the code of the last failed operation (after a socket operation, Winsock's),
// and the beep of the given type.
extern "C" {
__declspec(dllimport) DWORD __stdcall GetLastError(void);
__declspec(dllimport) void __stdcall SetLastError(DWORD dwErrCode);
__declspec(dllimport) BOOL __stdcall MessageBeep(UINT uType);
}
#else
/// The code of the last failed platform operation; after a socket operation it is errno.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
/// Sounds the system beep of the given type.
BOOL MessageBeep(UINT uType);
#endif

/// The program's beep: MessageBeep, unless a test has set a hook, which then hears it instead.
BOOL AfxMessageBeep(UINT uType);
/// Tests observe the beeps through the hook; pass an empty function to sound them again.
void AfxSetMessageBeepHook(std::function<void(UINT)> hook);

/// The icon resource nID, the same handle for every call, or nullptr when there is none.
HICON AfxLoadIcon(UINT nID);

/// The three-dimensional control look is the toolkit's own; nothing to switch on.
bool Enable3dControlsStatic();

/// Prepares the socket layer. @returns false (with GetLastError set) when sockets are unusable.
bool AfxSocketInit();

/// Dial-up networking. Where the device is reached without dial-up, dialing succeeds at once.
class IDialer {
public:
  virtual ~IDialer() = default;
  /// @returns 0 and a handle in *pdwConnection on success (0 when the platform gave none),
  /// otherwise an error code.
  virtual DWORD Dial(const std::string& strConnectionName, DWORD_PTR* pdwConnection) = 0;
  /// @returns 0 on success, otherwise an error code.
  virtual DWORD HangUp(DWORD_PTR dwConnection) = 0;
};

/// Replaces the dialer (tests); null restores the platform's own.
void AfxSetDialer(IDialer* pDialer);
/// The platform's own dialer: on Linux one that succeeds at once, on Windows the system's.
IDialer& AfxGetPlatformDialer();

/// Dials through the current dialer. (The Windows implementation reaches the system's functions of
/// these names without their header, so the two never meet in one file.)
DWORD InternetDial(HWND hwndParent, const char* lpszConnectoid, DWORD dwFlags,
                   DWORD_PTR* lpdwConnection, DWORD dwReserved);
DWORD InternetHangUp(DWORD_PTR dwConnection, DWORD dwReserved);

/// Runs the application: constructs the toolkit, calls InitInstance, the event loop when
/// InitInstance returns true, then ExitInstance. @returns the process exit status.
int AfxWinMain(int argc, char** argv);

/// SIGTERM, SIGINT and SIGHUP end every open modal loop, innermost first, and ask the main
/// window to close as its close box would. Called by AfxWinMain.
void AfxInstallTerminationHandlers();

/// True once a termination signal has arrived; modal loops that start afterwards end at once.
bool AfxIsTerminating();
