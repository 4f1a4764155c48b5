#include "DialogResource.h"

#include <cstring>

namespace {

// Predefined window classes of a dialog item, by their atoms.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

/// Writes WORDs into a DWORD buffer; items must start on DWORD boundaries.
class CResourceWriter {
public:
  void Word(WORD w) { m_words.push_back(w); }
  void Dword(DWORD dw) {
    Word(LOWORD(dw));
    Word(HIWORD(dw));
  }
  /// The texts are ASCII: each byte widens to the same UTF-16 unit.
  void Text(const char* psz) {
    for (; psz && *psz; ++psz)
      Word(static_cast<unsigned char>(*psz));
    Word(0);
  }
  void AlignDword() {
    if (m_words.size() % 2)
      Word(0);
  }
  std::vector<DWORD> Result() {
    AlignDword();
    std::vector<DWORD> result(m_words.size() / 2);
    std::memcpy(result.data(), m_words.data(), m_words.size() * sizeof(WORD));
    return result;
  }

private:
  std::vector<WORD> m_words;
};

DWORD TextAlignment(unsigned nStyle, DWORD dwLeft, DWORD dwCenter, DWORD dwRight) {
  if (nStyle & ControlStyle::Center)
    return dwCenter;
  if (nStyle & ControlStyle::Right)
    return dwRight;
  return dwLeft;
}

WORD ControlClass(ControlKind kind) {
  switch (kind) {
  case ControlKind::Edit: return kEditClass;
  case ControlKind::Static:
  case ControlKind::Icon: return kStaticClass;
  default: return kButtonClass;
  }
}

DWORD DialogWindowStyle(unsigned nStyle) {
  DWORD dwStyle = WS_POPUP | DS_SETFONT | DS_CENTER;
  if (nStyle & DialogStyle::Caption)
    dwStyle |= WS_CAPTION;
  if (nStyle & DialogStyle::SysMenu)
    dwStyle |= WS_SYSMENU;
  if (nStyle & DialogStyle::MinimizeBox)
    dwStyle |= WS_MINIMIZEBOX;
  if (nStyle & DialogStyle::ModalFrame)
    dwStyle |= DS_MODALFRAME;
  if (nStyle & DialogStyle::Visible)
    dwStyle |= WS_VISIBLE;
  return dwStyle;
}

}  // namespace

DWORD ControlWindowStyle(const DialogControl& ctrl, bool bGroupStart) {
  const unsigned n = ctrl.nStyle;
  DWORD dwStyle = WS_CHILD | WS_VISIBLE;
  if (n & ControlStyle::TabStop)
    dwStyle |= WS_TABSTOP;
  if (bGroupStart)
    dwStyle |= WS_GROUP;
  switch (ctrl.kind) {
  case ControlKind::PushButton: dwStyle |= BS_PUSHBUTTON; break;
  case ControlKind::DefPushButton: dwStyle |= BS_DEFPUSHBUTTON; break;
  case ControlKind::GroupBox:
    dwStyle |= BS_GROUPBOX | ((n & ControlStyle::Center) ? BS_CENTER : 0);
    break;
  case ControlKind::CheckBox:
    dwStyle |= BS_AUTOCHECKBOX | ((n & ControlStyle::LeftText) ? BS_LEFTTEXT : 0);
    break;
  case ControlKind::Edit:
    dwStyle |= TextAlignment(n, ES_LEFT, ES_CENTER, ES_RIGHT);
    if (n & ControlStyle::Border)
      dwStyle |= WS_BORDER;
    if (n & ControlStyle::AutoHScroll)
      dwStyle |= ES_AUTOHSCROLL;
    break;
  case ControlKind::Static:
    dwStyle |= TextAlignment(n, SS_LEFT, SS_CENTER, SS_RIGHT);
    if (n & ControlStyle::Sunken)
      dwStyle |= SS_SUNKEN;
    break;
  case ControlKind::Icon: dwStyle |= SS_ICON; break;
  }
  return dwStyle;
}

std::vector<DWORD> BuildDialogResource(const DialogTemplate& dlgTemplate, UINT nMenuResource) {
  CResourceWriter out;
  out.Dword(DialogWindowStyle(dlgTemplate.nStyle));
  out.Dword((dlgTemplate.nStyle & DialogStyle::AppWindow) ? WS_EX_APPWINDOW : 0);
  out.Word(static_cast<WORD>(dlgTemplate.controls.size()));
  out.Word(0);  // x, y: DS_CENTER places the window
  out.Word(0);
  out.Word(static_cast<WORD>(dlgTemplate.cx));
  out.Word(static_cast<WORD>(dlgTemplate.cy));
  if (nMenuResource != 0) {
    out.Word(0xFFFF);  // the menu resource by its number
    out.Word(static_cast<WORD>(nMenuResource));
  } else {
    out.Word(0);
  }
  out.Word(0);  // the dialog class
  out.Text(dlgTemplate.pszCaption);
  out.Word(static_cast<WORD>(dlgTemplate.nPointSize));
  out.Text(dlgTemplate.pszFont);

  // A tab group starts with the first control and with each label and frame, as the resource
  // compiler marks its LTEXT, RTEXT, CTEXT and GROUPBOX statements.
  bool bFirst = true;
  for (const DialogControl& ctrl : dlgTemplate.controls) {
    out.AlignDword();
    const bool bGroupStart =
        bFirst || ctrl.kind == ControlKind::Static || ctrl.kind == ControlKind::GroupBox;
    bFirst = false;
    out.Dword(ControlWindowStyle(ctrl, bGroupStart));
    out.Dword(0);
    out.Word(static_cast<WORD>(ctrl.x));
    out.Word(static_cast<WORD>(ctrl.y));
    out.Word(static_cast<WORD>(ctrl.cx));
    out.Word(static_cast<WORD>(ctrl.cy));
    out.Word(static_cast<WORD>(ctrl.nID));
    out.Word(0xFFFF);
    out.Word(ControlClass(ctrl.kind));
    if (ctrl.kind == ControlKind::Icon) {
      out.Word(0xFFFF);  // the icon resource by its number
      out.Word(static_cast<WORD>(ctrl.nIconID));
    } else {
      out.Text(ctrl.pszText);
    }
    out.Word(0);  // no creation data
  }
  return out.Result();
}

HMENU CreateDialogMenu(const MenuTemplate& menu) {
  HMENU hMenuBar = CreateMenu();
  for (const MenuPopup& popup : menu.popups) {
    HMENU hPopup = CreatePopupMenu();
    for (const MenuItem& item : popup.items) {
      if (item.pszText)
        AppendMenuA(hPopup, MF_STRING, item.nID, item.pszText);
      else
        AppendMenuA(hPopup, MF_SEPARATOR, 0, nullptr);
    }
    AppendMenuA(hMenuBar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(hPopup), popup.pszText);
  }
  return hMenuBar;
}
