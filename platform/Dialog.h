#pragma once

#include "Wnd.h"

#include <functional>
#include <vector>

class CDialog;
class QEventLoop;
class QMenuBar;

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
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

/// The "%lu" reading of DDX_Text: blanks or tabs around an unsigned decimal number with an
/// optional plus sign, first 31 characters only. @returns false for anything else, an empty
/// text, a minus sign or a number beyond 32 bits.
bool AfxParseUnsigned(const std::string& strText, DWORD& dwValue);

/// A modal dialog built from a template.
class CDialog : public CWnd {
public:
  explicit CDialog(const DialogTemplate& dlgTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  /// Creates the window, runs OnInitDialog and a nested event loop until EndDialog, then
  /// destroys the window (OnDestroy). The owner is the parent given at construction, else the
  /// application's main window; the window stays above its owner's. Once a termination signal
  /// has arrived, the dialog is initialised and then closed at once without being shown.
  /// @returns the value given to EndDialog; IDCANCEL when the application quit the loop; -1
  /// when this dialog is already running.
  virtual INT_PTR DoModal();
  /// Ends the modal loop with nResult; the window is destroyed when DoModal returns. Works from
  /// OnInitDialog too; a second call keeps the first result.
  void EndDialog(int nResult);
  /// @returns false when a check failed (the message has been shown).
  bool UpdateData(bool bSaveAndValidate = true);

  const DialogTemplate& GetTemplate() const { return m_template; }

  virtual bool OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange* pDX);

  bool OnCommand(UINT nID) override;
  void OnClose() override;

  /// Tests: called each time a modal dialog has been shown, from inside its modal loop.
  static void SetShownHook(std::function<void(CDialog&)> hook);
  /// The innermost running modal dialog, or nullptr.
  static CDialog* GetTopModal();
  /// Ends every running modal dialog, innermost first: nested dialogs with IDCANCEL, the
  /// main window through WM_CLOSE.
  static void EndAllModal();

private:
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

  void CreateControls();
  void LayoutControls();
  void DestroyWindow();
  void LeaveModalStack();

  const DialogTemplate& m_template;
  CWnd* m_pParentWnd;
  int m_nModalResult = -1;
  bool m_bEnded = false;
  QEventLoop* m_pLoop = nullptr;
  CDialog* m_pOuterModal = nullptr;
  std::vector<QWidget*> m_controls;  ///< in template order
  QMenuBar* m_pMenuBar = nullptr;
  std::vector<CWnd*> m_attached;  ///< DDX_Control members, detached when the window goes
};
