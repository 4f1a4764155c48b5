// The framework's own two sections of the settings store, read at start-up; each implementation
// writes them back in its SaveStdProfileSettings.
#include "WinApp.h"

void CWinApp::LoadStdProfileSettings(UINT nMaxMRU) {
  m_bStdProfileLoaded = true;
  m_recentFiles.clear();
  for (UINT i = 1; i <= nMaxMRU; ++i) {
    const std::string strEntry = "File" + std::to_string(i);
    m_recentFiles.push_back(GetProfileString("Recent File List", strEntry.c_str(), ""));
  }
  bool bAny = false;
  for (const std::string& strFile : m_recentFiles)
    bAny = bAny || !strFile.empty();
  if (!bAny)
    m_recentFiles.clear();
  m_nPreviewPages = GetProfileInt("Settings", "PreviewPages", 0);
}
