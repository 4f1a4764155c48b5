// The datagrams between udp-relay (UdpRelay.cpp) and the test process it serves, one tunnel socket
// at each end on 127.0.0.1. Every datagram is a header of kRelayHeader bytes, then its payload:
// the kind, the relayed socket's number (the test's choice, 1 and up), an IPv4 address and a port,
// both in network order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace udp_relay {

enum EKind : unsigned char {
  kHello = 'H',   ///< relay to test, first of all: the relay's tunnel is its sender
  kBind = 'B',    ///< bind socket id to address:port; payload 1 byte, 1 for SO_REUSEADDR
  kSend = 'S',    ///< send the payload from socket id to address:port
  kClose = 'X',   ///< close socket id
  kBye = 'Q',     ///< the relay ends
  kResult = 'R',  ///< relay to test, for all but kClose and kBye: payload 1 byte, 1 when done
  kData = 'D',    ///< relay to test: socket id received the payload from address:port
};

constexpr std::size_t kRelayHeader = 9;

struct SRelayHeader {
  EKind eKind;
  std::uint16_t nId;
  std::uint32_t nAddress;  ///< host order
  std::uint16_t nPort;     ///< host order
};

inline std::vector<unsigned char> RelayMessage(const SRelayHeader& h,
                                               const void* pPayload = nullptr,
                                               std::size_t nLength = 0) {
  const auto* p = static_cast<const unsigned char*>(pPayload);
  std::vector<unsigned char> bytes = {h.eKind,
                                      static_cast<unsigned char>(h.nId >> 8),
                                      static_cast<unsigned char>(h.nId),
                                      static_cast<unsigned char>(h.nAddress >> 24),
                                      static_cast<unsigned char>(h.nAddress >> 16),
                                      static_cast<unsigned char>(h.nAddress >> 8),
                                      static_cast<unsigned char>(h.nAddress),
                                      static_cast<unsigned char>(h.nPort >> 8),
                                      static_cast<unsigned char>(h.nPort)};
  bytes.insert(bytes.end(), p, p + nLength);
  return bytes;
}

/// @returns false when the datagram is shorter than a header.
inline bool ParseRelayHeader(const unsigned char* p, std::size_t nLength, SRelayHeader& h) {
  if (nLength < kRelayHeader)
    return false;
  h.eKind = static_cast<EKind>(p[0]);
  h.nId = static_cast<std::uint16_t>(p[1] << 8 | p[2]);
  h.nAddress =
      std::uint32_t{p[3]} << 24 | std::uint32_t{p[4]} << 16 | std::uint32_t{p[5]} << 8 | p[6];
  h.nPort = static_cast<std::uint16_t>(p[7] << 8 | p[8]);
  return true;
}

/// 127.0.0.0/8, the only addresses the relay binds or sends to.
inline bool IsLoopbackAddress(std::uint32_t nAddress) { return nAddress >> 24 == 127; }

}  // namespace udp_relay
