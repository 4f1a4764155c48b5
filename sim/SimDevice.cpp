#include "SimDevice.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>

CSimDevice::CSimDevice(const ChangerConfig& config, QObject* pParent)
    : QObject(pParent), m_device(config) {
  m_tickTimer.setInterval(100);
  connect(&m_tickTimer, &QTimer::timeout, this, &CSimDevice::OnTick);
}

CSimDevice::~CSimDevice() = default;

bool CSimDevice::IsLoopback(const QHostAddress& address) {
  return address.protocol() == QAbstractSocket::IPv4Protocol &&
         (address.toIPv4Address() >> 24) == 127;
}

bool CSimDevice::Open(const QHostAddress& address, quint16 nCommPort, quint16 nControlPort,
                      QString& strError) {
  if (!IsLoopback(address)) {
    strError =
        QStringLiteral("refusing to bind %1: only 127.0.0.0/8 is allowed").arg(address.toString());
    return false;
  }
  const auto mode = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
  m_pCommSocket = new QUdpSocket(this);
  m_pControlSocket = new QUdpSocket(this);
  if (!m_pCommSocket->bind(address, nCommPort, mode)) {
    strError = QStringLiteral("communication port %1: %2")
                   .arg(nCommPort)
                   .arg(m_pCommSocket->errorString());
    return false;
  }
  if (!m_pControlSocket->bind(address, nControlPort, mode)) {
    strError = QStringLiteral("control port %1: %2")
                   .arg(nControlPort)
                   .arg(m_pControlSocket->errorString());
    return false;
  }
  m_address = address;
  m_nCommPort = nCommPort;
  m_nControlPort = nControlPort;
  connect(m_pCommSocket, &QUdpSocket::readyRead, this, &CSimDevice::OnCommReadyRead);
  connect(m_pControlSocket, &QUdpSocket::readyRead, this, &CSimDevice::OnControlReadyRead);
  m_tickTimer.start();
  m_sinceSlot.start();
  return true;
}

bool CSimDevice::OpenCapture(const QString& strPath, QString& strError) {
  if (m_capture.Open(strPath.toStdString()))
    return true;
  strError = QStringLiteral("cannot write the capture file %1: %2")
                 .arg(strPath, QString::fromLocal8Bit(std::strerror(errno)));
  return false;
}

void CSimDevice::Capture(const QHostAddress& source, quint16 nSourcePort,
                         const QHostAddress& destination, quint16 nDestinationPort,
                         const QByteArray& data) {
  if (!m_capture.IsOpen())
    return;
  if (!m_capture.WriteUdp({source.toIPv4Address(), nSourcePort},
                          {destination.toIPv4Address(), nDestinationPort},
                          reinterpret_cast<const std::uint8_t*>(data.constData()),
                          static_cast<std::size_t>(data.size())))
    Note("ERROR capture file not written");
}

void CSimDevice::SetTickInterval(int nMilliseconds) {
  m_tickTimer.setInterval(qMax(1, nMilliseconds));
}

bool CSimDevice::StartPollingTo(const QHostAddress& address) {
  if (!IsLoopback(address))
    return false;
  m_peerAddress = address;
  m_nPeerCommPort = m_nCommPort;
  m_nPeerControlPort = m_nControlPort;
  m_device.StartPolling();
  Note("STATE polling on reporting on");
  emit Changed();
  return true;
}

QString CSimDevice::GetPeerText() const {
  if (m_nPeerCommPort == 0)
    return {};
  return QStringLiteral("%1:%2").arg(m_peerAddress.toString()).arg(m_nPeerCommPort);
}

void CSimDevice::OnCommReadyRead() { ReadDatagrams(m_pCommSocket, EPort::Communication); }

void CSimDevice::OnControlReadyRead() { ReadDatagrams(m_pControlSocket, EPort::Control); }

