// Dialog data exchange: moving values between a dialog's controls and its members.
#pragma once

#include "Afx.h"

#include <string>

class CDialog;
class CWnd;

/// One transfer between a dialog's controls and its members.
class CDataExchange {
public:
  CDataExchange(CDialog* pDlgWnd, bool bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

  /// Marks the transfer failed, moves the focus to the control and selects its whole text.
  /// Later DDX calls of the same transfer do nothing.
  void Fail(int nIDC);

  bool m_bSaveAndValidate;  ///< true: controls to members; false: members to controls
  bool m_bFailed = false;
  CDialog* m_pDlgWnd;
};

void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value);
/// Unsigned number, written with "%lu"; reading refuses anything else with an error box
/// "Please enter a positive integer.".
void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value);
/// 1 when ticked, 0 when clear.
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
/// Binds rControl to the control's window until the dialog's window goes.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

/// The "%lu" reading of DDX_Text: blanks or tabs around an unsigned decimal number with an
/// optional plus sign, first 31 characters only. @returns false for anything else, an empty
/// text, a minus sign or a number beyond 32 bits.
bool AfxParseUnsigned(const std::string& strText, DWORD& dwValue);
