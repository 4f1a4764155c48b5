// A settings store of the process's own, for callers that must neither see nor change the user's
// settings (the tests).
#pragma once

#include <string>

/// While it lives, every application object of this process keeps its settings in a fresh, empty
/// store of its own: on Linux a new folder stands for $XDG_CONFIG_HOME, on Windows a new key for
/// HKEY_CURRENT_USER (the names below it stay as the program makes them). The store is removed
/// and the user's is back once the object goes. One at a time.
class CProfileSandbox {
public:
  CProfileSandbox();
  ~CProfileSandbox();
  CProfileSandbox(const CProfileSandbox&) = delete;
  CProfileSandbox& operator=(const CProfileSandbox&) = delete;

  /// Where the store is: the folder, or the key below the user's HKEY_CURRENT_USER; empty when
  /// no store of its own could be made, and then the user's store is still in use.
  const std::string& GetRoot() const { return m_strRoot; }

private:
  std::string m_strRoot;
  std::string m_strSaved;     ///< what the root replaced, where it has a name
  bool m_bHadSaved = false;   ///< whether there was one
  void* m_pHandle = nullptr;  ///< the platform's handle of the root while it lives
};
