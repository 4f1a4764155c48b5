// The application object's event loop and help; the rest is platform/WinApp.cpp, the settings
// store Profile.cpp.
#include "WinApp.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

int CWinApp::Run() { return QCoreApplication::exec(); }

void CWinApp::OnHelp() {
  // The help file sits beside the executable and is named like it.
  const QString strPath = QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                          QString::fromStdString(m_strAppName) + QStringLiteral(".HLP");
  if (QFileInfo::exists(strPath))
    QDesktopServices::openUrl(QUrl::fromLocalFile(strPath));
}