void CSimDevice::ReadDatagrams(QUdpSocket* pSocket, EPort ePort) {
  while (pSocket->hasPendingDatagrams()) {
    const QNetworkDatagram received = pSocket->receiveDatagram();
    const QHostAddress sender(received.senderAddress().toIPv4Address());
    const QByteArray data = received.data();
    const auto* pBytes = reinterpret_cast<const std::uint8_t*>(data.constData());
    Datagram logged{ePort, ByteVector(pBytes, pBytes + data.size()), {}};
    if (!IsLoopback(sender) || received.senderPort() < 0) {
      logged.m_strName = "FROM OUTSIDE LOOPBACK (DROPPED)";
      Note(FormatTrafficLine(false, logged));
      continue;
    }
    const DeviceStep step =
        ePort == EPort::Communication
            ? m_device.OnCommDatagram(pBytes, static_cast<std::size_t>(data.size()))
            : m_device.OnControlDatagram(pBytes, static_cast<std::size_t>(data.size()));
    // The PC sends from its communication port; a control code names its address, and its
    // communication port carries the same number as ours.
    if (ePort == EPort::Communication) {
      m_nPeerCommPort = static_cast<quint16>(received.senderPort());
    } else if (sender != m_peerAddress || m_nPeerCommPort == 0) {
      m_nPeerCommPort = m_nCommPort;
    }
    if (ePort == EPort::Control)
      m_nPeerControlPort = static_cast<quint16>(received.senderPort());
    m_peerAddress = sender;
    Capture(sender, static_cast<quint16>(received.senderPort()), m_address,
            ePort == EPort::Communication ? m_nCommPort : m_nControlPort, data);
    logged.m_strName = step.m_strReceived;
    Note(FormatTrafficLine(false, logged));
    Apply(step);
  }
}

// A loaded machine delivers the timer late and merges missed slots: the time passed is measured.
void CSimDevice::OnTick() {
  const qint64 nElapsed = m_sinceSlot.restart();
  Apply(m_device.OnTickSlot(static_cast<unsigned>(std::clamp<qint64>(nElapsed, 0, 60000))));
}

void CSimDevice::Apply(const DeviceStep& step) {
  for (const std::string& strNote : step.m_notes)
    Note(strNote);
  for (const Datagram& datagram : step.m_send)
    Send(datagram);
  if (!step.m_notes.empty() || !step.m_strReceived.empty())
    emit Changed();
}

void CSimDevice::Send(const Datagram& datagram) {
  const bool bComm = datagram.m_ePort == EPort::Communication;
  const quint16 nPort = bComm ? m_nPeerCommPort : m_nPeerControlPort;
  if (nPort == 0 || !IsLoopback(m_peerAddress)) {
    Note("ERROR no PC to send " + datagram.m_strName + " to");
    return;
  }
  QUdpSocket* pSocket = bComm ? m_pCommSocket : m_pControlSocket;
  const qint64 nSent =
      pSocket->writeDatagram(reinterpret_cast<const char*>(datagram.m_bytes.data()),
                             static_cast<qint64>(datagram.m_bytes.size()), m_peerAddress, nPort);
  Note(FormatTrafficLine(true, datagram));
  if (nSent < 0)
    Note("ERROR send failed: " + pSocket->errorString().toStdString());
  else
    Capture(m_address, bComm ? m_nCommPort : m_nControlPort, m_peerAddress, nPort,
            QByteArray(reinterpret_cast<const char*>(datagram.m_bytes.data()),
                       static_cast<qsizetype>(datagram.m_bytes.size())));
}

void CSimDevice::Note(const std::string& strLine) { emit Line(QString::fromStdString(strLine)); }

void CSimDevice::InsertCoin(unsigned nCoinType) {
  Note(m_device.InsertCoin(nCoinType));
  emit Changed();
}

void CSimDevice::DispenseCoin(unsigned nCoinType, unsigned nCount) {
  Note(m_device.DispenseCoin(nCoinType, nCount));
  emit Changed();
}

void CSimDevice::SetTubeCount(unsigned nCoinType, unsigned nCount) {
  Note(m_device.SetTubeCount(nCoinType, nCount));
  emit Changed();
}

void CSimDevice::ResetChanger(const ByteVector& moreStatus) {
  Note(m_device.ResetChanger(moreStatus));
  emit Changed();
}

void CSimDevice::ArmWithhold(unsigned nCount, const std::string& strTarget) {
  Note(m_device.ArmWithhold(nCount, strTarget));
  emit Changed();
}

void CSimDevice::ArmShortResponse(std::size_t nLength, const std::string& strTarget) {
  Note(m_device.ArmShortResponse(nLength, strTarget));
  emit Changed();
}

void CSimDevice::ArmWrongHeader(std::uint8_t nHeader, const std::string& strTarget) {
  Note(m_device.ArmWrongHeader(nHeader, strTarget));
  emit Changed();
}

void CSimDevice::ArmLateResponse(unsigned nDelay, const std::string& strTarget) {
  Note(m_device.ArmLateResponse(nDelay, strTarget));
  emit Changed();
}

void CSimDevice::SendEmptyDatagram(EPort ePort) { Send(m_device.MakeEmptyDatagram(ePort)); }

void CSimDevice::SendOversizedDatagram(std::size_t nLength) {
  Send(m_device.MakeOversizedDatagram(nLength));
}
