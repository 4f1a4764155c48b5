#include "RecordText.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kCoinTypes = 16;

// Bit j of a two-byte mask stored in bus order; bit 0 is the low bit of the second byte.
bool MaskBit(std::uint16_t wMaskAsStored, unsigned j) {
  return j < kCoinTypes && ((SwapBytes16(wMaskAsStored) >> j) & 1U) != 0;
}

}  // namespace

std::string FormatBcdDigits(std::uint16_t n) {
  char szText[16];
  std::snprintf(szText, sizeof szText, "%u%u%u%u", (n >> 12) & 0xFU, (n >> 8) & 0xFU,
                (n >> 4) & 0xFU, n & 0xFU);
  return szText;
}

std::string FormatSoftwareVersion(std::uint16_t n) {
  char szText[16];
  std::snprintf(szText, sizeof szText, "%u%u.%u%u", (n >> 12) & 0xFU, (n >> 8) & 0xFU,
                (n >> 4) & 0xFU, n & 0xFU);
  return szText;
}

std::string FormatRecordText(const char (&area)[16]) {
  // The driver always leaves a zero inside the area; the bound keeps a record filled any
  // other way from being read past its end.
  const void* pEnd = std::memchr(area, 0, sizeof area);
  const std::size_t nLength = pEnd ? static_cast<const char*>(pEnd) - area : sizeof area;
  return std::string(area, nLength);
}

unsigned CoinValue(const ChangerSetup& setup, unsigned j) {
  if (j >= kCoinTypes)
    return 0;
  return unsigned{setup.coinTypeCredit[j]} * unsigned{setup.scalingFactor};
}

std::string FormatCoinLine(const ChangerSetup& setup, unsigned j) {
  char szText[16];
  std::snprintf(szText, sizeof szText, "%u", CoinValue(setup, j));
  std::string strLine = szText;
  if (MaskBit(setup.coinTypeRouting, j))
    strLine += " -> Routng to Tube";
  return strLine;
}

std::string FormatTubeLine(const TubeStatus& tubes, const ChangerSetup& setup, unsigned j) {
  const unsigned nCount = j < kCoinTypes ? tubes.tubeCount[j] : 0;
  if (nCount == 0)
    return " ---";
  char szText[32];
  std::snprintf(szText, sizeof szText, " %u x %u", nCount, CoinValue(setup, j));
  std::string strLine = szText;
  if (MaskBit(tubes.tubeFullStatus, j))
    strLine += " (Full)";
  return strLine;
}

const char* FormatFeature(std::uint32_t dwFeatures, unsigned b) {
  const bool bSet = b < 32 && ((SwapBytes32(dwFeatures) >> b) & 1U) != 0;
  return bSet ? "Enabled" : "Disabled";
}

std::string FormatByte(std::uint8_t n) {
  char szText[8];
  std::snprintf(szText, sizeof szText, "%u", unsigned{n});
  return szText;
}
