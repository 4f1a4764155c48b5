// The simulated device's window: coin labels in the currency's format, the traffic log's lines,
// and the coin buttons reaching the changer. No sockets are opened.
#include "SimDevice.h"
#include "SimWindow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

QStringList ButtonTexts(const QWidget& window) {
  QStringList texts;
  for (const QPushButton* pButton : window.findChildren<QPushButton*>())
    texts << pButton->text();
  return texts;
}

TEST(SimWindow, LabelsCoinsInTheCurrencysFormat) {
  const struct {
    std::uint8_t m_nScaling;
    std::uint8_t m_nDecimals;
    std::array<std::uint8_t, 16> m_coins;
    QStringList m_expected;
  } cases[] = {
      {5, 2, {1, 2, 4, 10, 20, 40}, {"0.05", "0.10", "0.20", "0.50", "1.00", "2.00"}},
      {1, 0, {1, 5, 0, 50}, {"1", "5", "50"}},
      {25, 3, {1, 40}, {"0.025", "1.000"}},
  };
  for (const auto& c : cases) {
    ChangerConfig config;
    config.m_nScalingFactor = c.m_nScaling;
    config.m_nDecimalPlaces = c.m_nDecimals;
    config.m_coinCredit = c.m_coins;
    CSimDevice device(config);
    CSimWindow window(device);
    const QStringList texts = ButtonTexts(window);
    for (const QString& strCoin : c.m_expected)
      EXPECT_TRUE(texts.contains(strCoin)) << strCoin.toStdString();
  }
}

TEST(SimWindow, ShowsTrafficWithArrowsNameAndBytes) {
  EXPECT_EQ(CSimWindow::DisplayLine("RX COMM 1 09 SETUP"),
            QString::fromUtf8("PC \u2192 LX  SETUP  09"));
  EXPECT_EQ(CSimWindow::DisplayLine("TX COMM 3 08 52 13 DEPOSIT TUBE coin 2"),
            QString::fromUtf8("LX \u2192 PC  DEPOSIT TUBE coin 2  08 52 13"));
  EXPECT_EQ(CSimWindow::DisplayLine("RX CTRL 3 08 03 0B CONTROL 11 POLL ON"),
            QString::fromUtf8("PC \u2192 LX ctrl  CONTROL 11 POLL ON  08 03 0B"));
  EXPECT_EQ(CSimWindow::DisplayLine("TX COMM 0 EMPTY"),
            QString::fromUtf8("LX \u2192 PC  EMPTY  (empty)"));
  EXPECT_EQ(CSimWindow::DisplayLine(
                "TX COMM 1025 08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ... OVERSIZED"),
            QString::fromUtf8(
                "LX \u2192 PC  OVERSIZED  08 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ..."));
  EXPECT_EQ(CSimWindow::DisplayLine("PAID 25 of 25 coins 2x1 0x1"),
            QString::fromUtf8("  \u2022 PAID 25 of 25 coins 2x1 0x1"));
}

TEST(SimWindow, CountsRepeatedTicksOnOneLine) {
  CSimDevice device{ChangerConfig()};
  CSimWindow window(device);
  QPlainTextEdit* pLog = window.findChild<QPlainTextEdit*>();
  ASSERT_NE(pLog, nullptr);
  for (int i = 0; i < 3; ++i)
    emit device.Line("TX COMM 1 08 TICK");
  emit device.Line("RX COMM 1 09 SETUP");
  emit device.Line("TX COMM 1 08 TICK");
  const QStringList lines = pLog->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].endsWith(QString::fromUtf8("TICK  08  \u00d73"))) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].endsWith("SETUP  09"));
  EXPECT_TRUE(lines[2].endsWith("TICK  08"));
}

TEST(SimWindow, CoinButtonGoesToTheChangerAndSaysWhatHappened) {
  CSimDevice device{ChangerConfig()};
  CSimWindow window(device);
  QPushButton* pCoin = nullptr;
  for (QPushButton* pButton : window.findChildren<QPushButton*>())
    if (pButton->text() == "0.20")
      pCoin = pButton;
  ASSERT_NE(pCoin, nullptr);
  pCoin->click();  // nothing is enabled after power-up
  bool bSaid = false;
  for (const QLabel* pLabel : window.findChildren<QLabel*>())
    bSaid = bSaid || pLabel->text() == "0.20 handed back: the PC has not enabled it.";
  EXPECT_TRUE(bSaid);
  EXPECT_EQ(device.GetDevice().GetChanger().GetTubeCount(2), 18);
}

}  // namespace
