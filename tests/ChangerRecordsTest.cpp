#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ChangerDriver.h"
#include "ChangerRecords.h"
#include "FakeChangerHost.h"
#include "fuzz/RecordBytes.h"

namespace {

using record_bytes::BytesOf;

// The records are filled the way the changer's answers reach them: through the driver.
class ChangerRecords : public ::testing::Test {
protected:
  void Answer(std::uint32_t nQueryState, const Bytes& response) {
    m_driver.SetState(nQueryState);
    m_driver.OnDatagram(response.data(), static_cast<unsigned>(response.size()));
  }
  void AnswerIdentification(const Bytes& response) { Answer(CChangerDriver::IdentQuery, response); }

  CFakeChangerHost m_host;
  CChangerDriver m_driver{m_host};
};

TEST_F(ChangerRecords, NewDriverHoldsOnlyZeroBytes) {
  EXPECT_EQ(BytesOf(m_driver.GetChangerSetup()), Bytes(23, 0));
  EXPECT_EQ(BytesOf(m_driver.GetTubeStatus()), Bytes(18, 0));
  EXPECT_EQ(BytesOf(m_driver.GetChangerIdentification()), Bytes(54, 0));
}

TEST_F(ChangerRecords, SetupKeepsBusOrderAndReadsAsTheChangerMeantIt) {
  Answer(CChangerDriver::SetupQuery,
         {0x08, 0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x07, 0x01, 0x02, 0x05, 0x0A,
          0x14, 0x32, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0});
  const ChangerSetup& setup = m_driver.GetChangerSetup();
  EXPECT_EQ(BytesOf(setup),
            (Bytes{0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x07, 0x01, 0x02, 0x05, 0x0A, 0x14,
                   0x32, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0}));
  EXPECT_EQ(setup.featureLevel, 3);
  EXPECT_EQ(SwapBytes16(setup.countryCode), 0x1840);
  EXPECT_EQ(setup.scalingFactor, 5);
  EXPECT_EQ(setup.decimalPlaces, 2);
  EXPECT_EQ(SwapBytes16(setup.coinTypeRouting), 0x0007);
  const int values[16] = {5, 10, 25, 50, 100, 250};
  for (int n = 0; n < 16; ++n)
    EXPECT_EQ(setup.coinTypeCredit[n] * setup.scalingFactor, values[n]) << "coin type " << n;
}

TEST_F(ChangerRecords, TubeStatusFullBitsAndCounts) {
  Answer(CChangerDriver::TubeQuery,
         {0x08, 0x00, 0x02, 9, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7});
  const TubeStatus& tubes = m_driver.GetTubeStatus();
  EXPECT_EQ(SwapBytes16(tubes.tubeFullStatus), 0x0002);
  EXPECT_EQ(tubes.tubeCount[0], 9);
  EXPECT_EQ(tubes.tubeCount[1], 40);
  EXPECT_EQ(tubes.tubeCount[15], 7);
}

TEST_F(ChangerRecords, IdentificationTextsAreClosedAndNumbersKeptInBusOrder) {
  AnswerIdentification({0x08, 'C', 'O', 'I', '1',  '2',  '3',  '4',  '5',  '6', '7', '8',
                        '9',  '0', '1', '2', 'M',  'O',  'D',  'E',  'L',  'X', 'Y', ' ',
                        ' ',  ' ', ' ', ' ', 0x01, 0x23, 0x00, 0x00, 0x00, 0x05});
  const ChangerIdentification& ident = m_driver.GetChangerIdentification();
  EXPECT_STREQ(ident.manufacturerCode, "COI");
  EXPECT_STREQ(ident.serialNumber, "123456789012");
  EXPECT_STREQ(ident.modelRevision, "MODELXY     ");
  EXPECT_EQ(SwapBytes16(ident.softwareVersion), 0x0123);
  EXPECT_EQ(SwapBytes32(ident.optionalFeatures), 0x00000005u);
  const Bytes raw = BytesOf(ident);
  EXPECT_EQ(Bytes(raw.begin() + 48, raw.end()), (Bytes{0x01, 0x23, 0x00, 0x00, 0x00, 0x05}));
}

TEST_F(ChangerRecords, SecondIdentificationReplacesEveryField) {
  AnswerIdentification({0x08, 'C', 'O', 'I', '1',  '2',  '3',  '4',  '5',  '6', '7', '8',
                        '9',  '0', '1', '2', 'M',  'O',  'D',  'E',  'L',  'X', 'Y', ' ',
                        ' ',  ' ', ' ', ' ', 0x01, 0x23, 0x00, 0x00, 0x00, 0x05});
  AnswerIdentification({0x08, 'A', 0x00, 'B', 'S',  'N',  0x00, 'Q',  'Q',  'Q', 'Q', 'Q',
                        'Q',  'Q', 'Q',  'Q', 'R',  '2',  0x00, 0,    0,    0,   0,   0,
                        0,    0,   0,    0,   0x20, 0x01, 0x80, 0x00, 0x00, 0x0A});
  const Bytes expected = {'A',  0x00, 'B',  0x00, 0,    0,   0,   0,
                          0,    0,    0,    0,    0,    0,   0,   0,  // manufacturerCode
                          'S',  'N',  0x00, 'Q',  'Q',  'Q', 'Q', 'Q',
                          'Q',  'Q',  'Q',  'Q',  0,    0,   0,   0,  // serialNumber
                          'R',  '2',  0x00, 0,    0,    0,   0,   0,
                          0,    0,    0,    0,    0,    0,   0,   0,  // modelRevision
                          0x20, 0x01, 0x80, 0x00, 0x00, 0x0A};
  EXPECT_EQ(BytesOf(m_driver.GetChangerIdentification()), expected);
  EXPECT_STREQ(m_driver.GetChangerIdentification().manufacturerCode, "A");
}

// A response cut short fills what it carries and zeroes the rest, never reading past its end.
TEST_F(ChangerRecords, ShortResponsesZeroWhatTheyDoNotCarry) {
  const Bytes fullSetup = {0x08, 0x03, 0x18, 0x40, 0x05, 0x02, 0x00, 0x07, 0x01, 0x02, 0x05, 0x0A,
                           0x14, 0x32, 0,    0,    0,    0,    0,    0,    0,    0,    0,    0x77};
  Answer(CChangerDriver::SetupQuery, fullSetup);
  Answer(CChangerDriver::SetupQuery, {0x08, 0x02, 0x00, 0x01, 0x0A, 0x02, 0x00, 0x01, 0x04});
  EXPECT_EQ(BytesOf(m_driver.GetChangerSetup()),
            (Bytes{0x02, 0x00, 0x01, 0x0A, 0x02, 0x00, 0x01, 0x04, 0, 0, 0, 0,
                   0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0}));
  EXPECT_EQ(m_driver.GetState(), CChangerDriver::IdentQuery);

  Answer(CChangerDriver::TubeQuery,
         {0x08, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  Answer(CChangerDriver::TubeQuery, {0x08, 0x00, 0x01, 5, 5, 5, 5, 5});
  EXPECT_EQ(BytesOf(m_driver.GetTubeStatus()),
            (Bytes{0x00, 0x01, 5, 5, 5, 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(m_driver.GetState(), CChangerDriver::CoinEnableSend);

  AnswerIdentification({0x08, 'C', 'O', 'I', '1',  '2',  '3',  '4',  '5',  '6', '7', '8',
                        '9',  '0', '1', '2', 'M',  'O',  'D',  'E',  'L',  'X', 'Y', ' ',
                        ' ',  ' ', ' ', ' ', 0x01, 0x23, 0x00, 0x00, 0x00, 0x05});
  // This one ends inside the model text.
  AnswerIdentification(
      {0x08, 'X', 'Y', 'Z', '9', '8', '7', '6', '5', '4', '3', '2', '1', '0', 'A', 'B', 'V', 'W'});
  const ChangerIdentification& ident = m_driver.GetChangerIdentification();
  EXPECT_STREQ(ident.manufacturerCode, "XYZ");
  EXPECT_STREQ(ident.serialNumber, "9876543210AB");
  EXPECT_STREQ(ident.modelRevision, "VW");
  const Bytes raw = BytesOf(ident);
  EXPECT_EQ(Bytes(raw.begin() + 34, raw.end()), Bytes(20, 0));

  AnswerIdentification({0x08, 'K', 'L', 'M', 'N', 'O', 'P', 'Q'});  // ends inside the serial number
  EXPECT_STREQ(ident.manufacturerCode, "KLM");
  EXPECT_STREQ(ident.serialNumber, "NOPQ");
  EXPECT_EQ(m_driver.GetState(), CChangerDriver::FeatureEnableSend);
}

}  // namespace
