// Driving modal dialogs from a test: each dialog is answered once it is shown, from inside its
// own modal loop, and its controls are found by ID; and the fixture of a test that runs the
// program's windows in this process.
#pragma once

#include "Dialog.h"
#include "DialogInput.h"
#include "TestMessages.h"
#include "TestStore.h"
#include "WinApp.h"

#if __has_include("QtPlatform.h")  // the suites that see the Qt implementation's headers
#include "QtPlatform.h"

#include <QAbstractButton>
#include <QLineEdit>
#endif

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

namespace testing_support {

using DialogAnswer = std::function<void(CDialog&)>;

/// While it lives, answers every modal dialog once it is shown: by the dialog object, else by
/// its template ID, else by the answer for any dialog. A dialog that nothing answers fails the
/// test. A dialog its answer leaves open is cancelled, so that a failed expectation cannot hang
/// the test; with ELeftOpen::Fails that is a failure too (for tests of the ways a dialog ends).
class CDialogAnswers {
public:
  enum class ELeftOpen { IsCancelled, Fails };

  explicit CDialogAnswers(ELeftOpen eLeftOpen = ELeftOpen::IsCancelled) : m_eLeftOpen(eLeftOpen) {
    CDialog::SetShownHook([this](CDialog& dlg) { OnShown(dlg); });
  }
  ~CDialogAnswers() { CDialog::SetShownHook(nullptr); }
  void SetLeftOpen(ELeftOpen eLeftOpen) { m_eLeftOpen = eLeftOpen; }
  CDialogAnswers(const CDialogAnswers&) = delete;
  CDialogAnswers& operator=(const CDialogAnswers&) = delete;

  /// fn answers the dialogs built from template nTemplateID.
  void Answer(UINT nTemplateID, DialogAnswer fn) { m_byTemplate[nTemplateID] = std::move(fn); }
  /// fn answers the one dialog object dlg.
  void Answer(const CDialog& dlg, DialogAnswer fn) { m_byObject[&dlg] = std::move(fn); }
  /// fn answers every dialog that has no answer of its own.
  void AnswerAny(DialogAnswer fn) { m_any = std::move(fn); }

  /// Runs dlg modally with fn answering it. @returns what DoModal returned.
  INT_PTR Run(CDialog& dlg, DialogAnswer fn) {
    Answer(dlg, std::move(fn));
    const INT_PTR nResult = dlg.DoModal();
    m_byObject.erase(&dlg);
    return nResult;
  }

  /// The template IDs of the dialogs shown so far, in order.
  const std::vector<UINT>& Shown() const { return m_shown; }

private:
  void OnShown(CDialog& dlg) {
    const UINT nID = dlg.GetTemplate().nID;
    m_shown.push_back(nID);
    // A copy: the answer may replace itself.
    DialogAnswer fn;
    if (auto it = m_byObject.find(&dlg); it != m_byObject.end())
      fn = it->second;
    else if (auto itID = m_byTemplate.find(nID); itID != m_byTemplate.end())
      fn = itID->second;
    else
      fn = m_any;
    if (fn)
      fn(dlg);
    else
      ADD_FAILURE() << "dialog " << nID << " was shown and nothing answered it";
    if (dlg.IsWindowVisible()) {
      if (m_eLeftOpen == ELeftOpen::Fails)
        ADD_FAILURE() << "dialog " << nID << " was left open";
      dlg.EndDialog(IDCANCEL);
    }
  }

  ELeftOpen m_eLeftOpen;
  std::map<const CDialog*, DialogAnswer> m_byObject;
  std::map<UINT, DialogAnswer> m_byTemplate;
  DialogAnswer m_any;
  std::vector<UINT> m_shown;
};

/// Runs the application's whole working life, InitInstance to ExitInstance. Its main window,
/// built from template nMainID, is answered by fn once shown and then closed as by its close box.
/// @returns true when the main window was shown.
inline bool RunApplication(CWinApp& app, CDialogAnswers& answers, UINT nMainID,
                           const DialogAnswer& fn) {
  bool bShown = false;
  answers.Answer(nMainID, [&](CDialog& dlg) {
    bShown = true;
    fn(dlg);
    dlg.SendMessage(WM_CLOSE);
  });
  app.InitInstance();
  app.ExitInstance();
  return bShown;
}

/// Clicks control nID of dlg with the mouse.
inline void Click(CDialog& dlg, int nID) { AfxClickControl(dlg.GetDlgItem(nID)); }

/// A key typed into dlg, on the control that has the focus.
inline void PressKey(CDialog& dlg, EDialogKey key) { AfxPressKey(dlg.GetSafeHwnd(), key); }

/// The ID of the control of dlg that has the focus: 0 for none, -2 for one of another window.
inline int FocusedId(const CDialog& dlg) {
  const HWND hFocus = AfxGetFocus();
  if (!hFocus)
    return 0;
  for (const DialogControl& ctrl : dlg.GetTemplate().controls) {
    if (ctrl.nID != IDC_STATIC && dlg.GetDlgItem(ctrl.nID) == hFocus)
      return ctrl.nID;
  }
  return -2;
}

/// A settings store of its own, the application object App, message boxes and beeps caught, and
/// every modal dialog answered once it is shown.
template <typename App = CTestApp>
class AppFixture : public ::testing::Test {
protected:
  CTempConfig m_config;  // before the application, which finds its settings there
  App m_app;
  CMessageCapture m_capture;
  CDialogAnswers m_answers;
};

#if __has_include("QtPlatform.h")
// For the suites that run on Linux only and reach the widgets behind the controls.

/// The button (push button or check box) with the ID, or null.
inline QAbstractButton* Button(CDialog& dlg, int nID) {
  return qobject_cast<QAbstractButton*>(QtWidget(dlg.GetDlgItem(nID)));
}

/// The edit control with the ID, or null.
inline QLineEdit* Edit(CDialog& dlg, int nID) {
  return qobject_cast<QLineEdit*>(QtWidget(dlg.GetDlgItem(nID)));
}
#endif

}  // namespace testing_support
