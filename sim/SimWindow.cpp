#include "SimWindow.h"

#include "SimDevice.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTextCursor>
#include <QTime>
#include <QVBoxLayout>

#include <functional>

namespace {

const char* const kTickLine = "TX COMM 1 08 TICK";
const char* const kAcceptedStyle =
    "QPushButton { background: #e8c15a; border: 2px solid #a8842a; border-radius: 24px; "
    "font-weight: bold; }"
    "QPushButton:pressed { background: #c9a23c; }";
const char* const kRefusedStyle =
    "QPushButton { background: #d8d8d8; color: #707070; border: 2px solid #b0b0b0; border-radius: "
    "24px; }";

QString OnOff(bool bOn) {
  return bOn ? QStringLiteral("<b style='color:#1a7f37'>ON</b>")
             : QStringLiteral("<b style='color:#a0a0a0'>off</b>");
}

QString Tick(bool bOn) { return bOn ? QStringLiteral("\u2714") : QStringLiteral("\u2013"); }

}  // namespace

CSimWindow::CSimWindow(CSimDevice& device, QWidget* pParent) : QWidget(pParent), m_device(device) {
  setWindowTitle(tr("LX-5200-E simulator"));

  auto* pTitle = new QLabel(
      tr("<span style='font-size:15pt; font-weight:bold'>LX-5200-E interface device</span>"
         "&nbsp;&nbsp;with an MDB coin changer behind it"));
  m_pLinkLabel = new QLabel;
  m_pStateLabel = new QLabel;
  m_pLinkLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* pLeft = new QVBoxLayout;
  pLeft->addWidget(BuildCoinBox());
  pLeft->addWidget(BuildTubeBox());
  pLeft->addWidget(BuildFaultBox());
  pLeft->addStretch(1);

  auto* pColumns = new QHBoxLayout;
  pColumns->addLayout(pLeft, 0);
  pColumns->addWidget(BuildLogBox(), 1);

  auto* pMain = new QVBoxLayout(this);
  pMain->addWidget(pTitle);
  pMain->addWidget(m_pLinkLabel);
  pMain->addWidget(m_pStateLabel);
  pMain->addLayout(pColumns, 1);

  connect(&m_device, &CSimDevice::Changed, this, &CSimWindow::OnChanged);
  connect(&m_device, &CSimDevice::Line, this, &CSimWindow::OnLine);
  resize(1180, 720);
  OnChanged();
}

QGroupBox* CSimWindow::BuildCoinBox() {
  auto* pBox = new QGroupBox(tr("Insert a coin"));
  auto* pLayout = new QVBoxLayout(pBox);
  auto* pButtons = new QHBoxLayout;
  const CChangerModel& changer = m_device.GetDevice().GetChanger();
  for (unsigned n = 0; n < 16; ++n) {
    if (changer.GetCoinValue(n) == 0)
      continue;
    auto* pButton = new QPushButton(FormatMoney(changer.GetCoinValue(n)));
    pButton->setFixedSize(52, 52);
    pButton->setToolTip(tr("Coin type %1 (shown as Coin Type %2 on the PC)").arg(n).arg(n + 1));
    connect(pButton, &QPushButton::clicked, this, [this, n] { m_device.InsertCoin(n); });
    pButtons->addWidget(pButton);
    m_rows.push_back({n, pButton, nullptr, nullptr, nullptr, nullptr});
  }
  pButtons->addStretch(1);
  pLayout->addLayout(pButtons);
  auto* pHint =
      new QLabel(tr("Gold coins are enabled by the PC (COIN TYPE); grey ones are handed back."));
  pHint->setStyleSheet("color: #555");
  pLayout->addWidget(pHint);
  m_pLastEventLabel = new QLabel(tr("No coin inserted yet."));
  pLayout->addWidget(m_pLastEventLabel);
  return pBox;
}

