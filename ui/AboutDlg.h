#pragma once

#include "Dialog.h"

#include <string>

/// The about text: name, purpose, version and build, lines joined by "\r\n".
std::string FormatAboutText(const char* lpszVersion, const char* lpszBuild);

/// Version 1.00, build 08.02.2013, with the application icon.
class CAboutDlg : public CDialog {
public:
  explicit CAboutDlg(CWnd* pParent = nullptr);

protected:
  void DoDataExchange(CDataExchange* pDX) override;

  std::string m_strText;
};
