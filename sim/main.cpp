// lx5200e-sim: the simulated LX-5200-E interface device with an MDB coin changer behind it.
// With a window by default; --headless reads line commands on stdin instead (README.md).
#include "SimConsole.h"
#include "SimDevice.h"
#include "SimIcon.h"
#include "SimWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

/// Reads "a,b,c" into consecutive bytes of out (at most 16). @returns false on a bad entry.
bool ParseByteList(const QString& strList, std::array<std::uint8_t, 16>& out) {
  const QStringList items = strList.split(',', Qt::SkipEmptyParts);
  if (items.size() > 16)
    return false;
  out.fill(0);
  for (int i = 0; i < items.size(); ++i) {
    bool bOk = false;
    const uint nValue = items[i].trimmed().toUInt(&bOk);
    if (!bOk || nValue > 255)
      return false;
    out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(nValue);
  }
  return true;
}

bool ParseNumber(const QString& strText, int nBase, uint nMin, uint nMax, uint& nValue) {
  bool bOk = false;
  nValue = strText.toUInt(&bOk, nBase);
  return bOk && nValue >= nMin && nValue <= nMax;
}

int Fail(const QString& strMessage) {
  std::fprintf(stderr, "lx5200e-sim: %s\n", qPrintable(strMessage));
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  bool bHeadless = false;
  bool bHelp = false;
  for (int i = 1; i < argc; ++i) {
    bHeadless = bHeadless || std::strcmp(argv[i], "--headless") == 0;
    bHelp = bHelp || std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
            std::strcmp(argv[i], "--help-all") == 0 || std::strcmp(argv[i], "-?") == 0 ||
            std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0;
  }
  // No display is needed (or opened) in headless mode, nor to print the help or the version.
  std::unique_ptr<QCoreApplication> pApp(bHeadless || bHelp ? new QCoreApplication(argc, argv)
                                                            : new QApplication(argc, argv));
  QCoreApplication::setApplicationName("lx5200e-sim");
  QCoreApplication::setApplicationVersion(MINTORA_VERSION);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Simulated LX-5200-E interface device with an MDB coin changer behind it.\n"
      "Talks UDP on a loopback address only. Coin types are numbered 0..15; money in hundredths.");
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption address("address", "Loopback address to listen on (default 127.0.0.2).",
                                   "ip", "127.0.0.2");
  const QCommandLineOption commPort("comm-port", "Communication port (default 4003).", "port",
                                    "4003");
  const QCommandLineOption controlPort("control-port", "Control port (default 4001).", "port",
                                       "4001");
  const QCommandLineOption tickMs("tick-ms", "Milliseconds between ticks (default 100).", "ms",
                                  "100");
  const QCommandLineOption headless("headless", "No window: commands on stdin, traffic on stdout.");
  const QCommandLineOption peer("peer",
                                "Start polling towards this loopback address at once, "
                                "without waiting for control codes 11 and 18.",
                                "ip");
  const QCommandLineOption coins("coins",
                                 "Coin credits of coin types 0.. in units of the scaling factor "
                                 "(default 1,2,4,10,20,40).",
                                 "list");
  const QCommandLineOption scaling("scaling", "Scaling factor in hundredths (default 5).", "n",
                                   "5");
  const QCommandLineOption decimals("decimals", "Decimal places of the currency (default 2).", "n",
                                    "2");
  const QCommandLineOption country("country", "Country code, 4 BCD digits (default 1978).", "hex",
                                   "1978");
  const QCommandLineOption routing(
      "routing", "Coin types with a tube, hex bit mask (default 000F).", "hex", "000F");
  const QCommandLineOption fill(
      "fill", "Coins in the tubes of coin types 0.. at start (default 24,30,18,9).", "list");
  const QCommandLineOption capacity("capacity", "Coins a tube holds when full (default 60).", "n",
                                    "60");
  const QCommandLineOption features(
      "features", "Optional features reported in IDENTIFICATION, hex (default 5).", "hex", "5");
  const QCommandLineOption nonResponse(
      "non-response-ms",
      "Milliseconds without a poll after which the changer disables itself and gives coins back "
      "until it is polled and enabled again (default 2000).",
      "ms", "2000");
  const QCommandLineOption capture(
      "capture", "Write every datagram sent and received to this pcap file.", "file");
  parser.addOptions({address, commPort, controlPort, tickMs, headless, peer, coins, scaling,
                     decimals, country, routing, fill, capacity, features, nonResponse, capture});
  parser.process(*pApp);
  if (!parser.positionalArguments().isEmpty())
    return Fail("unexpected argument " + parser.positionalArguments().first());

  ChangerConfig config;
  uint nValue = 0;
  if (parser.isSet(coins) && !ParseByteList(parser.value(coins), config.m_coinCredit))
    return Fail("--coins takes up to 16 numbers 0..255");
  if (parser.isSet(fill) && !ParseByteList(parser.value(fill), config.m_tubeCount))
    return Fail("--fill takes up to 16 numbers 0..255");
  if (!ParseNumber(parser.value(scaling), 10, 1, 255, nValue))
    return Fail("--scaling takes 1..255");
  config.m_nScalingFactor = static_cast<std::uint8_t>(nValue);
  if (!ParseNumber(parser.value(decimals), 10, 0, 9, nValue))
    return Fail("--decimals takes 0..9");
  config.m_nDecimalPlaces = static_cast<std::uint8_t>(nValue);
  if (!ParseNumber(parser.value(country), 16, 0, 0xFFFF, nValue))
    return Fail("--country takes 4 hex digits");
  config.m_wCountryCode = static_cast<std::uint16_t>(nValue);
  if (!ParseNumber(parser.value(routing), 16, 0, 0xFFFF, nValue))
    return Fail("--routing takes a 16-bit hex mask");
  config.m_wRouting = static_cast<std::uint16_t>(nValue);
  if (!ParseNumber(parser.value(capacity), 10, 1, 255, nValue))
    return Fail("--capacity takes 1..255");
  config.m_nTubeCapacity = static_cast<std::uint8_t>(nValue);
  if (!ParseNumber(parser.value(features), 16, 0, 0xFFFFFFFFu, nValue))
    return Fail("--features takes a 32-bit hex mask");
  config.m_dwOptionalFeatures = nValue;
  if (!ParseNumber(parser.value(nonResponse), 10, 1, 3600000, nValue))
    return Fail("--non-response-ms takes 1..3600000");
  config.m_nNonResponseMs = nValue;

  uint nCommPort = 0;
  uint nControlPort = 0;
  uint nTickMs = 0;
  if (!ParseNumber(parser.value(commPort), 10, 1, 65535, nCommPort) ||
      !ParseNumber(parser.value(controlPort), 10, 1, 65535, nControlPort))
    return Fail("ports take 1..65535");
  if (!ParseNumber(parser.value(tickMs), 10, 1, 60000, nTickMs))
    return Fail("--tick-ms takes 1..60000");
  const QHostAddress listenAddress(parser.value(address));
  if (!CSimDevice::IsLoopback(listenAddress))
    return Fail("--address must be an IPv4 address in 127.0.0.0/8");
  const QHostAddress peerAddress(parser.value(peer));
  if (parser.isSet(peer) && !CSimDevice::IsLoopback(peerAddress))
    return Fail("--peer must be an IPv4 address in 127.0.0.0/8");

  CSimDevice device(config);
  device.SetTickInterval(static_cast<int>(nTickMs));
  std::unique_ptr<CSimConsole> pConsole;
  if (bHeadless)
    pConsole = std::make_unique<CSimConsole>(device);
  QString strError;
  if (parser.isSet(capture) && !device.OpenCapture(parser.value(capture), strError))
    return Fail(strError);
  if (!device.Open(listenAddress, static_cast<quint16>(nCommPort),
                   static_cast<quint16>(nControlPort), strError))
    return Fail(strError);

  std::unique_ptr<CSimWindow> pWindow;
  if (bHeadless) {
    CSimConsole::Print(QStringLiteral("READY %1 comm %2 control %3")
                           .arg(listenAddress.toString())
                           .arg(nCommPort)
                           .arg(nControlPort)
                           .toStdString());
    pConsole->Start();
  } else {
    QApplication::setWindowIcon(CreateSimIcon());
    // Docks match the window to com.tessaline.Lx5200eSim.desktop by this name (Wayland's app
    // id); on X11 by WM_CLASS, whose class is the application name (StartupWMClass).
    QApplication::setDesktopFileName("com.tessaline.Lx5200eSim");
    pWindow = std::make_unique<CSimWindow>(device);
    pWindow->show();
  }
  if (parser.isSet(peer))
    device.StartPollingTo(peerAddress);
  return pApp->exec();
}