QGroupBox* CSimWindow::BuildTubeBox() {
  auto* pBox = new QGroupBox(tr("Tubes, cash box and change"));
  auto* pOuter = new QVBoxLayout(pBox);
  auto* pGrid = new QGridLayout;
  const QStringList headers = {tr("Coin"), tr("Type"), tr("Accept"), tr("Manual\ndispense"),
                               tr("Tube"), QString(),  QString(),    QString()};
  for (int nColumn = 0; nColumn < headers.size(); ++nColumn) {
    auto* pHeader = new QLabel(headers[nColumn]);
    pHeader->setStyleSheet("font-weight: bold; color: #444");
    pGrid->addWidget(pHeader, 0, nColumn);
  }
  const CChangerModel& changer = m_device.GetDevice().GetChanger();
  int nRow = 1;
  for (CoinRow& row : m_rows) {
    const unsigned n = row.m_nCoinType;
    pGrid->addWidget(new QLabel("<b>" + FormatMoney(changer.GetCoinValue(n)) + "</b>"), nRow, 0);
    pGrid->addWidget(new QLabel(QString::number(n)), nRow, 1);
    row.m_pAcceptLabel = new QLabel;
    row.m_pDispenseLabel = new QLabel;
    pGrid->addWidget(row.m_pAcceptLabel, nRow, 2, Qt::AlignHCenter);
    pGrid->addWidget(row.m_pDispenseLabel, nRow, 3, Qt::AlignHCenter);
    if (changer.HasTube(n)) {
      row.m_pTubeBar = new QProgressBar;
      row.m_pTubeBar->setRange(0, changer.GetConfig().m_nTubeCapacity);
      row.m_pTubeBar->setFormat(tr("%v of %m coins"));
      row.m_pTubeBar->setMinimumWidth(170);
      pGrid->addWidget(row.m_pTubeBar, nRow, 4);
      row.m_pFullLabel = new QLabel;
      pGrid->addWidget(row.m_pFullLabel, nRow, 5);
      auto* pFill = new QPushButton(tr("Fill"));
      auto* pEmpty = new QPushButton(tr("Empty"));
      pFill->setToolTip(tr("Fill this tube to capacity"));
      pEmpty->setToolTip(tr("Take every coin out of this tube"));
      connect(pFill, &QPushButton::clicked, this, [this, n] { m_device.SetTubeCount(n, 255); });
      connect(pEmpty, &QPushButton::clicked, this, [this, n] { m_device.SetTubeCount(n, 0); });
      pGrid->addWidget(pFill, nRow, 6);
      pGrid->addWidget(pEmpty, nRow, 7);
    } else {
      auto* pNoTube = new QLabel(tr("no tube: goes to the cash box"));
      pNoTube->setStyleSheet("color: #666");
      pGrid->addWidget(pNoTube, nRow, 4, 1, 2);
    }
    ++nRow;
  }
  pOuter->addLayout(pGrid);
  m_pCashBoxLabel = new QLabel;
  m_pChangeLabel = new QLabel;
  m_pChangeLabel->setWordWrap(true);
  m_pFeatureLabel = new QLabel;
  m_pFeatureLabel->setWordWrap(true);
  pOuter->addWidget(m_pCashBoxLabel);
  pOuter->addWidget(m_pChangeLabel);
  pOuter->addWidget(m_pFeatureLabel);
  return pBox;
}

QGroupBox* CSimWindow::BuildFaultBox() {
  auto* pBox = new QGroupBox(tr("Changer and faults"));
  auto* pGrid = new QGridLayout(pBox);
  struct Action {
    const char* lpszText;
    const char* lpszTip;
    std::function<void()> fn;
  };
  const Action actions[] = {
      {"Reset changer", "The changer restarts and reports 0B; the PC starts its sequence again",
       [this] { m_device.ResetChanger(); }},
      {"Withhold next answer",
       "The next answer to SETUP, IDENTIFICATION or TUBE STATUS is not sent",
       [this] { m_device.ArmWithhold(1); }},
      {"Short next answer", "The next answer to a query is cut to 5 bytes",
       [this] { m_device.ArmShortResponse(5); }},
      {"Late next answer", "The next answer to a query comes after 3 more datagrams",
       [this] { m_device.ArmLateResponse(3); }},
      {"Wrong header next", "The next datagram starts with 10 instead of 08",
       [this] { m_device.ArmWrongHeader(0x10); }},
      {"Send empty datagram", "An empty datagram now: the PC drops it and listens on",
       [this] { m_device.SendEmptyDatagram(EPort::Communication); }},
      {"Send oversized datagram", "1025 bytes now: the PC drops it",
       [this] { m_device.SendOversizedDatagram(1025); }},
  };
  int nIndex = 0;
  for (const Action& action : actions) {
    auto* pButton = new QPushButton(tr(action.lpszText));
    pButton->setToolTip(tr(action.lpszTip));
    connect(pButton, &QPushButton::clicked, this, action.fn);
    pGrid->addWidget(pButton, nIndex / 3, nIndex % 3);
    ++nIndex;
  }
  return pBox;
}

