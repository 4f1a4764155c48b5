// The floor for starting a Win32 dialog program: one empty dialog, shown, nothing else.
//
//   empty_dialog_win32.exe CONTROL_PORT [--text|--dial]
//       Shows an empty modal dialog (an in-memory template in MS Sans Serif 8, with a caption).
//       Once it is shown, sends 08 03 0B from all local addresses, port CONTROL_PORT, to
//       127.0.0.2:CONTROL_PORT, as Mintora's panel does when it opens, then waits, doing nothing,
//       until it is closed or ended. With --text the dialog holds one line of static text. With
//       --dial it first starts Winsock, loads wininet and dials the default connection as
//       Mintora must before it opens its sockets (InternetDialA, forced online): the floor of a
//       program that dials at every start.
#include "DeviceSocket.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

constexpr UINT kShown = WM_APP + 1;
std::uint16_t g_nPort = 0;

void SendOpenCode() {
  if (!StartWinsock())
    return;
  const SOCKET s = OpenDeviceSocket(g_nPort);
  if (s == INVALID_SOCKET)
    return;
  const char code[3] = {0x08, 0x03, 0x0B};
  send(s, code, sizeof code, 0);
  closesocket(s);
}

/// Loads wininet by name and dials, as Mintora's dialer does. @returns InternetDialA's result.
DWORD Dial() {
  using DialFunction = DWORD(WINAPI*)(HWND, LPSTR, DWORD, DWORD_PTR*, DWORD);
  const HMODULE hWininet = LoadLibraryA("wininet.dll");
  if (!hWininet)
    return GetLastError();
  const auto pDial = reinterpret_cast<DialFunction>(
      reinterpret_cast<void*>(GetProcAddress(hWininet, "InternetDialA")));
  if (!pDial || !GetProcAddress(hWininet, "InternetHangUp"))
    return ERROR_PROC_NOT_FOUND;
  char szName[] = "LX-5200";
  DWORD_PTR dwConnection = 0;
  constexpr DWORD kForceOnline = 1;  // INTERNET_AUTODIAL_FORCE_ONLINE
  return pDial(nullptr, szName, kForceOnline, &dwConnection, 0);
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM) {
  switch (nMessage) {
  case WM_INITDIALOG:
    // Posted, so that it is handled from the dialog's message loop, after the dialog is shown.
    PostMessageW(hwnd, kShown, 0, 0);
    return TRUE;
  case kShown: SendOpenCode(); return TRUE;
  case WM_COMMAND:
    if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)
      EndDialog(hwnd, 0);
    return TRUE;
  case WM_CLOSE: EndDialog(hwnd, 0); return TRUE;
  default: return FALSE;
  }
}

/// Writes a dialog template into a WORD buffer: the words are appended in order, and every item
/// starts on a DWORD boundary.
class CTemplate {
public:
  void Word(WORD n) { m_words[m_nSize++] = n; }
  void Dword(DWORD n) {
    Word(LOWORD(n));
    Word(HIWORD(n));
  }
  void Text(const wchar_t* lpsz) {
    do
      Word(static_cast<WORD>(*lpsz));
    while (*lpsz++);
  }
  void Align() {
    if (m_nSize % 2)
      Word(0);
  }
  LPCDLGTEMPLATEW Get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(m_words); }

private:
  alignas(DWORD) WORD m_words[256] = {};
  size_t m_nSize = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const bool bText = argc == 3 && std::strcmp(argv[2], "--text") == 0;
  const bool bDial = argc == 3 && std::strcmp(argv[2], "--dial") == 0;
  if (argc < 2 || argc > 3 || (argc == 3 && !bText && !bDial))
    return 2;
  g_nPort = static_cast<std::uint16_t>(std::strtoul(argv[1], nullptr, 10));
  if (bDial && (!StartWinsock() || Dial() != 0))
    return 1;

  CTemplate dialog;
  dialog.Dword(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
  dialog.Dword(0);               // extended style
  dialog.Word(bText ? 1 : 0);    // items
  dialog.Word(0);                // x
  dialog.Word(0);                // y
  dialog.Word(200);              // cx, dialog units
  dialog.Word(120);              // cy
  dialog.Word(0);                // no menu
  dialog.Word(0);                // the dialog class
  dialog.Text(L"Empty dialog");  // caption
  dialog.Word(8);                // font size
  dialog.Text(L"MS Sans Serif");
  if (bText) {
    dialog.Align();
    dialog.Dword(WS_CHILD | WS_VISIBLE | SS_LEFT);
    dialog.Dword(0);
    dialog.Word(10);
    dialog.Word(10);
    dialog.Word(100);
    dialog.Word(8);
    dialog.Word(0xFFFF);  // id
    dialog.Word(0xFFFF);  // a predefined class:
    dialog.Word(0x0082);  // static
    dialog.Text(L"Credit 0.00");
    dialog.Word(0);  // no creation data
  }
  DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), nullptr, DialogProc, 0);
  return 0;
}
