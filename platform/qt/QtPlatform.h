// What the Qt implementation adds for its own callers (the simulated device, the icon drawing and
// the tests): the Qt objects behind the platform's handles, and the hooks that tests observe.
#pragma once

#include "Afx.h"
#include "Wnd.h"

class QIcon;
class QPainter;
class QWidget;

/// The widget behind a window handle, and back.
inline QWidget* QtWidget(HWND hWnd) { return reinterpret_cast<QWidget*>(hWnd); }
inline HWND ToHwnd(QWidget* pWidget) { return reinterpret_cast<HWND>(pWidget); }

/// The icon behind an icon handle, and back.
inline const QIcon* QtIcon(HICON hIcon) { return reinterpret_cast<const QIcon*>(hIcon); }
inline HICON ToHicon(const QIcon* pIcon) {
  return reinterpret_cast<HICON>(const_cast<QIcon*>(pIcon));
}

/// Loads fontconfig's configuration and font list and makes them the library's current ones, as
/// FcInit does, less the listing tools' descriptions of the templates that FcInit also reads.
/// AfxWinMain runs it on a second thread; the toolkit then finds the fonts loaded.
void LoadFontConfiguration();

/// Gives the program's windows their look, the font and style that every window without one of
/// its own takes, once AfxWinMain has asked for it: first waits for AfxWinMain's read of the font
/// configuration. Called before a window is made; does nothing without AfxWinMain (the tests),
/// or the second time.
void AfxReadyWindowLook();

/// The device context that OnPaint receives: a painter on the window.
class CQtPaintDC final : public CDC {
public:
  explicit CQtPaintDC(QPainter& painter) : m_painter(painter) {}
  void EraseRect(const CRect& rc) override;
  void DrawIcon(int x, int y, HICON hIcon) override;

  QPainter& m_painter;
};