QGroupBox* CSimWindow::BuildLogBox() {
  auto* pBox = new QGroupBox(tr("Traffic"));
  auto* pLayout = new QVBoxLayout(pBox);
  auto* pLegend =
      new QLabel(tr("PC \u2192 LX: what the PC sent.  LX \u2192 PC: what this device sent.  "
                    "\u2022 what happened.  Repeated ticks share one line."));
  pLegend->setWordWrap(true);
  pLegend->setStyleSheet("color: #555");
  m_pLog = new QPlainTextEdit;
  m_pLog->setReadOnly(true);
  m_pLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_pLog->setMaximumBlockCount(5000);
  m_pLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  m_pLog->setMinimumWidth(440);
  pLayout->addWidget(pLegend);
  pLayout->addWidget(m_pLog, 1);
  return pBox;
}

QString CSimWindow::FormatMoney(unsigned nHundredths) const {
  const unsigned nPlaces = m_device.GetDevice().GetChanger().GetConfig().m_nDecimalPlaces;
  if (nPlaces == 0 || nPlaces > 9)
    return QString::number(nHundredths);
  unsigned nDivisor = 1;
  for (unsigned i = 0; i < nPlaces; ++i)
    nDivisor *= 10;
  return QStringLiteral("%1.%2")
      .arg(nHundredths / nDivisor)
      .arg(nHundredths % nDivisor, static_cast<int>(nPlaces), 10, QLatin1Char('0'));
}

QString CSimWindow::DisplayLine(const QString& strLine) {
  const QStringList words = strLine.split(' ');
  const bool bTraffic = words.size() >= 3 && (words[0] == "RX" || words[0] == "TX");
  if (!bTraffic)
    return QStringLiteral("  \u2022 ") + strLine;
  // RX|TX COMM|CTRL <count> <bytes...> <name...>
  const QString strWho =
      words[0] == "RX" ? QStringLiteral("PC \u2192 LX") : QStringLiteral("LX \u2192 PC");
  const int nCount = words[2].toInt();
  const int nShown = nCount <= 64 ? nCount : 17;  // 16 bytes and "..."
  const QString strBytes = nCount == 0 ? QStringLiteral("(empty)") : words.mid(3, nShown).join(' ');
  const QString strName = words.mid(3 + nShown).join(' ');
  const QString strPort = words[1] == "CTRL" ? QStringLiteral(" ctrl") : QString();
  return QStringLiteral("%1%2  %3  %4").arg(strWho, strPort, strName, strBytes);
}

void CSimWindow::OnLine(const QString& strLine) {
  const QString strTime = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
  if (strLine == QLatin1String(kTickLine)) {
    ++m_nRepeatedTicks;
    const QString strText =
        strTime + "  " + DisplayLine(strLine) +
        (m_nRepeatedTicks > 1 ? QStringLiteral("  \u00d7%1").arg(m_nRepeatedTicks) : QString());
    if (m_nRepeatedTicks > 1) {
      QTextCursor cursor(m_pLog->document());
      cursor.movePosition(QTextCursor::End);
      cursor.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
      cursor.insertText(strText);
    } else {
      m_pLog->appendPlainText(strText);
    }
    return;
  }
  m_nRepeatedTicks = 0;
  m_pLog->appendPlainText(strTime + "  " + DisplayLine(strLine));
  const QString strEvent = DescribeEvent(strLine);
  if (!strEvent.isEmpty())
    m_pLastEventLabel->setText(strEvent);
}

QString CSimWindow::DescribeEvent(const QString& strLine) const {
  // The lines are CSimDevice's: "ACCEPTED coin 2 value 20 tube 19", "REFUSED coin 4 not-enabled",
  // "PAID 70 of 70 coins 3x1 2x1".
  const QStringList words = strLine.split(' ');
  const CChangerModel& changer = m_device.GetDevice().GetChanger();
  const auto Coin = [&] { return FormatMoney(changer.GetCoinValue(words.value(2).toUInt())); };
  if (words.size() >= 6 && words[0] == "ACCEPTED" && words[5] == "tube")
    return tr("%1 went into its tube (%2 coins there now).").arg(Coin(), words.value(6));
  if (words.size() >= 6 && words[0] == "ACCEPTED")
    return tr("%1 went into the cash box.").arg(Coin());
  if (words.size() >= 4 && words[0] == "REFUSED" && words[1] == "coin") {
    if (words[3] == "not-enabled")
      return tr("%1 handed back: the PC has not enabled it.").arg(Coin());
    if (words[3] == "busy")
      return tr("%1 handed back: too many reports are waiting for the PC.").arg(Coin());
    return tr("Coin type %1 is not in this changer's coin set.").arg(words[2]);
  }
  if (words.size() >= 4 && words[0] == "PAID") {
    const QString strPaid = FormatMoney(words[1].toUInt());
    if (words[1] == words[3])
      return tr("Paid out %1 in change.").arg(strPaid);
    return tr("Paid out %1 of %2 asked: the tubes ran short.")
        .arg(strPaid, FormatMoney(words[3].toUInt()));
  }
  return {};
}

