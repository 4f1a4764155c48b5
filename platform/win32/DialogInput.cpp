#include "DialogInput.h"

#include "ModalLoop.h"
#include "Win32.h"

#include <cstring>

namespace {

/// A key's message as the keyboard posts it: repeat count 1 and the key's scan code.
LPARAM KeyData(UINT vk, bool bUp) {
  LPARAM lParam = 1 | (static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16);
  if (bUp)
    lParam |= (1 << 30) | (static_cast<LPARAM>(1) << 31);
  return lParam;
}

struct FoundBox {
  HWND hBox = nullptr;
};

/// Message boxes are windows of the system's dialog class that no CDialog runs.
BOOL CALLBACK FindBox(HWND hWnd, LPARAM lParam) {
  char szClass[16] = {};
  GetClassNameA(hWnd, szClass, sizeof szClass);
  if (std::strcmp(szClass, "#32770") != 0 || !IsWindowVisible(hWnd) || CModalLoop::IsRunning(hWnd))
    return TRUE;
  reinterpret_cast<FoundBox*>(lParam)->hBox = hWnd;
  return FALSE;
}

std::string WindowText(HWND hWnd) {
  std::string strText(static_cast<size_t>(GetWindowTextLengthA(hWnd)) + 1, '\0');
  strText.resize(static_cast<size_t>(GetWindowTextA(hWnd, strText.data(), int(strText.size()))));
  return strText;
}

}  // namespace

void AfxPressKey(HWND hDlg, EDialogKey key) {
  if (!hDlg)
    return;
  HWND hTarget = GetFocus();
  if (!hTarget || (hTarget != hDlg && !IsChild(hDlg, hTarget)))
    hTarget = hDlg;
  UINT vk = VK_RETURN;
  LPARAM lExtended = 0;
  UINT nDown = WM_KEYDOWN;
  UINT nUp = WM_KEYUP;
  switch (key) {
  case EDialogKey::Enter: vk = VK_RETURN; break;
  case EDialogKey::KeypadEnter:
    vk = VK_RETURN;
    lExtended = 1 << 24;  // the keypad's Enter is the extended one
    break;
  case EDialogKey::Escape: vk = VK_ESCAPE; break;
  case EDialogKey::Tab: vk = VK_TAB; break;
  case EDialogKey::AltF4:
    // With Alt held the keyboard posts the system's key messages, context bit set. The window
    // need not be the foreground one for posted keys; making it so would take the focus, and a
    // click in progress, from the windows of other programs.
    vk = VK_F4;
    lExtended = 1 << 29;
    nDown = WM_SYSKEYDOWN;
    nUp = WM_SYSKEYUP;
    break;
  }
  PostMessageA(hTarget, nDown, vk, KeyData(vk, false) | lExtended);
  PostMessageA(hTarget, nUp, vk, KeyData(vk, true) | lExtended);
  AfxPumpEvents(0);
}

void AfxClickControl(HWND hItem) {
  if (!hItem)
    return;
  RECT rc;
  GetClientRect(hItem, &rc);
  const LPARAM lCentre = MAKELPARAM((rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2);
  PostMessageA(hItem, WM_LBUTTONDOWN, MK_LBUTTON, lCentre);
  PostMessageA(hItem, WM_LBUTTONUP, 0, lCentre);
  AfxPumpEvents(0);
}

void AfxCloseWindow(HWND hWnd) {
  if (!hWnd)
    return;
  PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  AfxPumpEvents(0);
}

HWND AfxGetFocus() { return GetFocus(); }

std::string AfxGetSelectedText(HWND hEdit) {
  DWORD dwStart = 0;
  DWORD dwEnd = 0;
  SendMessageA(hEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&dwStart),
               reinterpret_cast<LPARAM>(&dwEnd));
  const std::string strText = WindowText(hEdit);
  return dwStart < dwEnd && dwEnd <= strText.size() ? strText.substr(dwStart, dwEnd - dwStart)
                                                    : std::string();
}

CRect AfxGetItemRect(HWND hItem) {
  CRect rc;
  RECT rect;
  if (hItem && GetWindowRect(hItem, &rect)) {
    MapWindowPoints(nullptr, GetParent(hItem), reinterpret_cast<POINT*>(&rect), 2);
    rc = {rect.left, rect.top, rect.right, rect.bottom};
  }
  return rc;
}

bool AfxFindMessageBox(std::string& strCaption, std::string& strText, HWND& hOwner) {
  FoundBox found;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&found));
  if (!found.hBox)
    return false;
  strCaption = WindowText(found.hBox);
  // The box's text is its static control 0xFFFF.
  strText = WindowText(GetDlgItem(found.hBox, 0xFFFF));
  hOwner = GetWindow(found.hBox, GW_OWNER);
  return true;
}
