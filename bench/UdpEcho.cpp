// The floor for a datagram's round trip: two plain sockets on the same address pair as Mintora and
// its device, and nothing between receiving and sending back.
//
//   udp_echo PORT
//       Binds all local addresses on PORT (SO_REUSEADDR, as Mintora does), takes 127.0.0.2:PORT as
//       its only peer and sends every datagram straight back. An empty datagram ends it.
#include "DeviceSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: udp_echo PORT\n");
    return 2;
  }
  const auto nPort = static_cast<std::uint16_t>(std::strtoul(argv[1], nullptr, 10));
  const int fd = OpenDeviceSocket(nPort);
  if (fd < 0) {
    std::fprintf(stderr, "udp_echo: port %u: %s\n", nPort, std::strerror(errno));
    return 1;
  }
  std::uint8_t buffer[1024];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n == 0)
      return 0;
    if (n > 0)
      send(fd, buffer, static_cast<size_t>(n), 0);
    else if (errno != EINTR && errno != ECONNREFUSED)
      return 1;
  }
}
