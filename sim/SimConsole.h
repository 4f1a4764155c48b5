// Headless mode: line commands on standard input, one line of output per datagram and per event
// on standard output, flushed at once. The command set and the output format are in README.md.
#pragma once

#include <QObject>
#include <QString>

#include <string>

class CSimDevice;
class QSocketNotifier;

class CSimConsole : public QObject {
  Q_OBJECT

public:
  /// Prints every line of pDevice; reads commands once Start is called.
  explicit CSimConsole(CSimDevice& device, QObject* pParent = nullptr);

  /// Starts reading standard input. End of input quits the application, like "quit".
  void Start();
  /// Carries out one command line. @returns false for "quit".
  bool Execute(const std::string& strLine);
  /// Writes one line to standard output and flushes it.
  static void Print(const std::string& strLine);

private slots:
  void OnStdinReadable();
  void OnLine(const QString& strLine);

private:
  std::string StatusLine() const;
  void PrintHelp() const;

  CSimDevice& m_device;
  QSocketNotifier* m_pNotifier = nullptr;
  std::string m_strPending;  // input read but not yet ended by a line feed
};
