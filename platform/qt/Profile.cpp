// CWinApp's settings store in a QSettings file in INI format:
// $XDG_CONFIG_HOME/<registry key>/<application name>.conf, sections as groups, every value as
// text. Every read and write opens the file afresh, so each sees what another process stored a
// moment before.
#include "WinApp.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>

namespace {

QString Key(const char* lpszSection, const char* lpszEntry) {
  return QString::fromUtf8(lpszSection) + QLatin1Char('/') + QString::fromUtf8(lpszEntry);
}

/// A stored value as text. A text with commas that was not written quoted reads back as a list.
QString StoredText(const QVariant& value) {
  if (value.typeId() == QMetaType::QStringList)
    return value.toStringList().join(QLatin1Char(','));
  return value.toString();
}

/// Integers are 32-bit words: unsigned decimal text, or a negative number that wraps as the
/// word it was written from.
bool ParseWord(const QString& strText, UINT& nValue) {
  bool bOk = false;
  const qlonglong n = strText.trimmed().toLongLong(&bOk, 10);
  if (!bOk || n < -2147483648LL || n > 0xFFFFFFFFLL)
    return false;
  nValue = static_cast<UINT>(n);
  return true;
}

/// QSettings reads whatever the path names: a FIFO there would block the program for good and a
/// device such as /dev/zero would never end. Only a regular file, or none yet, holds settings;
/// anything else is a store that cannot be read or written.
bool IsStoreFile(const QString& strPath) {
  const QFileInfo info(strPath);
  return !info.exists() || info.isFile();
}

/// QSettings waits without limit for the lock file beside the store before it writes. A lock
/// that is never let go (a folder of that name, a lock left by a program on another host) would
/// freeze the program in a dialog's OK; such a write is given up instead, like any failed write.
/// A live writer holds the lock for milliseconds only.
bool StoreIsLockable(const QString& strPath) {
  QLockFile lock(strPath + QStringLiteral(".lock"));
  if (lock.tryLock(250)) {
    lock.unlock();
    return true;
  }
  // A missing folder or a refused lock file is QSettings' own failure to report.
  return lock.error() != QLockFile::LockFailedError;
}

}  // namespace

std::string CWinApp::GetProfilePath() const {
  QString strBase = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (strBase.isEmpty() || !QDir::isAbsolutePath(strBase))
    strBase = QDir::homePath() + QStringLiteral("/.config");
  QString strPath = strBase + QLatin1Char('/');
  if (!m_strRegistryKey.empty())
    strPath += QString::fromStdString(m_strRegistryKey) + QLatin1Char('/');
  strPath += QString::fromStdString(m_strAppName) + QStringLiteral(".conf");
  return strPath.toStdString();
}

UINT CWinApp::GetProfileInt(const char* lpszSection, const char* lpszEntry, UINT nDefault) {
  const QString strPath = QString::fromStdString(GetProfilePath());
  if (!IsStoreFile(strPath))
    return nDefault;
  QSettings settings(strPath, QSettings::IniFormat);
  const QVariant value = settings.value(Key(lpszSection, lpszEntry));
  UINT nValue = 0;
  if (!value.isValid() || !ParseWord(StoredText(value), nValue))
    return nDefault;
  return nValue;
}

std::string CWinApp::GetProfileString(const char* lpszSection, const char* lpszEntry,
                                      const char* lpszDefault) {
  const QString strPath = QString::fromStdString(GetProfilePath());
  QVariant value;
  if (IsStoreFile(strPath))
    value = QSettings(strPath, QSettings::IniFormat).value(Key(lpszSection, lpszEntry));
  if (!value.isValid())
    return lpszDefault ? lpszDefault : "";
  return StoredText(value).toStdString();
}

bool CWinApp::WriteProfileInt(const char* lpszSection, const char* lpszEntry, UINT nValue) {
  const QString strPath = QString::fromStdString(GetProfilePath());
  if (!IsStoreFile(strPath) || !StoreIsLockable(strPath))
    return false;
  QSettings settings(strPath, QSettings::IniFormat);
  settings.setValue(Key(lpszSection, lpszEntry), QString::number(nValue));
  settings.sync();
  return settings.status() == QSettings::NoError;
}

bool CWinApp::WriteProfileString(const char* lpszSection, const char* lpszEntry,
                                 const char* lpszValue) {
  const QString strPath = QString::fromStdString(GetProfilePath());
  if (!IsStoreFile(strPath) || !StoreIsLockable(strPath))
    return false;
  QSettings settings(strPath, QSettings::IniFormat);
  settings.setValue(Key(lpszSection, lpszEntry), QString::fromUtf8(lpszValue ? lpszValue : ""));
  settings.sync();
  return settings.status() == QSettings::NoError;
}

void CWinApp::SaveStdProfileSettings() {
  if (!m_bStdProfileLoaded)
    return;
  // The recent-file list goes back as it was read; nothing here ever adds to it.
  const QString strPath = QString::fromStdString(GetProfilePath());
  if (!m_recentFiles.empty() && IsStoreFile(strPath) && StoreIsLockable(strPath)) {
    QSettings settings(strPath, QSettings::IniFormat);
    settings.remove(QStringLiteral("Recent File List"));
    for (size_t i = 0; i < m_recentFiles.size(); ++i) {
      if (!m_recentFiles[i].empty())
        settings.setValue(QStringLiteral("Recent File List/File%1").arg(i + 1),
                          QString::fromStdString(m_recentFiles[i]));
    }
    settings.sync();
  }
  if (m_nPreviewPages != 0)
    WriteProfileInt("Settings", "PreviewPages", m_nPreviewPages);
}
