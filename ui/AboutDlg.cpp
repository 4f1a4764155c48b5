#include "AboutDlg.h"

#include "AppIcon.h"
#include "Resource.h"
#include "Templates.h"

#include <cstdio>

namespace {

constexpr const char* kVersion = "1.00";
constexpr const char* kBuild = "08.02.2013";

}  // namespace

std::string FormatAboutText(const char* lpszVersion, const char* lpszBuild) {
  char szText[256];
  std::snprintf(szText, sizeof szText,
                "\r\n"
                "--- Mintora ---\r\n"
                "Vending Machine Emulation\r\n"
                "communicates over LX-5200-E device\r\n"
                "with a MDB Change Giver.\r\n"
                "\r\n"
                "Version %s build %s\r\n"
                "Made by the Mintora team.",
                lpszVersion, lpszBuild);
  return szText;
}

CAboutDlg::CAboutDlg(CWnd* pParent)
    : CDialog(GetDialogTemplate(IDD_ABOUTBOX), pParent),
      m_strText(FormatAboutText(kVersion, kBuild)) {
  RegisterAppIcon();  // the icon control shows resource 128
}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_ABOUT_TEXT, m_strText);
}
