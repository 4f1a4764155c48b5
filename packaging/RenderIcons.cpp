// render-icons OUTDIR: writes the program's and the simulated device's icons as PNG files into a
// hicolor theme tree under OUTDIR, from the same drawing code that the windows show.
#include "AppIconArt.h"
#include "SimIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

int main(int argc, char* argv[]) {
  // Drawing needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: render-icons OUTDIR\n");
    return 2;
  }
  const struct {
    const char* pszName;
    QIcon icon;
  } icons[] = {{"com.tessaline.Mintora", CreateAppIcon()},
               {"com.tessaline.Lx5200eSim", CreateSimIcon()}};
  for (const auto& entry : icons) {
    for (int nSize : {16, 32, 48, 256}) {
      const QString strDir =
          QStringLiteral("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(nSize);
      const QString strFile = QStringLiteral("%1/%2.png").arg(strDir, entry.pszName);
      const QPixmap pixmap = entry.icon.pixmap(QSize(nSize, nSize));
      if (!QDir().mkpath(strDir) || pixmap.size() != QSize(nSize, nSize) ||
          !pixmap.save(strFile, "PNG")) {
        std::fprintf(stderr, "render-icons: cannot write %s\n", qPrintable(strFile));
        return 1;
      }
    }
  }
  return 0;
}
