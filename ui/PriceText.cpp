#include "PriceText.h"

#include <cctype>
#include <cstdio>

namespace {

// One "%u" conversion at pos: leading white space, an optional sign, at least one digit.
// @returns false, leaving pos where the mismatch was found, when no digit follows.
bool ScanUnsigned(const std::string& strText, std::size_t& pos, DWORD& dwValue) {
  std::size_t n = pos;
  while (n < strText.size() && std::isspace(static_cast<unsigned char>(strText[n])))
    ++n;
  bool bNegative = false;
  if (n < strText.size() && (strText[n] == '+' || strText[n] == '-')) {
    bNegative = strText[n] == '-';
    ++n;
  }
  if (n >= strText.size() || !std::isdigit(static_cast<unsigned char>(strText[n])))
    return false;
  DWORD dwResult = 0;
  for (; n < strText.size() && std::isdigit(static_cast<unsigned char>(strText[n])); ++n)
    dwResult = dwResult * 10U + static_cast<DWORD>(strText[n] - '0');
  dwValue = bNegative ? 0U - dwResult : dwResult;
  pos = n;
  return true;
}

}  // namespace

std::string FormatPrice(DWORD dwPrice) {
  char szText[24];
  std::snprintf(szText, sizeof szText, "%u.%02u", static_cast<unsigned>(dwPrice / 100),
                static_cast<unsigned>(dwPrice % 100));
  return szText;
}

DWORD ParsePrice(const std::string& strText) {
  DWORD dwWhole = 0;
  DWORD dwFraction = 0;
  std::size_t pos = 0;
  if (ScanUnsigned(strText, pos, dwWhole) && pos < strText.size() && strText[pos] == '.') {
    ++pos;
    ScanUnsigned(strText, pos, dwFraction);
  }
  return 100U * dwWhole + dwFraction;
}
