// The program's own application object run in this process, from start-up through the panel to
// shutdown, with its link dialled by a recording dialer.
#pragma once

#include "Resource.h"
#include "TestLink.h"
#include "VendingApp.h"
#include "VendingPanelDlg.h"

#include <functional>

namespace testing_support {

/// LinkAppFixture for the program's application object, named as the executable is named.
class VendingAppFixture : public LinkAppFixture<CVendingApp> {
protected:
  VendingAppFixture() { m_app.m_strAppName = "Mintora"; }

  /// Start-up, the panel (fn runs inside it, then it is closed as by its close box), shutdown;
  /// the main window is gone at the end.
  void RunProgram(const std::function<void(CVendingPanelDlg&)>& fn) {
    EXPECT_TRUE(RunApplication(m_app, m_answers, IDD_VENDINGPANEL_DIALOG,
                               [&](CDialog& dlg) { fn(static_cast<CVendingPanelDlg&>(dlg)); }));
    EXPECT_EQ(m_app.m_pMainWnd, nullptr);
  }
};

}  // namespace testing_support
