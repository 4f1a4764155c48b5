#pragma once

#include "Afx.h"

#include <string>

/// A rectangle in pixels of a window's client area.
struct CRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

/// What a window paints with while OnPaint runs; the implementation's painter underneath.
class CDC {
public:
  virtual ~CDC() = default;
  /// Fills rc with the window's background.
  virtual void EraseRect(const CRect& rc) = 0;
  /// Draws the icon at its standard size (32 x 32) with its top left corner at x, y.
  virtual void DrawIcon(int x, int y, HICON hIcon) = 0;
};

/// A window of the program. m_hWnd is the platform's window while it exists, null otherwise.
class CWnd {
public:
  CWnd() = default;
  virtual ~CWnd() = default;

  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  /// The window that owns this one (for a dialog made without parent: the main window).
  CWnd* GetOwner() const { return m_pOwner; }

  /// The window's own text: a dialog's caption.
  std::string GetWindowText() const;
  /// The control with that ID, or nullptr.
  HWND GetDlgItem(int nID) const;
  void SetDlgItemText(int nID, const std::string& strText);
  std::string GetDlgItemText(int nID) const;
  /// 1 when the check box nID is ticked, 0 when it is clear or is no check box.
  UINT IsDlgButtonChecked(int nID) const;
  void CheckDlgButton(int nID, UINT nCheck);
  void SetIcon(HICON hIcon, bool bBigIcon);
  bool IsIconic() const;
  /// Whether the window exists and is shown.
  bool IsWindowVisible() const;
  /// The client area, with left and top 0; empty without a window.
  void GetClientRect(CRect* pRect) const;

  /// Only WM_CLOSE is understood: it calls OnClose.
  void SendMessage(UINT message);

  /// Runs a command from a button, a menu item or the keyboard: this window's OnCommand first,
  /// the application object's OnCmdMsg when the window does not handle it.
  void RouteCommand(UINT nID);

  /// @returns true when the command was handled.
  virtual bool OnCommand(UINT nID);
  virtual void OnClose();
  /// The window is being destroyed; its controls still exist.
  virtual void OnDestroy();
  /// Paints the window; the default paints nothing beyond what the platform draws.
  virtual void OnPaint(CDC& dc);
  virtual HICON OnQueryDragIcon();

  HWND m_hWnd = nullptr;

protected:
  CWnd* m_pOwner = nullptr;
};

/// An edit control bound to a member by DDX_Control.
class CEdit : public CWnd {};
