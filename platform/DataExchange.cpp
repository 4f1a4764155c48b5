#include "DataExchange.h"

#include "Dialog.h"

#include <cstdint>
#include <cstdio>

bool AfxParseUnsigned(const std::string& strText, DWORD& dwValue) {
  // A 32-character text buffer: what lies beyond its 31 characters is never seen.
  const std::string text = strText.substr(0, 31);
  const auto isBlank = [](char ch) { return ch == ' ' || ch == '\t'; };
  size_t i = 0;
  while (i < text.size() && isBlank(text[i]))
    ++i;
  if (i < text.size() && text[i] == '+')
    ++i;
  const size_t nDigitsStart = i;
  std::uint64_t nValue = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    nValue = nValue * 10 + static_cast<unsigned>(text[i] - '0');
    if (nValue > 0xFFFFFFFFu)
      return false;
    ++i;
  }
  if (i == nDigitsStart)
    return false;
  while (i < text.size() && isBlank(text[i]))
    ++i;
  if (i != text.size())
    return false;
  dwValue = static_cast<DWORD>(nValue);
  return true;
}

void CDataExchange::Fail(int nIDC) {
  m_bFailed = true;
  if (m_pDlgWnd)
    m_pDlgWnd->GotoDlgCtrl(nIDC);
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::string& value) {
  if (pDX->m_bFailed)
    return;
  if (pDX->m_bSaveAndValidate)
    value = pDX->m_pDlgWnd->GetDlgItemText(nIDC);
  else
    pDX->m_pDlgWnd->SetDlgItemText(nIDC, value);
}

void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value) {
  if (pDX->m_bFailed)
    return;
  if (!pDX->m_bSaveAndValidate) {
    char szText[16];
    std::snprintf(szText, sizeof szText, "%lu", static_cast<unsigned long>(value));
    pDX->m_pDlgWnd->SetDlgItemText(nIDC, szText);
    return;
  }
  if (!AfxParseUnsigned(pDX->m_pDlgWnd->GetDlgItemText(nIDC), value)) {
    AfxMessageBox("Please enter a positive integer.", MB_ICONERROR);
    pDX->Fail(nIDC);
  }
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  if (pDX->m_bFailed)
    return;
  if (!pDX->m_pDlgWnd->GetDlgItem(nIDC))
    return;
  if (pDX->m_bSaveAndValidate)
    value = pDX->m_pDlgWnd->IsDlgButtonChecked(nIDC) ? 1 : 0;
  else
    pDX->m_pDlgWnd->CheckDlgButton(nIDC, value != 0 ? 1 : 0);
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  if (!pDX->m_bFailed && !rControl.m_hWnd)
    pDX->m_pDlgWnd->AttachControl(nIDC, rControl);
}
