#pragma once

#include "Afx.h"

#include <string>
#include <vector>

class CWnd;

/// The application object. Exactly one exists at a time; AfxGetApp returns it.
class CWinApp {
public:
  explicit CWinApp(const char* lpszAppName = nullptr);
  virtual ~CWinApp();

  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  /// Start-up. @returns true to run the application's own event loop, false to skip it.
  virtual bool InitInstance();
  /// The application's event loop (only when InitInstance returned true).
  virtual int Run();
  /// Shutdown; writes the framework's own profile sections back. @returns the exit status.
  virtual int ExitInstance();

  /// Commands that no window handled: ID_APP_EXIT closes the main window, ID_HELP opens help.
  /// @returns true when the command was handled.
  virtual bool OnCmdMsg(UINT nID);
  void OnAppExit();
  void OnHelp();

  // Settings store: on Linux sections are groups of the per-user file
  // $XDG_CONFIG_HOME/<registry key>/<application name>.conf, on Windows keys under
  // HKEY_CURRENT_USER\Software\<registry key>\<application name>. Without a registry key the
  // application name stands alone. Every read sees the store as it is now; every write is stored
  // before it returns.
  void SetRegistryKey(const char* lpszRegistryKey);
  /// Reads the framework's own sections: the recent-file list of nMaxMRU entries and
  /// "PreviewPages"; ExitInstance writes them back (SaveStdProfileSettings).
  void LoadStdProfileSettings(UINT nMaxMRU = 4);
  /// @returns the stored value as an unsigned 32-bit number, or nDefault when the entry is
  /// missing or holds no number (a text that is not one; in the registry any value but a
  /// four-byte REG_DWORD).
  UINT GetProfileInt(const char* lpszSection, const char* lpszEntry, UINT nDefault);
  /// @returns the stored text (empty text included), or the default when the entry is missing
  /// (in the registry: or is no REG_SZ).
  std::string GetProfileString(const char* lpszSection, const char* lpszEntry,
                               const char* lpszDefault = nullptr);
  /// @returns false when the value could not be stored.
  bool WriteProfileInt(const char* lpszSection, const char* lpszEntry, UINT nValue);
  bool WriteProfileString(const char* lpszSection, const char* lpszEntry, const char* lpszValue);
  /// Where the settings are: the file, or the registry key with its root's name.
  std::string GetProfilePath() const;

  CWnd* m_pMainWnd = nullptr;
  std::string m_strAppName;      ///< the executable's file name without extension
  std::string m_strRegistryKey;  ///< the company word given to SetRegistryKey

private:
  /// Writes back what LoadStdProfileSettings read: the recent-file list section is replaced by
  /// its non-empty entries (when it had any), "PreviewPages" is written when non-zero. Nothing
  /// without LoadStdProfileSettings.
  void SaveStdProfileSettings();

  CWinApp* m_pPreviousApp = nullptr;
  std::vector<std::string> m_recentFiles;
  UINT m_nPreviewPages = 0;
  bool m_bStdProfileLoaded = false;
};
