// The simulated LX-5200-E on the wire: two UDP sockets and the polling cadence around a
// CInterfaceDevice. Everything it receives, sends and does is reported as one machine-readable
// line each (see README.md); the window and the headless console show those lines.
#pragma once

#include "InterfaceDevice.h"
#include "PcapWriter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

class QUdpSocket;

class CSimDevice : public QObject {
  Q_OBJECT

public:
  explicit CSimDevice(const ChangerConfig& config, QObject* pParent = nullptr);
  ~CSimDevice() override;

  /// Binds the communication and control sockets to address (127.0.0.0/8 only) with
  /// SO_REUSEADDR and starts the cadence. @returns false with strError set when either bind fails.
  bool Open(const QHostAddress& address, quint16 nCommPort, quint16 nControlPort,
            QString& strError);
  /// Records every datagram sent and received from now on in the pcap file strPath.
  /// @returns false with strError set when the file cannot be created.
  bool OpenCapture(const QString& strPath, QString& strError);
  /// Milliseconds between two slots of the cadence (1 or more).
  void SetTickInterval(int nMilliseconds);
  /// Polls and reports to address's communication port at once, without waiting for the PC's
  /// control codes. @returns false for an address outside 127.0.0.0/8.
  bool StartPollingTo(const QHostAddress& address);

  // The operator at the changer, and faults on demand. Each reports what it did as a line.
  void InsertCoin(unsigned nCoinType);
  void DispenseCoin(unsigned nCoinType, unsigned nCount = 1);
  void SetTubeCount(unsigned nCoinType, unsigned nCount);
  void ResetChanger(const ByteVector& moreStatus = {});
  void ArmWithhold(unsigned nCount, const std::string& strTarget = {});
  void ArmShortResponse(std::size_t nLength, const std::string& strTarget = {});
  void ArmWrongHeader(std::uint8_t nHeader, const std::string& strTarget = {});
  void ArmLateResponse(unsigned nDelay, const std::string& strTarget = {});
  void SendEmptyDatagram(EPort ePort);
  void SendOversizedDatagram(std::size_t nLength);

  const CInterfaceDevice& GetDevice() const { return m_device; }
  QHostAddress GetAddress() const { return m_address; }
  quint16 GetCommPort() const { return m_nCommPort; }
  quint16 GetControlPort() const { return m_nControlPort; }
  /// "127.0.0.1:4003", or empty while no PC has been heard.
  QString GetPeerText() const;

  /// @returns true for an IPv4 address in 127.0.0.0/8, the only place this device talks to.
  static bool IsLoopback(const QHostAddress& address);

signals:
  /// One line of traffic ("RX COMM 1 09 SETUP") or of what happened ("PAID 25 of 25 coins 3x1").
  void Line(const QString& strLine);
  /// The changer's or the device's state may have changed: redraw.
  void Changed();

private slots:
  void OnCommReadyRead();
  void OnControlReadyRead();
  void OnTick();

private:
  void ReadDatagrams(QUdpSocket* pSocket, EPort ePort);
  void Apply(const DeviceStep& step);
  void Send(const Datagram& datagram);
  void Note(const std::string& strLine);
  void Capture(const QHostAddress& source, quint16 nSourcePort, const QHostAddress& destination,
               quint16 nDestinationPort, const QByteArray& data);

  CInterfaceDevice m_device;
  QUdpSocket* m_pCommSocket = nullptr;
  QUdpSocket* m_pControlSocket = nullptr;
  QTimer m_tickTimer;
  QElapsedTimer m_sinceSlot;  // the changer's time without a poll runs on the clock, not the slots
  QHostAddress m_address;
  quint16 m_nCommPort = 0;
  quint16 m_nControlPort = 0;
  // Where ticks and answers go: the PC's address and its communication port.
  QHostAddress m_peerAddress;
  quint16 m_nPeerCommPort = 0;
  quint16 m_nPeerControlPort = 0;
  CPcapWriter m_capture;  // open only with --capture
};
