// The toolkit's floor for a datagram's round trip: the UDP echo of udp_echo, but waiting in a Qt
// Widgets event loop for a QSocketNotifier, as every Qt program that answers a socket must.
//
//   qt_echo PORT
//       Binds all local addresses on PORT (SO_REUSEADDR), takes 127.0.0.2:PORT as its only peer
//       and sends every datagram straight back, one per notification.
#include "DeviceSocket.h"

#include <QApplication>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: qt_echo PORT\n");
    return 2;
  }
  const auto nPort = static_cast<std::uint16_t>(std::strtoul(argv[1], nullptr, 10));
  const int fd = OpenDeviceSocket(nPort, SOCK_NONBLOCK);
  if (fd < 0) {
    std::fprintf(stderr, "qt_echo: port %u: %s\n", nPort, std::strerror(errno));
    return 1;
  }
  QSocketNotifier notifier(fd, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [fd] {
    std::uint8_t buffer[1024];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0)
      send(fd, buffer, static_cast<size_t>(n), 0);
  });
  return app.exec();
}
