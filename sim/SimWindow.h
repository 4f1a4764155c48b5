// The face of the simulated device: coin buttons, the tubes and cash box, what the PC has set,
// fault buttons and the traffic log. It only shows CSimDevice's state and calls its operations.
#pragma once

#include <QString>
#include <QWidget>

#include <vector>

class CSimDevice;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class CSimWindow : public QWidget {
  Q_OBJECT

public:
  explicit CSimWindow(CSimDevice& device, QWidget* pParent = nullptr);

  /// Money in hundredths as the changer's currency shows it ("1.25" with 2 decimal places).
  QString FormatMoney(unsigned nHundredths) const;
  /// @returns the log line shown for one line of CSimDevice (traffic gets arrows and its name).
  static QString DisplayLine(const QString& strLine);

private slots:
  void OnChanged();
  void OnLine(const QString& strLine);

private:
  struct CoinRow {
    unsigned m_nCoinType;
    QPushButton* m_pInsertButton;
    QLabel* m_pAcceptLabel;
    QLabel* m_pDispenseLabel;
    QProgressBar* m_pTubeBar;  // null when the coin type has no tube
    QLabel* m_pFullLabel;
  };

  /// A sentence for the operator about a coin or a payout line; empty for other lines.
  QString DescribeEvent(const QString& strLine) const;
  QGroupBox* BuildCoinBox();
  QGroupBox* BuildTubeBox();
  QGroupBox* BuildFaultBox();
  QGroupBox* BuildLogBox();

  CSimDevice& m_device;
  std::vector<CoinRow> m_rows;
  QLabel* m_pLinkLabel = nullptr;
  QLabel* m_pStateLabel = nullptr;
  QLabel* m_pCashBoxLabel = nullptr;
  QLabel* m_pChangeLabel = nullptr;
  QLabel* m_pFeatureLabel = nullptr;
  QLabel* m_pLastEventLabel = nullptr;
  QPlainTextEdit* m_pLog = nullptr;
  int m_nRepeatedTicks = 0;  // ticks shown on the log's last line
};
