#include "Afx.h"

#include <unistd.h>
#include <cerrno>

bool AfxSocketInit() {
  // BSD sockets need no start-up; a process that may not open descriptors fails here.
  int fd = dup(0);
  if (fd < 0 && errno == EMFILE) {
    SetLastError(EMFILE);
    return false;
  }
  if (fd >= 0)
    close(fd);
  return true;
}
