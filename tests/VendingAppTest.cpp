// Start-up and shutdown of the application object, seen on the wire by a peer on 127.0.0.2.
#include "Dialog.h"
#include "Resource.h"
#include "TestSupport.h"
#include "VendingApp.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class CRecordingDialer : public IDialer {
public:
  DWORD Dial(const std::string&, DWORD* pdwConnection) override {
    m_log.push_back("dial");
    *pdwConnection = 7;
    return 0;
  }
  DWORD HangUp(DWORD) override {
    m_log.push_back(m_pApp->GetCommunicationSocket() || m_pApp->GetControlSocket()
                        ? "hang-up with sockets"
                        : "hang-up");
    return m_dwHangUpResult;
  }
  std::vector<std::string> m_log;
  CVendingApp* m_pApp = nullptr;
  DWORD m_dwHangUpResult = 0;
};

class Application : public ::testing::Test {
protected:
  void SetUp() override {
    m_app.m_strAppName = "Mintora";
    m_dialer.m_pApp = &m_app;
    AfxSetDialer(&m_dialer);
    AfxSetMessageBoxHook([this](const std::string& strText, UINT) {
      m_messages.push_back(strText);
      return IDOK;
    });
  }
  void TearDown() override {
    CDialog::SetShownHook(nullptr);
    AfxSetDialer(nullptr);
    AfxSetMessageBoxHook(nullptr);
  }
  void Store(const char* pszEntry, UINT nValue) {
    CTestApp writer;
    writer.WriteProfileInt("Connection", pszEntry, nValue);
  }
  void StoreAddress(const char* pszAddress) {
    CTestApp writer;
    writer.WriteProfileString("Connection", "IPAddress", pszAddress);
  }
  /// Runs the whole life of the program; pfnWhileOpen runs inside the panel, which then closes.
  void RunProgram(const std::function<void(CVendingPanelDlg&)>& pfnWhileOpen) {
    CDialog::SetShownHook([&](CDialog& dlg) {
      if (auto* pPanel = dynamic_cast<CVendingPanelDlg*>(&dlg)) {
        m_bMainWndWasPanel = m_app.m_pMainWnd == pPanel;
        pfnWhileOpen(*pPanel);
        pPanel->SendMessage(WM_CLOSE);
      }
    });
    EXPECT_FALSE(m_app.InitInstance());
    EXPECT_EQ(m_app.m_pMainWnd, nullptr);
    m_app.ExitInstance();
  }

  CTempConfig m_config;
  CVendingApp m_app;
  CRecordingDialer m_dialer;
  std::vector<std::string> m_messages;
  bool m_bMainWndWasPanel = false;
};

TEST_F(Application, OpensTheLinkRunsThePanelAndClosesInOrder) {
  StoreAddress("127.0.0.2");
  Store("PortCommunication", 21200);
  Store("PortControl", 21201);
  CUdpPeer comm("127.0.0.2", 21200);
  CUdpPeer control("127.0.0.2", 21201);

  std::string strCredit;
  std::vector<Bytes> opening;
  RunProgram([&](CVendingPanelDlg& panel) {
    strCredit = panel.GetDlgItemText(IDC_CREDIT);
    opening = control.ReceiveAll(200);
  });
  EXPECT_TRUE(m_bMainWndWasPanel);
  EXPECT_EQ(strCredit, "0.00");
  EXPECT_EQ(opening, (std::vector<Bytes>{{0x08, 0x03, 0x0B}, {0x08, 0x03, 0x12}}));
  Bytes closing;
  ASSERT_TRUE(control.Receive(closing));
  EXPECT_EQ(closing, (Bytes{0x08, 0x03, 0x00}));
  EXPECT_EQ(m_dialer.m_log, (std::vector<std::string>{"dial", "hang-up"}));
  EXPECT_TRUE(m_messages.empty());
  EXPECT_EQ(m_app.GetCommunicationSocket(), nullptr);
  EXPECT_EQ(m_app.GetControlSocket(), nullptr);
}

TEST_F(Application, WithAutoConnectOffNothingIsDialledOrSent) {
  StoreAddress("127.0.0.2");
  Store("AutoConnect", 0);
  Store("PortCommunication", 21202);
  Store("PortControl", 21203);
  CUdpPeer control("127.0.0.2", 21203);
  std::string strPrice;
  RunProgram([&](CVendingPanelDlg& panel) { strPrice = panel.GetDlgItemText(IDC_PRICE_1 + 9); });
  EXPECT_EQ(strPrice, "1.00");
  Bytes received;
  EXPECT_FALSE(control.Receive(received, 200));
  EXPECT_TRUE(m_dialer.m_log.empty());
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(Application, AFailedConnectIsReportedAndThePanelStillOpens) {
  StoreAddress("127.0.0.2");
  Store("PortCommunication", 21204);
  Store("PortControl", 21205);
  CUdpPeer holder("0.0.0.0", 21204, false);
  bool bOpened = false;
  RunProgram([&](CVendingPanelDlg&) { bOpened = true; });
  EXPECT_TRUE(bOpened);
  EXPECT_EQ(m_messages,
            (std::vector<std::string>{"Create aquisition socket failed, Error: 98\r\n"}));
  EXPECT_EQ(m_dialer.m_log, (std::vector<std::string>{"dial", "hang-up"}));
}

TEST_F(Application, TheExitCommandEndsLikeTheCloseBox) {
  StoreAddress("127.0.0.2");
  Store("PortCommunication", 21206);
  Store("PortControl", 21207);
  CUdpPeer control("127.0.0.2", 21207);
  CDialog::SetShownHook([&](CDialog& dlg) {
    if (dynamic_cast<CVendingPanelDlg*>(&dlg))
      dlg.RouteCommand(ID_APP_EXIT);
  });
  EXPECT_FALSE(m_app.InitInstance());
  m_app.ExitInstance();
  const std::vector<Bytes> all = control.ReceiveAll(200);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2], (Bytes{0x08, 0x03, 0x00}));
}

TEST_F(Application, AFailingHangUpIsShownAndShutdownGoesOn) {
  StoreAddress("127.0.0.2");
  Store("PortCommunication", 21208);
  Store("PortControl", 21209);
  m_dialer.m_dwHangUpResult = 5;
  RunProgram([](CVendingPanelDlg&) {});
  EXPECT_EQ(m_messages,
            (std::vector<std::string>{"Hang up failed, Error: 5\r\nProbably still connected."}));
}

}  // namespace
