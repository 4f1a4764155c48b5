// The vending panel: what it shows, vending against the credit, Change Return, and its picture.
#include "QtPlatform.h"
#include "Resource.h"
#include "TestSupport.h"
#include "VendingPanelDlg.h"

#include <QPixmap>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

/// SETUP response: scaling factor 5, coin credits 1, 2, 5, 10, 20, 40.
const Bytes kSetupResponse = {0x08, 0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x0F,
                              0x01, 0x02, 0x05, 0x0A, 0x14, 0x28, 0,    0,
                              0,    0,    0,    0,    0,    0,    0,    0};

class Panel : public AppFixture<> {
protected:
  void Feed(CVendingPanelDlg& panel, const Bytes& bytes) {
    panel.OnDatagram(bytes.data(), bytes.size());
  }
  /// Teaches the driver the coin set and puts it into polling.
  void MakeReady(CVendingPanelDlg& panel) {
    CChangerDriver& driver = *panel.GetChangerDriver();
    driver.SetState(CChangerDriver::SetupQuery);
    Feed(panel, kSetupResponse);
    driver.SetState(CChangerDriver::Polling);
  }
  /// Runs the panel modally; pfnWhileOpen runs inside it, then the panel closes.
  void Run(const std::function<void(CVendingPanelDlg&)>& pfnWhileOpen) {
    CVendingPanelDlg panel;
    m_answers.Run(panel, [&](CDialog&) { pfnWhileOpen(panel); });
  }

  std::vector<UINT>& m_beeps = m_capture.m_beeps;
};

TEST_F(Panel, OpensWithNoCreditAndTheStoredPrices) {
  m_app.WriteProfileInt("Prices", "Price_00", 5);
  m_app.WriteProfileInt("Prices", "Price_09", 150);
  m_app.WriteProfileInt("Prices", "Price_04", 0xFFFFFFFF);
  Run([&](CVendingPanelDlg& panel) {
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "0.00");
    const char* expected[10] = {"0.05", "1.00", "1.00", "1.00", "42949672.95",
                                "1.00", "1.00", "1.00", "1.00", "1.50"};
    for (int i = 0; i < 10; ++i)
      EXPECT_EQ(panel.GetDlgItemText(IDC_PRICE_1 + i), expected[i]) << i;
    EXPECT_EQ(QtWidget(panel.GetSafeHwnd())->windowTitle().toStdString(),
              "PC <---> Coin acceptor...");
  });
}

TEST_F(Panel, DepositsShowAsCreditAndVendsTakeTheStoredPrice) {
  m_app.WriteProfileInt("Prices", "Price_02", 50);
  Run([&](CVendingPanelDlg& panel) {
    MakeReady(panel);
    Feed(panel, {0x08, 0x53, 0x04});  // coin type 3: 10 x 5
    Feed(panel, {0x08, 0x52, 0x04});  // coin type 2: 5 x 5, while the tubes are being queried
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "0.75");
    EXPECT_EQ(panel.GetChangerDriver()->GetCredit(), 75u);

    panel.SetDlgItemText(IDC_PRICE_1 + 2, "0.01");  // typed text is never read
    panel.RouteCommand(IDC_PRODUCT_1 + 2);          // Product Selection #3 -> Price_02
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "0.25");
    EXPECT_EQ(m_beeps, (std::vector<UINT>{250}));

    panel.RouteCommand(IDC_PRODUCT_1 + 2);  // 0.25 does not cover 0.50: nothing at all
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "0.25");
    EXPECT_EQ(m_beeps.size(), 1u);
  });
}

TEST_F(Panel, ExactCreditVendsAndAFreeProductAlwaysBeeps) {
  m_app.WriteProfileInt("Prices", "Price_00", 25);
  m_app.WriteProfileInt("Prices", "Price_09", 0);
  Run([&](CVendingPanelDlg& panel) {
    MakeReady(panel);
    Feed(panel, {0x08, 0x52, 0x04});  // 0.25
    panel.SetDlgItemText(IDC_CREDIT, "99.99");
    panel.RouteCommand(IDC_PRODUCT_1 + 9);
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "0.25");
    panel.RouteCommand(IDC_PRODUCT_1);
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "0.00");
    panel.RouteCommand(IDC_PRODUCT_1 + 9);
    EXPECT_EQ(m_beeps, (std::vector<UINT>{250, 250, 250}));
  });
}

TEST_F(Panel, ChangeReturnWaitsForTheNextDatagram) {
  Run([&](CVendingPanelDlg& panel) {
    MakeReady(panel);
    Feed(panel, {0x08, 0x55, 0x04});  // coin type 5: 40 x 5 = 2.00
    panel.RouteCommand(IDC_CHANGE_RETURN);
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), CChangerDriver::PayoutSend);
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "2.00");
    Feed(panel, {0x08});
    EXPECT_EQ(panel.GetDlgItemText(IDC_CREDIT), "0.00");
    EXPECT_EQ(panel.GetChangerDriver()->GetState(), CChangerDriver::Polling);
  });
}

TEST_F(Panel, EndsByEscapeAndByEnterOffAButton) {
  for (int nKey : {Qt::Key_Escape, Qt::Key_Return}) {
    CVendingPanelDlg panel;
    const INT_PTR nResult = m_answers.Run(panel, [&](CDialog&) {
      QWidget* pCredit = QtWidget(panel.GetDlgItem(IDC_CREDIT));
      pCredit->setFocus();
      PressKey(pCredit, nKey);
      EXPECT_FALSE(QtWidget(panel.GetSafeHwnd())->isVisible());
    });
    EXPECT_EQ(nResult, nKey == Qt::Key_Escape ? IDCANCEL : IDOK);
  }
}

TEST_F(Panel, AltF4FromTheMenuEndsItLikeTheCloseBox) {
  CVendingPanelDlg panel;
  m_app.m_pMainWnd = &panel;  // the Exit command closes the main window
  const INT_PTR nResult = m_answers.Run(panel, [&](CDialog&) {
    QWidget* pWindow = QtWidget(panel.GetSafeHwnd());
    pWindow->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(pWindow));
    QTest::keyClick(pWindow, Qt::Key_F4, Qt::AltModifier);
    EXPECT_FALSE(pWindow->isVisible());
  });
  EXPECT_EQ(nResult, IDCANCEL);
}

// The picture goes to MINTORA_SCREENSHOT_DIR when it is set, to look at by eye.
TEST_F(Panel, RendersAtItsTemplateSize) {
  QTemporaryDir scratch;
  QString strDir = qEnvironmentVariable("MINTORA_SCREENSHOT_DIR");
  if (strDir.isEmpty())
    strDir = scratch.path();
  Run([&](CVendingPanelDlg& panel) {
    MakeReady(panel);
    Feed(panel, {0x08, 0x55, 0x04});
    const QPixmap picture = QtWidget(panel.GetSafeHwnd())->grab();
    // 200 x 300 dialog units: the height is one and a half times the width, plus the menu bar.
    EXPECT_GT(picture.height(), picture.width() * 3 / 2);
    EXPECT_LT(picture.height(), picture.width() * 3 / 2 + 40);
    EXPECT_TRUE(picture.save(strDir + "/panel-102.png"));
  });
}

}  // namespace
