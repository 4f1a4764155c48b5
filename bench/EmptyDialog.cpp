// The floor for starting a Qt Widgets program: one empty dialog, shown, nothing else.
//
//   empty_dialog CONTROL_PORT [--text]
//       Shows an empty dialog; once the event loop runs, sends 08 03 0B from all local addresses,
//       port CONTROL_PORT, to 127.0.0.2:CONTROL_PORT, as Mintora's panel does when it opens, and
//       then waits, doing nothing, until it is ended by a signal. With --text the dialog holds
//       one line of text, which is what it takes to make Qt load its font database; and as any
//       program that shows text can, it reads fontconfig's configuration on a second thread
//       while the platform plugin starts (Mintora does so too), so that a start that uses both
//       CPUs is not judged against one that uses only one.
#include "DeviceSocket.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTimer>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void SendOpenCode(std::uint16_t nPort) {
  const int fd = OpenDeviceSocket(nPort);
  const std::uint8_t code[3] = {0x08, 0x03, 0x0B};
  if (fd < 0)
    return;
  send(fd, code, sizeof code, 0);
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  const bool bText = argc == 3 && std::strcmp(argv[2], "--text") == 0;
  std::thread fonts;
  if (bText) {
    fonts = std::thread([] {
      if (auto pfnInit = reinterpret_cast<int (*)()>(dlsym(RTLD_DEFAULT, "FcInit")))
        pfnInit();
    });
  }
  QApplication app(argc, argv);
  if (fonts.joinable())
    fonts.join();
  if (argc < 2 || argc > 3)
    return 2;
  const auto nPort = static_cast<std::uint16_t>(std::strtoul(argv[1], nullptr, 10));
  QDialog dialog;
  if (bText)
    new QLabel(QStringLiteral("Credit 0.00"), &dialog);
  QTimer::singleShot(0, &dialog, [nPort] { SendOpenCode(nPort); });
  dialog.show();
  return app.exec();
}
