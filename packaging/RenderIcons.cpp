// render-icons OUTDIR: writes the program's and the simulated device's icons as PNG files into a
// hicolor theme tree under OUTDIR, from the same drawing code that the windows show.
// render-icons --ico FILE: writes the program's icon as a Windows .ico (16, 32, 48 and 256
// pixels) for the resources of the Windows build.
// render-icons --wizard FILE: writes the picture of the Windows installer's welcome and finish
// pages, the program's icon and name on its own colours, as the 164 x 314 pixel BMP that NSIS
// wants there.
#include "AppIconArt.h"
#include "SimIcon.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

#include <cstdio>

namespace {

constexpr int kSizes[] = {16, 32, 48, 256};

void AppendLe(QByteArray& out, quint32 nValue, int nBytes) {
  for (int i = 0; i < nBytes; ++i)
    out.append(static_cast<char>((nValue >> (8 * i)) & 0xFF));
}

/// One image of an .ico in the bitmap form: a BITMAPINFOHEADER of twice the height, the 32-bit
/// BGRA rows bottom-up, then the 1-bit transparency mask (set = transparent), rows padded to 32
/// bits.
QByteArray IcoBitmap(const QImage& image) {
  const int n = image.width();
  const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
  const int nMaskStride = (n + 31) / 32 * 4;
  QByteArray out;
  AppendLe(out, 40, 4);
  AppendLe(out, static_cast<quint32>(n), 4);
  AppendLe(out, static_cast<quint32>(2 * n), 4);
  AppendLe(out, 1, 2);   // planes
  AppendLe(out, 32, 2);  // bits per pixel
  AppendLe(out, 0, 4);   // BI_RGB
  AppendLe(out, static_cast<quint32>(n * n * 4 + nMaskStride * n), 4);
  for (int i = 0; i < 4; ++i)
    AppendLe(out, 0, 4);
  for (int y = n - 1; y >= 0; --y) {
    const auto* pRow = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < n; ++x)
      AppendLe(out, pRow[x], 4);  // 0xAARRGGBB: B, G, R, A in memory
  }
  for (int y = n - 1; y >= 0; --y) {
    const auto* pRow = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    QByteArray mask(nMaskStride, '\0');
    for (int x = 0; x < n; ++x) {
      if (qAlpha(pRow[x]) == 0)
        mask[x / 8] = static_cast<char>(mask[x / 8] | (0x80 >> (x % 8)));
    }
    out.append(mask);
  }
  return out;
}

/// ICONDIR, one ICONDIRENTRY per size, then the images: bitmaps up to 48 pixels, PNG at 256.
bool WriteIco(const QIcon& icon, const QString& strFile) {
  QList<QByteArray> images;
  for (int nSize : kSizes) {
    const QImage image = icon.pixmap(QSize(nSize, nSize)).toImage();
    if (image.size() != QSize(nSize, nSize))
      return false;
    if (nSize < 256) {
      images.append(IcoBitmap(image));
      continue;
    }
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
      return false;
    images.append(png);
  }
  QByteArray out;
  AppendLe(out, 0, 2);
  AppendLe(out, 1, 2);  // icon
  AppendLe(out, static_cast<quint32>(images.size()), 2);
  quint32 nOffset = 6 + 16 * static_cast<quint32>(images.size());
  for (qsizetype i = 0; i < images.size(); ++i) {
    const int nSize = kSizes[i];
    out.append(static_cast<char>(nSize < 256 ? nSize : 0));  // 0 means 256
    out.append(static_cast<char>(nSize < 256 ? nSize : 0));
    AppendLe(out, 0, 2);   // no palette, reserved
    AppendLe(out, 1, 2);   // planes
    AppendLe(out, 32, 2);  // bits per pixel
    AppendLe(out, static_cast<quint32>(images[i].size()), 4);
    AppendLe(out, nOffset, 4);
    nOffset += static_cast<quint32>(images[i].size());
  }
  for (const QByteArray& image : images)
    out.append(image);
  QFile file(strFile);
  return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

/// The welcome and finish pages' picture: 164 x 314 pixels (NSIS's Modern UI draws it so, at 96
/// dots per inch), 24-bit colour without alpha, which every Windows version shows alike.
bool WriteWizardBitmap(const QIcon& icon, const QString& strFile) {
  constexpr int kWidth = 164;
  constexpr int kHeight = 314;
  constexpr int kIcon = 128;
  QImage image(kWidth, kHeight, QImage::Format_RGB888);
  QPainter dc(&image);
  dc.setRenderHint(QPainter::Antialiasing);
  // The coin's own golds, light at the top, where the icon sits, to deeper at the foot.
  QLinearGradient background(0, 0, 0, kHeight);
  background.setColorAt(0.0, QColor(255, 250, 228));
  background.setColorAt(1.0, QColor(236, 190, 80));
  dc.fillRect(image.rect(), background);
  dc.drawPixmap((kWidth - kIcon) / 2, 48, icon.pixmap(QSize(kIcon, kIcon)));
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(24);
  font.setBold(true);
  dc.setFont(font);
  dc.setPen(QColor(120, 78, 0));
  dc.drawText(QRect(0, 48 + kIcon + 12, kWidth, 32), Qt::AlignCenter, QStringLiteral("Mintora"));
  font.setPixelSize(13);
  font.setBold(false);
  dc.setFont(font);
  dc.drawText(QRect(0, kHeight - 36, kWidth, 20), Qt::AlignCenter, QStringLiteral("Tessaline"));
  dc.end();
  return image.save(strFile, "BMP");
}

int WriteThemeTree(const char* pszOutDir) {
  const struct {
    const char* pszName;
    QIcon icon;
  } icons[] = {{"com.tessaline.Mintora", CreateAppIcon()},
               {"com.tessaline.Lx5200eSim", CreateSimIcon()}};
  for (const auto& entry : icons) {
    for (int nSize : kSizes) {
      const QString strDir =
          QStringLiteral("%1/hicolor/%2x%2/apps").arg(QString::fromLocal8Bit(pszOutDir)).arg(nSize);
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

}  // namespace

int main(int argc, char* argv[]) {
  // Drawing needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QByteArray option = argc == 3 ? QByteArray(argv[1]) : QByteArray();
  if (option == "--ico" || option == "--wizard") {
    const QString strFile = QString::fromLocal8Bit(argv[2]);
    if (!(option == "--ico" ? WriteIco(CreateAppIcon(), strFile)
                            : WriteWizardBitmap(CreateAppIcon(), strFile))) {
      std::fprintf(stderr, "render-icons: cannot write %s\n", argv[2]);
      return 1;
    }
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: render-icons OUTDIR\n       render-icons --ico FILE\n"
                 "       render-icons --wizard FILE\n");
    return 2;
  }
  return WriteThemeTree(argv[1]);
}
