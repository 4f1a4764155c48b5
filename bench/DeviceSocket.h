// The socket of the baseline programs: bound to PORT on all local addresses and connected to the
// same port of 127.0.0.2, as Mintora's own sockets are.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

/// @returns the descriptor, or -1 with errno set. nExtraFlags: SOCK_NONBLOCK, for instance.
inline int OpenDeviceSocket(std::uint16_t nPort, int nExtraFlags = 0) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | nExtraFlags, 0);
  if (fd < 0)
    return -1;
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
    close(fd);
    return -1;
  }
  return fd;
}