void CSimWindow::OnChanged() {
  const CInterfaceDevice& device = m_device.GetDevice();
  const CChangerModel& changer = device.GetChanger();

  m_pLinkLabel->setText(
      tr("Listening on <b>%1</b>: communication port <b>%2</b>, control port <b>%3</b>")
          .arg(m_device.GetAddress().toString())
          .arg(m_device.GetCommPort())
          .arg(m_device.GetControlPort()));
  const QString strPeer = m_device.GetPeerText();
  const int nCode = device.GetLastControlCode();
  m_pStateLabel->setText(
      tr("PC: %1 &nbsp;&nbsp; last control code: %2 &nbsp;&nbsp; polling %3 &nbsp; reporting %4")
          .arg(strPeer.isEmpty() ? tr("<i>not heard yet (waiting for control code 11)</i>")
                                 : "<b>" + strPeer + "</b>")
          .arg(nCode < 0 ? tr("none") : QString::number(nCode))
          .arg(OnOff(device.IsPolling()), OnOff(device.IsReporting())));

  for (CoinRow& row : m_rows) {
    const unsigned n = row.m_nCoinType;
    const bool bAccepted = changer.GetAcceptMask() & 1u << n;
    row.m_pInsertButton->setStyleSheet(bAccepted ? kAcceptedStyle : kRefusedStyle);
    row.m_pAcceptLabel->setText(Tick(bAccepted));
    row.m_pDispenseLabel->setText(Tick(changer.GetDispenseMask() & 1u << n));
    if (row.m_pTubeBar) {
      row.m_pTubeBar->setValue(changer.GetTubeCount(n));
      const bool bFull = changer.IsTubeFull(n);
      row.m_pFullLabel->setText(bFull ? tr("FULL") : QString());
      row.m_pFullLabel->setStyleSheet("color: #b42318; font-weight: bold");
    }
  }

  unsigned nCashCoins = 0;
  for (unsigned n = 0; n < 16; ++n)
    nCashCoins += changer.GetCashBoxCount(n);
  m_pCashBoxLabel->setText(tr("<b>Cash box:</b> %1 (%2 %3)")
                               .arg(FormatMoney(changer.GetCashBoxTotal()))
                               .arg(nCashCoins)
                               .arg(nCashCoins == 1 ? tr("coin") : tr("coins")));

  QString strChange =
      tr("<b>Change paid:</b> %1 in total").arg(FormatMoney(changer.GetChangePaid()));
  if (changer.GetPayoutCount() > 0) {
    const PayoutOutcome& payout = changer.GetLastPayout();
    QStringList coins;
    for (unsigned n = 16; n-- > 0;)
      if (payout.m_coins[n])
        coins << QStringLiteral("%1 \u00d7 %2")
                     .arg(payout.m_coins[n])
                     .arg(FormatMoney(changer.GetCoinValue(n)));
    strChange += tr("; last payout %1").arg(FormatMoney(payout.m_nPaid));
    if (!coins.isEmpty())
      strChange += " = " + coins.join(" + ");
    if (payout.m_nPaid < payout.m_nRequested)
      strChange += tr(" <b style='color:#b42318'>(%1 asked, tubes ran short)</b>")
                       .arg(FormatMoney(payout.m_nRequested));
  }
  m_pChangeLabel->setText(strChange);

  static const char* const s_features[] = {"alternative payout", "extended diagnostics",
                                           "controlled manual fill and payout",
                                           "file transport layer"};
  QStringList features;
  for (unsigned nBit = 0; nBit < 4; ++nBit)
    if (changer.GetFeatureEnable() & 1u << nBit)
      features << tr(s_features[nBit]);
  QString strFaults;
  if (device.GetWithholdCount() > 0)
    strFaults = tr(" &nbsp; <b style='color:#b42318'>withholding query answers</b>");
  m_pFeatureLabel->setText(tr("<b>Features the PC enabled:</b> %1")
                               .arg(features.isEmpty() ? tr("none") : features.join(", ")) +
                           strFaults);
}
