#pragma once

#include "Afx.h"
#include "IconRegistry.h"

#include <string>

class QWidget;
class QPainter;

/// A window of the program. m_hWnd is the toolkit window while it exists, null otherwise.
class CWnd {
public:
  CWnd() = default;
  virtual ~CWnd() = default;

  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  QWidget* GetSafeHwnd() const { return m_hWnd; }
  /// The window that owns this one (for a dialog made without parent: the main window).
  CWnd* GetOwner() const { return m_pOwner; }

  /// The control with that ID, or nullptr.
  QWidget* GetDlgItem(int nID) const;
  void SetDlgItemText(int nID, const std::string& strText);
  std::string GetDlgItemText(int nID) const;
  void SetIcon(HICON hIcon, bool bBigIcon);
  bool IsIconic() const;

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
  /// Paints the window; the default paints nothing beyond what the toolkit draws.
  virtual void OnPaint(QPainter& dc);
  virtual HICON OnQueryDragIcon();

  QWidget* m_hWnd = nullptr;

protected:
  CWnd* m_pOwner = nullptr;
};

/// An edit control bound to a member by DDX_Control.
class CEdit : public CWnd {};
