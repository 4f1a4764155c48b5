// The floor under the empty dialog: a Windows program with no window at all that only sends the
// open code 08 03 0B to 127.0.0.2:CONTROL_PORT and then waits until it is ended. Against the empty
// dialog it shows what Wine's own start of a process costs and what the first window adds.
//
//   send_only_win32.exe CONTROL_PORT
#include "DeviceSocket.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2 || !StartWinsock())
    return 2;
  const auto nPort = static_cast<std::uint16_t>(std::strtoul(argv[1], nullptr, 10));
  const SOCKET s = OpenDeviceSocket(nPort);
  if (s == INVALID_SOCKET)
    return 1;
  const char code[3] = {0x08, 0x03, 0x0B};
  send(s, code, sizeof code, 0);
  closesocket(s);
  Sleep(INFINITE);
  return 0;
}
