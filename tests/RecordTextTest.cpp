// The text rules of the information dialogs, on records filled from literal bus bytes.
#include "RecordText.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

template <typename Record, std::size_t N>
Record FromBytes(const unsigned char (&bytes)[N]) {
  static_assert(N == sizeof(Record));
  Record record;
  std::memcpy(&record, bytes, N);
  return record;
}

// Feature level 3, country 1840, scaling 5, 2 decimals, routing bits 0..2, credits 1 2 5 10 20 50.
const unsigned char kSetupBytes[23] = {0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x07,
                                       0x01, 0x02, 0x05, 0x0A, 0x14, 0x32};

TEST(RecordText, DigitGroups) {
  EXPECT_EQ(FormatBcdDigits(0x1978), "1978");
  EXPECT_EQ(FormatBcdDigits(0x0001), "0001");
  EXPECT_EQ(FormatBcdDigits(0x0000), "0000");
  EXPECT_EQ(FormatBcdDigits(0xF0A1), "150101");  // groups above 9 print as 10..15
  EXPECT_EQ(FormatSoftwareVersion(0x0125), "01.25");
  EXPECT_EQ(FormatSoftwareVersion(0x0000), "00.00");
  EXPECT_EQ(FormatSoftwareVersion(0x1A00), "110.00");
}

TEST(RecordText, CoinLineEdges) {
  unsigned char bytes[23] = {};
  bytes[3] = 0xFF;   // scaling factor
  bytes[5] = 0x80;   // routing: first byte's top bit is coin type 15
  bytes[22] = 0xFF;  // credit of coin type 15
  const auto setup = FromBytes<ChangerSetup>(bytes);
  EXPECT_EQ(FormatCoinLine(setup, 15), "65025 -> Routng to Tube");
  EXPECT_EQ(FormatCoinLine(setup, 7), "0");

  bytes[3] = 0x00;
  bytes[6] = 0x01;  // routing for coin type 0, whose credit is 0
  EXPECT_EQ(FormatCoinLine(FromBytes<ChangerSetup>(bytes), 0), "0 -> Routng to Tube");
}

TEST(RecordText, TubeLines) {
  const auto setup = FromBytes<ChangerSetup>(kSetupBytes);
  // Full bits 0 and 1; tube counts 0, 3, 4, 255 and zeros.
  const unsigned char tubeBytes[18] = {0x00, 0x03, 0x00, 0x03, 0x04, 0xFF};
  const auto tubes = FromBytes<TubeStatus>(tubeBytes);
  EXPECT_EQ(FormatTubeLine(tubes, setup, 0), " ---");  // full but empty
  EXPECT_EQ(FormatTubeLine(tubes, setup, 1), " 3 x 10 (Full)");
  EXPECT_EQ(FormatTubeLine(tubes, setup, 2), " 4 x 25");
  EXPECT_EQ(FormatTubeLine(tubes, setup, 3), " 255 x 50");
  EXPECT_EQ(FormatTubeLine(tubes, setup, 15), " ---");

  // No setup received yet: five coins of value 0.
  const unsigned char fiveCoins[18] = {0x80, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5};
  EXPECT_EQ(FormatTubeLine(FromBytes<TubeStatus>(fiveCoins), ChangerSetup{}, 15), " 5 x 0 (Full)");
}

TEST(RecordText, IdentificationTextsAndFeatures) {
  unsigned char bytes[54] = {};
  std::memcpy(bytes, "ABC", 3);
  std::memcpy(bytes + 16,
              "12345\0"
              "789012",
              12);  // a zero byte inside the serial number
  std::memcpy(bytes + 32, "MODELXY     ", 12);
  const unsigned char tail[6] = {0x01, 0x23, 0xF0, 0x0F, 0xFF, 0xF5};
  std::memcpy(bytes + 48, tail, 6);
  const auto ident = FromBytes<ChangerIdentification>(bytes);

  EXPECT_EQ(FormatRecordText(ident.manufacturerCode), "ABC");
  EXPECT_EQ(FormatRecordText(ident.serialNumber), "12345");
  EXPECT_EQ(FormatRecordText(ident.modelRevision), "MODELXY     ");
  EXPECT_EQ(FormatSoftwareVersion(SwapBytes16(ident.softwareVersion)), "01.23");
  // Only the low four bits of the fourth byte count: 0x5 = bits 0 and 2.
  EXPECT_STREQ(FormatFeature(ident.optionalFeatures, 0), "Enabled");
  EXPECT_STREQ(FormatFeature(ident.optionalFeatures, 1), "Disabled");
  EXPECT_STREQ(FormatFeature(ident.optionalFeatures, 2), "Enabled");
  EXPECT_STREQ(FormatFeature(ident.optionalFeatures, 3), "Disabled");

  // An area without any zero byte is read to its end and no further.
  char full[16];
  std::memset(full, 'X', sizeof full);
  EXPECT_EQ(FormatRecordText(full), std::string(16, 'X'));
}

}  // namespace
