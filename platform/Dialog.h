#pragma once

#include "DataExchange.h"
#include "DialogTemplate.h"
#include "Wnd.h"

#include <functional>
#include <vector>

class CModalLoop;

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
  /// Moves the focus to control nID; an edit gets its whole text selected.
  void GotoDlgCtrl(int nID);
  /// The Enter key, typed with the focus on hFocus (nullptr: on no control). Windows' own
  /// convention on every platform: a push button with the focus runs its own command; elsewhere
  /// the default push button's command runs, IDOK when the template has none.
  void OnEnterKey(HWND hFocus);

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
  /// Ends every running modal dialog, innermost first: message boxes and nested dialogs as
  /// cancelled, the main window through WM_CLOSE.
  static void EndAllModal();

private:
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
  friend class CModalLoop;  ///< the platform's loop starts and ends the window

  void AttachControl(int nIDC, CWnd& rControl);
  /// OnInitDialog, after which a dialog that starts once a termination signal has arrived is
  /// closed at once. @returns OnInitDialog's result: true gives the first tab stop the focus.
  bool StartDialog();
  void FocusFirstTabStop();
  /// The window is going: OnDestroy, then the members bound to controls are let go and the
  /// application forgets it as its main window.
  void OnWindowGoing();
  void DestroyWindow();

  const DialogTemplate& m_template;
  CWnd* m_pParentWnd;
  int m_nModalResult = -1;
  bool m_bEnded = false;
  CModalLoop* m_pModalLoop = nullptr;  ///< while DoModal runs
  std::vector<HWND> m_controls;        ///< in template order
  HWND m_hMenuBar = nullptr;           ///< a window of its own where the platform makes one
  std::vector<CWnd*> m_attached;       ///< DDX_Control members, detached when the window goes
};
