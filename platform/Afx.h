// The small application-framework layer that the rest of the program is written against.
// Names and behaviour follow the framework calls the program makes; underneath are Qt 6 and
// the BSD socket API.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT_PTR = long;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_STATIC = -1;

// Message box styles.
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_ICONERROR = 0x10;  // also known as MB_ICONHAND / MB_ICONSTOP
constexpr UINT MB_ICONEXCLAMATION = 0x30;

// Commands that the framework routes to the application object.
constexpr UINT ID_APP_EXIT = 57665;
constexpr UINT ID_HELP = 57670;

// Window messages the program sends itself.
constexpr UINT WM_CLOSE = 0x0010;

// Dial-up flags.
constexpr DWORD INTERNET_AUTODIAL_FORCE_ONLINE = 1;

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

/// Sounds the system beep of the given type. Tests may observe it through the hook.
bool MessageBeep(UINT uType);
void AfxSetMessageBeepHook(std::function<void(UINT)> hook);

/// The code of the last failed platform operation; after a socket operation it is errno.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

/// The three-dimensional control look is the toolkit's own; nothing to switch on.
bool Enable3dControlsStatic();

/// Prepares the socket layer. @returns false (with GetLastError set) when sockets are unusable.
bool AfxSocketInit();

/// Dial-up networking. Where the device is reached without dial-up, dialing succeeds at once.
class IDialer {
public:
  virtual ~IDialer() = default;
  /// @returns 0 and a non-zero handle in *pdwConnection on success, otherwise an error code.
  virtual DWORD Dial(const std::string& strConnectionName, DWORD* pdwConnection) = 0;
  /// @returns 0 on success, otherwise an error code.
  virtual DWORD HangUp(DWORD dwConnection) = 0;
};

/// Replaces the dialer (tests); null restores the built-in one that always succeeds.
void AfxSetDialer(IDialer* pDialer);

DWORD InternetDial(void* hwndParent, const char* lpszConnectoid, DWORD dwFlags,
                   DWORD* lpdwConnection, DWORD dwReserved);
DWORD InternetHangUp(DWORD dwConnection, DWORD dwReserved);

/// Runs the application: constructs the toolkit, calls InitInstance, the event loop when
/// InitInstance returns true, then ExitInstance. @returns the process exit status.
int AfxWinMain(int argc, char** argv);

/// SIGTERM, SIGINT and SIGHUP end every open modal loop, innermost first, and ask the main
/// window to close as its close box would. Called by AfxWinMain.
void AfxInstallTerminationHandlers();

/// True once a termination signal has arrived; modal loops that start afterwards end at once.
bool AfxIsTerminating();
