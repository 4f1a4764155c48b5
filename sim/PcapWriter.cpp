#include "PcapWriter.h"

#include <chrono>
#include <vector>

namespace {

constexpr std::uint32_t kPcapMagic = 0xA1B2C3D4;  // microsecond timestamps
constexpr std::uint32_t kLinkTypeRaw = 101;       // LINKTYPE_RAW: the packet starts with IPv4
constexpr std::uint32_t kSnapLength = 65535;
constexpr std::size_t kIpHeader = 20;
constexpr std::size_t kUdpHeader = 8;
constexpr std::size_t kMaxPayload = 65535 - kIpHeader - kUdpHeader;

// The pcap headers are written in the writer's byte order (the magic number tells readers which);
// the packet itself is in network byte order.
template <typename T>
void PutHost(std::vector<std::uint8_t>& out, T value) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
  out.insert(out.end(), p, p + sizeof value);
}

void PutBig16(std::vector<std::uint8_t>& out, std::uint16_t w) {
  out.push_back(static_cast<std::uint8_t>(w >> 8));
  out.push_back(static_cast<std::uint8_t>(w));
}

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t dw) {
  PutBig16(out, static_cast<std::uint16_t>(dw >> 16));
  PutBig16(out, static_cast<std::uint16_t>(dw));
}

/// The Internet checksum (RFC 1071) of bytes, continuing from nSum.
std::uint32_t AddOnesComplement(std::uint32_t nSum, const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i + 1 < n; i += 2)
    nSum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
  if (n % 2 != 0)
    nSum += static_cast<std::uint32_t>(p[n - 1] << 8);
  return nSum;
}

std::uint16_t FoldChecksum(std::uint32_t nSum) {
  while (nSum >> 16)
    nSum = (nSum & 0xFFFF) + (nSum >> 16);
  return static_cast<std::uint16_t>(~nSum);
}

}  // namespace

CPcapWriter::~CPcapWriter() {
  if (m_pFile)
    std::fclose(m_pFile);
}

bool CPcapWriter::Open(const std::string& strPath) {
  if (m_pFile)
    std::fclose(m_pFile);
  m_pFile = std::fopen(strPath.c_str(), "wb");
  if (!m_pFile)
    return false;
  std::vector<std::uint8_t> header;
  PutHost<std::uint32_t>(header, kPcapMagic);
  PutHost<std::uint16_t>(header, 2);  // format version 2.4
  PutHost<std::uint16_t>(header, 4);
  PutHost<std::int32_t>(header, 0);   // timestamps in UTC
  PutHost<std::uint32_t>(header, 0);  // accuracy, unused
  PutHost<std::uint32_t>(header, kSnapLength);
  PutHost<std::uint32_t>(header, kLinkTypeRaw);
  return std::fwrite(header.data(), 1, header.size(), m_pFile) == header.size() &&
         std::fflush(m_pFile) == 0;
}

bool CPcapWriter::WriteUdp(const UdpEndpoint& source, const UdpEndpoint& destination,
                           const std::uint8_t* pPayload, std::size_t nLength) {
  if (!m_pFile || nLength > kMaxPayload || (nLength > 0 && !pPayload))
    return false;
  const auto nUdpLength = static_cast<std::uint16_t>(kUdpHeader + nLength);
  const auto nIpLength = static_cast<std::uint16_t>(kIpHeader + nUdpLength);

  std::vector<std::uint8_t> packet;
  packet.reserve(nIpLength);
  packet.push_back(0x45);  // IPv4, header of 5 words
  packet.push_back(0);
  PutBig16(packet, nIpLength);
  PutBig16(packet, m_nIpId++);
  PutBig16(packet, 0x4000);  // don't fragment
  packet.push_back(64);      // time to live
  packet.push_back(17);      // UDP
  PutBig16(packet, 0);       // header checksum, filled in below
  PutBig32(packet, source.m_dwAddress);
  PutBig32(packet, destination.m_dwAddress);
  const std::uint16_t wIpChecksum = FoldChecksum(AddOnesComplement(0, packet.data(), kIpHeader));
  packet[10] = static_cast<std::uint8_t>(wIpChecksum >> 8);
  packet[11] = static_cast<std::uint8_t>(wIpChecksum);

  PutBig16(packet, source.m_nPort);
  PutBig16(packet, destination.m_nPort);
  PutBig16(packet, nUdpLength);
  PutBig16(packet, 0);  // checksum, filled in below
  packet.insert(packet.end(), pPayload, pPayload + nLength);
  // UDP checksum over the pseudo header (addresses, protocol, length), the header and the payload.
  std::uint32_t nSum = AddOnesComplement(0, packet.data() + 12, 8);
  nSum += 17 + nUdpLength;
  std::uint16_t wUdpChecksum =
      FoldChecksum(AddOnesComplement(nSum, packet.data() + kIpHeader, nUdpLength));
  if (wUdpChecksum == 0)
    wUdpChecksum = 0xFFFF;  // 0 would mean "no checksum"
  packet[kIpHeader + 6] = static_cast<std::uint8_t>(wUdpChecksum >> 8);
  packet[kIpHeader + 7] = static_cast<std::uint8_t>(wUdpChecksum);

  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto nMicroseconds = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
  std::vector<std::uint8_t> record;
  PutHost<std::uint32_t>(record, static_cast<std::uint32_t>(nMicroseconds / 1000000));
  PutHost<std::uint32_t>(record, static_cast<std::uint32_t>(nMicroseconds % 1000000));
  PutHost<std::uint32_t>(record, nIpLength);  // captured length: the whole packet
  PutHost<std::uint32_t>(record, nIpLength);  // length on the wire
  record.insert(record.end(), packet.begin(), packet.end());
  return std::fwrite(record.data(), 1, record.size(), m_pFile) == record.size() &&
         std::fflush(m_pFile) == 0;
}
