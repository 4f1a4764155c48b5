#pragma once

#include "AsyncSocket.h"

/// Receives the datagrams of the device's communication port; the main window implements it.
class IDatagramSink {
public:
  virtual ~IDatagramSink() = default;
  /// pBytes holds nLength (1..1024) bytes, valid only during the call.
  virtual void OnDatagram(const BYTE* pBytes, unsigned nLength) = 0;
};

/// One of the two UDP sockets to the interface device.
class CDeviceSocket : public CAsyncSocket {
public:
  CDeviceSocket();
  ~CDeviceSocket() override;

  /// Reads one datagram and hands it to the main window when it came from the
  /// communication port; an empty datagram is dropped.
  void OnReceive(int nErrorCode) override;

  DWORD m_nCommunicationPort;  ///< "PortCommunication" as read at construction
};

/// The link state and its operations; the application object is a CDeviceLink.
class CDeviceLink {
public:
  CDeviceLink() = default;
  virtual ~CDeviceLink() = default;

  CDeviceLink(const CDeviceLink&) = delete;
  CDeviceLink& operator=(const CDeviceLink&) = delete;

  /// Dials, then opens and connects both sockets; every failure shows its message.
  /// @returns true only when the dial-up connection and both sockets are up.
  bool Connect();
  /// Closes and deletes both sockets, then hangs up. @returns false only when hanging up failed.
  bool Disconnect();
  bool IsConnected() const { return m_bDialled; }

  CDeviceSocket* GetCommunicationSocket() const { return m_pCommSocket; }
  CDeviceSocket* GetControlSocket() const { return m_pControlSocket; }

  /// One datagram on the communication socket; nothing without one. Failures are silent.
  void SendChangerCommand(const BYTE* pBytes, unsigned nLength);
  /// 08 03 code on the control socket, only while connected. Failures are silent.
  void SendControlCommand(BYTE nCode);

protected:
  /// The dial-up connection's handle; 0 when there is none to hang up, which a platform may
  /// also report with a successful dial.
  DWORD_PTR m_dwConnection = 0;
  bool m_bDialled = false;  ///< dialled successfully and not hung up since
  CDeviceSocket* m_pCommSocket = nullptr;
  CDeviceSocket* m_pControlSocket = nullptr;
};

/// Shows the operator a failed step in an error box. lpszFormat names the step and holds one %u,
/// which becomes dwCode: "<step>, Error: %u\r\n", sometimes followed by advice. Every failure
/// message of the link and the application is built here.
void ReportFailure(const char* lpszFormat, DWORD dwCode);

/// The application's link, or nullptr when the application object is not a CDeviceLink.
CDeviceLink* AfxGetDeviceLink();
