// The store of the process's own: a fresh key below the user's HKEY_CURRENT_USER stands for
// HKEY_CURRENT_USER itself in this process (RegOverridePredefKey), so that the registry store
// and everyone who opens HKEY_CURRENT_USER here meet in it. Other processes of the prefix (a
// running Mintora.exe with its seeded settings) keep seeing the real key.
#include "ProfileSandbox.h"

#include "Win32.h"

#include <atomic>
#include <string>

CProfileSandbox::CProfileSandbox() {
  static std::atomic<unsigned> s_nCount{0};
  m_strRoot = "Software\\Tessaline Test Stores\\" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(GetTickCount64()) + "-" + std::to_string(s_nCount++);
  HKEY hKey = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, m_strRoot.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &hKey, nullptr) == ERROR_SUCCESS &&
      RegOverridePredefKey(HKEY_CURRENT_USER, hKey) == ERROR_SUCCESS)
    m_pHandle = hKey;
  else if (hKey)
    RegCloseKey(hKey);
  if (!m_pHandle)
    m_strRoot.clear();
}

CProfileSandbox::~CProfileSandbox() {
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  if (m_pHandle)
    RegCloseKey(static_cast<HKEY>(m_pHandle));
  if (!m_strRoot.empty()) {
    RegDeleteTreeA(HKEY_CURRENT_USER, m_strRoot.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, m_strRoot.c_str());
  }
}
