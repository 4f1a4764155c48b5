// The floor for a datagram's round trip under Windows: one socket on the same address pair as
// Mintora and its device, and nothing between receiving and sending back.
//
//   udp_echo_win32.exe PORT [--select|--select-poll]
//       Binds all local addresses on PORT (SO_REUSEADDR, as Mintora does), takes 127.0.0.2:PORT as
//       its only peer and sends every datagram straight back. An empty datagram ends it. By
//       default it waits in a blocking recv (the floor of the median); with --select it answers
//       from a window that WSAAsyncSelect notifies, the way a Win32 program with a message loop
//       waits (the floor of the 99th percentile). --select-poll is --select that also asks
//       select() whether a datagram is waiting before each receive and after each answer, as a
//       socket layer that drains its queue within one notification does: it shows what those
//       two questions cost.
#include "DeviceSocket.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
SOCKET g_socket = INVALID_SOCKET;
bool g_bPoll = false;

bool HasDatagramWaiting() {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(g_socket, &readable);
  timeval now = {0, 0};
  return select(0, &readable, nullptr, nullptr, &now) == 1;
}

int BlockingEcho() {
  char buffer[1024];
  for (;;) {
    const int n = recv(g_socket, buffer, sizeof buffer, 0);
    if (n == 0)
      return 0;
    if (n > 0)
      send(g_socket, buffer, n, 0);
    else if (WSAGetLastError() != WSAECONNRESET && WSAGetLastError() != WSAEINTR)
      return 1;
  }
}

LRESULT CALLBACK EchoWindowProc(HWND hwnd, UINT nMessage, WPARAM wParam, LPARAM lParam) {
  if (nMessage != kSocketMessage)
    return DefWindowProcW(hwnd, nMessage, wParam, lParam);
  if (WSAGETSELECTEVENT(lParam) == FD_READ && (!g_bPoll || HasDatagramWaiting())) {
    char buffer[1024];
    const int n = recv(g_socket, buffer, sizeof buffer, 0);
    if (n == 0)
      PostQuitMessage(0);
    else if (n > 0)
      send(g_socket, buffer, n, 0);
    if (g_bPoll)
      HasDatagramWaiting();
  }
  return 0;
}

int SelectEcho() {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = EchoWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"MintoraBenchEcho";
  RegisterClassW(&windowClass);
  const HWND hwnd = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, windowClass.hInstance, nullptr);
  if (!hwnd || WSAAsyncSelect(g_socket, hwnd, kSocketMessage, FD_READ) != 0)
    return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0)
    DispatchMessageW(&msg);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  g_bPoll = argc == 3 && std::strcmp(argv[2], "--select-poll") == 0;
  const bool bSelect = g_bPoll || (argc == 3 && std::strcmp(argv[2], "--select") == 0);
  if (argc != 2 && !bSelect) {
    std::fprintf(stderr, "usage: udp_echo_win32 PORT [--select|--select-poll]\n");
    return 2;
  }
  const auto nPort = static_cast<std::uint16_t>(std::strtoul(argv[1], nullptr, 10));
  if (!StartWinsock())
    return 1;
  g_socket = OpenDeviceSocket(nPort);
  if (g_socket == INVALID_SOCKET) {
    std::fprintf(stderr, "udp_echo_win32: port %u: error %d\n", nPort, WSAGetLastError());
    return 1;
  }
  const int nResult = bSelect ? SelectEcho() : BlockingEcho();
  closesocket(g_socket);
  return nResult;
}
