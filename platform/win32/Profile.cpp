// CWinApp's settings store in the registry: under HKEY_CURRENT_USER the key
// Software\<registry key>\<application name>\<section>, integers as REG_DWORD, texts as REG_SZ.
// Every read and write goes to the registry, so each sees what another process stored a moment
// before; only the section's key is held open for a burst of them (ReleaseProfileKeys).
#include "Win32.h"
#include "WinApp.h"

#include <map>
#include <mutex>
#include <vector>

namespace {

constexpr const char* kRecentFileList = "Recent File List";

/// How long a section's key is held open after it was opened: a start reads some twenty values
/// one after another, and each would otherwise open and close its key, two more requests to the
/// registry (under Wine, to its server) than the read itself. The values are read afresh every
/// time; holding the key only saves finding it by name.
constexpr ULONGLONG kHoldMs = 500;

/// A section key held open, and when it was opened.
struct HeldKey {
  HKEY hKey;
  ULONGLONG nOpenedAt;
};

/// The keys held, by path, and the lock that the store's calls take turns at.
struct HeldKeys {
  std::map<std::string, HeldKey> keys;
  std::mutex lock;
};
HeldKeys& Held() {
  static HeldKeys s_held;  // made at first use: application objects may read before main
  return s_held;
}

void Release(std::map<std::string, HeldKey>::iterator it) {
  RegCloseKey(it->second.hKey);
  Held().keys.erase(it);
}

/// Runs operation(hKey), a registry call on the section's key that returns its error code, on
/// the held key, or on the key opened (and created when missing, and the keys above it: readers
/// create it too) when none is held or it was held for kHoldMs. A key that another writer deleted
/// since it was opened answers ERROR_KEY_DELETED, whatever is stored under the name now; the
/// operation then runs once more on the key opened afresh.
/// @returns the operation's code, or the error of opening the key.
template <class Operation>
LONG OnSection(const std::string& strPath, Operation operation) {
  const std::lock_guard<std::mutex> lock(Held().lock);
  auto& keys = Held().keys;
  auto it = keys.find(strPath);
  if (it != keys.end() && GetTickCount64() - it->second.nOpenedAt >= kHoldMs) {
    Release(it);
    it = keys.end();
  }
  for (bool bFresh = it == keys.end();; bFresh = true) {
    if (bFresh) {
      HKEY hKey = nullptr;
      const LONG nError = RegCreateKeyExA(HKEY_CURRENT_USER, strPath.c_str(), 0, nullptr, 0,
                                          KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &hKey, nullptr);
      if (nError != ERROR_SUCCESS)
        return nError;
      it = keys.insert_or_assign(strPath, HeldKey{hKey, GetTickCount64()}).first;
    }
    const LONG nResult = operation(it->second.hKey);
    if (nResult != ERROR_KEY_DELETED || bFresh)
      return nResult;
    Release(it);
  }
}

/// The value's text when it is a REG_SZ, in rText. @returns ERROR_SUCCESS, the registry's error,
/// or ERROR_INVALID_DATATYPE for a value of another type.
LONG QueryText(HKEY hKey, const char* lpszEntry, std::string& rText) {
  // The value may grow between asking its size and reading it; a few rounds settle it.
  DWORD dwType = 0;
  DWORD dwSize = 0;
  std::vector<char> buffer;
  for (int nRound = 0; nRound < 4; ++nRound) {
    LONG nResult = RegQueryValueExA(hKey, lpszEntry, nullptr, &dwType, nullptr, &dwSize);
    if (nResult != ERROR_SUCCESS)
      return nResult;
    if (dwType != REG_SZ)
      return ERROR_INVALID_DATATYPE;
    buffer.assign(dwSize + 1, '\0');  // one more: a stored text need not end in NUL
    nResult = RegQueryValueExA(hKey, lpszEntry, nullptr, &dwType,
                               reinterpret_cast<BYTE*>(buffer.data()), &dwSize);
    if (nResult == ERROR_MORE_DATA)
      continue;
    if (nResult != ERROR_SUCCESS)
      return nResult;
    if (dwType != REG_SZ)
      return ERROR_INVALID_DATATYPE;
    rText.assign(buffer.data());  // up to the first NUL
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

/// The application's key below HKEY_CURRENT_USER.
std::string ApplicationKey(const std::string& strRegistryKey, const std::string& strApp) {
  std::string strPath = "Software\\";
  if (!strRegistryKey.empty())
    strPath += strRegistryKey + "\\";
  return strPath + strApp;
}

/// The section's key below HKEY_CURRENT_USER.
std::string SectionKey(const CWinApp& app, const char* lpszSection) {
  return ApplicationKey(app.m_strRegistryKey, app.m_strAppName) + "\\" + lpszSection;
}

}  // namespace

std::string CWinApp::GetProfilePath() const {
  return "HKEY_CURRENT_USER\\" + ApplicationKey(m_strRegistryKey, m_strAppName);
}

UINT CWinApp::GetProfileInt(const char* lpszSection, const char* lpszEntry, UINT nDefault) {
  DWORD dwType = 0;
  DWORD dwValue = 0;
  DWORD dwSize = 0;
  const LONG nResult = OnSection(SectionKey(*this, lpszSection), [&](HKEY hKey) {
    dwSize = sizeof dwValue;
    return RegQueryValueExA(hKey, lpszEntry, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue),
                            &dwSize);
  });
  // A value of another type, or a REG_DWORD of another size, is no integer of this store.
  if (nResult != ERROR_SUCCESS || dwType != REG_DWORD || dwSize != sizeof dwValue)
    return nDefault;
  return dwValue;
}

std::string CWinApp::GetProfileString(const char* lpszSection, const char* lpszEntry,
                                      const char* lpszDefault) {
  std::string strText;
  if (OnSection(SectionKey(*this, lpszSection),
                [&](HKEY hKey) { return QueryText(hKey, lpszEntry, strText); }) == ERROR_SUCCESS)
    return strText;
  return lpszDefault ? lpszDefault : "";
}

bool CWinApp::WriteProfileInt(const char* lpszSection, const char* lpszEntry, UINT nValue) {
  const DWORD dwValue = nValue;
  return OnSection(SectionKey(*this, lpszSection), [&](HKEY hKey) {
           return RegSetValueExA(hKey, lpszEntry, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&dwValue), sizeof dwValue);
         }) == ERROR_SUCCESS;
}

