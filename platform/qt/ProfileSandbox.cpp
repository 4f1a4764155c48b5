// The store of the process's own: a fresh folder in place of $XDG_CONFIG_HOME, which
// GetProfilePath reads at every call.
#include "ProfileSandbox.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

CProfileSandbox::CProfileSandbox() {
  m_bHadSaved = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  m_strSaved = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString();
  auto* pDir = new QTemporaryDir(QDir::tempPath() + "/mintora-store-XXXXXX");
  m_pHandle = pDir;
  if (!pDir->isValid())
    return;
  m_strRoot = pDir->path().toStdString();
  qputenv("XDG_CONFIG_HOME", pDir->path().toLocal8Bit());
}

CProfileSandbox::~CProfileSandbox() {
  if (m_bHadSaved)
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_strSaved));
  else
    qunsetenv("XDG_CONFIG_HOME");
  delete static_cast<QTemporaryDir*>(m_pHandle);  // removes the folder and all in it
}
