#include "Wnd.h"

#include "Win32.h"
#include "WinApp.h"

#include <string>

std::string CWnd::GetWindowText() const {
  if (!m_hWnd)
    return {};
  std::string strText(static_cast<size_t>(GetWindowTextLengthA(m_hWnd)) + 1, '\0');
  strText.resize(static_cast<size_t>(
      GetWindowTextA(m_hWnd, strText.data(), static_cast<int>(strText.size()))));
  return strText;
}

HWND CWnd::GetDlgItem(int nID) const { return m_hWnd ? ::GetDlgItem(m_hWnd, nID) : nullptr; }

void CWnd::SetDlgItemText(int nID, const std::string& strText) {
  if (m_hWnd)
    SetDlgItemTextA(m_hWnd, nID, strText.c_str());
}

std::string CWnd::GetDlgItemText(int nID) const {
  HWND hItem = GetDlgItem(nID);
  if (!hItem)
    return {};
  std::string strText(static_cast<size_t>(GetWindowTextLengthA(hItem)) + 1, '\0');
  const UINT nLength =
      GetDlgItemTextA(m_hWnd, nID, strText.data(), static_cast<int>(strText.size()));
  strText.resize(nLength);
  return strText;
}

UINT CWnd::IsDlgButtonChecked(int nID) const {
  return m_hWnd && ::IsDlgButtonChecked(m_hWnd, nID) == BST_CHECKED ? 1 : 0;
}

void CWnd::CheckDlgButton(int nID, UINT nCheck) {
  if (m_hWnd)
    ::CheckDlgButton(m_hWnd, nID, nCheck ? BST_CHECKED : BST_UNCHECKED);
}

void CWnd::SetIcon(HICON hIcon, bool bBigIcon) {
  if (m_hWnd)
    SendMessageA(m_hWnd, WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                 reinterpret_cast<LPARAM>(hIcon));
}

bool CWnd::IsIconic() const { return m_hWnd && ::IsIconic(m_hWnd); }

bool CWnd::IsWindowVisible() const { return m_hWnd && ::IsWindowVisible(m_hWnd); }

void CWnd::GetClientRect(CRect* pRect) const {
  *pRect = CRect();
  RECT rc;
  if (m_hWnd && ::GetClientRect(m_hWnd, &rc)) {
    pRect->right = rc.right;
    pRect->bottom = rc.bottom;
  }
}
