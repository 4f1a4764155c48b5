// A capture file of the datagrams the simulated device sends and receives, in the classic pcap
// format that Wireshark and tshark open: one raw IPv4 packet (IPv4 header, UDP header, payload)
// per record, with the real addresses and ports of both sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

/// One end of a datagram: an IPv4 address and a UDP port, both in host byte order.
struct UdpEndpoint {
  std::uint32_t m_dwAddress = 0;
  std::uint16_t m_nPort = 0;
};

class CPcapWriter {
public:
  CPcapWriter() = default;
  ~CPcapWriter();
  CPcapWriter(const CPcapWriter&) = delete;
  CPcapWriter& operator=(const CPcapWriter&) = delete;

  /// Creates (or truncates) strPath and writes the file header. @returns false when the file
  /// cannot be written; errno tells why.
  bool Open(const std::string& strPath);
  bool IsOpen() const { return m_pFile != nullptr; }

  /// Appends one UDP datagram, stamped with the current time, and flushes it, so that a capture
  /// stays readable when the device is ended abruptly. An empty payload is recorded as such.
  /// @returns false when nothing is open, the payload cannot fit one IPv4 packet, or the write
  /// fails.
  bool WriteUdp(const UdpEndpoint& source, const UdpEndpoint& destination,
                const std::uint8_t* pPayload, std::size_t nLength);

private:
  std::FILE* m_pFile = nullptr;
  std::uint16_t m_nIpId = 0;  // IPv4 identification, counted up per packet
};
