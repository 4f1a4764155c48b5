#include "DeviceLink.h"

#include "ConnectionSettings.h"
#include "WinApp.h"
#include "Wnd.h"

#include <cstdio>
#include <new>
#include <typeinfo>

namespace cs = connection_settings;

namespace {

constexpr int kReceiveBufferSize = 1024;  // the longest datagram the device sends

/// dynamic_cast<To*>(pFrom), remembered for the last object and class seen. The casts here go
/// across from one base of a class to another, which walks the class's type information each
/// time, twice per datagram answered: more work than the rest of its handling in this program.
/// The answer cannot change while the same object of the same class sits at that address, and
/// both are checked at the cost of one load. One thread only, like the rest of the link.
template <class To, class From>
To* CrossCast(From* pFrom) {
  static From* s_pFrom = nullptr;
  static const std::type_info* s_pType = nullptr;
  static To* s_pTo = nullptr;
  if (!pFrom)
    return nullptr;
  const std::type_info* pType = &typeid(*pFrom);
  if (pFrom != s_pFrom || pType != s_pType) {
    s_pTo = dynamic_cast<To*>(pFrom);
    s_pFrom = pFrom;
    s_pType = pType;
  }
  return s_pTo;
}

/// One of the two sockets: its port setting and what each failed step of opening it shows.
struct SocketSteps {
  const char* lpszPortEntry;
  DWORD nDefaultPort;
  const char* lpszCreateFailed;
  const char* lpszConnectFailed;
};

constexpr SocketSteps kCommunicationSteps = {cs::kPortCommunication, cs::kDefaultPortCommunication,
                                             "Create aquisition socket failed, Error: %u\r\n",
                                             "Connect to aquisition socket failed, Error: %u\r\n"};
constexpr SocketSteps kControlSteps = {cs::kPortControl, cs::kDefaultPortControl,
                                       "Create control socket failed, Error: %u\r\n",
                                       "Connect to control socket failed, Error: %u\r\n"};

/// Makes both socket objects, binds each to its port and connects it to the same port of the
/// device. Each failed step shows its message as if the communication socket were opened first
/// and the control socket after it: a control socket is left only beside a communication socket
/// that stands. What was made up to the failure stays in place.
/// @returns true when both are connected.
bool OpenSockets(CDeviceSocket*& rpCommSocket, CDeviceSocket*& rpControlSocket,
                 const std::string& strIPAddress) {
  CWinApp* pApp = AfxGetApp();
  const SocketSteps* const pSteps[2] = {&kCommunicationSteps, &kControlSteps};
  CDeviceSocket** const ppSockets[2] = {&rpCommSocket, &rpControlSocket};
  UINT nPorts[2];
  CAsyncSocket* pSockets[2];
  for (int i = 0; i < 2; ++i) {
    nPorts[i] =
        pApp->GetProfileInt(cs::kSection, pSteps[i]->lpszPortEntry, pSteps[i]->nDefaultPort);
    pSockets[i] = *ppSockets[i] = new (std::nothrow) CDeviceSocket;
    if (!pSockets[i]) {
      ReportFailure("Memory allocation, Error: %u\r\n", GetLastError());
      return false;
    }
  }
  // Both are bound before either is checked for a second owner of its port: one look at the
  // system's socket table then serves both (under Wine each look walks every socket of the host).
  const int nOpened = CAsyncSocket::CreateEach(pSockets, nPorts, 2);
  const DWORD dwCreateError = GetLastError();
  for (int i = 0; i < 2; ++i) {
    if (i >= nOpened)
      ReportFailure(pSteps[i]->lpszCreateFailed, dwCreateError);
    else if (!pSockets[i]->Connect(strIPAddress.c_str(), nPorts[i]))
      ReportFailure(pSteps[i]->lpszConnectFailed, GetLastError());
    else
      continue;
    // The sockets after the failed one are not made, as when each is opened in turn.
    for (int j = i + 1; j < 2; ++j) {
      delete *ppSockets[j];
      *ppSockets[j] = nullptr;
    }
    return false;
  }
  return true;
}

}  // namespace

void ReportFailure(const char* lpszFormat, DWORD dwCode) {
  char szText[256];
  std::snprintf(szText, sizeof szText, lpszFormat, static_cast<unsigned>(dwCode));
  AfxMessageBox(szText, MB_ICONERROR);
}

CDeviceSocket::CDeviceSocket()
    : m_nCommunicationPort(AfxGetApp()->GetProfileInt(cs::kSection, cs::kPortCommunication,
                                                      cs::kDefaultPortCommunication)) {}

CDeviceSocket::~CDeviceSocket() { Close(); }

void CDeviceSocket::OnReceive(int) {
  BYTE buffer[kReceiveBufferSize];
  std::string strAddress;
  UINT nPort = 0;
  const int n = ReceiveFrom(buffer, sizeof buffer, strAddress, nPort);
  // An empty datagram carries nothing for the driver and is dropped like a failed read; the
  // socket stays open for the next one.
  if (n <= 0)
    return;
  CWinApp* pApp = AfxGetApp();
  if (nPort != m_nCommunicationPort || !pApp || !pApp->m_pMainWnd)
    return;
  if (auto* pSink = CrossCast<IDatagramSink>(pApp->m_pMainWnd))
    pSink->OnDatagram(buffer, static_cast<unsigned>(n));
}

bool CDeviceLink::Connect() {
  CWinApp* pApp = AfxGetApp();
  const std::string strConnectionName =
      pApp->GetProfileString(cs::kSection, cs::kConnectionName, cs::kDefaultConnectionName);
  const DWORD dwResult = InternetDial(nullptr, strConnectionName.c_str(),
                                      INTERNET_AUTODIAL_FORCE_ONLINE, &m_dwConnection, 0);
  if (dwResult != 0) {
    ReportFailure(
        "Connect failed, Error: %u\r\nPlease make sure to use the correct connectionand "
        "check the connection settings in windows control panel.",
        dwResult);
    m_dwConnection = 0;
    return false;
  }
  m_bDialled = true;
  const std::string strIPAddress =
      pApp->GetProfileString(cs::kSection, cs::kIPAddress, cs::kDefaultIPAddress);
  return OpenSockets(m_pCommSocket, m_pControlSocket, strIPAddress);
}

bool CDeviceLink::Disconnect() {
  if (m_pCommSocket) {
    m_pCommSocket->Close();
    delete m_pCommSocket;
    m_pCommSocket = nullptr;
  }
  if (m_pControlSocket) {
    m_pControlSocket->Close();
    delete m_pControlSocket;
    m_pControlSocket = nullptr;
  }
  if (m_dwConnection != 0) {
    const DWORD dwResult = InternetHangUp(m_dwConnection, 0);
    if (dwResult != 0) {
      ReportFailure("Hang up failed, Error: %u\r\nProbably still connected.", dwResult);
      return false;
    }
    m_dwConnection = 0;
  }
  m_bDialled = false;
  return true;
}

void CDeviceLink::SendChangerCommand(const BYTE* pBytes, unsigned nLength) {
  if (m_pCommSocket)
    m_pCommSocket->Send(pBytes, static_cast<int>(nLength));
}

void CDeviceLink::SendControlCommand(BYTE nCode) {
  if (!IsConnected() || !m_pControlSocket)
    return;
  const BYTE command[3] = {0x08, 0x03, nCode};
  m_pControlSocket->Send(command, sizeof command);
}

CDeviceLink* AfxGetDeviceLink() { return CrossCast<CDeviceLink>(AfxGetApp()); }
