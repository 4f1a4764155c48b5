// The simulated device's capture file, byte for byte against records written out by hand from the
// classic pcap layout: the file header, then per datagram a record header and a raw IPv4 packet
// (link type 101) with its UDP header. Checksums are worked out below, word by word.
#include "PcapWriter.h"
#include "TestStore.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// The pcap headers are in the writer's byte order; the ones below are little-endian.
static_assert(std::endian::native == std::endian::little);

using Bytes = std::vector<std::uint8_t>;

const Bytes kFileHeader = {
    0xD4, 0xC3, 0xB2, 0xA1,  // magic a1b2c3d4: microsecond timestamps
    0x02, 0x00, 0x04, 0x00,  // version 2.4
    0x00, 0x00, 0x00, 0x00,  // UTC
    0x00, 0x00, 0x00, 0x00,  // accuracy
    0xFF, 0xFF, 0x00, 0x00,  // snapshot length 65535
    0x65, 0x00, 0x00, 0x00,  // link type 101, raw IP
};

struct PcapRecord {
  const char* pszName;
  UdpEndpoint source;
  UdpEndpoint destination;
  Bytes payload;
  Bytes expected;  ///< the record after its timestamps: lengths, IPv4 and UDP headers, payload
};

const std::uint32_t kPc = 0x7F000001;      // 127.0.0.1
const std::uint32_t kDevice = 0x7F000002;  // 127.0.0.2

// IPv4 checksum: the one's complement of the one's-complement sum of the header's words, the
// checksum word taken as 0. UDP checksum: the same over the pseudo header (addresses, 0011, UDP
// length), the UDP header and the payload, an odd last byte padded with 00.
const PcapRecord kRecords[] = {
    // 4500+001E+0000+4000+4011+7F00+0001+7F00+0002 = 1C332 -> C333 -> 3CCC;
    // FE03+0011+000A + 0FA3+0FA3+000A + 0F00 = 12C6E -> 2C6F -> D390.
    {"EXPANSION IDENTIFICATION to the device, first packet",
     {kPc, 4003},
     {kDevice, 4003},
     {0x0F, 0x00},
     {0x1E, 0x00, 0x00, 0x00, 0x1E, 0x00, 0x00, 0x00,                    // 30 bytes, all of them
      0x45, 0x00, 0x00, 0x1E, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11, 0x3C,  //
      0xCC, 0x7F, 0x00, 0x00, 0x01, 0x7F, 0x00, 0x00, 0x02,              // IPv4, ID 0
      0x0F, 0xA3, 0x0F, 0xA3, 0x00, 0x0A, 0xD3, 0x90,                    // UDP
      0x0F, 0x00}},
    // 4500+001F+0001+4000+4011+7F00+0002+7F00+0001 = 1C334 -> C335 -> 3CCA;
    // FE03+0011+000B + 0FA3+0FA3+000B + 080B+5300 = 1787B -> 787C -> 8783.
    {"odd payload from the device, second packet",
     {kDevice, 4003},
     {kPc, 4003},
     {0x08, 0x0B, 0x53},
     {0x1F, 0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00,                    //
      0x45, 0x00, 0x00, 0x1F, 0x00, 0x01, 0x40, 0x00, 0x40, 0x11, 0x3C,  //
      0xCA, 0x7F, 0x00, 0x00, 0x02, 0x7F, 0x00, 0x00, 0x01,              // IPv4, ID 1
      0x0F, 0xA3, 0x0F, 0xA3, 0x00, 0x0B, 0x87, 0x83,                    // UDP
      0x08, 0x0B, 0x53}},
    // 4500+001C+0002+4000+4011+7F00+0002+7F00+0001 = 1C332 -> C333 -> 3CCC;
    // FE03+0011+0008 + 0FA1+0FA1+0008 = 11D66 -> 1D67 -> E298.
    {"empty datagram on the control port, third packet",
     {kDevice, 4001},
     {kPc, 4001},
     {},
     {0x1C, 0x00, 0x00, 0x00, 0x1C, 0x00, 0x00, 0x00,                    //
      0x45, 0x00, 0x00, 0x1C, 0x00, 0x02, 0x40, 0x00, 0x40, 0x11, 0x3C,  //
      0xCC, 0x7F, 0x00, 0x00, 0x02, 0x7F, 0x00, 0x00, 0x01,              // IPv4, ID 2
      0x0F, 0xA1, 0x0F, 0xA1, 0x00, 0x08, 0xE2, 0x98}},                  // UDP
};

std::uint64_t MicrosecondsNow() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count());
}

std::uint32_t Little32(const Bytes& bytes, std::size_t nAt) {
  return bytes[nAt] | bytes[nAt + 1] << 8 | bytes[nAt + 2] << 16 |
         static_cast<std::uint32_t>(bytes[nAt + 3]) << 24;
}

TEST(PcapWriter, WritesTheFileHeaderAndOneRawIPv4RecordPerDatagram) {
  QTemporaryDir dir;
  const std::string strPath = dir.path().toStdString() + "/session.pcap";
  CPcapWriter writer;
  EXPECT_FALSE(writer.WriteUdp(kRecords[0].source, kRecords[0].destination, nullptr, 0))
      << "written before Open";
  ASSERT_TRUE(writer.Open(strPath));
  EXPECT_EQ(ReadWholeFile(strPath), std::string(kFileHeader.begin(), kFileHeader.end()));

  const std::uint64_t nBefore = MicrosecondsNow();
  for (const PcapRecord& r : kRecords)
    ASSERT_TRUE(writer.WriteUdp(r.source, r.destination, r.payload.data(), r.payload.size()))
        << r.pszName;
  const std::uint64_t nAfter = MicrosecondsNow();
  const Bytes oversized(65535 - 20 - 8 + 1);
  EXPECT_FALSE(writer.WriteUdp(kRecords[0].source, kRecords[0].destination, oversized.data(),
                               oversized.size()))
      << "a payload one byte more than an IPv4 packet holds";

  const std::string strFile = ReadWholeFile(strPath);
  const Bytes file(strFile.begin(), strFile.end());
  ASSERT_GE(file.size(), kFileHeader.size());
  std::size_t nAt = kFileHeader.size();
  for (const PcapRecord& r : kRecords) {
    ASSERT_GE(file.size(), nAt + 8 + r.expected.size()) << r.pszName;
    // ts_sec and ts_usec: the time of the write, in UTC.
    const std::uint32_t nMicroseconds = Little32(file, nAt + 4);
    EXPECT_LT(nMicroseconds, 1000000u) << r.pszName;
    const std::uint64_t nStamp = std::uint64_t{Little32(file, nAt)} * 1000000 + nMicroseconds;
    EXPECT_TRUE(nStamp >= nBefore && nStamp <= nAfter) << r.pszName;
    EXPECT_EQ(Bytes(file.begin() + static_cast<std::ptrdiff_t>(nAt + 8),
                    file.begin() + static_cast<std::ptrdiff_t>(nAt + 8 + r.expected.size())),
              r.expected)
        << r.pszName;
    nAt += 8 + r.expected.size();
  }
  EXPECT_EQ(file.size(), nAt) << "bytes after the last record";
}

}  // namespace
