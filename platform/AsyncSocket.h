#pragma once

#include "Afx.h"

#include <string>

class CSocketWatch;

constexpr int SOCK_DGRAM_TYPE = 2;  // SOCK_DGRAM
constexpr long FD_READ_EVENT = 0x01;
constexpr long FD_WRITE_EVENT = 0x02;

/// An IPv4 datagram socket whose read readiness is delivered to OnReceive by the event loop.
/// Every failure leaves the socket layer's code in GetLastError (errno on Linux, Winsock's code on
/// Windows); the comments below give the Linux names.
class CAsyncSocket {
public:
  CAsyncSocket() = default;
  virtual ~CAsyncSocket();

  CAsyncSocket(const CAsyncSocket&) = delete;
  CAsyncSocket& operator=(const CAsyncSocket&) = delete;

  /// Opens a UDP socket with SO_REUSEADDR and binds it to nSocketPort on lpszSocketAddress
  /// (all local addresses when null). Ports outside 1..65535 fail with EINVAL. A bind to all
  /// addresses fails with EADDRINUSE when another socket already takes the wildcard address on
  /// that port (PortSharing.h); sockets on one specific address may share it.
  /// @returns false on failure; a failed bind closes the handle again.
  bool Create(UINT nSocketPort, int nSocketType = SOCK_DGRAM_TYPE,
              long lEvent = FD_READ_EVENT | FD_WRITE_EVENT,
              const char* lpszSocketAddress = nullptr);
  /// Create for nCount sockets at once, ppSockets[i] on port pnPorts[i], with the outcome of
  /// Create for each in turn: every socket is bound first, and then one look at the system's
  /// socket table checks them all for a second owner of the wildcard port (on Windows that look
  /// is the slow part of a Create). The look comes after every bind, so it is valid for each; a
  /// socket later in the list on the same port counts as not yet made.
  /// @returns how many were opened: those before the first failure, whose code is then left in
  /// GetLastError. The sockets from the failed one on are left without a handle.
  static int CreateEach(CAsyncSocket* const ppSockets[], const UINT pnPorts[], int nCount,
                        long lEvent = FD_READ_EVENT | FD_WRITE_EVENT,
                        const char* lpszSocketAddress = nullptr);
  /// Makes address:port the default destination and the only accepted source. The address is
  /// a dotted IPv4 address or a host name; anything else fails with EINVAL.
  bool Connect(const char* lpszHostAddress, UINT nHostPort);
  /// Reads one datagram into the caller's buffer. Inside OnReceive, the datagrams queued behind
  /// it may be taken from the system in the same call (Linux: one system call for a burst), each
  /// into room of nBufLen bytes, and are then handed to the next calls in order; a later call
  /// with a longer buffer cannot get back what did not fit that room.
  /// @returns its byte count, 0 for an empty datagram, -1 on error or for a datagram longer
  /// than nBufLen (which is lost).
  int ReceiveFrom(void* lpBuf, int nBufLen, std::string& rSocketAddress, UINT& rSocketPort,
                  int nFlags = 0);
  /// @returns the bytes sent, or -1.
  int Send(const void* lpBuf, int nBufLen, int nFlags = 0);
  /// Closes the handle; the object remains. Without an open handle nothing happens.
  void Close();

  /// A datagram is waiting; one call per datagram. Datagrams that are already queued when a
  /// call returns get their calls at once, up to a bound, before the event loop runs again (on
  /// Windows each comes with its own notification, one after the other).
  virtual void OnReceive(int nErrorCode);

  /// The socket while it is open, -1 otherwise.
  INT_PTR m_hSocket = -1;

private:
  /// The first step of CreateEach: a new socket with SO_REUSEADDR, bound to nSocketPort on
  /// lpszSocketAddress, for this object, which must have none open.
  /// @returns the handle, or -1 with the code in GetLastError.
  INT_PTR Bind(UINT nSocketPort, int nSocketType, const char* lpszSocketAddress) const;
  /// Of the bound handles, in CreateEach's order, the index of the first whose wildcard port has
  /// another owner (PortSharing.h), with the address-in-use code in GetLastError; nCount if none.
  static int FirstSharedPort(const INT_PTR* pHandles, int nCount);
  /// The last step: the bound, checked handle becomes this socket's, with its notification.
  /// @returns false with the code in GetLastError, the handle closed.
  bool Open(INT_PTR hSocket, long lEvent);
  static void CloseBound(INT_PTR hSocket);
  /// Create and CreateEach: the steps for each socket, in the order CreateEach gives.
  static int OpenEach(CAsyncSocket* const ppSockets[], const UINT pnPorts[], int nCount,
                      int nSocketType, long lEvent, const char* lpszSocketAddress);

  /// One readiness notification: OnReceive for the datagram waiting, then at once again for each
  /// one queued behind it, up to a bound.
  void DeliverReadiness();
  /// Whether a datagram, an empty one included, waits on the open socket hSocket (a pending
  /// error alone does not count). On Windows always false: each datagram that a read leaves
  /// behind gets a readiness notification of its own.
  static bool IsDatagramWaiting(INT_PTR hSocket);

  CSocketWatch* m_pWatch = nullptr;  ///< the platform's readiness notification while open
  bool m_bInReceive = false;
  int m_nDatagramsRead = 0;  ///< by ReceiveFrom since the current OnReceive call began
  /// How many datagrams were taken from the system's queue in one go with an earlier one and
  /// wait for their own OnReceive calls (Linux; 0 elsewhere); ReceiveFrom hands them out first.
  int ReadAheadCount() const;
  /// The last read found the system's queue empty behind its datagram (Linux), so the next
  /// datagram is left to the event loop, without a look of its own.
  bool m_bQueueWasEmpty = false;
};
