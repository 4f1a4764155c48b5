// Dialog, menu and icon resources as data. Positions and sizes are in dialog units.
#pragma once

#include "Afx.h"

#include <vector>

enum class ControlKind { PushButton, DefPushButton, Edit, Static, GroupBox, CheckBox, Icon };

namespace ControlStyle {
constexpr unsigned TabStop = 0x01;
constexpr unsigned Left = 0x00;    ///< text alignment (edit, static)
constexpr unsigned Center = 0x02;  ///< centred text; on a group box, a centred caption
constexpr unsigned Right = 0x04;
constexpr unsigned Border = 0x08;       ///< edit with border
constexpr unsigned AutoHScroll = 0x10;  ///< edit scrolls horizontally
constexpr unsigned LeftText = 0x20;     ///< check box with its text left of the box
constexpr unsigned Sunken = 0x40;       ///< static with a sunken edge
}  // namespace ControlStyle

struct DialogControl {
  int nID;  ///< IDC_STATIC (-1) for controls that nothing refers to
  ControlKind kind;
  const char* pszText;  ///< nullptr for none
  int x, y, cx, cy;
  unsigned nStyle;
  UINT nIconID = 0;  ///< icon resource shown by an Icon control
};

namespace DialogStyle {
constexpr unsigned Caption = 0x01;
constexpr unsigned SysMenu = 0x02;
constexpr unsigned MinimizeBox = 0x04;
constexpr unsigned ModalFrame = 0x08;
constexpr unsigned AppWindow = 0x10;  ///< shown in the task bar
constexpr unsigned Visible = 0x20;
}  // namespace DialogStyle

struct MenuItem {
  const char* pszText;  ///< nullptr for a separator
  UINT nID;             ///< command; 0 for a separator
};

struct MenuPopup {
  const char* pszText;
  std::vector<MenuItem> items;
};

struct MenuTemplate {
  UINT nID;
  std::vector<MenuPopup> popups;
};

struct DialogTemplate {
  UINT nID;
  const char* pszCaption;
  int cx, cy;
  const char* pszFont;
  int nPointSize;
  const MenuTemplate* pMenu;  ///< nullptr when the dialog has no menu
  unsigned nStyle;
  std::vector<DialogControl> controls;  ///< in template order, which is also the tab order
};
