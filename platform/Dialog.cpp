// What a dialog does the same way on every platform: data exchange around OK, and the routing of
// OK and Cancel.
#include "Dialog.h"

bool CDialog::UpdateData(bool bSaveAndValidate) {
  if (!m_hWnd)
    return false;
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return !dx.m_bFailed;
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnOK() {
  if (!UpdateData(true))
    return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

bool CDialog::OnCommand(UINT nID) {
  switch (nID) {
  case IDOK: OnOK(); return true;
  case IDCANCEL: OnCancel(); return true;
  default: return false;
  }
}

void CDialog::OnClose() { OnCancel(); }
