// The link's side of the harness: an application object that is also the link, a dialer that
// records what the link did around it, and, for the tests that link the application's library,
// the program's own application object run in this process from start-up to shutdown.
#pragma once

#include "DeviceLink.h"
#include "TestDialogs.h"

#include <functional>
#include <string>
#include <vector>

#if __has_include("VendingApp.h")
#include "Resource.h"
#include "VendingApp.h"
#include "VendingPanelDlg.h"
#endif

namespace testing_support {

/// A test application object with the link to the device.
class CTestLinkApp : public CTestApp, public CDeviceLink {
public:
  using CDeviceLink::m_dwConnection;
};

/// Installed as the dialer while it lives. Dialing succeeds with handle m_dwHandle unless
/// m_dwDialResult says otherwise; the log reads "dial", then "hang-up", or "hang-up with sockets"
/// when the link still had a socket open as it hung up.
class CRecordingDialer : public IDialer {
public:
  explicit CRecordingDialer(const CDeviceLink* pLink = nullptr) : m_pLink(pLink) {
    AfxSetDialer(this);
  }
  ~CRecordingDialer() override { AfxSetDialer(nullptr); }
  CRecordingDialer(const CRecordingDialer&) = delete;
  CRecordingDialer& operator=(const CRecordingDialer&) = delete;

  DWORD Dial(const std::string& strName, DWORD_PTR* pdwConnection) override {
    m_log.push_back("dial");
    m_dialled.push_back(strName);
    if (m_dwDialResult == 0)
      *pdwConnection = m_dwHandle;
    return m_dwDialResult;
  }
  DWORD HangUp(DWORD_PTR dwConnection) override {
    const bool bSockets =
        m_pLink && (m_pLink->GetCommunicationSocket() || m_pLink->GetControlSocket());
    m_log.push_back(bSockets ? "hang-up with sockets" : "hang-up");
    m_dwHungUp = dwConnection;
    return m_dwHangUpResult;
  }

  const CDeviceLink* m_pLink;
  DWORD m_dwDialResult = 0;
  DWORD_PTR m_dwHandle = 7;
  DWORD m_dwHangUpResult = 0;
  std::vector<std::string> m_log;
  std::vector<std::string> m_dialled;  ///< the connection names, one a dial
  DWORD_PTR m_dwHungUp = 0;
};

/// AppFixture for an application object with the link, whose dialing is recorded.
template <typename App = CTestLinkApp>
class LinkAppFixture : public AppFixture<App> {
protected:
  CRecordingDialer m_dialer{&this->m_app};
};

#if __has_include("VendingApp.h")
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
#endif

}  // namespace testing_support
