// The toolkit's floor for a datagram's round trip: the UDP echo of udp_echo, but waiting in a Qt
// Widgets event loop for a QSocketNotifier, as every Qt program that answers a socket must.
//
//   qt_echo PORT
//       Binds all local addresses on PORT (SO_REUSEADDR), takes 127.0.0.2:PORT as its only peer
//       and sends every datagram straight back, one per notification.
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
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int nOn = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
  sockaddr_in local = {};
  local.sin_family = AF_INET;
  local.sin_port = htons(nPort);
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  sockaddr_in peer = local;
  inet_pton(AF_INET, "127.0.0.2", &peer.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
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
