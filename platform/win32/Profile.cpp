// CWinApp's settings store in the registry: under HKEY_CURRENT_USER the key
// Software\<registry key>\<application name>\<section>, integers as REG_DWORD, texts as REG_SZ.
// Every read and write opens the section afresh, so each sees what another process stored a moment
// before.
#include "Win32.h"
#include "WinApp.h"

#include <vector>

namespace {

constexpr const char* kRecentFileList = "Recent File List";

/// A section key, open while the object lives.
class CSectionKey {
public:
  /// Opens the section, creating it (and the keys above it) when missing: readers create it too.
  explicit CSectionKey(const std::string& strPath) {
    m_nError = RegCreateKeyExA(HKEY_CURRENT_USER, strPath.c_str(), 0, nullptr, 0,
                               KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &m_hKey, nullptr);
    if (m_nError != ERROR_SUCCESS)
      m_hKey = nullptr;
  }
  ~CSectionKey() {
    if (m_hKey)
      RegCloseKey(m_hKey);
  }
  CSectionKey(const CSectionKey&) = delete;
  CSectionKey& operator=(const CSectionKey&) = delete;

  HKEY Handle() const { return m_hKey; }
  LONG Error() const { return m_nError; }

private:
  HKEY m_hKey = nullptr;
  LONG m_nError = ERROR_SUCCESS;
};

/// The value's text when it is a REG_SZ. @returns false for a missing value or another type.
bool QueryText(HKEY hKey, const char* lpszEntry, std::string& rText) {
  // The value may grow between asking its size and reading it; a few rounds settle it.
  DWORD dwType = 0;
  DWORD dwSize = 0;
  std::vector<char> buffer;
  for (int nRound = 0; nRound < 4; ++nRound) {
    LONG nResult = RegQueryValueExA(hKey, lpszEntry, nullptr, &dwType, nullptr, &dwSize);
    if (nResult != ERROR_SUCCESS || dwType != REG_SZ)
      return false;
    buffer.assign(dwSize + 1, '\0');  // one more: a stored text need not end in NUL
    nResult = RegQueryValueExA(hKey, lpszEntry, nullptr, &dwType,
                               reinterpret_cast<BYTE*>(buffer.data()), &dwSize);
    if (nResult == ERROR_MORE_DATA)
      continue;
    if (nResult != ERROR_SUCCESS || dwType != REG_SZ)
      return false;
    rText.assign(buffer.data());  // up to the first NUL
    return true;
  }
  return false;
}

/// The application's key below HKEY_CURRENT_USER.
std::string ApplicationKey(const std::string& strRegistryKey, const std::string& strApp) {
  std::string strPath = "Software\\";
  if (!strRegistryKey.empty())
    strPath += strRegistryKey + "\\";
  return strPath + strApp;
}

}  // namespace

std::string CWinApp::GetProfilePath() const {
  return "HKEY_CURRENT_USER\\" + ApplicationKey(m_strRegistryKey, m_strAppName);
}

UINT CWinApp::GetProfileInt(const char* lpszSection, const char* lpszEntry, UINT nDefault) {
  const CSectionKey key(ApplicationKey(m_strRegistryKey, m_strAppName) + "\\" + lpszSection);
  if (!key.Handle())
    return nDefault;
  DWORD dwType = 0;
  DWORD dwValue = 0;
  DWORD dwSize = sizeof dwValue;
  // A value of another type, or a REG_DWORD of another size, is no integer of this store.
  if (RegQueryValueExA(key.Handle(), lpszEntry, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue),
                       &dwSize) != ERROR_SUCCESS ||
      dwType != REG_DWORD || dwSize != sizeof dwValue)
    return nDefault;
  return dwValue;
}

std::string CWinApp::GetProfileString(const char* lpszSection, const char* lpszEntry,
                                      const char* lpszDefault) {
  const CSectionKey key(ApplicationKey(m_strRegistryKey, m_strAppName) + "\\" + lpszSection);
  std::string strText;
  if (key.Handle() && QueryText(key.Handle(), lpszEntry, strText))
    return strText;
  return lpszDefault ? lpszDefault : "";
}

bool CWinApp::WriteProfileInt(const char* lpszSection, const char* lpszEntry, UINT nValue) {
  const CSectionKey key(ApplicationKey(m_strRegistryKey, m_strAppName) + "\\" + lpszSection);
  const DWORD dwValue = nValue;
  return key.Handle() &&
         RegSetValueExA(key.Handle(), lpszEntry, 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&dwValue), sizeof dwValue) == ERROR_SUCCESS;
}

bool CWinApp::WriteProfileString(const char* lpszSection, const char* lpszEntry,
                                 const char* lpszValue) {
  const CSectionKey key(ApplicationKey(m_strRegistryKey, m_strAppName) + "\\" + lpszSection);
  const std::string strValue = lpszValue ? lpszValue : "";
  return key.Handle() && RegSetValueExA(key.Handle(), lpszEntry, 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(strValue.c_str()),
                                        static_cast<DWORD>(strValue.size() + 1)) == ERROR_SUCCESS;
}

void CWinApp::SaveStdProfileSettings() {
  if (!m_bStdProfileLoaded)
    return;
  // The recent-file list goes back as it was read; nothing here ever adds to it.
  if (!m_recentFiles.empty()) {
    const std::string strSection =
        ApplicationKey(m_strRegistryKey, m_strAppName) + "\\" + kRecentFileList;
    RegDeleteKeyA(HKEY_CURRENT_USER, strSection.c_str());
    for (size_t i = 0; i < m_recentFiles.size(); ++i) {
      if (!m_recentFiles[i].empty())
        WriteProfileString(kRecentFileList, ("File" + std::to_string(i + 1)).c_str(),
                           m_recentFiles[i].c_str());
    }
  }
  if (m_nPreviewPages != 0)
    WriteProfileInt("Settings", "PreviewPages", m_nPreviewPages);
}
