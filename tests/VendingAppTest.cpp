// Start-up and shutdown of the application object, seen on the wire by a peer that plays the
// device.
#include "Dialog.h"
#include "Resource.h"
#include "TestSupport.h"
#include "VendingApp.h"
#include "VendingPanelDlg.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class Application : public VendingAppFixture {
protected:
  /// Points the link at the device with ports of this test's own, automatic connect as given.
  /// @returns the communication port; the control port is the next.
  unsigned StoreLink(bool bAutoConnect = true) {
    const unsigned nComm = TakePorts(EPortRange::VendingApp);
    CTestApp writer;  // the program names its store only as it starts
    StoreLoopbackLink(writer, nComm);
    if (!bAutoConnect)
      writer.WriteProfileInt("Connection", "AutoConnect", 0);
    return nComm;
  }

  std::vector<std::string>& m_messages = m_capture.m_messages;
};

TEST_F(Application, OpensTheLinkRunsThePanelAndClosesInOrder) {
  const unsigned nComm = StoreLink();
  CUdpPeer comm(kDeviceAddress, nComm);
  CUdpPeer control(kDeviceAddress, nComm + 1);

  bool bMainWndWasPanel = false;
  std::string strCredit;
  std::optional<std::vector<Bytes>> opening;
  RunProgram([&](CVendingPanelDlg& panel) {
    bMainWndWasPanel = m_app.m_pMainWnd == &panel;
    strCredit = panel.GetDlgItemText(IDC_CREDIT);
    opening = control.ReceiveBeforeProbe();
  });
  EXPECT_TRUE(bMainWndWasPanel);
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

TEST_F(Application, WithAutoConnectOffThePanelShowsTheStoredPricesAndNothingIsSent) {
  const unsigned nComm = StoreLink(false);
  CTestApp writer;
  writer.WriteProfileInt("Prices", "Price_00", 5);
  writer.WriteProfileInt("Prices", "Price_09", 250);
  CUdpPeer control(kDeviceAddress, nComm + 1);
  std::vector<std::string> prices;
  RunProgram([&](CVendingPanelDlg& panel) {
    for (int i = 0; i < 10; ++i)
      prices.push_back(panel.GetDlgItemText(IDC_PRICE_1 + i));
  });
  EXPECT_EQ(prices, (std::vector<std::string>{"0.05", "1.00", "1.00", "1.00", "1.00", "1.00",
                                              "1.00", "1.00", "1.00", "2.50"}));
  EXPECT_EQ(control.ReceiveBeforeProbe(), std::vector<Bytes>{});
  EXPECT_TRUE(m_dialer.m_log.empty());
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(Application, AFailedConnectIsReportedAndThePanelStillOpens) {
  CUdpPeer holder("0.0.0.0", StoreLink(), false);
  bool bOpened = false;
  RunProgram([&](CVendingPanelDlg&) { bOpened = true; });
  EXPECT_TRUE(bOpened);
  EXPECT_EQ(m_messages, (std::vector<std::string>{"Create aquisition socket failed, Error: " +
                                                  std::to_string(kAddressInUse) + "\r\n"}));
  EXPECT_EQ(m_dialer.m_log, (std::vector<std::string>{"dial", "hang-up"}));
}

TEST_F(Application, TheExitCommandEndsLikeTheCloseBox) {
  CUdpPeer control(kDeviceAddress, StoreLink() + 1);
  m_answers.Answer(IDD_VENDINGPANEL_DIALOG, [](CDialog& dlg) { dlg.RouteCommand(ID_APP_EXIT); });
  EXPECT_FALSE(m_app.InitInstance());
  m_app.ExitInstance();
  const std::vector<Bytes> all = control.ReceiveBeforeProbe().value_or(std::vector<Bytes>{});
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2], (Bytes{0x08, 0x03, 0x00}));
}

}  // namespace