bool CWinApp::WriteProfileString(const char* lpszSection, const char* lpszEntry,
                                 const char* lpszValue) {
  const std::string strValue = lpszValue ? lpszValue : "";
  return OnSection(SectionKey(*this, lpszSection), [&](HKEY hKey) {
           return RegSetValueExA(hKey, lpszEntry, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(strValue.c_str()),
                                 static_cast<DWORD>(strValue.size() + 1));
         }) == ERROR_SUCCESS;
}

void CWinApp::SaveStdProfileSettings() {
  if (!m_bStdProfileLoaded)
    return;
  // The recent-file list goes back as it was read; nothing here ever adds to it.
  if (!m_recentFiles.empty()) {
    RegDeleteKeyA(HKEY_CURRENT_USER, SectionKey(*this, kRecentFileList).c_str());
    for (size_t i = 0; i < m_recentFiles.size(); ++i) {
      if (!m_recentFiles[i].empty())
        WriteProfileString(kRecentFileList, ("File" + std::to_string(i + 1)).c_str(),
                           m_recentFiles[i].c_str());
    }
  }
  if (m_nPreviewPages != 0)
    WriteProfileInt("Settings", "PreviewPages", m_nPreviewPages);
}

void ReleaseProfileKeys() {
  const std::lock_guard<std::mutex> lock(Held().lock);
  while (!Held().keys.empty())
    Release(Held().keys.begin());
}
